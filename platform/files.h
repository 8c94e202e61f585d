#pragma once
// Files and folders as kernel32 offers them to the system: Windows paths in the ANSI code
// page, Windows results and the Windows error code of each failure in GetLastError.
//
// On Linux (platform/linux/windows_path.h says where a path leads) a file without any write
// permission bit counts as read-only, as the read-only attribute does on Windows, for every
// caller, root included; sharing is enforced between the handles of this process only, as a
// file that another process holds open cannot be refused there.

#include <cstdint>

#include <pelagon/platform/hresult.h>

namespace win {

// The calling thread's last error code, as each call below leaves it.
DWORD GetLastError();
void SetLastError(DWORD code);

// A handle (platform/hresult.h) of a file or of a search owns nothing by itself:
// CloseHandle or FindClose releases what it stands for.
inline const HANDLE INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(~std::uintptr_t{0});

// Only the null pointer can be passed: default security.
struct SECURITY_ATTRIBUTES;

constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
constexpr DWORD FILE_SHARE_DELETE = 0x4;

// The dispositions the system uses; others fail with ERROR_INVALID_PARAMETER.
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;

constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x1;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD FILE_ATTRIBUTE_REPARSE_POINT = 0x400;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;

constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x1;
constexpr DWORD MOVEFILE_WRITE_THROUGH = 0x8;

constexpr DWORD MAX_PATH = 260;

// CREATE_ALWAYS makes a new file or truncates an existing one, and leaves ERROR_ALREADY_EXISTS
// or ERROR_SUCCESS as the last error; a read-only file, a folder, a file held by a handle
// whose sharing refuses the access, or a missing folder fail and leave the file as it was.
// OPEN_EXISTING opens a file that is there. FILE_ATTRIBUTE_READONLY given to a new file makes
// it read-only once created; other attributes and flags are ignored.
HANDLE CreateFileA(const char* fileName, DWORD desiredAccess, DWORD shareMode, SECURITY_ATTRIBUTES* security,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE templateFile);
// Writes the whole buffer unless the device fails (ERROR_DISK_FULL, ...); *written says how
// much reached the file either way. Overlapped writes are not offered.
BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytesToWrite, DWORD* written, void* overlapped);
// Reads up to bytesToRead; *read is 0 at the end of the file.
BOOL ReadFile(HANDLE file, void* buffer, DWORD bytesToRead, DWORD* read, void* overlapped);
BOOL CloseHandle(HANDLE handle);

// Fails with ERROR_ACCESS_DENIED for a folder and for a read-only file.
BOOL DeleteFileA(const char* fileName);

// A folder: FILE_ATTRIBUTE_DIRECTORY; a file: FILE_ATTRIBUTE_ARCHIVE, with
// FILE_ATTRIBUTE_READONLY when it is read-only; a symbolic link is described as itself, not
// followed: FILE_ATTRIBUTE_REPARSE_POINT, with FILE_ATTRIBUTE_DIRECTORY when it leads to a
// folder. INVALID_FILE_ATTRIBUTES when there is nothing (ERROR_FILE_NOT_FOUND, or
// ERROR_PATH_NOT_FOUND when the folder is missing too).
DWORD GetFileAttributesA(const char* fileName);

// Creates only the last component; ERROR_ALREADY_EXISTS for anything already there,
// ERROR_PATH_NOT_FOUND for a missing parent.
BOOL CreateDirectoryA(const char* pathName, SECURITY_ATTRIBUTES* security);

// Copies the bytes, and the read-only state, of a file. An existing target is overwritten
// unless failIfExists (ERROR_FILE_EXISTS); a read-only target or a folder is refused
// (ERROR_ACCESS_DENIED); a copy onto the source itself is refused (ERROR_SHARING_VIOLATION)
// and leaves it intact. A copy that fails half-way leaves no target.
BOOL CopyFileA(const char* existingFileName, const char* newFileName, BOOL failIfExists);

// Renames a file or folder. With MOVEFILE_REPLACE_EXISTING an existing file is replaced in
// one rename, so that the target is the old or the new file at every moment, a crash
// included (the new file's bytes reach the disk before the rename); a read-only file or a
// folder is never replaced (ERROR_ACCESS_DENIED). Without it an existing target fails with
// ERROR_ALREADY_EXISTS. Another volume: ERROR_NOT_SAME_DEVICE.
BOOL MoveFileExA(const char* existingFileName, const char* newFileName, DWORD flags);

struct WIN32_FIND_DATAA {
  DWORD dwFileAttributes = 0;
  DWORD nFileSizeHigh = 0;
  DWORD nFileSizeLow = 0;
  // The name in the ANSI code page; a name that does not fit is not listed.
  char cFileName[MAX_PATH] = {};
};

// Lists the entries of a folder whose names match the last component of `fileName` (see
// FileNameMatches), without regard to letter case, in the order of their upper-cased names;
// "." and ".." come first, as Windows gives them for every folder but a drive's root.
// Attributes as GetFileAttributesA gives them. Nothing matching: ERROR_FILE_NOT_FOUND; no
// such folder: ERROR_PATH_NOT_FOUND.
HANDLE FindFirstFileA(const char* fileName, WIN32_FIND_DATAA* findData);
// FALSE with ERROR_NO_MORE_FILES after the last entry.
BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* findData);
BOOL FindClose(HANDLE find);

}  // namespace win
