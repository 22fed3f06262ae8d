// Opening and closing the one document. The file stays open while the document
// is: PDFium reads a PDF through its handle, the ZIP reader a comic's directory
// from its mapping.
// A failed open shows one message and leaves the previous document untouched.
#include "base/base.h"

#include <math.h>
#include "viewer/recent.h"
#include "viewer/viewer.h"
#include "viewer/pdffile.h"
#include "search/search.h"
#include "thumbs/thumbs.h"
#include "comics/archive/memory.h"
#include "comics/pages.h"
#include "comics/rar/rar.h"
#include "comics/worker/worker.h"

struct ErrorText {
  const wchar_t* french;
  const wchar_t* english;
};

// Indexed by OpenError.
static const ErrorText OPEN_ERROR_TEXTS[] = {
    {L"Impossible d'ouvrir ce fichier.", L"Cannot open this file."},
    {L"Cette archive ne contient aucune image.", L"This archive contains no image."},
    {L"Document prot\u00e9g\u00e9 par mot de passe.", L"Password-protected document."},
    {L"Lecture des archives RAR impossible : unrar.dll manque \u00e0 c\u00f4t\u00e9 de Brisa.exe.",
     L"Cannot read RAR archives: unrar.dll is missing next to Brisa.exe."},
    {L"Archive illisible ou endommag\u00e9e.", L"Unreadable or damaged archive."},
};
static_assert(sizeof(OPEN_ERROR_TEXTS) / sizeof(OPEN_ERROR_TEXTS[0]) == OPEN_DAMAGED + 1, "one text per OpenError");

static void showOpenError(int error) {
  if (error < 0 || error >= (int)(sizeof(OPEN_ERROR_TEXTS) / sizeof(OPEN_ERROR_TEXTS[0]))) error = OPEN_CANNOT_OPEN;
  MessageBoxW(frameWindow, pickText(OPEN_ERROR_TEXTS[error].french, OPEN_ERROR_TEXTS[error].english), L"Brisa",
              MB_ICONERROR);
}

// The open file: a PDF is read through the handle (another program may rewrite
// it meanwhile); a comic's directory is read from a read-only mapping of it, its
// entries through the handle (comics/archive/memory.h says why).
struct OpenedFile {
  HANDLE handle;
  HANDLE mapping;   // null for a PDF
  const unsigned char* view;
  uint64_t size;
  uint64_t writeTime;
  unsigned char head[8];   // the first bytes, which tell a comic from a PDF
  DWORD headLength;
};

// False for a missing file or a folder.
static bool openFile(const wchar_t* path, OpenedFile* file) {
  ZeroMemory(file, sizeof *file);
  file->handle = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                             OPEN_EXISTING, 0, NULL);
  if (file->handle == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file->handle, &size)) size.QuadPart = 0;
  file->size = (uint64_t)size.QuadPart;
  FILETIME written = {0, 0};
  GetFileTime(file->handle, NULL, NULL, &written);
  file->writeTime = (uint64_t)written.dwHighDateTime << 32 | written.dwLowDateTime;
  OVERLAPPED start;
  ZeroMemory(&start, sizeof start);
  if (!ReadFile(file->handle, file->head, sizeof file->head, &file->headLength, &start)) file->headLength = 0;
  return true;
}

// Maps the whole file read-only; false for an empty file (which cannot be mapped).
static bool mapFile(OpenedFile* file) {
  file->mapping = CreateFileMappingW(file->handle, NULL, PAGE_READONLY, 0, 0, NULL);
  if (!file->mapping) return false;
  file->view = (const unsigned char*)MapViewOfFile(file->mapping, FILE_MAP_READ, 0, 0, 0);
  if (file->view) return true;
  CloseHandle(file->mapping);
  file->mapping = NULL;
  return false;
}

static void closeFile(OpenedFile* file) {
  if (file->view) UnmapViewOfFile(file->view);
  if (file->mapping) CloseHandle(file->mapping);
  CloseHandle(file->handle);
}

// Through the handle; a file too large for PDFium's reader (Windows' 32-bit
// length) from a mapping, as before.
static FPDF_DOCUMENT loadPdf(OpenedFile* file, PdfFileReader** reader) {
  *reader = NULL;
  if (file->size <= (unsigned long)-1) return loadPdfFromHandle(file->handle, file->size, reader);
  if (!mapFile(file)) return NULL;
  return FPDF_LoadMemDocument64(file->view, (size_t)file->size, NULL);
}

static void watchOpenComic() {
  const DocumentState& d = documentState;
  watchMappedFile(d.comicArchive ? d.fileView : NULL, d.fileSize, d.fileHandle);
}

// The four page arrays in one block: widths, heights (doubles), tops, lefts (ints).
static bool allocatePageArrays(int pageCount) {
  size_t count = pageCount > 0 ? (size_t)pageCount : 0;
  unsigned char* block = (unsigned char*)HeapAlloc(GetProcessHeap(), 0, 24 * count + 1);
  if (!block) return false;
  documentState.pageWidths = (double*)block;
  documentState.pageHeights = (double*)(block + 8 * count);
  documentState.pageTops = (int*)(block + 16 * count);
  documentState.pageLefts = (int*)(block + 20 * count);
  return true;
}

static void readPdfPageSizes() {
  for (int i = 0; i < documentState.pageCount; i++) {
    double width = 0, height = 0;
    if (!FPDF_GetPageSizeByIndex(documentState.pdfDocument, i, &width, &height)) width = height = NAN;
    storePageSize(i, width, height);
  }
}

// A solid RAR archive is unpacked whole at open, on this thread: seconds for a
// large one. Meanwhile the windows repaint (the pages still shown come from the
// cache only) and Esc stops the open; Ctrl+W or closing the window stops it and
// ends the program. Nothing else leaves the queue until the open is over.
static const DWORD OPEN_PUMP_MILLISECONDS = 50;
static const int OPEN_PAINTS_PER_PUMP = 16;   // a window that never validates cannot hold the open

struct OpeningState {
  bool active;
  bool cancelled;
  bool closeAfter;
  DWORD lastPump;
};
static OpeningState opening;

static void takeOpeningKeys() {
  MSG msg;
  while (PeekMessageW(&msg, NULL, WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE)) {
    if (msg.wParam == VK_ESCAPE) opening.cancelled = true;
    if (msg.wParam == 'W' && GetKeyState(VK_CONTROL) < 0) opening.cancelled = opening.closeAfter = true;
  }
}

static bool keepOpening() {
  DWORD now = GetTickCount();
  if (now - opening.lastPump < OPEN_PUMP_MILLISECONDS) return !opening.cancelled;
  opening.lastPump = now;
  takeOpeningKeys();
  MSG msg;
  for (int i = 0; i < OPEN_PAINTS_PER_PUMP && !opening.cancelled; i++) {
    if (!PeekMessageW(&msg, NULL, WM_PAINT, WM_PAINT, PM_REMOVE)) break;
    DispatchMessageW(&msg);
  }
  return !opening.cancelled;
}

bool stopOpeningAndClose() {
  if (!opening.active) return false;
  opening.cancelled = opening.closeAfter = true;
  return true;
}

static ComicArchive* openArchiveResponsively(ArchiveKind kind, const wchar_t* path, const OpenedFile* file,
                                             int* error) {
  opening = OpeningState();
  opening.active = true;
  opening.lastPump = GetTickCount();
  holdPageDecodes(true);
  setRarListingProgress(keepOpening);
  ComicArchive* archive = openArchive(kind, (const char16_t*)path, file->view, file->size, error);
  setRarListingProgress(NULL);
  holdPageDecodes(false);
  opening.active = false;
  return archive;
}

// Opens the file in place of the open document, laid out at nothing yet.
// False when it cannot be opened: the reason is shown unless quiet, and the
// previous document stays.
static bool replaceDocument(const wchar_t* path, bool quiet) {
  OpenedFile file;
  if (!openFile(path, &file)) {
    if (!quiet) showOpenError(OPEN_CANNOT_OPEN);
    return false;
  }
  // Absolute, so that a later change of the current folder (the open dialog)
  // cannot change which file it names: a RAR archive is read again by path at
  // every page decode, and the path names the file's kept reading position.
  wchar_t fullPath[MAX_PATH_UNITS];
  DWORD length = GetFullPathNameW(path, MAX_PATH_UNITS, fullPath, NULL);
  if (length == 0 || length >= MAX_PATH_UNITS) fullPath[0] = 0;
  ArchiveKind kind = detectArchiveKind(file.head, file.headLength);
  FPDF_DOCUMENT pdf = NULL;
  PdfFileReader* reader = NULL;
  ComicArchive* archive = NULL;
  int error = OPEN_CANNOT_OPEN;
  if (kind != NOT_AN_ARCHIVE && mapFile(&file)) {
    SetCursor(LoadCursorW(NULL, (LPCWSTR)IDC_WAIT));
    const wchar_t* archivePath = fullPath[0] ? fullPath : path;
    watchOpeningFile(file.view, file.size, file.handle);   // its entries are read from the file
    archive = openArchiveResponsively(kind, archivePath, &file, &error);
  } else if (kind == NOT_AN_ARCHIVE) {
    pdf = loadPdf(&file, &reader);
    if (!pdf && FPDF_GetLastError() == FPDF_ERR_PASSWORD) error = OPEN_PASSWORD_PROTECTED;
  }
  if (!pdf && !archive) {
    watchOpenComic();   // the document still open, as before
    closeFile(&file);
    if (!quiet && error != OPEN_CANCELLED) showOpenError(error);
    if (opening.closeAfter) DestroyWindow(frameWindow);
    return false;
  }

  rememberReadingPosition();
  closeDocument();
  DocumentState& d = documentState;
  d.pdfDocument = pdf;
  d.comicArchive = archive;
  d.fileHandle = file.handle;
  d.pdfReader = reader;
  d.fileMapping = file.mapping;
  d.fileView = file.view;
  d.fileSize = file.size;
  d.fileWriteTime = file.writeTime;
  watchOpenComic();
  d.pageCount = pdf ? FPDF_GetPageCount(pdf) : archivePageCount(archive);
  if (d.pageCount < 0) d.pageCount = 0;
  if (!allocatePageArrays(d.pageCount)) {
    // Out of memory with the old document already gone: an empty view beats a half-open one.
    closeDocument();
    if (!quiet) showOpenError(OPEN_CANNOT_OPEN);
    relayoutFrame();
    layoutPages(0, 0);
    return false;
  }
  viewState.quarterTurns = 0;   // a new document starts unturned, as its sizes are read
  if (pdf) {
    readPdfPageSizes();
  } else {
    for (int i = 0; i < d.pageCount; i++) {
      double width, height;
      comicPageSize(archive, i, &width, &height);
      storePageSize(i, width, height);
    }
  }
  lstrcpynW(d.filePath, path, MAX_PATH_UNITS);
  d.fileName = fileNameOf(d.filePath);
  lstrcpyW(d.fullPath, fullPath);

  viewState.layoutWidth = viewState.layoutHeight = 0;
  viewState.scrollX = viewState.scrollY = 0;
  clearSearchMatch();
  resetThumbnails(d.pdfDocument, d.comicArchive, d.pageCount, d.pageWidths, d.pageHeights);
  resetOutline(d.pdfDocument);
  return true;
}

void openDocument(const wchar_t* path) {
  if (!replaceDocument(path, false)) return;
  viewState.fitWidth = true;
  viewState.fitPage = false;
  forgetJumpPlaces();
  relayoutFrame();
  if (!resumeReadingPosition()) layoutPages(0, 0);
}

// Reads the open document's file again and shows it at the same place, with
// the same zoom or fit and turn; the page mode and the search text stay as they are.
// A place past the end of a shorter file goes to its last page. False, with
// the document as it was, when the file no longer opens: the reason is shown
// unless quiet (a file halfway through being written is no news).
bool reloadDocument(bool quiet) {
  const DocumentState& d = documentState;
  if (!documentIsOpen()) return false;
  wchar_t path[MAX_PATH_UNITS];   // a copy: the open replaces both paths
  lstrcpyW(path, d.fullPath[0] ? d.fullPath : d.filePath);
  int page;
  double fraction;
  currentReadingPosition(&page, &fraction);
  int scrollX = viewState.scrollX;
  int turns = viewState.quarterTurns;
  if (!replaceDocument(path, quiet)) return false;
  if (turns) rotatePages(turns);   // the pages stay turned as they were
  relayoutFrame();
  if (d.pageCount <= 0) {
    layoutPages(0, 0);
    return true;
  }
  if (page >= d.pageCount) page = d.pageCount - 1, fraction = 0;
  viewState.currentPage = page;   // the page a fitted page fits
  layoutPagesAtPosition(page, fraction);
  scrollTo(scrollX, viewState.scrollY);
  return true;
}

// A comic's file pages that were read (every entry's beginning at open, each
// page's entry at its decode) would stay counted in the program's memory until
// the system wants them back, so a comic read through would seem to hold its
// whole file. At each page turn they are let go; what is needed is read again.
void releaseReadComicBytes() {
  if (documentState.comicArchive) releaseMappedPages(documentState.fileView, documentState.fileSize);
}

// Releases what is open, pages before their document and the document before
// the mapping it reads from. Safe to call with nothing open.
void closeDocument() {
  DocumentState& d = documentState;
  resetThumbnails(NULL, NULL, 0, NULL, NULL);
  resetOutline(NULL);   // its bookmarks belong to the document
  closeCachedPages();
  if (d.pdfDocument) FPDF_CloseDocument(d.pdfDocument);
  d.pdfDocument = NULL;
  freePdfFileReader(d.pdfReader);
  d.pdfReader = NULL;
  closeArchive(d.comicArchive);   // waits for a decode of it on the worker first
  d.comicArchive = NULL;
  watchOpenComic();
  if (d.fileView) UnmapViewOfFile(d.fileView);
  if (d.fileMapping) CloseHandle(d.fileMapping);
  if (d.fileHandle) CloseHandle(d.fileHandle);
  d.fileView = NULL;
  d.fileMapping = NULL;
  d.fileHandle = NULL;
  d.fileSize = 0;
  d.fileWriteTime = 0;
  d.fullPath[0] = 0;
  if (d.pageWidths) HeapFree(GetProcessHeap(), 0, d.pageWidths);
  d.pageWidths = d.pageHeights = NULL;
  d.pageTops = d.pageLefts = NULL;
  d.pageCount = 0;
}
