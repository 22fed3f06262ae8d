// The Linux build's unrar.dll as the reader meets it: loaded by full path
// from the program's folder, its five entry points resolved by name, and an
// archive written by scripts/makerar.py listed and tested through them.
#include <windows.h>

#include "comics/rar/unrar.h"
#include "tests/inproc/gtest.h"
#include "tests/support/tempfolder.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <string>

namespace {

struct Library {
  HMODULE module;
  RarOpenArchiveExProc open;
  RarReadHeaderExProc readHeader;
  RarProcessFileWProc process;
  RarSetCallbackProc setCallback;
  RarCloseArchiveProc close;
};

// The DLL beside this test program, as the reader finds it beside Brisa.exe.
Library loadLibraryBesideProgram() {
  Library library = {};
  WCHAR path[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  while (length > 0 && path[length - 1] != L'\\') length--;
  lstrcpyW(path + length, L"unrar.dll");
  library.module = LoadLibraryW(path);
  if (!library.module) return library;
  library.open = (RarOpenArchiveExProc)GetProcAddress(library.module, "RAROpenArchiveEx");
  library.readHeader = (RarReadHeaderExProc)GetProcAddress(library.module, "RARReadHeaderEx");
  library.process = (RarProcessFileWProc)GetProcAddress(library.module, "RARProcessFileW");
  library.setCallback = (RarSetCallbackProc)GetProcAddress(library.module, "RARSetCallback");
  library.close = (RarCloseArchiveProc)GetProcAddress(library.module, "RARCloseArchive");
  return library;
}

struct Sink {
  std::string data;
  int stopAfterBytes = -1;
  int volumesFound = 0;
  int volumesMissing = 0;
  WCHAR lastVolume[1024] = {0};
};

int CALLBACK collect(UINT message, LPARAM userData, LPARAM p1, LPARAM p2) {
  Sink* sink = (Sink*)userData;
  if (message == UCM_CHANGEVOLUMEW) {
    lstrcpynW(sink->lastVolume, (const WCHAR*)p1, 1024);
    (p2 == RAR_VOL_NOTIFY ? sink->volumesFound : sink->volumesMissing)++;
    return p2 == RAR_VOL_NOTIFY ? 1 : -1;
  }
  if (message != UCM_PROCESSDATA) return -1;
  sink->data.append((const char*)p1, (size_t)p2);
  return sink->stopAfterBytes >= 0 && (int)sink->data.size() >= sink->stopAfterBytes ? -1 : 1;
}

bool makeRar(const std::string& arguments) {
  return system(("python3 '" BRISA_SOURCE_DIR "/scripts/makerar.py' " + arguments + " >/dev/null").c_str()) == 0;
}

// The Windows form of a Unix path, as the reader passes it (Z:\tmp\...).
std::u16string dosPath(const std::string& unixPath) {
  WCHAR* dos = wine_get_dos_file_name(unixPath.c_str());
  std::u16string out;
  for (WCHAR* p = dos; p && *p; p++) out += (char16_t)*p;
  if (dos) HeapFree(GetProcessHeap(), 0, dos);
  return out;
}

HANDLE openArchive(const Library& library, std::u16string& path, Sink* sink, RAROpenArchiveDataEx* data) {
  memset(data, 0, sizeof *data);
  data->ArcNameW = (WCHAR*)path.c_str();
  data->OpenMode = RAR_OM_EXTRACT;
  data->Callback = collect;
  data->UserData = (LPARAM)sink;
  HANDLE handle = library.open(data);
  if (handle) library.setCallback(handle, collect, (LPARAM)sink);
  return handle;
}

bool sameName(const WCHAR* name, const char* ascii) {
  for (; *ascii; ascii++, name++)
    if (*name != (WCHAR)*ascii) return false;
  return *name == 0;
}

TEST(UnrarDll, LoadsBesideTheProgramAndResolvesItsFiveEntryPoints) {
  Library library = loadLibraryBesideProgram();
  ASSERT_NE(library.module, nullptr) << "error " << GetLastError();
  EXPECT_NE(library.open, nullptr);
  EXPECT_NE(library.readHeader, nullptr);
  EXPECT_NE(library.process, nullptr);
  EXPECT_NE(library.setCallback, nullptr);
  EXPECT_NE(library.close, nullptr);
}

TEST(UnrarDll, ListsAndTestsAMadeArchive) {
  Library library = loadLibraryBesideProgram();
  ASSERT_TRUE(library.open && library.readHeader && library.process && library.setCallback && library.close);
  TempFolder folder;
  std::string first = patternBytes(3 * 1024 * 1024, 7), second = patternBytes(65536, 8);
  std::string a = folder.write("a.jpg", first), b = folder.write("b.png", second);
  ASSERT_TRUE(
      makeRar("--format 5 --solid --dir cover.jpg '" + folder.path + "/t.cbr' '" + a + "' 'pages/b.png=" + b + "'"));
  std::u16string path = dosPath(folder.path + "/t.cbr");
  Sink sink;
  RAROpenArchiveDataEx data;
  HANDLE handle = openArchive(library, path, &sink, &data);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(data.OpenResult, 0u);
  EXPECT_EQ(data.Flags & ROADF_SOLID, (unsigned)ROADF_SOLID);

  static RARHeaderDataEx header;
  ASSERT_EQ(library.readHeader(handle, &header), 0);
  EXPECT_TRUE(sameName(header.FileNameW, "cover.jpg"));
  EXPECT_EQ(lstrcmpW(header.ArcNameW, (const WCHAR*)path.c_str()), 0);
  EXPECT_EQ(header.Flags & RHDF_DIRECTORY, (unsigned)RHDF_DIRECTORY);
  EXPECT_EQ(library.process(handle, RAR_SKIP, nullptr, nullptr), 0);

  ASSERT_EQ(library.readHeader(handle, &header), 0);
  EXPECT_TRUE(sameName(header.FileNameW, "a.jpg"));
  EXPECT_EQ(header.UnpSize, first.size());
  EXPECT_EQ(header.UnpSizeHigh, 0u);
  sink.stopAfterBytes = 1000;
  EXPECT_NE(library.process(handle, RAR_TEST, nullptr, nullptr), 0);   // -1 from the callback
  EXPECT_GE(sink.data.size(), 1000u);
  EXPECT_LT(sink.data.size(), first.size());
  EXPECT_TRUE(sink.data == first.substr(0, sink.data.size()));

  ASSERT_EQ(library.readHeader(handle, &header), 0);
  EXPECT_TRUE(sameName(header.FileNameW, "pages\\b.png"));   // the library's own separator
  EXPECT_EQ(header.Flags & RHDF_SOLID, (unsigned)RHDF_SOLID);
  sink.data.clear();
  sink.stopAfterBytes = -1;
  EXPECT_EQ(library.process(handle, RAR_TEST, nullptr, nullptr), 0);
  EXPECT_TRUE(sink.data == second);

  EXPECT_EQ(library.readHeader(handle, &header), ERAR_END_ARCHIVE);
  EXPECT_EQ(library.close(handle), 0);
}

TEST(UnrarDll, AnnouncesVolumesByTheirWindowsPath) {
  Library library = loadLibraryBesideProgram();
  ASSERT_TRUE(library.open && library.readHeader && library.process && library.setCallback && library.close);
  TempFolder folder;
  std::string bytes = patternBytes(2500 * 1000, 9);
  std::string a = folder.write("a.jpg", bytes);
  ASSERT_TRUE(makeRar("--format 4 --volume-size 1000000 '" + folder.path + "/v.cbr' '" + a + "'"));
  std::u16string path = dosPath(folder.path + "/v.part1.cbr");
  Sink sink;
  RAROpenArchiveDataEx data;
  HANDLE handle = openArchive(library, path, &sink, &data);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(data.Flags & ROADF_VOLUME, (unsigned)ROADF_VOLUME);
  static RARHeaderDataEx header;
  ASSERT_EQ(library.readHeader(handle, &header), 0);
  EXPECT_EQ(library.process(handle, RAR_TEST, nullptr, nullptr), 0);
  EXPECT_TRUE(sink.data == bytes);
  EXPECT_EQ(sink.volumesFound, 2);
  std::u16string expected = dosPath(folder.path + "/v.part3.cbr");
  EXPECT_EQ(lstrcmpiW(sink.lastVolume, (const WCHAR*)expected.c_str()), 0);
  library.close(handle);
}

TEST(UnrarDll, EncryptedHeadersFailTheOpenWithMissingPassword) {
  std::string sample = BRISA_SOURCE_DIR "/../shared/fixtures/rar/rar5_encrypted_filenames.rar";
  if (access(sample.c_str(), R_OK) != 0) GTEST_SKIP() << "no RAR samples";
  Library library = loadLibraryBesideProgram();
  ASSERT_TRUE(library.open && library.close);
  std::u16string path = dosPath(sample);
  Sink sink;
  RAROpenArchiveDataEx data;
  HANDLE handle = openArchive(library, path, &sink, &data);
  if (handle) library.close(handle);
  EXPECT_EQ(handle, nullptr);
  EXPECT_EQ(data.OpenResult, (unsigned)ERAR_MISSING_PASSWORD);
}

}   // namespace
