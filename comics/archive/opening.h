// What the document opener and the archive readers agree on: which kind of
// archive a file is, and why an open failed. Plain data, no Windows headers:
// the archive cores that use it also build natively.
#pragma once

// Told from the file's first bytes, never from its name.
enum ArchiveKind {
  NotAnArchive = 0,   // opened as a PDF
  ZipArchive = 1,
  RarArchive = 2,
};

// Why an open failed; each has its message. The archive readers return 0 for
// success and one of the other codes otherwise.
enum OpenError {
  OpenCannotOpen = 0,   // cannot be opened, mapped or parsed; any unknown code too
  OpenNoImage = 1,
  OpenPasswordProtected = 2,
  OpenRarLibraryMissing = 3,   // unrar.dll missing or incomplete
  OpenDamaged = 4,             // unreadable or damaged archive, or no memory for its entry list
};
