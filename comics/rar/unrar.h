// The UnRAR library's published interface: the records, constants and entry
// points of unrar.dll that Brisa uses. Shared by the reader, which loads the
// library at run time, and by the Linux build's own unrar.dll, which implements it.
// The records are byte-packed, as the library's users and builders expect.
#ifndef BRISA_COMICS_UNRAR_H
#define BRISA_COMICS_UNRAR_H
#include <windows.h>

// Results of the open and of the header and processing calls.
#define ERAR_SUCCESS          0
#define ERAR_END_ARCHIVE      10
#define ERAR_NO_MEMORY        11
#define ERAR_BAD_DATA         12
#define ERAR_BAD_ARCHIVE      13
#define ERAR_UNKNOWN_FORMAT   14
#define ERAR_EOPEN            15
#define ERAR_ECREATE          16
#define ERAR_ECLOSE           17
#define ERAR_EREAD            18
#define ERAR_EWRITE           19
#define ERAR_SMALL_BUF        20
#define ERAR_UNKNOWN          21
#define ERAR_MISSING_PASSWORD 22
#define ERAR_EREFERENCE       23
#define ERAR_BAD_PASSWORD     24

#define RAR_OM_LIST    0
#define RAR_OM_EXTRACT 1

// Operations of RARProcessFileW.
#define RAR_SKIP    0
#define RAR_TEST    1
#define RAR_EXTRACT 2

// p2 of the volume messages.
#define RAR_VOL_ASK    0
#define RAR_VOL_NOTIFY 1

// Header flags.
#define RHDF_SPLITBEFORE 0x01
#define RHDF_SPLITAFTER  0x02
#define RHDF_ENCRYPTED   0x04
#define RHDF_SOLID       0x10
#define RHDF_DIRECTORY   0x20

// Archive flags reported by the open.
#define ROADF_VOLUME       0x0001
#define ROADF_COMMENT      0x0002
#define ROADF_LOCK         0x0004
#define ROADF_SOLID        0x0008
#define ROADF_NEWNUMBERING 0x0010
#define ROADF_SIGNED       0x0020
#define ROADF_RECOVERY     0x0040
#define ROADF_ENCHEADERS   0x0080
#define ROADF_FIRSTVOLUME  0x0100

// Callback messages.
#define UCM_CHANGEVOLUME  0
#define UCM_PROCESSDATA   1
#define UCM_NEEDPASSWORD  2
#define UCM_CHANGEVOLUMEW 3
#define UCM_NEEDPASSWORDW 4

typedef int(CALLBACK* UNRARCALLBACK)(UINT message, LPARAM userData, LPARAM p1, LPARAM p2);

#pragma pack(push, 1)

struct RARHeaderDataEx {
  char ArcName[1024];
  WCHAR ArcNameW[1024];
  char FileName[1024];
  WCHAR FileNameW[1024];
  unsigned int Flags;
  unsigned int PackSize;
  unsigned int PackSizeHigh;
  unsigned int UnpSize;
  unsigned int UnpSizeHigh;
  unsigned int HostOS;
  unsigned int FileCRC;
  unsigned int FileTime;
  unsigned int UnpVer;
  unsigned int Method;
  unsigned int FileAttr;
  char* CmtBuf;
  unsigned int CmtBufSize;
  unsigned int CmtSize;
  unsigned int CmtState;
  unsigned int DictSize;
  unsigned int HashType;
  char Hash[32];
  unsigned int RedirType;
  WCHAR* RedirName;
  unsigned int RedirNameSize;
  unsigned int DirTarget;
  unsigned int MtimeLow;
  unsigned int MtimeHigh;
  unsigned int CtimeLow;
  unsigned int CtimeHigh;
  unsigned int AtimeLow;
  unsigned int AtimeHigh;
  unsigned int Reserved[988];
};

struct RAROpenArchiveDataEx {
  char* ArcName;
  WCHAR* ArcNameW;
  unsigned int OpenMode;
  unsigned int OpenResult;
  char* CmtBuf;
  unsigned int CmtBufSize;
  unsigned int CmtSize;
  unsigned int CmtState;
  unsigned int Flags;
  UNRARCALLBACK Callback;
  LPARAM UserData;
  unsigned int OpFlags;
  WCHAR* CmtBufW;
  unsigned int Reserved[25];
};

#pragma pack(pop)

// The five entry points, as resolved by name from the library.
typedef HANDLE(PASCAL* RarOpenArchiveExProc)(RAROpenArchiveDataEx* data);
typedef int(PASCAL* RarReadHeaderExProc)(HANDLE archive, RARHeaderDataEx* header);
typedef int(PASCAL* RarProcessFileWProc)(HANDLE archive, int operation, WCHAR* destPath, WCHAR* destName);
typedef int(PASCAL* RarCloseArchiveProc)(HANDLE archive);
typedef void(PASCAL* RarSetCallbackProc)(HANDLE archive, UNRARCALLBACK callback, LPARAM userData);

#endif
