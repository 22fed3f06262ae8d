// Solid RAR 4 archives, which libarchive cannot unpack (it refuses every file
// flagged as continuing the solid stream). Their headers are read here; their
// data comes from one run of Debian's unar per open, which writes every file
// of the archive to a pipe in order. The run is bounded: it is killed when it
// stalls, overruns its time, or writes more than the headers announce, and
// each entry's bytes are checked against the CRC its header gives.
#ifndef BRISA_COMICS_RARHELPER_H
#define BRISA_COMICS_RARHELPER_H
#include "comics/unrar/rarcore.h"

struct RarHelperArchive;

// Reads the headers of the single-volume RAR 4 archive at path (solid: each
// file after the first says so). Null with *result saying why (RAR_CORE_OPEN_FAILED
// when the file cannot be read, RAR_CORE_NO_MEMORY, RAR_CORE_BAD_ARCHIVE when the helper
// program is not installed).
RarHelperArchive* rarHelperOpen(const char* path, bool solid, int* result);
// As rarCoreReadHeader and rarCoreProcess; data goes to callback.
int rarHelperReadHeader(RarHelperArchive* archive, RarEntryInfo* info);
int rarHelperProcess(RarHelperArchive* archive, int operation, RarCoreCallback callback, void* context);
// Ends the helper run if one is still going (killed and waited for).
void rarHelperClose(RarHelperArchive* archive);

// Called every few dozen milliseconds while a run is awaited (null: none), on
// the thread that waits: a window that waits can go on painting.
typedef void (*RarHelperIdle)();
void rarHelperSetIdle(RarHelperIdle idle);
// Kills and reaps every run under way, for a program that ends at once.
void rarHelperEndRuns();

// For tests: the helper program and its stall and base time limits (null and
// 0 give the defaults), and whether every single-volume RAR 4 archive is read
// this way, so that it can be checked against libarchive on compressed ones.
void rarHelperSetProgram(const char* path, int stallMilliseconds, int totalMilliseconds);
bool rarCoreHelperForEveryRar4(bool enabled);   // returns the previous setting

#endif
