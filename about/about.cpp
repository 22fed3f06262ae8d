// The About window: a plain popup drawn by hand that behaves as a modal dialog
// (the frame is disabled while it is open, and the main loop hands its keys to
// IsDialogMessageW). One layout routine, run once to measure and once to
// paint, places every block, so the two passes cannot disagree.
#include "about/about.h"
#include "resources/resource.h"
#include "resources/version.h"

#include <objidl.h>

AboutState aboutState;

static const wchar_t ABOUT_CLASS[] = L"BrisaAbout";
static const DWORD ABOUT_STYLE = WS_POPUP | WS_CAPTION | WS_SYSMENU;
static const DWORD ABOUT_EX_STYLE = WS_EX_DLGMODALFRAME;
static_assert(ABOUT_STYLE == 0x80C80000u, "popup with caption and system menu");

static const COLORREF WINDOW_COLOUR = RGB(253, 252, 250);   // also behind the check box
static const COLORREF MAIN_COLOUR = RGB(23, 25, 35);
static const COLORREF LINK_COLOUR = RGB(30, 58, 138);   // also the product name
static const COLORREF SECONDARY_COLOUR = RGB(90, 96, 114);
static const COLORREF WARNING_COLOUR = RGB(200, 50, 42);
static const COLORREF SEPARATOR_COLOUR = RGB(221, 225, 235);
static const COLORREF PANEL_COLOUR = RGB(247, 247, 248);
static const DWORD PICTURE_BACKGROUND = 0xFFF7F7F8;   // ARGB of the panel colour

// Lengths at 96 dpi.
static const int ABOUT_MARGIN = 24;
static const int CONTENT_WIDTH = 500;
static const int CONTENT_TOP = 18;
static const int BUTTON_HEIGHT = 28;
static const int CLOSE_WIDTH = 100;
static const int CHECK_BOX_SHORTER = 120;   // than the content width, to leave Close its room
static const int BUTTON_ROW_BELOW = 16;
static const int COLUMN_GAP = 16;
static const int PANEL_WIDTH = 284, PANEL_HEIGHT = 77, PANEL_CORNER = 16, PANEL_BELOW = 6;
static const int PICTURE_LEFT = 12, PICTURE_TOP = 10, PICTURE_WIDTH = 260, PICTURE_HEIGHT = 57;
static_assert(PICTURE_LEFT + PICTURE_WIDTH + PICTURE_LEFT == PANEL_WIDTH, "picture centred in the panel");

struct AboutFontSpec {
  const wchar_t* face;
  int size;
  int weight;
  bool underline;
};

static const AboutFontSpec ABOUT_FONTS[] = {
    {L"Segoe UI Semibold", 26, 600, false},   // titleFont
    {L"Segoe UI", 13, 400, false},            // bodyFont
    {L"Segoe UI", 13, 700, false},            // boldFont
    {L"Segoe UI", 12, 400, false},            // smallFont
    {L"Consolas", 12, 400, false},            // monoFont
    {L"Segoe UI", 13, 400, true},             // linkFont
};
static_assert(sizeof ABOUT_FONTS / sizeof ABOUT_FONTS[0] == ABOUT_FONT_COUNT, "one spec per font");

struct Licence {
  const wchar_t* component;
  const wchar_t* licence;
};

static const Licence LICENCES[] = {
    {L"PDFium", L"BSD-3-Clause, Apache-2.0"},
    {L"FreeType", L"FTL"},
    {L"libjpeg-turbo", L"IJG, BSD-3-Clause"},
    {L"OpenJPEG", L"BSD-2-Clause"},
    {L"libpng", L"libpng-2.0"},
    {L"zlib", L"Zlib"},
    {L"Little CMS", L"MIT"},
    {L"AGG 2.3", L"AGG (permissive)"},
    {L"Abseil", L"Apache-2.0"},
    {L"ICU", L"Unicode-3.0"},
    {L"fast_float", L"MIT, Apache-2.0"},
    {L"simdutf", L"MIT, Apache-2.0"},
    {L"LLVM libc", L"Apache-2.0 LLVM"},
    {L"UnRAR (CBR)", L"Licence UnRAR"},
};
static const int LICENCE_COUNT = sizeof LICENCES / sizeof LICENCES[0];
static_assert(LICENCE_COUNT == 14 && LICENCE_COUNT % 2 == 0, "two full columns of seven lines");

// The publisher and its other product.
static const wchar_t COPYRIGHT_LINE[] = L"\u00a9 2026 Brisa Software";
static const wchar_t PUBLISHER_DOMAIN[] = L"brisa-software.example";
static const wchar_t PUBLISHER_URL[] = L"https://www.brisa-software.example/";
static const wchar_t TORVANE_DOMAIN[] = L"torvane.example";
static const wchar_t TORVANE_URL[] = L"https://torvane.example/";

enum AboutBlockKind { TEXT_BLOCK, SEPARATOR, LINK, LICENCE_TABLE, GAP, PROMOTION_PANEL };

// One block of the window, top to bottom. For a link, the text is the shown
// domain; for a gap, `after` is its height.
struct AboutBlock {
  AboutBlockKind kind;
  AboutFont font;
  COLORREF colour;
  UINT align;
  int after;   // px at 96 dpi
  const wchar_t* french;
  const wchar_t* english;
  const wchar_t* url;
};

static const AboutBlock ABOUT_CONTENT[] = {
    {TEXT_BLOCK, titleFont, LINK_COLOUR, DT_CENTER, 0, L"Brisa", L"Brisa", NULL},
    {TEXT_BLOCK, monoFont, SECONDARY_COLOUR, DT_CENTER, 4, L"v" BRISA_VERSION, L"v" BRISA_VERSION, NULL},
    {TEXT_BLOCK, bodyFont, MAIN_COLOUR, DT_CENTER, 0,
     L"Lecteur minimal de PDF et de bandes dessin\u00e9es (CBZ, CBR) : affichage, impression et recherche, "
     L"con\u00e7u pour d\u00e9marrer instantan\u00e9ment.",
     L"Minimal reader for PDF and comics (CBZ, CBR): display, printing and search, built to start instantly.", NULL},
    {SEPARATOR},
    {TEXT_BLOCK, boldFont, MAIN_COLOUR, DT_CENTER, 0, COPYRIGHT_LINE, COPYRIGHT_LINE, NULL},
    {LINK, linkFont, LINK_COLOUR, DT_CENTER, 0, PUBLISHER_DOMAIN, PUBLISHER_DOMAIN, PUBLISHER_URL},
    {SEPARATOR},
    {TEXT_BLOCK, boldFont, WARNING_COLOUR, DT_LEFT, 3, L"Logiciel exp\u00e9rimental, en cours de d\u00e9veloppement",
     L"Experimental software, under development", NULL},
    {TEXT_BLOCK, bodyFont, MAIN_COLOUR, DT_LEFT, 0,
     L"Il n'est destin\u00e9 ni \u00e0 un environnement de production, ni \u00e0 un usage critique. Son utilisation "
     L"se fait aux risques de l'utilisateur : aucune garantie n'est donn\u00e9e, ni sur son fonctionnement, ni sur "
     L"l'exactitude de ce qu'il affiche ou imprime. V\u00e9rifiez toute valeur avant d'en tirer une d\u00e9cision "
     L"technique.",
     L"It is intended neither for production nor for safety-critical use. You use it at your own risk: no warranty "
     L"is given, either that it works or that what it shows or prints is correct. Check any value before making an "
     L"engineering decision from it.",
     NULL},
    {SEPARATOR},
    {TEXT_BLOCK, boldFont, MAIN_COLOUR, DT_LEFT, 4, L"Licences", L"Licences", NULL},
    {TEXT_BLOCK, smallFont, SECONDARY_COLOUR, DT_LEFT, 2, L"Livr\u00e9 avec l'application",
     L"Shipped with the application", NULL},
    {LICENCE_TABLE},
    {GAP, bodyFont, 0, 0, 6},
    {TEXT_BLOCK, smallFont, SECONDARY_COLOUR, DT_LEFT, 0,
     L"Le texte int\u00e9gral de chaque licence accompagne le composant concern\u00e9, dans le dossier "
     L"d'installation.",
     L"The full text of each licence travels with the component it covers, in the installation folder.", NULL},
    {SEPARATOR},
    {PROMOTION_PANEL},
    {TEXT_BLOCK, bodyFont, MAIN_COLOUR, DT_CENTER, 4,
     L"Torvane, du m\u00eame \u00e9diteur : consulter et coter vos plans techniques.",
     L"Torvane, from the same publisher: view and measure technical drawings.", NULL},
    {LINK, linkFont, LINK_COLOUR, DT_CENTER, 0, TORVANE_DOMAIN, TORVANE_DOMAIN, TORVANE_URL},
    {SEPARATOR},
};

static int scaled(int length) {
  return MulDiv(length, dpiY, 96);
}

// --- Layout ---------------------------------------------------------------------------------

// A text in the column [x, x + width) at the running top, wrapped at words:
// measured always, drawn when painting. Returns its height; the caller moves on.
static int layoutCell(HDC dc, AboutFont font, COLORREF colour, const wchar_t* text, UINT align, int x, int width) {
  SelectObject(dc, aboutState.fonts[font]);
  RECT box = {x, aboutState.layoutY, x + width, aboutState.layoutY};
  DrawTextW(dc, text, -1, &box, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | align);
  if (aboutState.painting) {
    box.left = x;   // the measure narrows the box to the text; alignment needs the column
    box.right = x + width;
    SetTextColor(dc, colour);
    DrawTextW(dc, text, -1, &box, DT_WORDBREAK | DT_NOPREFIX | align);
  }
  return box.bottom - box.top;
}

static void layoutTextBlock(HDC dc, const AboutBlock* block) {
  const wchar_t* text = pickText(block->french, block->english);
  int height =
      layoutCell(dc, block->font, block->colour, text, block->align, aboutState.aboutMargin, aboutState.contentWidth);
  aboutState.layoutY += height + scaled(block->after);
}

// One device pixel high at every resolution, with scaled room around it.
static void layoutSeparator(HDC dc) {
  aboutState.layoutY += scaled(10);
  if (aboutState.painting) {
    RECT line = {aboutState.aboutMargin, aboutState.layoutY, aboutState.aboutMargin + aboutState.contentWidth,
                 aboutState.layoutY + 1};
    SetDCBrushColor(dc, SEPARATOR_COLOUR);
    FillRect(dc, &line, (HBRUSH)GetStockObject(DC_BRUSH));
  }
  aboutState.layoutY += scaled(9);
}

// A centred one-line link; the measuring pass records where it is, so that
// the mouse reacts exactly over the text.
static void layoutLink(HDC dc, const AboutBlock* block) {
  const wchar_t* text = pickText(block->french, block->english);
  SelectObject(dc, aboutState.fonts[linkFont]);
  RECT size = {0, 0, 0, 0};
  DrawTextW(dc, text, -1, &size, DT_CALCRECT | DT_NOPREFIX | DT_SINGLELINE);
  int width = size.right - size.left;
  int left = aboutState.aboutMargin + (aboutState.contentWidth - width) / 2;
  RECT area = {left, aboutState.layoutY, left + width, aboutState.layoutY + (size.bottom - size.top)};
  if (!aboutState.painting && aboutState.linkCount < ABOUT_LINK_CAPACITY) {
    aboutState.linkAreas[aboutState.linkCount].rect = area;
    aboutState.linkAreas[aboutState.linkCount].url = block->url;
    aboutState.linkCount++;
  }
  if (aboutState.painting) {
    SetTextColor(dc, LINK_COLOUR);
    DrawTextW(dc, text, -1, &area, DT_NOPREFIX | DT_SINGLELINE);
  }
  aboutState.layoutY = area.bottom;
}

// Two columns filled left, right, left...: the name on the left of its cell,
// the licence on the right, one line per pair.
static void layoutLicenceTable(HDC dc) {
  int gap = scaled(COLUMN_GAP);
  int columnWidth = (aboutState.contentWidth - gap) / 2;
  for (int i = 0; i < LICENCE_COUNT; i++) {
    int x = aboutState.aboutMargin + (i % 2 ? columnWidth + gap : 0);
    int height = layoutCell(dc, smallFont, MAIN_COLOUR, LICENCES[i].component, DT_LEFT, x, columnWidth);
    layoutCell(dc, smallFont, SECONDARY_COLOUR, LICENCES[i].licence, DT_RIGHT, x, columnWidth);
    if (i % 2) aboutState.layoutY += height + scaled(1);
  }
}

static void drawPicture(HDC dc, int x, int y, int width, int height) {
  BITMAP info;
  if (!GetObjectW(aboutState.picture, sizeof info, &info)) return;
  HDC source = CreateCompatibleDC(dc);
  HGDIOBJ oldBitmap = SelectObject(source, aboutState.picture);
  int oldMode = SetStretchBltMode(dc, HALFTONE);
  POINT oldOrigin;
  SetBrushOrgEx(dc, 0, 0, &oldOrigin);   // HALFTONE needs it reset after the mode change
  StretchBlt(dc, x, y, width, height, source, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
  SetBrushOrgEx(dc, oldOrigin.x, oldOrigin.y, NULL);
  SetStretchBltMode(dc, oldMode);
  SelectObject(source, oldBitmap);
  DeleteDC(source);
}

// A rounded panel holding the picture; without a picture the panel stays empty.
static void layoutPromotionPanel(HDC dc) {
  int width = scaled(PANEL_WIDTH), height = scaled(PANEL_HEIGHT);
  int left = aboutState.aboutMargin + (aboutState.contentWidth - width) / 2;
  int top = aboutState.layoutY;
  if (aboutState.painting) {
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(DC_BRUSH));
    SetDCBrushColor(dc, PANEL_COLOUR);
    // Without a pen the fill stops one pixel short of the right and bottom edges.
    RoundRect(dc, left, top, left + width + 1, top + height + 1, scaled(PANEL_CORNER), scaled(PANEL_CORNER));
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    if (aboutState.picture)
      drawPicture(dc, left + scaled(PICTURE_LEFT), top + scaled(PICTURE_TOP), scaled(PICTURE_WIDTH),
                  scaled(PICTURE_HEIGHT));
  }
  aboutState.layoutY = top + scaled(PANEL_BELOW) + height;
}

// Lays the content out from the top; afterwards layoutY is the top of the
// button row. Measuring (painting false) also records the link areas.
void layoutAboutContent(HDC dc, bool painting) {
  aboutState.painting = painting;
  aboutState.layoutY = scaled(CONTENT_TOP);
  HGDIOBJ oldFont = SelectObject(dc, aboutState.fonts[bodyFont]);
  for (const AboutBlock& block : ABOUT_CONTENT) {
    switch (block.kind) {
      case TEXT_BLOCK:
        layoutTextBlock(dc, &block);
        break;
      case SEPARATOR:
        layoutSeparator(dc);
        break;
      case LINK:
        layoutLink(dc, &block);
        break;
      case LICENCE_TABLE:
        layoutLicenceTable(dc);
        break;
      case GAP:
        aboutState.layoutY += scaled(block.after);
        break;
      case PROMOTION_PANEL:
        layoutPromotionPanel(dc);
        break;
    }
  }
  SelectObject(dc, oldFont);
}

// --- The picture ----------------------------------------------------------------------------

struct GdiplusStartupRecord {
  UINT32 version;
  void* debugEventCallback;
  BOOL suppressBackgroundThread;
  BOOL suppressExternalCodecs;
};

typedef IStream*(WINAPI* CreateMemStreamProc)(const BYTE*, UINT);
typedef int(WINAPI* GdiplusStartupProc)(ULONG_PTR*, const GdiplusStartupRecord*, void*);
typedef void(WINAPI* GdiplusShutdownProc)(ULONG_PTR);
typedef int(WINAPI* CreateBitmapFromStreamProc)(IStream*, void**);
typedef int(WINAPI* CreateHbitmapFromBitmapProc)(void*, HBITMAP*, DWORD);
typedef int(WINAPI* DisposeImageProc)(void*);

struct PictureFunctions {
  CreateMemStreamProc createMemStream;
  GdiplusStartupProc startup;
  GdiplusShutdownProc shutdown;
  CreateBitmapFromStreamProc createBitmapFromStream;
  CreateHbitmapFromBitmapProc createHbitmapFromBitmap;
  DisposeImageProc disposeImage;
};

// GDI+ and shlwapi are loaded only when the About window first needs them.
static bool loadPictureFunctions(PictureFunctions* functions) {
  functions->createMemStream = (CreateMemStreamProc)loadProc("shlwapi", "SHCreateMemStream");
  functions->startup = (GdiplusStartupProc)loadProc("gdiplus", "GdiplusStartup");
  functions->shutdown = (GdiplusShutdownProc)loadProc("gdiplus", "GdiplusShutdown");
  functions->createBitmapFromStream = (CreateBitmapFromStreamProc)loadProc("gdiplus", "GdipCreateBitmapFromStream");
  functions->createHbitmapFromBitmap = (CreateHbitmapFromBitmapProc)loadProc("gdiplus", "GdipCreateHBITMAPFromBitmap");
  functions->disposeImage = (DisposeImageProc)loadProc("gdiplus", "GdipDisposeImage");
  return functions->createMemStream && functions->startup && functions->shutdown && functions->createBitmapFromStream &&
         functions->createHbitmapFromBitmap && functions->disposeImage;
}

// Decodes the PNG of a stream over the panel colour, so that its transparent
// parts blend into the panel. Null on any failure.
static HBITMAP decodePicture(const PictureFunctions* functions, IStream* stream) {
  GdiplusStartupRecord input = {1, NULL, FALSE, FALSE};
  ULONG_PTR token = 0;
  if (functions->startup(&token, &input, NULL) != 0) return NULL;
  HBITMAP picture = NULL;
  void* bitmap = NULL;
  if (functions->createBitmapFromStream(stream, &bitmap) == 0 && bitmap) {
    if (functions->createHbitmapFromBitmap(bitmap, &picture, PICTURE_BACKGROUND) != 0) picture = NULL;
    functions->disposeImage(bitmap);
  }
  functions->shutdown(token);
  return picture;
}

// The promotional picture from the program's resources, as a bitmap the
// process keeps; null when the resource, a library or the decoding fails.
HBITMAP loadPromoPicture() {
  HRSRC found = FindResourceW(NULL, MAKEINTRESOURCEW(IDR_ABOUT_PICTURE), RT_RCDATA);
  PictureFunctions functions;
  if (!found || !loadPictureFunctions(&functions)) return NULL;
  HGLOBAL loaded = LoadResource(NULL, found);
  const BYTE* bytes = loaded ? (const BYTE*)LockResource(loaded) : NULL;
  DWORD size = SizeofResource(NULL, found);
  if (!bytes || size == 0) return NULL;
  IStream* stream = functions.createMemStream(bytes, size);
  if (!stream) return NULL;
  HBITMAP picture = decodePicture(&functions, stream);
  stream->Release();
  return picture;
}

// --- The window -----------------------------------------------------------------------------

static void registerAboutClass(HINSTANCE instance) {
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = aboutWindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_ARROW);
  windowClass.lpszClassName = ABOUT_CLASS;
  RegisterClassExW(&windowClass);
  aboutState.backgroundBrush = CreateSolidBrush(WINDOW_COLOUR);
  aboutState.classRegistered = true;
}

static void createAboutFonts() {
  for (int i = 0; i < ABOUT_FONT_COUNT; i++) {
    const AboutFontSpec& spec = ABOUT_FONTS[i];
    aboutState.fonts[i] =
        CreateFontW(-scaled(spec.size), 0, 0, 0, spec.weight, FALSE, spec.underline, FALSE, DEFAULT_CHARSET,
                    OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH, spec.face);
  }
}

static void deleteAboutFonts() {
  for (int i = 0; i < ABOUT_FONT_COUNT; i++) {
    if (aboutState.fonts[i]) DeleteObject(aboutState.fonts[i]);
    aboutState.fonts[i] = NULL;
  }
}

static HWND createButton(HINSTANCE instance, const wchar_t* text, DWORD style, int id, int x, int y, int width) {
  HWND button = CreateWindowExW(0, L"BUTTON", text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | style, x, y, width,
                                scaled(BUTTON_HEIGHT), aboutWindow, (HMENU)(INT_PTR)id, instance, NULL);
  SendMessageW(button, WM_SETFONT, (WPARAM)aboutState.fonts[bodyFont], 0);
  return button;
}

// Centred on the frame, then pushed back inside the work area, the top-left
// corner winning when the window is larger than the work area.
static void placeAboutWindow(int clientHeight) {
  RECT outer = {0, 0, aboutState.contentWidth + 2 * aboutState.aboutMargin, clientHeight};
  AdjustWindowRectEx(&outer, ABOUT_STYLE, FALSE, ABOUT_EX_STYLE);
  placeOverFrame(aboutWindow, outer.right - outer.left, outer.bottom - outer.top);
}

// Opens the window, or brings the open one forward.
void showAboutWindow() {
  if (aboutWindow) {
    SetForegroundWindow(aboutWindow);
    return;
  }
  HINSTANCE instance = GetModuleHandleW(NULL);
  if (!aboutState.classRegistered) registerAboutClass(instance);
  if (!aboutState.picture) aboutState.picture = loadPromoPicture();
  createAboutFonts();

  wchar_t title[64];
  wsprintfW(title, pickText(L"\u00c0 propos de %s", L"About %s"), L"Brisa");
  aboutWindow =
      CreateWindowExW(ABOUT_EX_STYLE, ABOUT_CLASS, title, ABOUT_STYLE, 0, 0, 0, 0, frameWindow, NULL, instance, NULL);
  if (!aboutWindow) {
    deleteAboutFonts();
    return;
  }

  aboutState.aboutMargin = scaled(ABOUT_MARGIN);
  aboutState.contentWidth = scaled(CONTENT_WIDTH);
  aboutState.linkCount = 0;
  HDC dc = GetDC(aboutWindow);
  layoutAboutContent(dc, false);
  ReleaseDC(aboutWindow, dc);

  int buttonTop = aboutState.layoutY;
  HWND checkBox = createButton(instance, pickText(L"Ne plus afficher au d\u00e9marrage", L"Do not show at startup"),
                               BS_AUTOCHECKBOX, ABOUT_HIDE_AT_START_ID, aboutState.aboutMargin, buttonTop,
                               aboutState.contentWidth - scaled(CHECK_BOX_SHORTER));
  HWND closeButton = createButton(instance, pickText(L"Fermer", L"Close"), BS_DEFPUSHBUTTON, ABOUT_CLOSE_ID,
                                  aboutState.aboutMargin + aboutState.contentWidth - scaled(CLOSE_WIDTH), buttonTop,
                                  scaled(CLOSE_WIDTH));
  if (readSetting(L"HideAboutOnStartup")) SendMessageW(checkBox, BM_SETCHECK, BST_CHECKED, 0);

  placeAboutWindow(buttonTop + scaled(BUTTON_ROW_BELOW) + scaled(BUTTON_HEIGHT));
  EnableWindow(frameWindow, FALSE);
  ShowWindow(aboutWindow, SW_SHOW);
  SetFocus(closeButton);
}

// The frame first, so that it can take the activation back; then the
// default-reader question may come, now that nothing stands in front.
static void closeAboutWindow(HWND window) {
  EnableWindow(frameWindow, TRUE);
  DestroyWindow(window);
  PostMessageW(frameWindow, WM_APP_ASK_DEFAULT, 0, 0);
}

static void paintAboutWindow(HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  RECT client;
  GetClientRect(window, &client);
  FillRect(dc, &client, aboutState.backgroundBrush);
  SetBkMode(dc, TRANSPARENT);
  layoutAboutContent(dc, true);
  EndPaint(window, &paint);
}

// The index of the link area under a client point, or -1.
static int linkAreaAt(POINT point) {
  for (int i = 0; i < aboutState.linkCount; i++)
    if (PtInRect(&aboutState.linkAreas[i].rect, point)) return i;
  return -1;
}

static bool setLinkCursor(HWND window) {
  POINT cursor;
  GetCursorPos(&cursor);
  ScreenToClient(window, &cursor);
  if (linkAreaAt(cursor) < 0) return false;
  SetCursor(LoadCursorW(NULL, (LPCWSTR)IDC_HAND));
  return true;
}

// Without ShellExecuteW a click on a link does nothing.
static void followLinkAt(HWND window, POINT point) {
  int link = linkAreaAt(point);
  if (link >= 0) openInShell(window, L"open", aboutState.linkAreas[link].url);
}

static void runAboutCommand(HWND window, int id) {
  if (id == ABOUT_HIDE_AT_START_ID) {
    bool checked = SendMessageW(GetDlgItem(window, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
    writeSetting(L"HideAboutOnStartup", checked ? 1 : 0);
  } else if (id == ABOUT_CLOSE_ID || id == ABOUT_CANCEL_ID) {
    closeAboutWindow(window);
  }
}

LRESULT CALLBACK aboutWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT:
      paintAboutWindow(window);
      return 0;
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:   // the check box blends into the window
      SetBkColor((HDC)wParam, WINDOW_COLOUR);
      SetTextColor((HDC)wParam, MAIN_COLOUR);
      return (LRESULT)aboutState.backgroundBrush;
    case WM_SETCURSOR:
      if (setLinkCursor(window)) return TRUE;
      break;
    case WM_LBUTTONUP: {
      POINT point = {(short)LOWORD(lParam), (short)HIWORD(lParam)};
      followLinkAt(window, point);
      return 0;
    }
    case WM_COMMAND:
      runAboutCommand(window, LOWORD(wParam));
      return 0;
    case WM_CLOSE:
      closeAboutWindow(window);
      return 0;
    case WM_DESTROY:
      deleteAboutFonts();
      aboutWindow = NULL;
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}
