#pragma once
// The registry, read only: the advapi32 calls the system makes (RegOpenKeyExA,
// RegQueryValueExA, RegCloseKey) over a store loaded from a Wine prefix, from regedit export
// files or built in memory, and the kernel32 calls through which a program learns whether it
// runs under WOW64.
//
// The process behaves as the 32-bit program it was designed as. On a 64-bit system it runs
// under WOW64: its default view of HKEY_LOCAL_MACHINE\Software is Software\Wow6432Node,
// KEY_WOW64_64KEY selects the native keys, HKEY_CURRENT_USER\Software is shared by both views.
// On a 32-bit system both view flags are ignored. HKEY_CLASSES_ROOT is
// HKEY_LOCAL_MACHINE\Software\Classes, whose CLSID, Interface, DirectShow, Media Type and
// MediaFoundation subkeys have their 32-bit view under Software\Classes\Wow6432Node.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/hresult.h"

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
// Non-null for "kernel32" (with or without ".dll", any letter case) and for null (the program).
HMODULE GetModuleHandleA(const char* moduleName);
// Finds "IsWow64Process" in kernel32; null for anything else, ordinals included.
FARPROC GetProcAddress(HMODULE module, const char* procName);
// Sets *wow64 nonzero when the store describes a 64-bit system (the process then runs under
// WOW64). Returns 0 for a handle other than the current process or a null flag.
BOOL IsWow64Process(HANDLE process, BOOL* wow64);

// ---- The store ----

enum class RegistryHive { LocalMachine, CurrentUser };

// Every key and value of a registry. Names are held in UTF-16, as on Windows, and matched
// regardless of letter case; string data is held as UTF-16LE bytes. Paths are physical: the
// store itself knows no views; the 32-bit keys of a 64-bit system are its Wow6432Node keys.
class RegistryStore {
public:
  struct Key;

  // Windows' limits, which also bound the depth of the tree a hostile file can build.
  static constexpr std::size_t kMaxKeyNameLength = 255;
  static constexpr std::size_t kMaxKeyDepth = 512;
  static constexpr std::size_t kMaxValueNameLength = 16383;

  explicit RegistryStore(bool is64BitSystem = true);
  ~RegistryStore();
  RegistryStore(RegistryStore&&) noexcept;
  RegistryStore& operator=(RegistryStore&&) noexcept;
  RegistryStore(const RegistryStore&) = delete;
  RegistryStore& operator=(const RegistryStore&) = delete;

  bool Is64BitSystem() const noexcept { return is64BitSystem_; }
  void SetIs64BitSystem(bool is64BitSystem) noexcept { is64BitSystem_ = is64BitSystem; }

  // The builder, for tests and tools: `root` is HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER or
  // HKEY_CLASSES_ROOT; `path` and the names are UTF-8, the path's parts separated by '\'.
  // A path or name the registry could not hold throws std::invalid_argument.
  RegistryStore& AddKey(HKEY root, std::string_view path);
  // Stores the text and a terminating zero, as regedit does.
  RegistryStore& SetString(HKEY root, std::string_view path, std::string_view name, std::string_view text,
                           DWORD type = REG_SZ);
  RegistryStore& SetDword(HKEY root, std::string_view path, std::string_view name, DWORD value);
  // Stores the bytes as they are; for a string type they are UTF-16LE.
  RegistryStore& SetBinary(HKEY root, std::string_view path, std::string_view name, DWORD type,
                           std::span<const BYTE> data);

  // For the file readers: the path already split. False, changing nothing, when the path or
  // name breaks the limits above, is empty where a name is needed or holds a zero character,
  // or when the data is larger than a DWORD can count.
  bool CreateKey(RegistryHive hive, std::span<const std::u16string> path);
  bool SetValue(RegistryHive hive, std::span<const std::u16string> path, std::u16string_view name, DWORD type,
                std::vector<BYTE> data);
  void DeleteKey(RegistryHive hive, std::span<const std::u16string> path);
  void DeleteValue(RegistryHive hive, std::span<const std::u16string> path, std::u16string_view name);

  // The key at a physical path, or null.
  const Key* Find(RegistryHive hive, std::span<const std::u16string> path) const;

private:
  Key& root(RegistryHive hive);
  const Key& root(RegistryHive hive) const;

  bool is64BitSystem_;
  std::unique_ptr<Key> machine_;
  std::unique_ptr<Key> user_;
};

// ---- Choosing the store of the process ----

// What loading a store gave: whether it was taken, why not, and the lines it skipped.
struct RegistryLoadResult {
  bool ok = false;
  // Why the store was refused; empty when it was taken.
  std::string error;
  // What the store in use was loaded from: the prefix, the files, or "no registry".
  std::string source;
  // "file:line: reason" for the first lines skipped (and "file: reason" for a byte skipped),
  // and how many were skipped in all.
  std::vector<std::string> skipped;
  std::size_t skippedCount = 0;

  explicit operator bool() const { return ok; }
};

// Loads system.reg (HKEY_LOCAL_MACHINE) and user.reg (HKEY_CURRENT_USER) of a Wine prefix;
// a missing one leaves its hive empty, but one of them must be there. `#arch=win64` makes the
// system 64-bit, `win32` or no `#arch` line 32-bit. On failure the store in use is kept.
RegistryLoadResult UseRegistryFromWinePrefix(const std::string& prefixPath);
// Loads regedit export files (REGEDIT4, or version 5.00 in UTF-16LE or UTF-8) into one store
// of a 64-bit system. On failure the store in use is kept.
RegistryLoadResult UseRegistryFromRegFiles(std::span<const std::string> paths);
RegistryLoadResult UseRegistryFromRegFile(const std::string& path);
// The prefix WINEPREFIX names, else ~/.wine when that folder exists, else no registry.
RegistryLoadResult UseRegistryFromDefaultPlaces();
// A registry without any key: every open of a subkey fails with ERROR_FILE_NOT_FOUND. This is
// also the store of a process that chose none.
void UseNoRegistry();
void UseRegistry(RegistryStore store);

namespace testing {
// While set, GetProcAddress does not find IsWow64Process.
void HideIsWow64Process(bool hide);
// While set, IsWow64Process fails.
void FailIsWow64Process(bool fail);
// How many keys are open, for tests that check every opened key is closed.
std::size_t OpenRegistryKeyCount();
}  // namespace testing

}  // namespace win
