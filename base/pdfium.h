// The types, constants and callback record of the PDFium functions Brisa calls,
// declared from PDFium's public API reference. The functions are listed once, in
// base/pdfium.table: the build makes from it their declarations (included at the
// end), the .def of Brisa.exe's import library and the test bridge's exports.
//
// No calling-convention attribute on purpose: on x86-64 Windows there is only one,
// and the Linux build links the SysV libpdfium.so, where Wine's WINAPI would be wrong.
#ifndef BRISA_PDFIUM_H
#define BRISA_PDFIUM_H

#include <stddef.h>

extern "C" {

typedef struct fpdf_document_t__* FPDF_DOCUMENT;
typedef struct fpdf_page_t__* FPDF_PAGE;
typedef struct fpdf_bitmap_t__* FPDF_BITMAP;
typedef struct fpdf_link_t__* FPDF_LINK;
typedef struct fpdf_action_t__* FPDF_ACTION;
typedef struct fpdf_textpage_t__* FPDF_TEXTPAGE;
typedef struct fpdf_schhandle_t__* FPDF_SCHHANDLE;
typedef struct fpdf_bookmark_t__* FPDF_BOOKMARK;
typedef struct fpdf_dest_t__* FPDF_DEST;
typedef struct fpdf_pageobject_t__* FPDF_PAGEOBJECT;
typedef struct fpdf_annotation_t__* FPDF_ANNOTATION;
typedef const unsigned short* FPDF_WIDESTRING;   // UTF-16LE, NUL-terminated
typedef int FPDF_BOOL;
typedef unsigned long FPDF_DWORD;   // 32-bit on Windows, 64-bit in the Linux library
typedef const char* FPDF_BYTESTRING;

enum {
  FPDF_ERR_SUCCESS = 0,
  FPDF_ERR_PASSWORD = 4,   // the document needs a password we do not have
};

enum { PDFACTION_GOTO = 1, PDFACTION_URI = 3 };

enum {
  FPDF_ANNOT = 0x01,      // draw annotations
  FPDF_LCD_TEXT = 0x02,   // sub-pixel text anti-aliasing
  FPDF_PRINTING = 0x800,
};

// Progressive rendering: PDFium asks the pause record between slices of work
// and returns FPDF_RENDER_TOBECONTINUED when told to pause; Continue picks up
// where it stopped, Close releases the render's state (not the page).
enum {
  FPDF_RENDER_READY = 0,
  FPDF_RENDER_TOBECONTINUED = 1,
  FPDF_RENDER_DONE = 2,
  FPDF_RENDER_FAILED = 3,
};

// Forced colours (0xAARRGGBB) for every path and every glyph of a page;
// images, shadings and what annotations draw keep theirs.
typedef struct FPDF_COLORSCHEME {
  FPDF_DWORD path_fill_color;
  FPDF_DWORD path_stroke_color;
  FPDF_DWORD text_fill_color;
  FPDF_DWORD text_stroke_color;
} FPDF_COLORSCHEME;

// What a page is made of, and how its objects paint.
enum { FPDF_PAGEOBJ_TEXT = 1, FPDF_PAGEOBJ_PATH = 2 };
enum { FPDF_FILLMODE_NONE = 0 };
enum { FPDF_ANNOT_LINK = 2 };

typedef struct IFSDK_PAUSE {
  int version;   // 1
  FPDF_BOOL (*NeedToPauseNow)(struct IFSDK_PAUSE* pause);
  void* user;
} IFSDK_PAUSE;

// A document read through the program's own reader rather than from memory.
// PDFium asks for `size` bytes at `position` (within m_FileLen) and takes a 0
// result as a read error. The record need not outlive the load; what m_Param
// points to must outlive the document.
typedef struct FPDF_FILEACCESS {
  unsigned long m_FileLen;
  int (*m_GetBlock)(void* param, unsigned long position, unsigned char* buffer, unsigned long size);
  void* m_Param;
} FPDF_FILEACCESS;

// Where PDFium finds the fonts a document names but does not embed. Version 1:
// PDFium calls EnumFonts once, the first time it needs the list, and the
// lister answers with FPDF_AddInstalledFont for each font; MapFont and GetFont
// return a handle the other members then read, or null for none.
typedef struct FPDF_SYSFONTINFO {
  int version;
  void (*Release)(struct FPDF_SYSFONTINFO* self);
  void (*EnumFonts)(struct FPDF_SYSFONTINFO* self, void* mapper);
  void* (*MapFont)(struct FPDF_SYSFONTINFO* self, int weight, FPDF_BOOL italic, int charset, int pitchFamily,
                   const char* face, FPDF_BOOL* exact);
  void* (*GetFont)(struct FPDF_SYSFONTINFO* self, const char* face);
  unsigned long (*GetFontData)(struct FPDF_SYSFONTINFO* self, void* font, unsigned int table, unsigned char* buffer,
                               unsigned long size);
  unsigned long (*GetFaceName)(struct FPDF_SYSFONTINFO* self, void* font, char* buffer, unsigned long size);
  int (*GetFontCharset)(struct FPDF_SYSFONTINFO* self, void* font);
  void (*DeleteFont)(struct FPDF_SYSFONTINFO* self, void* font);
} FPDF_SYSFONTINFO;

// The functions themselves, generated from base/pdfium.table.
#include "pdfium_functions.h"

}   // extern "C"

#endif
