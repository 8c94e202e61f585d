#pragma once
// Finds the installed host RIP, Chromalith, through the keys its own installer leaves in the
// registry: the Installer key gives the installation folder, the User key the user's ink
// configuration, language and printer model. Only reads; every failure is a false result.

#include <functional>
#include <string>

namespace pelagon {

// Which hive holds "Software\HaldenCo\Chromalith".
enum class RegistryRoot : int {
  None = 0,
  CurrentUser = 1,
  LocalMachine = 2,
};

// From "Software\HaldenCo\Chromalith\Installer".
struct InstallerInfo {
  RegistryRoot root = RegistryRoot::None;
  std::string CompanyName;
  // Chromalith's installation folder; its users expect the path separator at its end, and the
  // reader does not add one.
  std::string InstallPath;
  std::string UserName;

  friend bool operator==(const InstallerInfo&, const InstallerInfo&) = default;
};

// From "Software\HaldenCo\Chromalith\User".
struct UserSettingsInfo {
  RegistryRoot root = RegistryRoot::None;
  std::string Language;
  std::string Model;
  std::string InkConfig;

  friend bool operator==(const UserSettingsInfo&, const UserSettingsInfo&) = default;
};

// True when the system could be asked, and then `isWow64` says whether the process runs under
// WOW64; false, leaving `isWow64` untouched, when IsWow64Process is missing or fails.
bool IsWow64(bool& isWow64);

// The hive holding the vendor key; HKEY_LOCAL_MACHINE wins when both do.
RegistryRoot ProbeRegistryRoot();

// Fill the record and return true when every value was read. A false result leaves the
// fields read before the failure filled; the record is then not to be used.
bool ReadInstallerInfo(InstallerInfo& info);
bool ReadUserSettings(UserSettingsInfo& info);

// Where the lookup tells what it tried, one sentence a step, for a program's --verbose: each
// hive and view the vendor key and the two keys were looked for in and whether they were
// there, and the value that ended a read (missing, of the wrong type, too long). Empty, the
// default, keeps it silent; what the lookup returns never depends on it.
using RegistryLookupNotes = std::function<void(const std::string& note)>;
void SetRegistryLookupNotes(RegistryLookupNotes notes);

}  // namespace pelagon
