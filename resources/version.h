/* The program's version, written here only. brisa.rc and the About window include it, the build
   makes the manifest from it, and the packaging scripts and the executable's check read it. Plain
   #define lines, so that both resource compilers, C++ and a sed line all read them. */
#ifndef BRISA_VERSION_H
#define BRISA_VERSION_H

/* The numbers of the version resource (the fourth is always 0). */
#define BRISA_VERSION_MAJOR 0
#define BRISA_VERSION_MINOR 5
#define BRISA_VERSION_PATCH 0

/* The same version as text. */
#define BRISA_VERSION "0.5.0"

#endif
