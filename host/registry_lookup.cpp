#include <pelagon/host/registry_lookup.h>

#include <array>
#include <cstddef>

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

bool opens(win::HKEY hive, win::REGSAM mask) {
  win::UniqueHKey key;
  return win::RegOpenKeyExA(hive, kVendorKey, 0, mask, key.put()) == win::ERROR_SUCCESS;
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
  if (!IsWow64(wow64)) return ReadFailure::Wow64Unknown;
  if (win::RegOpenKeyExA(hiveKey(info.root), keyPath, 0, viewMask(wow64), key.put()) != win::ERROR_SUCCESS) {
    return ReadFailure::KeyNotOpened;
  }
  for (const ValueField<Info>& field : fields) {
    win::DWORD size = kValueBufferSize;
    win::DWORD type = win::REG_NONE;
    if (win::RegQueryValueExA(key.get(), field.name, nullptr, &type,
                              reinterpret_cast<win::BYTE*>(buffer.data()), &size) != win::ERROR_SUCCESS) {
      return ReadFailure::ValueNotRead;
    }
    if (onlyRegSz && type != win::REG_SZ) return ReadFailure::NotRegSz;
    // Data filling the whole buffer leaves no room for the terminating zero.
    if (size >= buffer.size()) return ReadFailure::ValueFillsBuffer;
    buffer[size] = '\0';
    // The text ends at the first zero byte of the data.
    info.*(field.field) = buffer.data();
  }
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

}  // namespace pelagon
