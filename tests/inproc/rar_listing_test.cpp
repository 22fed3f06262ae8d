// The RAR reader against a scripted unrar.dll that sits in this program's folder:
// what it lists, which calls it makes and in which order (the fake's call log:
// O open, X failed open, B callback set, H header, E end or failed header,
// S skip, T test, C close), and how each failure ends.
#include <windows.h>

#include "comics/archive/extract.h"
#include "comics/archive/memory.h"
#include "comics/pages.h"
#include "comics/rar/rar.h"
#include "tests/inproc/gtest.h"
#include "tests/support/fakeunrar.h"

#include <string>
#include <vector>

namespace {

const char16_t comicPath[] = u"C:\\comics\\scripted.cbr";

// unrar.dll beside this program, as the reader looks for it.
void libraryPath(WCHAR* path) {
  DWORD length = GetModuleFileNameW(NULL, path, MAX_PATH);
  while (length > 0 && path[length - 1] != L'\\') length--;
  path[length] = 0;
  lstrcatW(path, L"unrar.dll");
}

HMODULE fakeLibrary() {
  HMODULE module = GetModuleHandleW(L"unrar.dll");
  if (module) return module;
  WCHAR path[MAX_PATH];
  libraryPath(path);
  return LoadLibraryW(path);
}

FakeCounters* counters() {
  return ((FakeCountersProc)GetProcAddress(fakeLibrary(), "fakeUnrarCounters"))();
}

std::string callLog() {
  return counters()->log;
}

// A PNG header announcing width × height, padded to `total` bytes with a pattern
// that tells every position apart.
std::string png(int width, int height, size_t total) {
  std::string out("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
  for (int value : {width, height})
    for (int shift = 24; shift >= 0; shift -= 8) out += (char)((value >> shift) & 255);
  for (size_t i = out.size(); i < total; i++) out += (char)(i * 7 + i / 251);
  out.resize(total);
  return out;
}

struct Header {
  std::u16string name;
  std::string data;
  uint64_t size;   // announced; the data's length unless set
  unsigned flags;
  int headerResult;
  int testResult;
  FakeEvent event;
};

Header image(const char16_t* name, std::string data) {
  Header header{name, data, data.size(), 0, 0, 0, FakeNoEvent};
  return header;
}

Header with(Header header, FakeEvent event) {
  header.event = event;
  return header;
}

Header failing(Header header, int testResult) {
  header.testResult = testResult;
  return header;
}

Header unreadable(int headerResult) {
  Header header{u"unreadable.png", "", 10, 0, headerResult, 0, FakeNoEvent};
  return header;
}

// One scripted archive; it must outlive every call the reader makes with it.
struct Script {
  std::vector<Header> entries;
  std::vector<FakeHeader> headers;
  FakeScript script = {};

  explicit Script(std::vector<Header> list, unsigned archiveFlags = 0) : entries(list) {
    script.archiveFlags = archiveFlags;
    script.chunk = 40000;
  }
  void play() {
    headers.clear();
    for (const Header& e : entries) {
      FakeHeader h = {(const WCHAR*)e.name.c_str(),
                      e.flags,
                      e.size,
                      (const uint8_t*)e.data.data(),
                      e.data.size(),
                      e.headerResult,
                      e.testResult,
                      e.event};
      headers.push_back(h);
    }
    script.headers = headers.data();
    script.headerCount = (int)headers.size();
    ((FakeScriptProc)GetProcAddress(fakeLibrary(), "fakeUnrarScript"))(&script);
  }
};

std::string bytesOf(const ExtractedBytes& bytes) {
  return std::string((const char*)bytes.bytes, (size_t)bytes.length);
}

std::string nameOf(const ArchiveEntry& entry) {
  std::string out;
  for (const char16_t* p = entry.name; *p; p++) out += *p < 128 ? (char)*p : '?';
  return out;
}

struct RarListing : ::testing::Test {
  ComicArchive* archive = nullptr;
  int error = -1;

  ComicArchive* open(Script& script) {
    script.play();
    freeArchive(archive);
    archive = openArchive(RAR_ARCHIVE, comicPath, nullptr, 0, &error);
    return archive;
  }
  // The whole entry, or its first `limit` bytes, as the decoders ask for it.
  std::string extract(int index, uint64_t limit = 0) {
    ExtractedBytes bytes;
    if (!extractEntry(&archive->entries[index], limit, &bytes)) return "(failed)";
    std::string out = bytesOf(bytes);
    releaseExtractedBytes(&bytes);
    return out;
  }
  void TearDown() override {
    freeArchive(archive);
    EXPECT_EQ(0, counters()->protocolErrors);
    EXPECT_EQ(0, counters()->overlaps);
    EXPECT_EQ(counters()->opens, counters()->closes) << "every open archive is closed";
    ((FakeScriptProc)GetProcAddress(fakeLibrary(), "fakeUnrarScript"))(nullptr);
  }
};

// First of all: the library is looked for in this program's folder, and looked
// for again after it was missing.
TEST(RarLibrary, IsLoadedFromTheProgramsFolderOnceItIsThere) {
  if (GetModuleHandleW(L"unrar.dll")) GTEST_SKIP() << "the library is already loaded";
  WCHAR path[MAX_PATH], away[MAX_PATH];
  libraryPath(path);
  lstrcpyW(away, path);
  lstrcatW(away, L".away");
  ASSERT_TRUE(MoveFileW(path, away));
  int error = -1;
  ComicArchive* archive = openArchive(RAR_ARCHIVE, comicPath, nullptr, 0, &error);
  EXPECT_EQ(nullptr, archive);
  EXPECT_EQ(OPEN_RAR_LIBRARY_MISSING, error);
  ArchiveEntry entry = {};
  entry.method = RAR_ON_DEMAND;
  entry.size = entry.storedSize = 100;
  entry.archivePath = comicPath;
  ExtractedBytes bytes;
  EXPECT_FALSE(extractEntry(&entry, 0, &bytes));
  EXPECT_EQ(nullptr, GetModuleHandleW(L"unrar.dll"));
  ASSERT_TRUE(MoveFileW(away, path));

  // With no script the fake cannot open anything: a damaged archive, not a missing library.
  archive = openArchive(RAR_ARCHIVE, comicPath, nullptr, 0, &error);
  EXPECT_EQ(nullptr, archive);
  EXPECT_EQ(OPEN_DAMAGED, error);
  HMODULE module = GetModuleHandleW(L"unrar.dll");
  ASSERT_NE(nullptr, module);
  EXPECT_EQ("X", callLog());
  EXPECT_EQ(0, lstrcmpiW((const WCHAR*)comicPath, counters()->lastPath));
}

TEST_F(RarListing, NonSolidKeepsPrefixesAndReopensAfterAStoppedImage) {
  Script script({image(u"01.png", png(800, 1200, 10000)), image(u"02.png", png(1600, 1200, 3000000)),
                 image(u"03.png", png(700, 1000, 10000))});
  ASSERT_TRUE(open(script));
  ASSERT_EQ(3, archive->entryCount);
  // The 3 MB image stops after 65,536 bytes (two 40,000-byte pieces), and the
  // archive is reopened and skipped up to the next header.
  EXPECT_EQ("OBHTHTCOBHSHSHTEC", callLog());
  EXPECT_EQ(100000u, counters()->bytesDelivered);
  const int widths[] = {800, 1600, 700}, heights[] = {1200, 1200, 1000};
  for (int i = 0; i < 3; i++) {
    const ArchiveEntry& entry = archive->entries[i];
    EXPECT_EQ(RAR_ON_DEMAND, entry.method);
    EXPECT_EQ(i, entry.rarIndex);
    EXPECT_EQ(script.entries[i].data.size(), entry.size);
    EXPECT_EQ(widths[i], entry.width);
    EXPECT_EQ(heights[i], entry.height);
    EXPECT_EQ(archive->archivePath, entry.archivePath);
  }
  EXPECT_EQ(nullptr, archive->contentBlocks) << "nothing is held for a non-solid archive";
  EXPECT_EQ(0, lstrcmpW((const WCHAR*)comicPath, (const WCHAR*)archive->archivePath));
  EXPECT_NE((const char16_t*)comicPath, archive->archivePath) << "the archive keeps its own copy";
  EXPECT_EQ(1200, archive->referenceHeight);

  // Every decode extracts the entry again, found by its header position.
  script.play();
  EXPECT_EQ(script.entries[1].data, extract(1));
  EXPECT_EQ("OBHSHTC", callLog());
  EXPECT_EQ(script.entries[1].data.substr(0, 65536), extract(1, 65536));
  EXPECT_EQ(script.entries[0].data.substr(0, 100), extract(0, 100));
  EXPECT_EQ(script.entries[2].data, extract(2, 20000));   // a limit past the size is the whole entry
}

TEST_F(RarListing, AnImageOfExactlyThePrefixNeedsNoReopen) {
  for (uint64_t chunk : {65536u, 30000u, 1u << 20}) {
    Script script({image(u"a.png", png(10, 20, 65536)), image(u"b.png", png(30, 40, 1000))});
    script.script.chunk = chunk;
    ASSERT_TRUE(open(script)) << chunk;
    EXPECT_EQ("OBHTHTEC", callLog()) << chunk;
    EXPECT_EQ(10, archive->entries[0].width);
    EXPECT_EQ(30, archive->entries[1].width);
  }
  // One byte more is cut at the prefix, and the archive is reopened.
  Script longer({image(u"a.png", png(10, 20, 65537)), image(u"b.png", png(30, 40, 1000))});
  longer.script.chunk = 65537;
  ASSERT_TRUE(open(longer));
  EXPECT_EQ("OBHTCOBHSHTEC", callLog());
  EXPECT_EQ(2, archive->entryCount);
}

TEST_F(RarListing, SolidIsUnpackedWholeAtOpenAndNeedsNoLibraryAfterwards) {
  Script script({image(u"01.png", png(800, 1200, 10000)), image(u"02.png", png(1600, 1200, 3000000)),
                 image(u"03.png", png(700, 1000, 10000))},
                ROADF_SOLID);
  ASSERT_TRUE(open(script));
  EXPECT_EQ("OBHTHTHTEC", callLog());
  EXPECT_EQ(nullptr, archive->archivePath);
  ASSERT_EQ(3, archive->entryCount);
  for (int i = 0; i < 3; i++) {
    const ArchiveEntry& entry = archive->entries[i];
    EXPECT_EQ(STORED, entry.method);
    EXPECT_EQ(script.entries[i].data.size(), entry.storedSize);
    EXPECT_EQ(script.entries[i].data, std::string((const char*)entry.data, (size_t)entry.storedSize));
  }
  EXPECT_EQ(1600, archive->entries[1].width);
  script.play();
  for (int i = 0; i < 3; i++) EXPECT_EQ(script.entries[i].data, extract(i));
  EXPECT_EQ("", callLog()) << "pages come from memory";
}

// The blocks a solid archive's content is held in, oldest first.
static std::vector<const ContentBlock*> contentBlocks(const ComicArchive* archive) {
  std::vector<const ContentBlock*> blocks;
  for (const ContentBlock* b = archive->contentBlocks; b; b = b->next) blocks.insert(blocks.begin(), b);
  return blocks;
}

static const uint8_t* contentOf(const ContentBlock* block) {
  return (const uint8_t*)(block + 1);
}

TEST_F(RarListing, SolidContentIsPackedIntoBlocksAsItArrives) {
  Header claims = image(u"a.png", png(5, 6, 100));
  claims.size = 1 << 20;   // announces 1 MiB, delivers 100 bytes
  Header next = image(u"b.png", png(7, 8, 300));
  Header huge = image(u"c.png", png(9, 10, (65 << 20) + 5));   // more than a whole block
  Header after = image(u"d.png", png(11, 12, 1000));
  Script script({claims, next, huge, after}, ROADF_SOLID);
  ASSERT_TRUE(open(script));
  ASSERT_EQ(4, archive->entryCount);
  const ArchiveEntry* e = archive->entries;
  EXPECT_EQ(100u, e[0].size);
  EXPECT_EQ(100u, e[0].storedSize);
  EXPECT_EQ(e[0].data + 100, e[1].data) << "the next image follows what arrived, not what was announced";
  std::vector<const ContentBlock*> blocks = contentBlocks(archive);
  ASSERT_EQ(3u, blocks.size());
  EXPECT_EQ(contentOf(blocks[0]), e[0].data);
  EXPECT_EQ(400u, blocks[0]->used);
  EXPECT_EQ(contentOf(blocks[1]), e[2].data) << "an image larger than a block gets one of its own";
  EXPECT_EQ(blocks[1]->capacity, blocks[1]->used);
  EXPECT_EQ(contentOf(blocks[2]), e[3].data) << "a full block is not reused";
  for (int i = 0; i < 4; i++)
    EXPECT_TRUE(script.entries[i].data == std::string((const char*)e[i].data, (size_t)e[i].storedSize)) << i;
}

TEST_F(RarListing, SolidBlockOfAnImageThatArrivedShortIsShrunk) {
  Header claims = image(u"a.png", png(5, 6, 100));
  claims.size = (uint64_t)100 << 20;   // announces 100 MiB, a block of its own
  Script script({claims, image(u"b.png", png(7, 8, 300))}, ROADF_SOLID);
  ASSERT_TRUE(open(script));
  ASSERT_EQ(2, archive->entryCount);
  std::vector<const ContentBlock*> blocks = contentBlocks(archive);
  ASSERT_EQ(2u, blocks.size());
  EXPECT_EQ(100u, blocks[0]->capacity) << "only what arrived stays held";
  EXPECT_EQ(contentOf(blocks[0]), archive->entries[0].data);
  EXPECT_EQ(script.entries[0].data, std::string((const char*)archive->entries[0].data, 100));
  EXPECT_EQ(contentOf(blocks[1]), archive->entries[1].data);
}

struct Outcome {
  const char* why;
  Script* script;
  int error;   // 0: opens
  int entries;
  const char* log;
};

void expectOutcomes(RarListing* test, std::vector<Outcome> outcomes) {
  for (Outcome& o : outcomes) {
    ComicArchive* archive = test->open(*o.script);
    EXPECT_EQ(o.error, archive ? 0 : test->error) << o.why;
    EXPECT_EQ(o.entries, archive ? archive->entryCount : 0) << o.why;
    EXPECT_EQ(o.log, callLog()) << o.why;
  }
}

TEST_F(RarListing, PasswordsStopTheListingAndKeepWhatCameBefore) {
  Header plain = image(u"1.png", png(10, 10, 5000)), plain2 = image(u"2.png", png(10, 10, 5000));
  Header locked = with(image(u"3.png", png(10, 10, 5000)), FakeAsksPassword);
  Script first({locked, plain, plain2}), ansi({with(locked, FakeAsksPasswordAnsi), plain});
  Script badPassword({failing(plain, ERAR_BAD_PASSWORD), plain2});
  Script missingPassword({failing(plain, ERAR_MISSING_PASSWORD), plain2});
  Script later({plain, plain2, locked, image(u"4.png", png(10, 10, 5000))});
  Script solidLater({plain, locked, plain2}, ROADF_SOLID);
  Script encryptedHeaders({plain}), wrongPassword({plain});
  encryptedHeaders.script.openResult = ERAR_MISSING_PASSWORD;
  wrongPassword.script.openResult = ERAR_BAD_PASSWORD;
  Script lockedHeader({unreadable(ERAR_MISSING_PASSWORD), plain});
  Script lockedLaterHeader({plain, plain2, unreadable(ERAR_BAD_PASSWORD), plain});
  // A non-image needing a password is never unpacked.
  Script lockedNotes({with(image(u"notes.txt", "secret"), FakeAsksPassword), plain});
  expectOutcomes(this, {
                           {"first image asks", &first, OPEN_PASSWORD_PROTECTED, 0, "OBHTC"},
                           {"asks in ANSI", &ansi, OPEN_PASSWORD_PROTECTED, 0, "OBHTC"},
                           {"bad password result", &badPassword, OPEN_PASSWORD_PROTECTED, 0, "OBHTC"},
                           {"missing password result", &missingPassword, OPEN_PASSWORD_PROTECTED, 0, "OBHTC"},
                           {"third image asks", &later, 0, 2, "OBHTHTHTC"},
                           {"solid, second image asks", &solidLater, 0, 1, "OBHTHTC"},
                           {"encrypted headers", &encryptedHeaders, OPEN_PASSWORD_PROTECTED, 0, "X"},
                           {"wrong password at open", &wrongPassword, OPEN_PASSWORD_PROTECTED, 0, "X"},
                           {"first header locked", &lockedHeader, OPEN_PASSWORD_PROTECTED, 0, "OBEC"},
                           {"third header locked", &lockedLaterHeader, 0, 2, "OBHTHTEC"},
                           {"locked notes", &lockedNotes, 0, 1, "OBHSHTEC"},
                       });
}

TEST_F(RarListing, DamageLeavesOutOneNonSolidImageButEndsASolidListing) {
  Header a = image(u"a.png", png(10, 10, 5000)), b = image(u"b.png", png(10, 10, 5000));
  Header c = image(u"c.png", png(10, 10, 5000));
  Script nonSolid({a, failing(b, ERAR_BAD_DATA), c});
  Script solid({a, failing(b, ERAR_BAD_DATA), c}, ROADF_SOLID);
  Script solidFirst({failing(a, ERAR_BAD_DATA), c}, ROADF_SOLID);
  Script allBad({failing(a, ERAR_BAD_DATA), failing(b, ERAR_UNKNOWN)});
  Script cannotOpen({a}), handleButFailure({a});
  cannotOpen.script.openResult = ERAR_EOPEN;
  handleButFailure.script.openResult = ERAR_BAD_ARCHIVE;
  handleButFailure.script.handleDespiteFailure = 1;
  Script damagedHeader({a, unreadable(ERAR_BAD_DATA), c});
  Script gone({a, image(u"big.png", png(10, 10, 3000000)), c});
  gone.script.opensAllowed = 1;   // the reopen after the big image fails
  expectOutcomes(this, {
                           {"non-solid", &nonSolid, 0, 2, "OBHTHTCOBHSHSHTEC"},
                           {"solid", &solid, 0, 1, "OBHTHTC"},
                           {"solid, first image", &solidFirst, OPEN_NO_IMAGE, 0, "OBHTC"},
                           {"every image damaged", &allBad, OPEN_NO_IMAGE, 0, "OBHTCOBHSHTCOBHSHSEC"},
                           {"open fails", &cannotOpen, OPEN_DAMAGED, 0, "X"},
                           {"open gives a handle and a failure", &handleButFailure, OPEN_DAMAGED, 0, "OC"},
                           {"damaged header", &damagedHeader, 0, 1, "OBHTEC"},
                           {"reopen fails", &gone, 0, 2, "OBHTHTCX"},
                       });
  open(nonSolid);
  EXPECT_EQ(0, archive->entries[0].rarIndex);
  EXPECT_EQ(2, archive->entries[1].rarIndex);
  EXPECT_EQ(c.data, extract(1));
}

// No memory for the entry list is a damaged archive, as for a ZIP: the open
// that fails there reads no header at all.
TEST_F(RarListing, NoMemoryForTheEntryListIsDamage) {
  Script script({image(u"a.png", png(10, 10, 5000))}, ROADF_SOLID);
  bool reached = false;
  for (int n = 0; n < 16 && !reached; n++) {
    script.play();
    failNthAllocation(n);
    freeArchive(archive);
    archive = openArchive(RAR_ARCHIVE, comicPath, nullptr, 0, &error);
    failNthAllocation(-1);
    reached = callLog() == "OBC";
    if (reached) {
      EXPECT_EQ(OPEN_DAMAGED, error);
    }
  }
  EXPECT_TRUE(reached) << "no failed allocation fell between the open and the first header";
}

TEST_F(RarListing, CallbackAnswersVolumesAndUnknownMessages) {
  Header a = image(u"a.png", png(10, 10, 5000)), c = image(u"c.png", png(10, 10, 5000));
  Header b = image(u"b.png", png(10, 10, 5000));
  struct Case {
    FakeEvent event;
    int answer;
    int entries;
    const char* log;
  } cases[] = {
      {FakeVolumeMissing, -1, 2, "OBHTHTCOBHSHSHTEC"},
      {FakeVolumeMissingAnsi, -1, 2, "OBHTHTCOBHSHSHTEC"},
      {FakeVolumeFound, 1, 3, "OBHTHTHTEC"},
      {FakeUnknownMessage, -1, 2, "OBHTHTCOBHSHSHTEC"},
  };
  for (const Case& c0 : cases) {
    Script script({a, with(b, c0.event), c});
    ASSERT_TRUE(open(script)) << c0.event;
    EXPECT_EQ(c0.entries, archive->entryCount) << c0.event;
    EXPECT_EQ(c0.log, callLog()) << c0.event;
    EXPECT_EQ(1, counters()->answers) << c0.event;
    EXPECT_EQ(c0.answer, counters()->lastAnswer) << c0.event;
  }
}

// With no time left the library is told to abort at its first message, data
// or volume, and the entry fails as a damaged one does.
TEST_F(RarListing, AnEntryPastItsTimeBudgetFailsAsDamaged) {
  Header big = image(u"big.png", png(10, 10, 3000000)), little = image(u"little.png", png(10, 10, 5000));
  Script nonSolid({big, little}), solid({big, little}, ROADF_SOLID), volume({with(big, FakeVolumeFound)});
  setRarEntryTimeBudgetForTest(0);
  expectOutcomes(this, {
                           {"non-solid", &nonSolid, OPEN_NO_IMAGE, 0, "OBHTCOBHSHTCOBHSHSEC"},
                           {"solid", &solid, OPEN_NO_IMAGE, 0, "OBHTC"},
                           {"next volume", &volume, OPEN_NO_IMAGE, 0, "OBHTCOBHSEC"},
                       });
  EXPECT_EQ(0u, counters()->bytesDelivered) << "aborted at the volume message";
  setRarEntryTimeBudgetForTest(-1);
  ASSERT_TRUE(open(nonSolid));
  EXPECT_EQ(2, archive->entryCount);
  setRarEntryTimeBudgetForTest(0);
  EXPECT_EQ("(failed)", extract(0));
  setRarEntryTimeBudgetForTest(-1);
  EXPECT_EQ(big.data, extract(0));
}

TEST_F(RarListing, SkipsWhatIsNotAnImageOfAUsableSize) {
  Header folder = image(u"cover.jpg", png(10, 10, 3000));
  folder.flags = RHDF_DIRECTORY;
  Header empty = image(u"empty.png", ""), tiny = image(u"tiny.png", "\x89PNG");
  Header huge = image(u"huge.png", png(10, 10, 1000)), high = image(u"high.png", png(10, 10, 1000));
  huge.size = 0x20000001;
  high.size = 0x100000010ull;   // only the high half is large
  Header largest = image(u"largest.png", png(44, 55, 1000));
  largest.size = 0x20000000;
  Script script({folder, image(u"notes.txt", "text"), image(u"__MACOSX/01.png", png(1, 1, 100)),
                 image(u"comic/._02.png", png(1, 1, 100)), image(u"cover", png(1, 1, 100)), empty, tiny, huge, high,
                 largest, image(u"Band\\01.png", png(66, 77, 1000))});
  ASSERT_TRUE(open(script));
  EXPECT_EQ("OBHSHSHSHSHSHSHSHSHSHTHTEC", callLog());
  ASSERT_EQ(2, archive->entryCount);
  EXPECT_EQ("Band\\01.png", nameOf(archive->entries[0]));
  EXPECT_EQ(10, archive->entries[0].rarIndex);
  EXPECT_EQ("largest.png", nameOf(archive->entries[1]));
  EXPECT_EQ(9, archive->entries[1].rarIndex);
  EXPECT_EQ(0x20000000u, archive->entries[1].size);

  Script nothing({folder, image(u"notes.txt", "text"), empty, tiny});
  EXPECT_EQ(nullptr, open(nothing));
  EXPECT_EQ(OPEN_NO_IMAGE, error);
}

TEST_F(RarListing, EntriesAreFoundAgainByHeaderPositionNotByName) {
  Script script(
      {image(u"p10.png", png(1, 1, 300)), image(u"p2.png", png(2, 2, 300)), image(u"P1.png", png(3, 3, 300))});
  ASSERT_TRUE(open(script));
  EXPECT_EQ("P1.png", nameOf(archive->entries[0]));
  EXPECT_EQ("p2.png", nameOf(archive->entries[1]));
  EXPECT_EQ("p10.png", nameOf(archive->entries[2]));
  script.play();
  EXPECT_EQ(script.entries[2].data, extract(0));
  EXPECT_EQ("OBHSHSHTC", callLog());

  // The archive changed on disk: fewer headers, or an entry grown past its size.
  Script shorter({image(u"p10.png", png(1, 1, 300))});
  shorter.play();
  EXPECT_EQ("(failed)", extract(0));
  Script grown({image(u"p10.png", png(1, 1, 300)), image(u"p2.png", png(2, 2, 300)), image(u"P1.png", png(3, 3, 301))});
  grown.play();
  EXPECT_EQ("(failed)", extract(0));
  EXPECT_EQ(script.entries[2].data.substr(0, 50), extract(0, 50)) << "a prefix still comes";
  Script missing({image(u"p10.png", png(1, 1, 300))});
  missing.script.openResult = ERAR_EOPEN;
  missing.play();
  EXPECT_EQ("(failed)", extract(2));
  EXPECT_EQ("X", callLog());
}

TEST_F(RarListing, ImagesWithoutASnifferAreMeasuredThroughExtraction) {
  Script script({image(u"scan.tif", std::string(2000, 'x'))});
  ASSERT_TRUE(open(script));
  ASSERT_EQ(1, archive->entryCount);
  // Listing, then the size pass's prefix and the decoder's whole entry.
  EXPECT_EQ("OBHTECOBHTCOBHTC", callLog());
  EXPECT_EQ(0, archive->entries[0].width);
  EXPECT_EQ(1, archive->entries[0].undecodable);
}

TEST_F(RarListing, ManyEntriesGrowTheList) {
  std::vector<Header> headers;
  for (int i = 0; i < 150; i++) headers.push_back(image(u"x.png", png(1 + i, 1, 30)));
  Script script(headers);
  ASSERT_TRUE(open(script));
  ASSERT_EQ(150, archive->entryCount);
  int largest = 0;
  for (int i = 0; i < 150; i++) largest = archive->entries[i].width > largest ? archive->entries[i].width : largest;
  EXPECT_EQ(150, largest);
}

// Fills the stack below the caller with garbage, where the next call's locals land.
__attribute__((noinline)) void dirtyStack() {
  volatile unsigned char junk[128 * 1024];
  for (size_t i = 0; i < sizeof(junk); i++) junk[i] = 0xA5;
}

TEST_F(RarListing, ExtractionStartsFromAnEmptySinkWhateverTheStackHeld) {
  Script script({image(u"a.png", png(10, 10, 3000000)), image(u"b.png", png(10, 10, 5000))});
  ASSERT_TRUE(open(script));
  Script damaged({image(u"a.png", png(10, 10, 3000000)), failing(image(u"b.png", png(10, 10, 5000)), ERAR_BAD_DATA)});
  damaged.play();
  dirtyStack();
  EXPECT_EQ(script.entries[0].data, extract(0));
  dirtyStack();
  EXPECT_EQ(script.entries[0].data.substr(0, 65536), extract(0, 65536));
  dirtyStack();
  EXPECT_EQ("(failed)", extract(1)) << "a damaged entry never passes for a stopped one";
}

struct ExtractionJob {
  const ArchiveEntry* entry;
  std::string bytes;
};

DWORD WINAPI extractOnAnotherThread(void* parameter) {
  ExtractionJob* job = (ExtractionJob*)parameter;
  ExtractedBytes bytes;
  if (extractEntry(job->entry, 0, &bytes)) {
    job->bytes = bytesOf(bytes);
    releaseExtractedBytes(&bytes);
  }
  return 0;
}

TEST_F(RarListing, OnDemandExtractionWaitsForTheLock) {
  Script script({image(u"a.png", png(10, 10, 5000))});
  ASSERT_TRUE(open(script));
  script.play();
  ExtractionJob job = {&archive->entries[0], ""};
  acquireArchiveLock();
  HANDLE thread = CreateThread(NULL, 0, extractOnAnotherThread, &job, 0, NULL);
  EXPECT_EQ((DWORD)WAIT_TIMEOUT, WaitForSingleObject(thread, 300));
  EXPECT_EQ("", callLog());
  releaseArchiveLock();
  EXPECT_EQ((DWORD)WAIT_OBJECT_0, WaitForSingleObject(thread, 10000));
  CloseHandle(thread);
  EXPECT_EQ(script.entries[0].data, job.bytes);
  EXPECT_EQ("OBHTC", callLog());
}

struct Extractions {
  const ArchiveEntry* entry;
  int rounds;
  int succeeded;
};

DWORD WINAPI extractRepeatedly(void* parameter) {
  Extractions* work = (Extractions*)parameter;
  for (int i = 0; i < work->rounds; i++) {
    ExtractedBytes bytes;
    if (extractEntry(work->entry, 0, &bytes)) work->succeeded++;
    releaseExtractedBytes(&bytes);
  }
  return 0;
}

TEST_F(RarListing, ListingAndWorkerExtractionNeverOverlapInTheLibrary) {
  Script script(
      {image(u"a.png", png(10, 10, 5000)), image(u"b.png", png(10, 10, 100000)), image(u"c.png", png(10, 10, 5000))});
  script.script.slow = 1;
  ASSERT_TRUE(open(script));
  ComicArchive* first = archive;
  archive = nullptr;
  Extractions work = {&first->entries[1], 20, 0};
  HANDLE thread = CreateThread(NULL, 0, extractRepeatedly, &work, 0, NULL);
  for (int i = 0; i < 5; i++) {
    ComicArchive* other = openArchive(RAR_ARCHIVE, comicPath, nullptr, 0, &error);
    EXPECT_NE(nullptr, other);
    if (other) {
      EXPECT_EQ(3, other->entryCount);
    }
    freeArchive(other);
  }
  WaitForSingleObject(thread, 60000);
  CloseHandle(thread);
  freeArchive(first);
  EXPECT_EQ(20, work.succeeded);
  EXPECT_EQ(0, counters()->overlaps);
}

TEST_F(RarListing, TooManyImagesIsDamage) {
  std::vector<Header> headers(MAX_IMAGE_ENTRIES + 1, image(u"p.png", png(1, 1, 24)));
  Script script(headers);
  EXPECT_EQ(nullptr, open(script));
  EXPECT_EQ(OPEN_DAMAGED, error);
}

}   // namespace
