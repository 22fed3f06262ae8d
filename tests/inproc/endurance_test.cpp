// A long session in one process: hundreds of opens of every kind of document,
// each used as a reader would, with the process's handles, GDI and window
// objects, PDFium objects, heap and resident memory read after every open; and a
// comic closed or replaced while the decode worker works on it, at varied moments;
// and a storm of navigation keys while a long PDF's thumbnails render.
//   endurance_tests.exe [--opens=N] [--closings=N] [--keys=N] [gtest options]
// The defaults are the short run CI makes; scripts/endurance.sh runs the long one.
#include "app/app.h"
#include <winternl.h>
#include "comics/worker/worker.h"
#include "search/search.h"
#include "tests/inproc/gtest.h"
#include "tests/support/inproc.h"
#include "tests/support/pdfwriter.h"
#include "thumbs/thumbs.h"
#include "viewer/viewer.h"

#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <string>
#include <vector>

static int openCount = 150;
static int closingCount = 500;
static int stormKeys = 1000;

// ---- PDFium objects alive, counted at the calls the program makes ----------
// The program's calls bind to these definitions; each forwards to libpdfium.so.

static long liveDocuments, livePages, liveTextPages, liveSearches, liveBitmaps;

template <typename F>
static F realPdfium(const char* name) {
  static void* library = dlopen("libpdfium.so", RTLD_NOW | RTLD_NOLOAD);
  return library ? (F)dlsym(library, name) : (F)NULL;
}

extern "C" {
FPDF_DOCUMENT FPDF_LoadMemDocument64(const void* data, size_t size, FPDF_BYTESTRING password) {
  static auto real = realPdfium<FPDF_DOCUMENT (*)(const void*, size_t, FPDF_BYTESTRING)>("FPDF_LoadMemDocument64");
  FPDF_DOCUMENT document = real(data, size, password);
  if (document) liveDocuments++;
  return document;
}
FPDF_DOCUMENT FPDF_LoadCustomDocument(FPDF_FILEACCESS* access, FPDF_BYTESTRING password) {
  static auto real = realPdfium<FPDF_DOCUMENT (*)(FPDF_FILEACCESS*, FPDF_BYTESTRING)>("FPDF_LoadCustomDocument");
  FPDF_DOCUMENT document = real(access, password);
  if (document) liveDocuments++;
  return document;
}
void FPDF_CloseDocument(FPDF_DOCUMENT document) {
  static auto real = realPdfium<void (*)(FPDF_DOCUMENT)>("FPDF_CloseDocument");
  if (document) liveDocuments--;
  real(document);
}
FPDF_PAGE FPDF_LoadPage(FPDF_DOCUMENT document, int index) {
  static auto real = realPdfium<FPDF_PAGE (*)(FPDF_DOCUMENT, int)>("FPDF_LoadPage");
  FPDF_PAGE page = real(document, index);
  if (page) livePages++;
  return page;
}
void FPDF_ClosePage(FPDF_PAGE page) {
  static auto real = realPdfium<void (*)(FPDF_PAGE)>("FPDF_ClosePage");
  if (page) livePages--;
  real(page);
}
FPDF_TEXTPAGE FPDFText_LoadPage(FPDF_PAGE page) {
  static auto real = realPdfium<FPDF_TEXTPAGE (*)(FPDF_PAGE)>("FPDFText_LoadPage");
  FPDF_TEXTPAGE text = real(page);
  if (text) liveTextPages++;
  return text;
}
void FPDFText_ClosePage(FPDF_TEXTPAGE text) {
  static auto real = realPdfium<void (*)(FPDF_TEXTPAGE)>("FPDFText_ClosePage");
  if (text) liveTextPages--;
  real(text);
}
FPDF_SCHHANDLE FPDFText_FindStart(FPDF_TEXTPAGE text, FPDF_WIDESTRING what, FPDF_DWORD flags, int start) {
  static auto real =
      realPdfium<FPDF_SCHHANDLE (*)(FPDF_TEXTPAGE, FPDF_WIDESTRING, FPDF_DWORD, int)>("FPDFText_FindStart");
  FPDF_SCHHANDLE search = real(text, what, flags, start);
  if (search) liveSearches++;
  return search;
}
void FPDFText_FindClose(FPDF_SCHHANDLE search) {
  static auto real = realPdfium<void (*)(FPDF_SCHHANDLE)>("FPDFText_FindClose");
  if (search) liveSearches--;
  real(search);
}
FPDF_BITMAP FPDFBitmap_Create(int width, int height, int alpha) {
  static auto real = realPdfium<FPDF_BITMAP (*)(int, int, int)>("FPDFBitmap_Create");
  FPDF_BITMAP bitmap = real(width, height, alpha);
  if (bitmap) liveBitmaps++;
  return bitmap;
}
FPDF_BITMAP FPDFBitmap_CreateEx(int width, int height, int format, void* buffer, int stride) {
  static auto real = realPdfium<FPDF_BITMAP (*)(int, int, int, void*, int)>("FPDFBitmap_CreateEx");
  FPDF_BITMAP bitmap = real(width, height, format, buffer, stride);
  if (bitmap) liveBitmaps++;
  return bitmap;
}
void FPDFBitmap_Destroy(FPDF_BITMAP bitmap) {
  static auto real = realPdfium<void (*)(FPDF_BITMAP)>("FPDFBitmap_Destroy");
  if (bitmap) liveBitmaps--;
  real(bitmap);
}
}

// Not in Wine's headers, but in its libraries.
extern "C" DWORD WINAPI GetGuiResources(HANDLE process, DWORD flags);
extern "C" BOOL WINAPI GetProcessHandleCount(HANDLE process, DWORD* count);
enum { GR_GDIOBJECTS = 0, GR_USEROBJECTS = 1 };

namespace {

// ---- What the process holds ------------------------------------------------

// Wine keeps the GDI handle table in the process (GetGuiResources is a stub
// there); an entry with a type is a live object. Same layout as Windows' table.
struct GdiHandleEntry {
  UINT64 object;
  ULONG owner;
  USHORT unique;
  UCHAR type;
  UCHAR flags;
  UINT64 userPointer;
};
static_assert(sizeof(GdiHandleEntry) == 24, "the layout of the shared handle table");

long gdiObjects() {
  DWORD reported = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  if (reported) return reported;
  const GdiHandleEntry* table = (const GdiHandleEntry*)NtCurrentTeb()->Peb->GdiSharedHandleTable;
  if (!table) return -1;
  long count = 0;
  for (int i = 0; i < 0x10000; i++) count += table[i].type != 0;
  return count;
}

BOOL CALLBACK countWindow(HWND window, LPARAM counter) {
  (*(long*)counter)++;
  EnumChildWindows(window, countWindow, counter);
  return TRUE;
}

// USER objects: the reported count where the system gives one, else our windows.
long userObjects() {
  DWORD reported = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
  if (reported) return reported;
  long count = 0;
  EnumThreadWindows(GetCurrentThreadId(), countWindow, (LPARAM)&count);
  return count;
}

// The process's kernel handles: the reported count, or where that is a stub
// (Wine), the process's entries in the system's handle list.
long handleCount() {
  DWORD count = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &count) && count) return (long)count;
  typedef LONG(WINAPI * QuerySystem)(SYSTEM_INFORMATION_CLASS, void*, ULONG, ULONG*);
  static QuerySystem query = (QuerySystem)GetProcAddress(GetModuleHandleW(L"ntdll"), "NtQuerySystemInformation");
  if (!query) return -1;
  static std::vector<char> buffer(1 << 20);
  ULONG needed = 0;
  while (query(SystemHandleInformation, buffer.data(), (ULONG)buffer.size(), &needed) != 0) {
    if (buffer.size() >= (64u << 20)) return -1;
    buffer.resize(buffer.size() * 2);
  }
  const SYSTEM_HANDLE_INFORMATION* list = (const SYSTEM_HANDLE_INFORMATION*)buffer.data();
  long mine = 0;
  for (ULONG i = 0; i < list->Count; i++) mine += list->Handle[i].OwnerPid == GetCurrentProcessId();
  return mine;
}

// Bytes of the process heap's blocks in use and of its committed regions.
void heapBytes(double* busy, double* committed) {
  HANDLE heap = GetProcessHeap();
  PROCESS_HEAP_ENTRY entry = {};
  *busy = *committed = 0;
  HeapLock(heap);
  while (HeapWalk(heap, &entry)) {
    if (entry.wFlags & PROCESS_HEAP_REGION)
      *committed += entry.Region.dwCommittedSize;
    else if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
      *busy += entry.cbData;
  }
  HeapUnlock(heap);
}

double residentBytes() {
  FILE* f = fopen("/proc/self/statm", "r");
  long pages = 0, resident = 0;
  if (f) {
    if (fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    fclose(f);
  }
  return (double)resident * sysconf(_SC_PAGESIZE);
}

enum {
  HANDLES,
  GDI,
  USER,
  PDF_DOCUMENTS,
  PDF_PAGES,
  PDF_TEXT,
  PDF_SEARCHES,
  PDF_BITMAPS,
  DECODE_JOBS,
  HEAP_BUSY,
  HEAP_COMMITTED,
  RESIDENT,
  MEASURES
};

struct Measure {
  const char* name;
  double unit;   // printed in these
  const char* unitName;
  double allowed;   // growth per 100 opens tolerated by the check, in units
};

// The allowances: object counts must come back exactly each round; memory may
// wander by what allocator reuse and Wine's own caches do over a few hundred
// opens (measured: a few KiB of heap and well under 1 MiB resident per 100).
const Measure MEASURE_TABLE[MEASURES] = {
    {"process handles", 1, "", 0.5},
    {"GDI objects", 1, "", 0.5},
    {"USER objects (windows)", 1, "", 0.5},
    {"PDFium documents", 1, "", 0},
    {"PDFium pages", 1, "", 0},
    {"PDFium text pages", 1, "", 0},
    {"PDFium searches", 1, "", 0},
    {"PDFium bitmaps", 1, "", 0},
    {"decode jobs outstanding", 1, "", 0},
    {"heap bytes in use", 1024, "KiB", 64},
    {"heap committed", 1024, "KiB", 512},
    {"resident", 1024 * 1024, "MiB", 4},
};

void sample(double* values) {
  values[HANDLES] = handleCount();
  values[GDI] = gdiObjects();
  values[USER] = userObjects();
  values[PDF_DOCUMENTS] = liveDocuments;
  values[PDF_PAGES] = livePages;
  values[PDF_TEXT] = liveTextPages;
  values[PDF_SEARCHES] = liveSearches;
  values[PDF_BITMAPS] = liveBitmaps;
  values[DECODE_JOBS] = isDecodeBusy();
  heapBytes(&values[HEAP_BUSY], &values[HEAP_COMMITTED]);
  values[RESIDENT] = residentBytes();
}

// Least-squares slope of y over x.
double slope(const std::vector<double>& x, const std::vector<double>& y) {
  double n = (double)x.size(), sx = 0, sy = 0, sxx = 0, sxy = 0;
  for (size_t i = 0; i < x.size(); i++) {
    sx += x[i];
    sy += y[i];
    sxx += x[i] * x[i];
    sxy += x[i] * y[i];
  }
  double d = n * sxx - sx * sx;
  return d ? (n * sxy - sx * sy) / d : 0;
}

// The slope of the means of whole cycles (each document once), so that what one
// kind of document holds while it is open does not pass for a trend.
double cycleSlope(const std::vector<double>& x, const std::vector<double>& y, size_t cycle) {
  std::vector<double> cx, cy;
  for (size_t start = 0; start + cycle <= y.size(); start += cycle) {
    double sx = 0, sy = 0;
    for (size_t i = start; i < start + cycle; i++) sx += x[i], sy += y[i];
    cx.push_back(sx / cycle);
    cy.push_back(sy / cycle);
  }
  return slope(cx, cy);
}

// ---- Driving the program ---------------------------------------------------

std::string folder;
int messageBoxes;

// Every message box the program shows is answered at once, as a user would.
LRESULT CALLBACK answerMessageBoxes(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    wchar_t name[16];
    GetClassNameW((HWND)wParam, name, 16);
    if (!lstrcmpW(name, L"#32770")) {
      messageBoxes++;
      PostMessageW((HWND)wParam, WM_COMMAND, IDOK, 0);
    }
  }
  return CallNextHookEx(NULL, code, wParam, lParam);
}

// The decode jobs seen: submitted by an idle step, and delivered to the frame.
struct JobWatch {
  int opens;             // comics and PDFs opened so far: which document a job belongs to
  int submittedAtOpen;   // the open during which the outstanding job was submitted
  int submitted, delivered, deliveredToAnotherDocument;
};
JobWatch jobs;

void noteSubmission(bool wasBusy) {
  if (wasBusy || !isDecodeBusy()) return;
  jobs.submitted++;
  jobs.submittedAtOpen = jobs.opens;
}

// A finished job may only reach the archive it was made for, and only while
// that archive is still the open one; otherwise it must come detached.
void noteDelivery(const DecodeJob* job) {
  jobs.delivered++;
  if (job->archive && (job->archive != documentState.comicArchive || jobs.submittedAtOpen != jobs.opens))
    jobs.deliveredToAnotherDocument++;
}

// A failed open leaves the previous document open, and its job its own.
void openNoted(const wchar_t* path) {
  openDocument(path);
  if (documentIsOpen() && !lstrcmpW(documentState.filePath, path)) jobs.opens++;
}

bool dispatchOne() {
  MSG msg;
  if (!PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) return false;
  if (msg.message == WM_APP_IMAGE_READY && msg.hwnd == frameWindow) noteDelivery((const DecodeJob*)msg.lParam);
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
  return true;
}

// One idle pass of the main loop; nonzero when the thumbnails want another.
int idleStep() {
  bool wasBusy = isDecodeBusy();
  prefetchStep();
  noteSubmission(wasBusy);
  wasBusy = isDecodeBusy();
  int more = renderNextThumbnail();
  noteSubmission(wasBusy);
  return more;
}

// Messages and idle steps as the main loop makes them, until nothing is left to
// do: the thumbnails rendered and the worker at rest.
void runUntilIdle() {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < 20000) {
    if (dispatchOne()) continue;
    if (idleStep()) continue;
    if (!isDecodeBusy()) return;
    MsgWaitForMultipleObjects(0, NULL, FALSE, 50, QS_ALLINPUT);
  }
  ADD_FAILURE() << "the program did not come to rest within 20 s";
}

void key(WPARAM vk) {
  SendMessageW(viewWindow, WM_KEYDOWN, vk, 1);
  UpdateWindow(viewWindow);
}

// One document used as a reader would: painted, paged through, searched (a hit
// and a miss), its thumbnails drawn, then back to the top.
void useDocument() {
  runUntilIdle();
  InvalidateRect(viewWindow, NULL, FALSE);
  UpdateWindow(viewWindow);
  for (int i = 0; i < 3; i++) key(VK_NEXT);
  key(VK_END);
  SetWindowTextW(searchBox, L"needle");
  findText(+1);
  SetWindowTextW(searchBox, L"absent");
  findText(+1);
  runUntilIdle();
  key(VK_HOME);
  runUntilIdle();
}

bool run(const std::string& command) {
  return system(command.c_str()) == 0;
}

std::string sourcePath(const std::string& relative) {
  return std::string(BRISA_SOURCE_DIR) + "/" + relative;
}

struct Document {
  std::string path;
  bool opens;
};

// A PDF with text, comics stored and deflated, a RAR comic, a damaged file and a
// PDF locked by a password.
std::vector<Document> makeDocuments() {
  std::vector<TestPage> pages;
  for (int i = 0; i < 12; i++)
    pages.push_back(TestPage{612, 792, {"page " + std::to_string(i + 1), i == 9 ? "a needle here" : "hay"}});
  std::string pdf = folder + "/text.pdf";
  FILE* f = fopen(pdf.c_str(), "wb");
  std::string bytes = makeTestPdf(pages);
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
  std::string images = folder + "/images";
  bool made = run("mkdir -p " + images + " && cd " + images +
                  " && for i in 1 2 3 4 5 6; do convert -size 600x900 gradient:gray$((i*15))-white -quality 85 p$i.jpg"
                  " && convert -size 500x700 xc:gray$((i*10)) p$i.png || exit 1; done"
                  " && zip -q -0 ../stored.cbz p*.jpg p*.png && zip -q -9 ../deflated.cbz p*.jpg p*.png") &&
              run("python3 " + sourcePath("scripts/makerar.py") + " " + folder + "/comic.cbr " + images + "/p*.jpg") &&
              run("qpdf --encrypt secret owner 256 -- " + pdf + " " + folder + "/locked.pdf");
  if (!made) return {};
  f = fopen((folder + "/damaged.cbz").c_str(), "wb");
  fputs("PK\003\004 this archive ends here", f);
  fclose(f);
  return {{pdf, true},
          {folder + "/stored.cbz", true},
          {folder + "/deflated.cbz", true},
          {folder + "/comic.cbr", true},
          {folder + "/damaged.cbz", false},
          {folder + "/locked.pdf", false}};
}

struct Endurance : ::testing::Test {
  HHOOK hook;
  void SetUp() override {
    char pattern[] = "/tmp/brisa-endurance-XXXXXX";
    folder = mkdtemp(pattern);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Brisa");
    writeSetting(L"HideAboutOnStartup", 1);
    writeSetting(L"NeverAskDefault", 1);
    writeSetting(L"HideThumbs", 0);   // the thumbnail panel is shown and drawn
    hook = SetWindowsHookExW(WH_CBT, answerMessageBoxes, NULL, GetCurrentThreadId());
    Wide line = wide("brisa");
    startBrisa(GetModuleHandleW(NULL), line.text);
    runUntilIdle();
  }
  void TearDown() override {
    DestroyWindow(frameWindow);
    runUntilIdle();
    stopBrisa();
    UnhookWindowsHookEx(hook);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Brisa");
    writeSetting(L"HideAboutOnStartup", 1);
    run("rm -rf " + folder);
  }
};

// ---- The key storm ---------------------------------------------------------

// What a storm posts, with how many in 64 of them are of each kind.
enum StormInput { STORM_KEY, STORM_REPEAT, STORM_WHEEL_IN, STORM_WHEEL_OUT };
struct StormEntry {
  StormInput input;
  WPARAM key;
  int weight;
};
const StormEntry STORM_TABLE[] = {
    {STORM_KEY, VK_NEXT, 10}, {STORM_REPEAT, VK_NEXT, 8}, {STORM_KEY, VK_PRIOR, 6}, {STORM_REPEAT, VK_PRIOR, 4},
    {STORM_KEY, VK_DOWN, 5},  {STORM_REPEAT, VK_UP, 5},   {STORM_KEY, VK_LEFT, 2},  {STORM_KEY, VK_RIGHT, 2},
    {STORM_KEY, VK_SPACE, 3}, {STORM_KEY, VK_HOME, 3},    {STORM_KEY, VK_END, 3},   {STORM_KEY, 'D', 3},
    {STORM_KEY, VK_F4, 2},    {STORM_WHEEL_IN, 0, 4},     {STORM_WHEEL_OUT, 0, 4},
};

const StormEntry& pickStormEntry() {
  int total = 0;
  for (const StormEntry& entry : STORM_TABLE) total += entry.weight;
  int pick = rand() % total;
  for (const StormEntry& entry : STORM_TABLE) {
    if (pick < entry.weight) return entry;
    pick -= entry.weight;
  }
  return STORM_TABLE[0];
}

void postStormEntry(const StormEntry& entry) {
  if (entry.input == STORM_KEY || entry.input == STORM_REPEAT) {
    LPARAM keyData = 1 | (entry.input == STORM_REPEAT ? 1 << 30 : 0);
    PostMessageW(viewWindow, WM_KEYDOWN, entry.key, keyData);
    return;
  }
  RECT view;
  GetWindowRect(viewWindow, &view);
  int delta = entry.input == STORM_WHEEL_IN ? WHEEL_DELTA : -WHEEL_DELTA;
  LPARAM point = MAKELPARAM((view.left + view.right) / 2, (view.top + view.bottom) / 2);
  PostMessageW(viewWindow, WM_MOUSEWHEEL, MAKEWPARAM(MK_CONTROL, delta), point);
}

// User and system time of the whole process, from the kernel's record.
double processCpuSeconds() {
  FILE* f = fopen("/proc/self/stat", "r");
  if (!f) return -1;
  char line[1024];
  size_t length = fread(line, 1, sizeof line - 1, f);
  fclose(f);
  line[length] = 0;
  const char* after = strrchr(line, ')');   // the name may hold spaces
  unsigned long user = 0, system = 0;
  if (!after || sscanf(after + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &user, &system) != 2)
    return -1;
  return (double)(user + system) / sysconf(_SC_CLK_TCK);
}

// The main loop left alone for a while: what it finds to do, and the CPU it takes.
void idleFor(DWORD milliseconds, int* work, double* cpuSeconds) {
  *work = 0;
  double cpuBefore = processCpuSeconds();
  DWORD start = GetTickCount();
  while (GetTickCount() - start < milliseconds) {
    if (dispatchOne() || idleStep()) {
      (*work)++;
      continue;
    }
    MsgWaitForMultipleObjects(0, NULL, FALSE, 50, QS_ALLINPUT);
  }
  *cpuSeconds = processCpuSeconds() - cpuBefore;
}

// The page the title names: the first number after the file's name.
int pageInTitle() {
  wchar_t title[400];
  GetWindowTextW(frameWindow, title, 400);
  std::string text = narrow(title);
  size_t at = text.find(" - ");
  return at == std::string::npos ? -1 : atoi(text.c_str() + at + 3);
}
}   // namespace

// Opens cycling through every kind of document, each used in full with the
// thumbnail panel shown; after a warm-up of 50 opens nothing the process holds
// may grow with the number of opens.
TEST_F(Endurance, RepeatedOpensHoldNothingMore) {
  std::vector<Document> documents = makeDocuments();
  ASSERT_EQ(6u, documents.size()) << "the test documents could not be made";

  // The GDI count must see objects come and go, or it measures nothing.
  long gdiBefore = gdiObjects();
  HBRUSH brushes[10];
  for (HBRUSH& brush : brushes) brush = CreateSolidBrush(RGB(1, 2, 3));
  EXPECT_EQ(gdiBefore + 10, gdiObjects());
  for (HBRUSH brush : brushes) DeleteObject(brush);

  const int warmUp = 50;
  ASSERT_GT(openCount, warmUp + (int)documents.size() * 4) << "too few opens to see a trend";
  std::vector<double> x, y[MEASURES];
  int failedOpens = 0, boxesBefore = messageBoxes;
  for (int open = 0; open < openCount; open++) {
    const Document& document = documents[open % documents.size()];
    Wide path = wide(document.path);
    openNoted(path.text);
    bool opened = documentIsOpen() && !lstrcmpW(documentState.filePath, path.text);
    EXPECT_EQ(document.opens, opened) << document.path;
    failedOpens += !opened;
    if (opened) {
      EXPECT_GT(thumbnailPanelWidth(), 0);
    }
    useDocument();
    if (open < warmUp) continue;
    double values[MEASURES];
    sample(values);
    x.push_back(open);
    for (int m = 0; m < MEASURES; m++) y[m].push_back(values[m]);
  }
  EXPECT_EQ(failedOpens, messageBoxes - boxesBefore) << "one message for each failed open";

  size_t cycle = documents.size();
  printf("%d opens, warm-up %d; slope per 100 opens after it, and the range of the samples:\n", openCount, warmUp);
  for (int m = 0; m < MEASURES; m++) {
    const Measure& measure = MEASURE_TABLE[m];
    double perHundred = cycleSlope(x, y[m], documents.size()) * 100 / measure.unit;
    double low = y[m][0], high = y[m][0];
    for (double v : y[m]) low = v < low ? v : low, high = v > high ? v : high;
    printf("  %-26s %+10.2f %-4s per 100 opens   (%.1f .. %.1f %s)\n", measure.name, perHundred, measure.unitName,
           low / measure.unit, high / measure.unit, measure.unitName);
    EXPECT_LE(perHundred, measure.allowed + 1e-6) << measure.name << " grows with the opens";
  }
  // At the same point of the cycle, an object count is back where it was.
  for (int m = 0; m <= DECODE_JOBS; m++)
    for (size_t i = cycle; i < y[m].size(); i++)
      EXPECT_LE(y[m][i], y[m][i % cycle] + (m == HANDLES || m == GDI ? 2 : 0))
          << MEASURE_TABLE[m].name << " after open " << x[i];
  fflush(stdout);
}

// A comic closed or replaced while the worker decodes one of its pages or
// thumbnails, at once, in the middle of the decode, or once the result is
// posted: never a hang, never a result filed into another document, no job left.
TEST_F(Endurance, ComicsClosedUnderTheWorker) {
  std::vector<Document> documents = makeDocuments();
  ASSERT_EQ(6u, documents.size()) << "the test documents could not be made";
  const int comics[] = {1, 2, 3};   // stored, deflated, RAR
  jobs = JobWatch();
  srand(21);
  int caught = 0;
  for (int round = 0; round < closingCount; round++) {
    Wide comic = wide(documents[comics[round % 3]].path);
    openNoted(comic.text);
    ASSERT_NE(nullptr, documentState.comicArchive);
    UpdateWindow(viewWindow);
    for (int step = 0; step < 20 && !isDecodeBusy(); step++) idleStep();
    caught += isDecodeBusy();
    switch (round % 3) {
      case 0:   // at once
        break;
      case 1: {   // somewhere in the decode
        LARGE_INTEGER now, until, frequency;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&now);
        until.QuadPart = now.QuadPart + frequency.QuadPart * (rand() % 8000) / 1000000;
        while (now.QuadPart < until.QuadPart) QueryPerformanceCounter(&now);
        break;
      }
      case 2: {   // the result is posted, not yet handled
        MSG msg;
        for (int wait = 0; wait < 5000 && isDecodeBusy() &&
                           !PeekMessageW(&msg, frameWindow, WM_APP_IMAGE_READY, WM_APP_IMAGE_READY, PM_NOREMOVE);
             wait++)
          Sleep(1);
        break;
      }
    }
    int next = (round / 3) % 4;   // replaced by another comic, the PDF, the same comic, or closed
    if (next == 3) {
      closeDocument();
      jobs.opens++;   // no document: any result left must come detached
    } else {
      Wide other = wide(documents[next == 0 ? comics[(round + 1) % 3] : next == 1 ? 0 : comics[round % 3]].path);
      openNoted(other.text);
    }
    runUntilIdle();
    ASSERT_FALSE(isDecodeBusy()) << "round " << round;
  }
  printf("%d rounds, %d with the worker busy at the close; %d jobs submitted, %d delivered\n", closingCount, caught,
         jobs.submitted, jobs.delivered);
  EXPECT_GT(caught, closingCount / 2) << "the closes must find the worker busy";
  EXPECT_EQ(jobs.submitted, jobs.delivered) << "every job comes back once";
  EXPECT_EQ(0, jobs.deliveredToAnotherDocument);
}

// Navigation keys posted in bursts faster than they are handled, mixed with the
// page mode, the panel and Ctrl+wheel zoom, while a long PDF's thumbnails render
// between the bursts: every burst is handled, the view and the panel end in
// agreement, and once the queue is drained the program has nothing left to do.
TEST_F(Endurance, KeyStormWhileThumbnailsRender) {
  std::vector<TestPage> pages;
  for (int i = 0; i < 2000; i++) pages.push_back(TestPage{612, 792, {"page " + std::to_string(i + 1)}});
  Wide path = wide(writeFile(folder + "/long.pdf", makeTestPdf(pages)));
  openDocument(path.text);
  ASSERT_TRUE(documentIsOpen());
  ASSERT_EQ(2000, documentState.pageCount);
  SetFocus(viewWindow);
  runUntilIdle();

  srand(2021);
  int posted = 0, bursts = 0, thumbnailsRendered = 0, toggles = 0;
  DWORD start = GetTickCount(), slowestBurst = 0;
  while (posted < stormKeys) {
    int burst = 1 + rand() % 40;
    for (int i = 0; i < burst && posted < stormKeys; i++, posted++) {
      const StormEntry& entry = pickStormEntry();
      toggles += entry.key == VK_F4;
      postStormEntry(entry);
    }
    DWORD burstStart = GetTickCount();
    while (dispatchOne()) ASSERT_LT(GetTickCount() - burstStart, 30000u) << "a burst is not handled";
    DWORD took = GetTickCount() - burstStart;
    slowestBurst = took > slowestBurst ? took : slowestBurst;
    for (int step = rand() % 4; step > 0; step--) thumbnailsRendered += idleStep() != 0;
    bursts++;
  }
  DWORD stormTime = GetTickCount() - start;
  if (!thumbnailPanel.panelShown) PostMessageW(viewWindow, WM_KEYDOWN, VK_F4, 1);
  runUntilIdle();
  printf(
      "%d inputs in %d bursts (%d panel toggles) handled in %lu ms, slowest burst %lu ms; "
      "%d thumbnails rendered between bursts\n",
      posted, bursts, toggles, (unsigned long)stormTime, (unsigned long)slowestBurst, thumbnailsRendered);

  // The view, its scroll bars, the title and the panel agree.
  const ViewState& v = viewState;
  EXPECT_TRUE(thumbnailPanelIsConsistent());
  EXPECT_TRUE(thumbnailPanel.panelActive);
  EXPECT_EQ(2000, thumbnailPanel.thumbnailCount);
  EXPECT_GE(v.zoom, MIN_ZOOM);
  EXPECT_LE(v.zoom, MAX_ZOOM);
  EXPECT_EQ(clampScroll(v.scrollY, v.layoutHeight, v.viewHeight), v.scrollY);
  EXPECT_EQ(clampScroll(v.scrollX, v.layoutWidth, v.viewWidth), v.scrollX);
  SCROLLINFO bar = {sizeof bar, SIF_POS};
  GetScrollInfo(viewWindow, SB_VERT, &bar);
  EXPECT_EQ(v.scrollY, bar.nPos);
  int page = pageAtReadingLine();
  EXPECT_EQ(page, v.currentPage);
  EXPECT_EQ(page + 1, pageInTitle());
  EXPECT_EQ(page, thumbnailPanel.highlightedPage);
  RECT dirty;
  EXPECT_FALSE(GetUpdateRect(viewWindow, &dirty, FALSE)) << "the view is painted";

  // Then idle: no message, no thumbnail to render, the worker at rest, and next
  // to no CPU over a second (a busy loop would take most of it).
  int work;
  double cpuSeconds;
  ASSERT_GE(processCpuSeconds(), 0) << "the process's CPU time cannot be read";
  idleFor(1000, &work, &cpuSeconds);
  printf("idle for 1 s after the storm: %d steps of work, %.3f s of CPU\n", work, cpuSeconds);
  EXPECT_EQ(0, work);
  EXPECT_FALSE(isDecodeBusy());
  EXPECT_LT(cpuSeconds, 0.25);
  fflush(stdout);
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; i++) {
    if (!strncmp(argv[i], "--opens=", 8)) openCount = atoi(argv[i] + 8);
    if (!strncmp(argv[i], "--closings=", 11)) closingCount = atoi(argv[i] + 11);
    if (!strncmp(argv[i], "--keys=", 7)) stormKeys = atoi(argv[i] + 7);
  }
  return RUN_ALL_TESTS();
}
