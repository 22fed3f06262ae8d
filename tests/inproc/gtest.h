// GoogleTest for the in-process tests. Debian's libgtest is a Linux build: hide
// the Windows macros while its header is read, or it takes its Windows paths.
#ifndef BRISA_INPROC_GTEST_H
#define BRISA_INPROC_GTEST_H

#pragma push_macro("_WIN32")
#pragma push_macro("_WIN64")
#pragma push_macro("WIN32")
#pragma push_macro("WIN64")
#undef _WIN32
#undef _WIN64
#undef WIN32
#undef WIN64
#include <gtest/gtest.h>
#pragma pop_macro("WIN64")
#pragma pop_macro("WIN32")
#pragma pop_macro("_WIN64")
#pragma pop_macro("_WIN32")

#endif
