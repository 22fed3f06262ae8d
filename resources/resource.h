/* Resource ids of Brisa.exe, one group per resource type. Shared by brisa.rc and the C++ code,
   so it holds nothing but #define lines that both resource compilers and C++ accept. */
#ifndef BRISA_RESOURCE_H
#define BRISA_RESOURCE_H

/* RT_GROUP_ICON: the application icon; the frame takes its large and small icons from it. */
#define IDI_BRISA 1

/* RT_RCDATA: the About window's picture, a PNG decoded at run time. */
#define IDR_ABOUT_PICTURE 2

/* The manifest uses the system's own id, CREATEPROCESS_MANIFEST_RESOURCE_ID (1). */

#endif
