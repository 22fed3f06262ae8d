// Web and mail links of PDF pages.
#ifndef BRISA_LINKS_H
#define BRISA_LINKS_H

#include "base/pdfium.h"

enum { URI_BUFFER_BYTES = 2048 };

bool isFollowableUri(const char* uri);
FPDF_LINK hitTestLink(int x, int y);
void followLink(FPDF_LINK link);

#endif
