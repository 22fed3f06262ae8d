// What the document opener and the archive readers agree on: which kind of
// archive a file is, and why an open failed. Plain data, no Windows headers:
// the archive cores that use it also build natively.
#ifndef BRISA_COMICS_OPENING_H
#define BRISA_COMICS_OPENING_H

// Told from the file's first bytes, never from its name.
enum ArchiveKind {
  NOT_AN_ARCHIVE = 0,   // opened as a PDF
  ZIP_ARCHIVE = 1,
  RAR_ARCHIVE = 2,
};

// Why an open failed; each has its message. The archive readers return 0 for
// success and one of the other codes otherwise.
enum OpenError {
  OPEN_CANNOT_OPEN = 0,   // cannot be opened, mapped or parsed; any unknown code too
  OPEN_NO_IMAGE = 1,
  OPEN_PASSWORD_PROTECTED = 2,
  OPEN_RAR_LIBRARY_MISSING = 3,   // unrar.dll missing or incomplete
  OPEN_DAMAGED = 4,               // unreadable or damaged archive, or no memory for its entry list
  OPEN_CANCELLED = 5,             // the user stopped a long open: no message
};

#endif
