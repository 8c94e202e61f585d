#include <pelagon/host/registry_lookup.h>

#include <array>
#include <cstddef>
#include <string>
#include <utility>

#include <pelagon/platform/registry.h>

namespace pelagon {

namespace {

constexpr const char* kVendorKey = "Software\\HaldenCo\\Chromalith";
constexpr const char* kInstallerKey = "Software\\HaldenCo\\Chromalith\\Installer";
constexpr const char* kUserKey = "Software\\HaldenCo\\Chromalith\\User";

// Chromalith keeps its keys in the native view: a 32-bit process under WOW64 must ask for the
// 64-bit view to see them.
constexpr win::REGSAM kWow64ViewMask = win::KEY_READ | win::KEY_WOW64_64KEY;
constexpr win::REGSAM kNativeViewMask = win::KEY_READ | win::KEY_WOW64_32KEY;
static_assert(kWow64ViewMask == 0x20119 && kNativeViewMask == 0x20219);

constexpr std::size_t kValueBufferSize = 1024;

win::REGSAM viewMask(bool wow64) { return wow64 ? kWow64ViewMask : kNativeViewMask; }

win::HKEY hiveKey(RegistryRoot root) {
  return root == RegistryRoot::LocalMachine ? win::HKEY_LOCAL_MACHINE : win::HKEY_CURRENT_USER;
}

RegistryLookupNotes& listener() {
  static RegistryLookupNotes instance;
  return instance;
}

// The note is made only when someone listens. One that cannot be made or taken is dropped:
// the lookup never throws.
template <class MakeNote>
void note(MakeNote&& make) {
  const RegistryLookupNotes& notes = listener();
  if (!notes) return;
  try {
    notes(make());
  } catch (...) {
  }
}

// "HKEY_LOCAL_MACHINE\Software\HaldenCo\Chromalith (64-bit view)"
std::string where(win::HKEY hive, const char* keyPath, win::REGSAM mask) {
  std::string text = hive == win::HKEY_LOCAL_MACHINE ? "HKEY_LOCAL_MACHINE\\" : "HKEY_CURRENT_USER\\";
  text += keyPath;
  text += (mask & win::KEY_WOW64_64KEY) != 0 ? " (64-bit view)" : " (32-bit view)";
  return text;
}

std::string typeName(win::DWORD type) {
  switch (type) {
    case win::REG_NONE:
      return "REG_NONE";
    case win::REG_SZ:
      return "REG_SZ";
    case win::REG_EXPAND_SZ:
      return "REG_EXPAND_SZ";
    case win::REG_BINARY:
      return "REG_BINARY";
    case win::REG_DWORD:
      return "REG_DWORD";
    case win::REG_DWORD_BIG_ENDIAN:
      return "REG_DWORD_BIG_ENDIAN";
    case win::REG_LINK:
      return "REG_LINK";
    case win::REG_MULTI_SZ:
      return "REG_MULTI_SZ";
    case win::REG_QWORD:
      return "REG_QWORD";
    default:
      return "type " + std::to_string(type);
  }
}

bool opens(win::HKEY hive, win::REGSAM mask) {
  win::UniqueHKey key;
  const bool found = win::RegOpenKeyExA(hive, kVendorKey, 0, mask, key.put()) == win::ERROR_SUCCESS;
  note([&] { return where(hive, kVendorKey, mask) + (found ? ": found" : ": not there"); });
  return found;
}

// Why a read failed. Nothing outside the reader sees it; it names each failure point.
enum class ReadFailure {
  None,
  NoVendorKey,
  Wow64Unknown,
  KeyNotOpened,
  ValueNotRead,
  NotRegSz,
  ValueFillsBuffer,
};

template <class Info>
struct ValueField {
  const char* name;
  std::string Info::*field;
};

// The order in which the values are read; the first that fails ends the read.
constexpr std::array<ValueField<InstallerInfo>, 3> kInstallerValues{{
    {"CompanyName", &InstallerInfo::CompanyName},
    {"InstallPath", &InstallerInfo::InstallPath},
    {"UserName", &InstallerInfo::UserName},
}};
constexpr std::array<ValueField<UserSettingsInfo>, 3> kUserValues{{
    {"InkConfig", &UserSettingsInfo::InkConfig},
    {"Language", &UserSettingsInfo::Language},
    {"Model", &UserSettingsInfo::Model},
}};

template <class Info, std::size_t N>
ReadFailure readKey(const char* keyPath, const std::array<ValueField<Info>, N>& fields, bool onlyRegSz,
                    Info& info) {
  std::array<char, kValueBufferSize> buffer{};
  win::UniqueHKey key;

  info.root = ProbeRegistryRoot();
  if (info.root == RegistryRoot::None) return ReadFailure::NoVendorKey;
  // The probe goes on with the 32-bit view when WOW64 cannot be asked about; the readers do not.
  bool wow64 = false;
  if (!IsWow64(wow64)) {
    note([&] { return std::string("IsWow64Process cannot be asked, so ") + keyPath + " is not read"; });
    return ReadFailure::Wow64Unknown;
  }
  const win::HKEY hive = hiveKey(info.root);
  const win::REGSAM mask = viewMask(wow64);
  const auto say = [&](auto&& text) { note([&] { return where(hive, keyPath, mask) + ": " + text(); }); };
  if (const win::LSTATUS status = win::RegOpenKeyExA(hive, keyPath, 0, mask, key.put());
      status != win::ERROR_SUCCESS) {
    say([&] {
      return status == win::ERROR_FILE_NOT_FOUND ? std::string("not there")
                                                 : "cannot be opened (error " + std::to_string(status) + ")";
    });
    return ReadFailure::KeyNotOpened;
  }
  for (const ValueField<Info>& field : fields) {
    const auto value = [&] { return std::string("value \"") + field.name + "\""; };
    const auto tooLong = [&](win::DWORD size) {
      return value() + " holds " + std::to_string(size) + " bytes, more than the " +
             std::to_string(kValueBufferSize - 1) + " read";
    };
    win::DWORD size = kValueBufferSize;
    win::DWORD type = win::REG_NONE;
    const win::LSTATUS status = win::RegQueryValueExA(key.get(), field.name, nullptr, &type,
                                                      reinterpret_cast<win::BYTE*>(buffer.data()), &size);
    if (status == win::ERROR_FILE_NOT_FOUND) {
      say([&] { return "no " + value(); });
      return ReadFailure::ValueNotRead;
    }
    if (status == win::ERROR_MORE_DATA) {
      say([&] { return tooLong(size); });
      return ReadFailure::ValueNotRead;
    }
    if (status != win::ERROR_SUCCESS) {
      say([&] { return value() + " cannot be read (error " + std::to_string(status) + ")"; });
      return ReadFailure::ValueNotRead;
    }
    if (onlyRegSz && type != win::REG_SZ) {
      say([&] { return value() + " is " + typeName(type) + ", not REG_SZ"; });
      return ReadFailure::NotRegSz;
    }
    // Data filling the whole buffer leaves no room for the terminating zero.
    if (size >= buffer.size()) {
      say([&] { return tooLong(size); });
      return ReadFailure::ValueFillsBuffer;
    }
    buffer[size] = '\0';
    // The text ends at the first zero byte of the data.
    info.*(field.field) = buffer.data();
  }
  say([] { return std::string("read"); });
  return ReadFailure::None;
}

}  // namespace

bool IsWow64(bool& isWow64) {
  const win::FARPROC entry = win::GetProcAddress(win::GetModuleHandleA("kernel32"), "IsWow64Process");
  if (entry == nullptr) return false;
  // Converted back to the type it was taken from.
  const auto isWow64Process = reinterpret_cast<win::IsWow64ProcessFunction>(entry);
  win::BOOL flag = 0;
  if (isWow64Process(win::GetCurrentProcess(), &flag) == 0) return false;
  isWow64 = flag != 0;
  return true;
}

RegistryRoot ProbeRegistryRoot() {
  bool wow64 = false;
  (void)IsWow64(wow64);
  const win::REGSAM mask = viewMask(wow64);
  if (opens(win::HKEY_LOCAL_MACHINE, mask)) return RegistryRoot::LocalMachine;
  if (opens(win::HKEY_CURRENT_USER, mask)) return RegistryRoot::CurrentUser;
  return RegistryRoot::None;
}

bool ReadInstallerInfo(InstallerInfo& info) {
  return readKey(kInstallerKey, kInstallerValues, true, info) == ReadFailure::None;
}

bool ReadUserSettings(UserSettingsInfo& info) {
  return readKey(kUserKey, kUserValues, false, info) == ReadFailure::None;
}

void SetRegistryLookupNotes(RegistryLookupNotes notes) { listener() = std::move(notes); }

}  // namespace pelagon
