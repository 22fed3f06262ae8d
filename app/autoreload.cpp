// Reloading the open document when its file changes (the window-menu option
// AutoReload, off by default). A change notification on the file's folder
// wakes the main loop, which otherwise sleeps: nothing polls. Once the file's
// size and write time have stayed the same for SETTLE_MILLISECONDS it is
// reloaded in place; a file that does not load (a build halfway through
// writing it) leaves the document as it was, and the next change tries again.
#include "app/app.h"
#include "viewer/viewer.h"

enum { SETTLE_TIMER_ID = 1, SETTLE_MILLISECONDS = 500 };

struct FileStamp {
  uint64_t size;
  uint64_t writeTime;
  bool exists;
};

struct FileWatch {
  bool on;
  HANDLE notification;                   // null: none
  wchar_t watchedPath[MAX_PATH_UNITS];   // the file it was set up for, even when that failed
  FileStamp seen;                        // the file as last opened or tried
  FileStamp pending;                     // a change waiting to settle
};

static FileWatch fileWatch;

static FileStamp readStamp(const wchar_t* path) {
  FileStamp stamp = {0, 0, false};
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return stamp;
  stamp.size = (uint64_t)data.nFileSizeHigh << 32 | data.nFileSizeLow;
  stamp.writeTime = (uint64_t)data.ftLastWriteTime.dwHighDateTime << 32 | data.ftLastWriteTime.dwLowDateTime;
  stamp.exists = true;
  return stamp;
}

static bool sameStamp(const FileStamp& a, const FileStamp& b) {
  return a.exists == b.exists && a.size == b.size && a.writeTime == b.writeTime;
}

void stopWatchingFile() {
  if (fileWatch.notification) FindCloseChangeNotification(fileWatch.notification);
  fileWatch.notification = NULL;
  fileWatch.watchedPath[0] = 0;
  if (frameWindow) KillTimer(frameWindow, SETTLE_TIMER_ID);
}

// A notification on the folder of the open file, set up again when another
// file was opened. The folder is the full path up to its last separator.
static void watchOpenDocument() {
  const DocumentState& d = documentState;
  bool wanted = fileWatch.on && documentIsOpen() && d.fullPath[0];
  if (wanted && lstrcmpiW(fileWatch.watchedPath, d.fullPath) == 0) return;   // already watched, or tried
  stopWatchingFile();
  if (!wanted) return;
  lstrcpyW(fileWatch.watchedPath, d.fullPath);
  fileWatch.seen = {d.fileSize, d.fileWriteTime, true};
  wchar_t folder[MAX_PATH_UNITS];
  lstrcpyW(folder, d.fullPath);
  wchar_t* last = NULL;
  for (wchar_t* c = folder; *c; c++)
    if (*c == '\\' || *c == '/') last = c;
  if (!last) return;
  last[last == folder + 2 && folder[1] == ':' ? 1 : 0] = 0;   // "C:\" keeps its separator
  HANDLE notification = FindFirstChangeNotificationW(
      folder, FALSE, FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_FILE_NAME);
  fileWatch.notification = notification == INVALID_HANDLE_VALUE ? NULL : notification;
}

bool autoReloadIsOn() {
  return fileWatch.on;
}

void setAutoReload(bool on, bool persist) {
  fileWatch.on = on;
  if (persist) writeSetting(L"AutoReload", on);
  checkWindowMenuItem(IDM_AUTO_RELOAD, on);
  watchOpenDocument();
}

// What the main loop waits on beside its messages: null while nothing is watched.
HANDLE watchedFolderChange() {
  watchOpenDocument();
  return fileWatch.notification;
}

// Something in the folder changed: when it is the file, the settling time
// starts again.
void onWatchedFolderChanged() {
  if (!FindNextChangeNotification(fileWatch.notification)) {
    FindCloseChangeNotification(fileWatch.notification);   // the path stays: no new try for this file
    fileWatch.notification = NULL;
    return;
  }
  FileStamp now = readStamp(fileWatch.watchedPath);
  if (sameStamp(now, fileWatch.seen)) return;
  fileWatch.pending = now;
  SetTimer(frameWindow, SETTLE_TIMER_ID, SETTLE_MILLISECONDS, NULL);
}

// The settling time passed: a file still changing waits another period, a
// settled one is reloaded once, whatever comes of it.
void onSettleTimer(UINT_PTR id) {
  if (id != SETTLE_TIMER_ID) return;
  FileStamp now = readStamp(fileWatch.watchedPath);
  if (!sameStamp(now, fileWatch.pending)) {
    fileWatch.pending = now;
    return;
  }
  KillTimer(frameWindow, SETTLE_TIMER_ID);
  fileWatch.seen = now;
  if (now.exists && documentIsOpen() && lstrcmpiW(fileWatch.watchedPath, documentState.fullPath) == 0)
    reloadDocument(true);
}
