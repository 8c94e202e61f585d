// Files and folders over kernel32 itself: every call and its last error are the system's.
#include "platform/files.h"

#include <cstring>

#include <windows.h>

namespace win {

namespace {

::LPSECURITY_ATTRIBUTES native(SECURITY_ATTRIBUTES* security) {
  return reinterpret_cast<::LPSECURITY_ATTRIBUTES>(security);
}

// The system's entry as the interface describes it; a name longer than the interface's
// buffer cannot occur, as both hold MAX_PATH characters.
void copyFindData(const ::WIN32_FIND_DATAA& from, WIN32_FIND_DATAA* to) {
  to->dwFileAttributes = from.dwFileAttributes;
  to->nFileSizeHigh = from.nFileSizeHigh;
  to->nFileSizeLow = from.nFileSizeLow;
  static_assert(sizeof(to->cFileName) == sizeof(from.cFileName));
  std::memcpy(to->cFileName, from.cFileName, sizeof(to->cFileName));
}

}  // namespace

DWORD GetLastError() { return ::GetLastError(); }

void SetLastError(DWORD code) { ::SetLastError(code); }

HANDLE CreateFileA(const char* fileName, DWORD desiredAccess, DWORD shareMode, SECURITY_ATTRIBUTES* security,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE templateFile) {
  return ::CreateFileA(fileName, desiredAccess, shareMode, native(security), creationDisposition, flagsAndAttributes,
                       templateFile);
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytesToWrite, DWORD* written, void* overlapped) {
  ::DWORD count = 0;
  const BOOL ok = ::WriteFile(file, buffer, bytesToWrite, &count, static_cast<::LPOVERLAPPED>(overlapped));
  if (written != nullptr) *written = count;
  return ok;
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD bytesToRead, DWORD* read, void* overlapped) {
  ::DWORD count = 0;
  const BOOL ok = ::ReadFile(file, buffer, bytesToRead, &count, static_cast<::LPOVERLAPPED>(overlapped));
  if (read != nullptr) *read = count;
  return ok;
}

BOOL CloseHandle(HANDLE handle) { return ::CloseHandle(handle); }

BOOL DeleteFileA(const char* fileName) { return ::DeleteFileA(fileName); }

DWORD GetFileAttributesA(const char* fileName) { return ::GetFileAttributesA(fileName); }

BOOL CreateDirectoryA(const char* pathName, SECURITY_ATTRIBUTES* security) {
  return ::CreateDirectoryA(pathName, native(security));
}

BOOL CopyFileA(const char* existingFileName, const char* newFileName, BOOL failIfExists) {
  return ::CopyFileA(existingFileName, newFileName, failIfExists);
}

BOOL MoveFileExA(const char* existingFileName, const char* newFileName, DWORD flags) {
  return ::MoveFileExA(existingFileName, newFileName, flags);
}

HANDLE FindFirstFileA(const char* fileName, WIN32_FIND_DATAA* findData) {
  ::WIN32_FIND_DATAA data{};
  const HANDLE find = ::FindFirstFileA(fileName, &data);
  if (find != INVALID_HANDLE_VALUE && findData != nullptr) copyFindData(data, findData);
  return find;
}

BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* findData) {
  ::WIN32_FIND_DATAA data{};
  const BOOL found = ::FindNextFileA(find, &data);
  if (found && findData != nullptr) copyFindData(data, findData);
  return found;
}

BOOL FindClose(HANDLE find) { return ::FindClose(find); }

}  // namespace win
