#pragma once
// The registry, read only: the advapi32 calls the system makes (RegOpenKeyExA,
// RegQueryValueExA, RegCloseKey), and the kernel32 calls through which a program learns
// whether it runs under WOW64. On Windows they are the system's own; on Linux they read a
// store loaded from a Wine prefix or regedit export files (platform/linux/registry_store.h).
//
// The process is a 32-bit program. On a 64-bit system it runs under WOW64: its default view
// of HKEY_LOCAL_MACHINE\Software is Software\Wow6432Node, KEY_WOW64_64KEY selects the native
// keys, HKEY_CURRENT_USER\Software is shared by both views. On a 32-bit system both view flags
// are ignored.

#include <cstdint>

#include <pelagon/platform/hresult.h>

namespace win {

using BYTE = unsigned char;
using LONG = std::int32_t;
using LSTATUS = LONG;
using REGSAM = DWORD;
// GetProcAddress's result; void (*)() is the one function pointer type that converts to any
// other and back without a warning.
using FARPROC = void (*)();

// ---- Access masks ----
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_CREATE_LINK = 0x0020;
constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
constexpr REGSAM DELETE = 0x00010000;
constexpr REGSAM READ_CONTROL = 0x00020000;
constexpr REGSAM WRITE_DAC = 0x00040000;
constexpr REGSAM WRITE_OWNER = 0x00080000;
constexpr REGSAM STANDARD_RIGHTS_READ = READ_CONTROL;
constexpr REGSAM STANDARD_RIGHTS_WRITE = READ_CONTROL;
constexpr REGSAM MAXIMUM_ALLOWED = 0x02000000;
constexpr REGSAM GENERIC_ALL = 0x10000000;
constexpr REGSAM KEY_READ = STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY;
constexpr REGSAM KEY_WRITE = STANDARD_RIGHTS_WRITE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;
constexpr REGSAM KEY_EXECUTE = KEY_READ;
constexpr REGSAM KEY_ALL_ACCESS = 0x000F003F;

// ---- Value types ----
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_DWORD_BIG_ENDIAN = 5;
constexpr DWORD REG_LINK = 6;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_QWORD = 11;

// ---- Keys ----
// A key handle is the address of an object the registry owns; the predefined keys are three
// fixed objects, every opened key one more until RegCloseKey.
struct HKEY__ {
  char unused;
};
using HKEY = HKEY__*;

namespace detail {
inline HKEY__ predefinedKeys[3]{};
}  // namespace detail

inline constexpr HKEY HKEY_CLASSES_ROOT = &detail::predefinedKeys[0];
inline constexpr HKEY HKEY_CURRENT_USER = &detail::predefinedKeys[1];
inline constexpr HKEY HKEY_LOCAL_MACHINE = &detail::predefinedKeys[2];

// Opens an existing key below `key` (a predefined key or an open one); `subKey` is in the
// ANSI code page, its parts separated by '\', null or empty for the key itself. Key names
// match regardless of letter case. Asking for any right that writes fails with
// ERROR_ACCESS_DENIED: the store is read only. Returns ERROR_FILE_NOT_FOUND for a missing key,
// ERROR_INVALID_HANDLE for an unknown handle, ERROR_INVALID_PARAMETER for a null result or
// both view flags on a 64-bit system.
LSTATUS RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM desired, HKEY* result);

// Reads a value of an open key; a null or empty name reads the default value. String values
// (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) come in the ANSI code page, with the terminating zero
// they were stored with; other types come as their bytes. With `data` null only the type and
// the size are returned; when the data does not fit `*size` bytes, the result is
// ERROR_MORE_DATA, `*size` the size needed and the buffer untouched.
LSTATUS RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                         DWORD* size);

LSTATUS RegCloseKey(HKEY key);

// Closes the key it holds when it goes.
class UniqueHKey {
public:
  UniqueHKey() = default;
  ~UniqueHKey() { reset(); }
  UniqueHKey(const UniqueHKey&) = delete;
  UniqueHKey& operator=(const UniqueHKey&) = delete;
  HKEY get() const { return key_; }
  // For the result argument of RegOpenKeyExA; closes any key held before.
  HKEY* put() {
    reset();
    return &key_;
  }
  void reset() {
    if (key_ != nullptr) RegCloseKey(key_);
    key_ = nullptr;
  }

private:
  HKEY key_ = nullptr;
};

// ---- The process and its modules (kernel32) ----
HANDLE GetCurrentProcess();
// On Linux: non-null for "kernel32" (with or without ".dll", any letter case) and for null
// (the program).
HMODULE GetModuleHandleA(const char* moduleName);
// On Linux: finds "IsWow64Process" in kernel32; null for anything else, ordinals included.
// What it finds is called through the type of the entry point, calling convention and all.
FARPROC GetProcAddress(HMODULE module, const char* procName);
using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE process, BOOL* wow64);
// Sets *wow64 nonzero when the process runs under WOW64 (on Linux: when the store describes
// a 64-bit system). Returns 0 for a handle other than the current process or a null flag.
BOOL WINAPI IsWow64Process(HANDLE process, BOOL* wow64);

}  // namespace win
