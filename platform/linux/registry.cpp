#include <pelagon/platform/linux/registry_store.h>

#include <fcntl.h>
#include <locale.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wctype.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <optional>
#include <stdexcept>

#include <pelagon/platform/code_page.h>
#include <pelagon/platform/linux/reg_file_parser.h>

namespace win {

namespace {

namespace fs = std::filesystem;
using regfile::Utf16FromLeBytes;
using regfile::Utf16ToUtf8;
using regfile::Utf8ToUtf16;

// Larger than any real system.reg; a bound on what a hostile file can make us hold.
constexpr std::uintmax_t kMaxRegistryFileSize = 256u * 1024u * 1024u;

// Windows compares names by upper-casing each UTF-16 unit; towupper_l over the C.UTF-8
// locale gives the same mapping for the characters that have one, whatever locale the
// process runs in.
class UpcaseLocale {
public:
  UpcaseLocale() : locale_(newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr)) {}
  ~UpcaseLocale() {
    if (locale_ != nullptr) freelocale(locale_);
  }
  UpcaseLocale(const UpcaseLocale&) = delete;
  UpcaseLocale& operator=(const UpcaseLocale&) = delete;

  char16_t upcase(char16_t unit) const {
    if (unit < 0x80) return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - 32) : unit;
    if (locale_ == nullptr || (unit >= 0xD800 && unit <= 0xDFFF)) return unit;
    const wint_t upper = towupper_l(static_cast<wint_t>(unit), locale_);
    return upper <= 0xFFFF ? static_cast<char16_t>(upper) : unit;
  }

private:
  locale_t locale_;
};

std::u16string fold(std::u16string_view name) {
  static const UpcaseLocale locale;
  std::u16string folded(name);
  for (char16_t& unit : folded) unit = locale.upcase(unit);
  return folded;
}

bool sameName(std::u16string_view a, std::u16string_view b) { return fold(a) == fold(b); }

// The one symbolic link the store answers: Software\Wow6432Node\Classes is
// Software\Classes\Wow6432Node, in Windows and in Wine alike, so both spellings reach one key.
void canonicalize(RegistryHive hive, std::vector<std::u16string>& path) {
  if (hive == RegistryHive::LocalMachine && path.size() >= 3 && sameName(path[0], u"Software") &&
      sameName(path[1], u"Wow6432Node") && sameName(path[2], u"Classes")) {
    std::swap(path[1], path[2]);
  }
}

// The subkeys of HKEY_LOCAL_MACHINE\Software\Classes whose 32-bit view is redirected; the
// rest of Classes is shared by both views.
bool isRedirectedClassesKey(std::u16string_view name) {
  for (std::u16string_view redirected :
       {u"CLSID", u"DirectShow", u"Interface", u"Media Type", u"MediaFoundation"}) {
    if (sameName(name, redirected)) return true;
  }
  return false;
}

// Where a WOW64 process's default (32-bit) view of HKEY_LOCAL_MACHINE puts a path.
std::vector<std::u16string> redirectTo32BitView(std::vector<std::u16string> path) {
  if (path.empty() || !sameName(path[0], u"Software")) return path;
  if (path.size() >= 2 && sameName(path[1], u"Wow6432Node")) return path;
  if (path.size() >= 2 && sameName(path[1], u"Classes")) {
    if (path.size() >= 3 && isRedirectedClassesKey(path[2])) path.insert(path.begin() + 2, u"Wow6432Node");
    return path;
  }
  path.insert(path.begin() + 1, u"Wow6432Node");
  return path;
}

bool isValidKeyName(std::u16string_view name) {
  return !name.empty() && name.size() <= RegistryStore::kMaxKeyNameLength &&
         name.find_first_of(std::u16string_view(u"\0\\", 2)) == std::u16string_view::npos;
}

bool isValidValueName(std::u16string_view name) {
  return name.size() <= RegistryStore::kMaxValueNameLength && name.find(u'\0') == std::u16string_view::npos;
}

bool isValidPath(std::span<const std::u16string> path) {
  if (path.size() > RegistryStore::kMaxKeyDepth) return false;
  for (const auto& name : path) {
    if (!isValidKeyName(name)) return false;
  }
  return true;
}

// The parts of a '\'-separated path; a trailing '\' is tolerated, an empty part elsewhere is not.
std::optional<std::vector<std::u16string>> splitPath(std::u16string_view path) {
  std::vector<std::u16string> parts;
  if (!path.empty() && path.back() == u'\\') path.remove_suffix(1);
  if (path.empty()) return parts;
  while (true) {
    const std::size_t end = path.find(u'\\');
    const auto part = path.substr(0, end);
    if (part.empty()) return std::nullopt;
    parts.emplace_back(part);
    if (end == std::u16string_view::npos) return parts;
    path.remove_prefix(end + 1);
  }
}

}  // namespace

struct RegistryStore::Key {
  struct Value {
    std::u16string name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
  };

  std::u16string name;
  // Both by folded name, so that a lookup ignores letter case.
  std::map<std::u16string, std::unique_ptr<Key>> subkeys;
  std::map<std::u16string, Value> values;

  const Value* value(std::u16string_view valueName) const {
    const auto found = values.find(fold(valueName));
    return found == values.end() ? nullptr : &found->second;
  }
};

// ---- RegistryStore ----

RegistryStore::RegistryStore(bool is64BitSystem)
    : is64BitSystem_(is64BitSystem), machine_(std::make_unique<Key>()), user_(std::make_unique<Key>()) {}
RegistryStore::~RegistryStore() = default;
RegistryStore::RegistryStore(RegistryStore&&) noexcept = default;
RegistryStore& RegistryStore::operator=(RegistryStore&&) noexcept = default;

RegistryStore::Key& RegistryStore::root(RegistryHive hive) {
  return hive == RegistryHive::LocalMachine ? *machine_ : *user_;
}

const RegistryStore::Key& RegistryStore::root(RegistryHive hive) const {
  return hive == RegistryHive::LocalMachine ? *machine_ : *user_;
}

namespace {

// The key at a path below `root`, or null; K is Key or const Key.
template <class K>
K* walk(K& root, RegistryHive hive, std::span<const std::u16string> path) {
  std::vector<std::u16string> canonical(path.begin(), path.end());
  canonicalize(hive, canonical);
  K* key = &root;
  for (const auto& name : canonical) {
    const auto found = key->subkeys.find(fold(name));
    if (found == key->subkeys.end()) return nullptr;
    key = found->second.get();
  }
  return key;
}

}  // namespace

const RegistryStore::Key* RegistryStore::Find(RegistryHive hive, std::span<const std::u16string> path) const {
  return walk(root(hive), hive, path);
}

bool RegistryStore::CreateKey(RegistryHive hive, std::span<const std::u16string> path) {
  if (!isValidPath(path)) return false;
  std::vector<std::u16string> canonical(path.begin(), path.end());
  canonicalize(hive, canonical);
  Key* key = &root(hive);
  for (const auto& name : canonical) {
    auto& slot = key->subkeys[fold(name)];
    if (!slot) {
      slot = std::make_unique<Key>();
      slot->name = name;
    }
    key = slot.get();
  }
  return true;
}

bool RegistryStore::SetValue(RegistryHive hive, std::span<const std::u16string> path,
                             std::u16string_view name, DWORD type, std::vector<BYTE> data) {
  if (!isValidValueName(name) || data.size() > std::numeric_limits<DWORD>::max() || !CreateKey(hive, path)) {
    return false;
  }
  // CreateKey has made the path, so the walk finds it.
  Key& key = *walk(root(hive), hive, path);
  key.values[fold(name)] = Key::Value{std::u16string(name), type, std::move(data)};
  return true;
}

void RegistryStore::DeleteKey(RegistryHive hive, std::span<const std::u16string> path) {
  if (path.empty()) return;
  std::vector<std::u16string> canonical(path.begin(), path.end());
  canonicalize(hive, canonical);
  if (Key* parent =
          walk(root(hive), hive, std::span<const std::u16string>(canonical).first(canonical.size() - 1))) {
    parent->subkeys.erase(fold(canonical.back()));
  }
}

void RegistryStore::DeleteValue(RegistryHive hive, std::span<const std::u16string> path,
                                std::u16string_view name) {
  if (Key* key = walk(root(hive), hive, path)) key->values.erase(fold(name));
}

namespace {

// The hive and leading path a builder root stands for.
std::pair<RegistryHive, std::vector<std::u16string>> builderPath(HKEY root, std::string_view path) {
  std::pair<RegistryHive, std::vector<std::u16string>> result;
  if (root == HKEY_LOCAL_MACHINE) {
    result.first = RegistryHive::LocalMachine;
  } else if (root == HKEY_CURRENT_USER) {
    result.first = RegistryHive::CurrentUser;
  } else if (root == HKEY_CLASSES_ROOT) {
    result.first = RegistryHive::LocalMachine;
    result.second = {u"Software", u"Classes"};
  } else {
    throw std::invalid_argument("registry builder: the root must be a predefined key");
  }
  auto parts = splitPath(Utf8ToUtf16(path));
  if (!parts)
    throw std::invalid_argument("registry builder: empty part in key path \"" + std::string(path) + "\"");
  result.second.insert(result.second.end(), parts->begin(), parts->end());
  return result;
}

}  // namespace

RegistryStore& RegistryStore::AddKey(HKEY root, std::string_view path) {
  const auto [hive, parts] = builderPath(root, path);
  if (!CreateKey(hive, parts)) {
    throw std::invalid_argument("registry builder: invalid key path \"" + std::string(path) + "\"");
  }
  return *this;
}

RegistryStore& RegistryStore::SetString(HKEY root, std::string_view path, std::string_view name,
                                        std::string_view text, DWORD type) {
  std::vector<BYTE> data = regfile::Utf16LeBytes(Utf8ToUtf16(text));
  data.insert(data.end(), {0, 0});
  return SetBinary(root, path, name, type, data);
}

RegistryStore& RegistryStore::SetDword(HKEY root, std::string_view path, std::string_view name, DWORD value) {
  const BYTE data[4] = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8),
                        static_cast<BYTE>(value >> 16), static_cast<BYTE>(value >> 24)};
  return SetBinary(root, path, name, REG_DWORD, data);
}

RegistryStore& RegistryStore::SetBinary(HKEY root, std::string_view path, std::string_view name, DWORD type,
                                        std::span<const BYTE> data) {
  const auto [hive, parts] = builderPath(root, path);
  if (!SetValue(hive, parts, Utf8ToUtf16(name), type, std::vector<BYTE>(data.begin(), data.end()))) {
    throw std::invalid_argument("registry builder: invalid key path or value name \"" + std::string(name) +
                                "\"");
  }
  return *this;
}

// ---- The registry of the process ----

namespace {

struct OpenKey {
  HKEY__ handle{};
  // Keeps the store alive while the key is open, even when the process chooses another.
  std::shared_ptr<const RegistryStore> store;
  RegistryHive hive = RegistryHive::LocalMachine;
  std::vector<std::u16string> path;
  const RegistryStore::Key* key = nullptr;
  REGSAM access = 0;
};

struct RegistryState {
  std::shared_ptr<const RegistryStore> store = std::make_shared<const RegistryStore>(true);
  std::map<HKEY, std::unique_ptr<OpenKey>> openKeys;
  bool hideIsWow64Process = false;
  bool failIsWow64Process = false;
};

RegistryState& state() {
  static RegistryState instance;
  return instance;
}

// What a handle stands for; the predefined keys are seen through the default view.
struct KeyRef {
  std::shared_ptr<const RegistryStore> store;
  RegistryHive hive;
  std::vector<std::u16string> path;
  const RegistryStore::Key* key;
  REGSAM access;
};

std::optional<KeyRef> resolve(HKEY handle) {
  auto& s = state();
  if (handle == HKEY_LOCAL_MACHINE || handle == HKEY_CURRENT_USER || handle == HKEY_CLASSES_ROOT) {
    KeyRef ref{s.store, RegistryHive::LocalMachine, {}, nullptr, KEY_ALL_ACCESS};
    if (handle == HKEY_CURRENT_USER) ref.hive = RegistryHive::CurrentUser;
    if (handle == HKEY_CLASSES_ROOT) ref.path = {u"Software", u"Classes"};
    ref.key = ref.store->Find(ref.hive, ref.path);
    return ref;
  }
  const auto found = s.openKeys.find(handle);
  if (found == s.openKeys.end()) return std::nullopt;
  const OpenKey& open = *found->second;
  return KeyRef{open.store, open.hive, open.path, open.key, open.access};
}

constexpr REGSAM kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC |
                                WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

bool isStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// The bytes RegQueryValueExA hands out: string types in the ANSI code page.
std::vector<BYTE> ansiData(const RegistryStore::Key::Value& value) {
  if (!isStringType(value.type)) return value.data;
  const std::string ansi = Utf8ToAnsi(Utf16ToUtf8(Utf16FromLeBytes(value.data)));
  return std::vector<BYTE>(ansi.begin(), ansi.end());
}

bool equalsNoCaseAscii(const char* text, std::string_view ascii) {
  const std::size_t length = std::strlen(text);
  if (length != ascii.size()) return false;
  for (std::size_t i = 0; i < length; ++i) {
    const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    if (upper(text[i]) != upper(ascii[i])) return false;
  }
  return true;
}

const char programModule = 0;
const char kernel32Module = 0;
char currentProcess = 0;

}  // namespace

LSTATUS RegOpenKeyExA(HKEY key, const char* subKey, DWORD /*options*/, REGSAM desired, HKEY* result) {
  if (result == nullptr) return static_cast<LSTATUS>(ERROR_INVALID_PARAMETER);
  *result = nullptr;
  auto base = resolve(key);
  if (!base) return static_cast<LSTATUS>(ERROR_INVALID_HANDLE);

  const std::string_view name = subKey != nullptr ? subKey : "";
  // A path relative to a key cannot start at the registry's top.
  if (!name.empty() && name.front() == '\\') return static_cast<LSTATUS>(ERROR_BAD_PATHNAME);
  const auto parts = splitPath(Utf8ToUtf16(AnsiToUtf8(name)));
  if (!parts) return static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND);
  std::vector<std::u16string> path = std::move(base->path);
  path.insert(path.end(), parts->begin(), parts->end());

  if (base->store->Is64BitSystem()) {
    if ((desired & KEY_WOW64_32KEY) != 0 && (desired & KEY_WOW64_64KEY) != 0) {
      return static_cast<LSTATUS>(ERROR_INVALID_PARAMETER);
    }
    if (base->hive == RegistryHive::LocalMachine && (desired & KEY_WOW64_64KEY) == 0) {
      path = redirectTo32BitView(std::move(path));
    }
  }
  const RegistryStore::Key* found = base->store->Find(base->hive, path);
  if (found == nullptr) return static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND);
  if ((desired & kWriteRights) != 0) return static_cast<LSTATUS>(ERROR_ACCESS_DENIED);

  REGSAM access = desired & ~(KEY_WOW64_32KEY | KEY_WOW64_64KEY);
  if ((desired & (GENERIC_READ | MAXIMUM_ALLOWED)) != 0) access |= KEY_READ;
  auto open = std::make_unique<OpenKey>();
  open->store = std::move(base->store);
  open->hive = base->hive;
  open->path = std::move(path);
  open->key = found;
  open->access = access;
  HKEY handle = &open->handle;
  state().openKeys.emplace(handle, std::move(open));
  *result = handle;
  return static_cast<LSTATUS>(ERROR_SUCCESS);
}

LSTATUS RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                         DWORD* size) {
  const auto ref = resolve(key);
  if (!ref) return static_cast<LSTATUS>(ERROR_INVALID_HANDLE);
  if (reserved != nullptr || (data != nullptr && size == nullptr)) {
    return static_cast<LSTATUS>(ERROR_INVALID_PARAMETER);
  }
  if ((ref->access & KEY_QUERY_VALUE) == 0) return static_cast<LSTATUS>(ERROR_ACCESS_DENIED);
  if (ref->key == nullptr) return static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND);
  const std::string_view name = valueName != nullptr ? valueName : "";
  const RegistryStore::Key::Value* value = ref->key->value(Utf8ToUtf16(AnsiToUtf8(name)));
  if (value == nullptr) return static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND);

  const std::vector<BYTE> bytes = ansiData(*value);
  // The store holds no value larger than a DWORD counts, and the code page conversion can
  // at most double a UTF-16 string's size.
  if (bytes.size() > std::numeric_limits<DWORD>::max()) return static_cast<LSTATUS>(ERROR_INVALID_DATA);
  const auto needed = static_cast<DWORD>(bytes.size());
  if (type != nullptr) *type = value->type;
  if (data == nullptr) {
    if (size != nullptr) *size = needed;
    return static_cast<LSTATUS>(ERROR_SUCCESS);
  }
  if (*size < needed) {
    *size = needed;
    return static_cast<LSTATUS>(ERROR_MORE_DATA);
  }
  if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
  *size = needed;
  return static_cast<LSTATUS>(ERROR_SUCCESS);
}

LSTATUS RegCloseKey(HKEY key) {
  if (key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER || key == HKEY_CLASSES_ROOT) {
    return static_cast<LSTATUS>(ERROR_SUCCESS);
  }
  return state().openKeys.erase(key) == 1 ? static_cast<LSTATUS>(ERROR_SUCCESS)
                                          : static_cast<LSTATUS>(ERROR_INVALID_HANDLE);
}

HANDLE GetCurrentProcess() { return &currentProcess; }

HMODULE GetModuleHandleA(const char* moduleName) {
  if (moduleName == nullptr) return &programModule;
  if (equalsNoCaseAscii(moduleName, "kernel32") || equalsNoCaseAscii(moduleName, "kernel32.dll")) {
    return &kernel32Module;
  }
  return nullptr;
}

FARPROC GetProcAddress(HMODULE module, const char* procName) {
  // A name pointer below 0x10000 is an ordinal, which names nothing here.
  if (module != &kernel32Module || reinterpret_cast<std::uintptr_t>(procName) <= 0xFFFF ||
      state().hideIsWow64Process) {
    return nullptr;
  }
  if (std::strcmp(procName, "IsWow64Process") == 0) return reinterpret_cast<FARPROC>(&IsWow64Process);
  return nullptr;
}

BOOL WINAPI IsWow64Process(HANDLE process, BOOL* wow64) {
  const auto& s = state();
  if (s.failIsWow64Process || process != GetCurrentProcess() || wow64 == nullptr) return FALSE;
  *wow64 = s.store->Is64BitSystem() ? TRUE : FALSE;
  return TRUE;
}

// ---- Choosing the store ----

namespace {

// The whole file, or nothing with `error` set.
std::optional<std::string> readRegistryFile(const fs::path& path, std::string& error) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) {
    error = path.string() + ": is a folder, not a registry file";
    return std::nullopt;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = path.string() + ": cannot be opened";
    return std::nullopt;
  }
  std::string bytes;
  char chunk[65536];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
    bytes.append(chunk, static_cast<std::size_t>(in.gcount()));
    if (bytes.size() > kMaxRegistryFileSize) {
      error = path.string() + ": larger than " + std::to_string(kMaxRegistryFileSize / (1024 * 1024)) +
              " MiB, too large for a registry file";
      return std::nullopt;
    }
  }
  if (in.bad()) {
    error = path.string() + ": read error";
    return std::nullopt;
  }
  return bytes;
}

const char* archName(regfile::WineArch arch) { return arch == regfile::WineArch::Win64 ? "win64" : "win32"; }

std::optional<fs::path> homeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return fs::path(home);
  if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir != nullptr) {
    return fs::path(entry->pw_dir);
  }
  return std::nullopt;
}

}  // namespace

RegistryLoadResult UseRegistryFromWinePrefix(const std::string& prefixPath) {
  RegistryLoadResult result;
  const fs::path prefix(prefixPath);
  std::error_code ec;
  if (!fs::is_directory(prefix, ec)) {
    result.error = prefixPath + ": no such folder (a Wine prefix is a folder)";
    return result;
  }
  struct HiveFile {
    const char* name;
    RegistryHive hive;
    regfile::WineArch arch = regfile::WineArch::Unspecified;
    bool present = false;
  };
  HiveFile files[] = {{"system.reg", RegistryHive::LocalMachine}, {"user.reg", RegistryHive::CurrentUser}};
  RegistryStore store(false);
  for (HiveFile& file : files) {
    const fs::path path = prefix / file.name;
    if (!fs::exists(path, ec)) continue;
    file.present = true;
    const auto bytes = readRegistryFile(path, result.error);
    if (!bytes) return result;
    if (!regfile::ReadWineRegistryFile(*bytes, path.string(), file.hive, store, file.arch, result))
      return result;
  }
  if (!files[0].present && !files[1].present) {
    result.error = prefixPath +
                   ": neither system.reg nor user.reg is there (not a Wine prefix, or one Wine has "
                   "not set up yet)";
    return result;
  }
  const auto systemArch = files[0].arch, userArch = files[1].arch;
  if (systemArch != regfile::WineArch::Unspecified && userArch != regfile::WineArch::Unspecified &&
      systemArch != userArch) {
    result.error = prefixPath + ": system.reg says #arch=" + archName(systemArch) +
                   " but user.reg says #arch=" + archName(userArch);
    return result;
  }
  const auto arch = systemArch != regfile::WineArch::Unspecified ? systemArch : userArch;
  store.SetIs64BitSystem(arch == regfile::WineArch::Win64);
  UseRegistry(std::move(store));
  result.ok = true;
  result.source = "Wine prefix " + prefixPath + " (" + archName(arch) + ")";
  return result;
}

RegistryLoadResult UseRegistryFromRegFiles(std::span<const std::string> paths) {
  RegistryLoadResult result;
  if (paths.empty()) {
    result.error = "no registry export file given";
    return result;
  }
  // An export file describes a 64-bit Windows; its 32-bit keys are under Wow6432Node.
  RegistryStore store(true);
  for (const std::string& path : paths) {
    const auto bytes = readRegistryFile(path, result.error);
    if (!bytes) return result;
    if (!regfile::ReadRegExportFile(*bytes, path, store, result)) return result;
  }
  UseRegistry(std::move(store));
  result.ok = true;
  result.source = "registry export";
  for (const std::string& path : paths) result.source += " " + path;
  return result;
}

RegistryLoadResult UseRegistryFromRegFile(const std::string& path) {
  return UseRegistryFromRegFiles(std::span<const std::string>(&path, 1));
}

RegistryLoadResult UseRegistryFromDefaultPlaces() {
  if (const char* prefix = std::getenv("WINEPREFIX"); prefix != nullptr && *prefix != '\0') {
    return UseRegistryFromWinePrefix(prefix);
  }
  if (const auto home = homeFolder()) {
    std::error_code ec;
    const fs::path wine = *home / ".wine";
    if (fs::is_directory(wine, ec)) return UseRegistryFromWinePrefix(wine.string());
  }
  UseNoRegistry();
  RegistryLoadResult result;
  result.ok = true;
  result.source = "no registry (neither WINEPREFIX nor ~/.wine)";
  return result;
}

namespace {

// What the server folder `folder` tells: a server holds its `lock` file locked while it runs.
WineServerState serverFolderState(const std::string& folder) {
  const int fd =
      ::open((folder + "/lock").c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    const int openError = errno;
    struct stat entry {};
    const bool socket = ::lstat((folder + "/socket").c_str(), &entry) == 0;
    return openError == ENOENT && !socket ? WineServerState::NotRunning : WineServerState::Unknown;
  }
  // Asked as an open file description lock, which conflicts with the server's ordinary lock
  // whichever process holds it, this one included; a kernel without them is asked the
  // ordinary way.
  struct flock query {};
  query.l_type = F_WRLCK;
  query.l_whence = SEEK_SET;
  int asked = ::fcntl(fd, F_OFD_GETLK, &query);
  if (asked != 0 && errno == EINVAL) {
    query = {};
    query.l_type = F_WRLCK;
    query.l_whence = SEEK_SET;
    asked = ::fcntl(fd, F_GETLK, &query);
  }
  ::close(fd);
  if (asked != 0) return WineServerState::Unknown;
  return query.l_type == F_UNLCK ? WineServerState::NotRunning : WineServerState::Running;
}

}  // namespace

WineServerState WineServerStateOf(const std::string& prefixPath, const std::string& serverBase) {
  // Wine names the folder after the prefix as stat() finds it, a link to it followed, and runs
  // only for the prefix's owner.
  struct stat prefix {};
  if (::stat(prefixPath.c_str(), &prefix) != 0 || !S_ISDIR(prefix.st_mode))
    return WineServerState::NotRunning;
  char name[64];
  std::snprintf(name, sizeof name, "server-%llx-%llx", static_cast<unsigned long long>(prefix.st_dev),
                static_cast<unsigned long long>(prefix.st_ino));
  const std::string ownFolder = ".wine-" + std::to_string(prefix.st_uid);
  WineServerState state = WineServerState::NotRunning;
  std::error_code error;
  for (fs::directory_iterator it(serverBase, error), end; !error && it != end; it.increment(error)) {
    const fs::path& folder = it->path();
    const std::string folderName = folder.filename().string();
    if (folderName != ownFolder && !folderName.starts_with("wine-")) continue;
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != prefix.st_uid) continue;
    switch (serverFolderState((folder / name).string())) {
      case WineServerState::Running:
        return WineServerState::Running;
      case WineServerState::Unknown:
        state = WineServerState::Unknown;
        break;
      case WineServerState::NotRunning:
        break;
    }
  }
  return state;
}

void UseNoRegistry() { UseRegistry(RegistryStore(true)); }

void UseRegistry(RegistryStore store) {
  state().store = std::make_shared<const RegistryStore>(std::move(store));
}

namespace testing {
void HideIsWow64Process(bool hide) { state().hideIsWow64Process = hide; }
void FailIsWow64Process(bool fail) { state().failIsWow64Process = fail; }
std::size_t OpenRegistryKeyCount() { return state().openKeys.size(); }
}  // namespace testing

}  // namespace win
