#pragma once
// The Linux stand-in's registry store, and how a program chooses the one it reads: a Wine
// prefix, regedit export files, or a store built in memory.
//
// HKEY_CLASSES_ROOT is HKEY_LOCAL_MACHINE\Software\Classes, whose CLSID, Interface,
// DirectShow, Media Type and MediaFoundation subkeys have their 32-bit view under
// Software\Classes\Wow6432Node.

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <pelagon/platform/registry.h>

namespace win {

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
// Whether a wineserver runs for a Wine prefix, found without running Wine: while one runs it
// holds the prefix's registry in memory, and system.reg and user.reg may lack its latest keys
// until it has written them (it does when it ends: `wineserver -w` waits for that). A best
// effort from what the server leaves on disk: a folder server-<device>-<inode>, named for the
// prefix folder's device and inode numbers in hex, holding a socket and a file `lock` that the
// running server keeps locked. Wine keeps it in <serverBase>/.wine-<uid>, Debian's Wine in a
// <serverBase>/wine-XXXXXX of its own; only folders of the prefix's owner count. Unknown when
// that cannot be told: a server folder holds the socket but no lock file that can be tested.
enum class WineServerState { NotRunning, Running, Unknown };
WineServerState WineServerStateOf(const std::string& prefixPath, const std::string& serverBase = "/tmp");

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
