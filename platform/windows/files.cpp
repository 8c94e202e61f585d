// Files and folders over kernel32 itself: every call and its last error are the system's.
// These are the calls the Windows program makes; copying, renaming and listing (the folder
// migration's) come with the device-data library on Windows.
#include <pelagon/platform/files.h>

#include <windows.h>

namespace win {

namespace {

::LPSECURITY_ATTRIBUTES native(SECURITY_ATTRIBUTES* security) {
  return reinterpret_cast<::LPSECURITY_ATTRIBUTES>(security);
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


}  // namespace win
