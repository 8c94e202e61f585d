#include <pelagon/app/install_run.h>

#include <array>
#include <cstddef>
#include <string>

#include <pelagon/app/resource_extraction.h>
#include <pelagon/host/registry_lookup.h>
#include <pelagon/payload/payload_catalogue.h>
#include <pelagon/platform/files.h>
#include <pelagon/platform/resources.h>

namespace pelagon {

namespace {

// "Chromalith\Device\", relative to the install path.
constexpr unsigned kDeviceFolderStringId = 13;

// Room for the longest path text of the table, with its terminating zero.
constexpr int kTextBufferSize = 512;

// A text of the string table in the ANSI code page, as the file calls take it.
std::string loadText(unsigned id) {
  std::array<char, kTextBufferSize> buffer{};
  const int length = win::LoadStringA(id, buffer.data(), kTextBufferSize);
  return std::string(buffer.data(), static_cast<std::size_t>(length > 0 ? length : 0));
}

}  // namespace

bool InstallRun(const InstallPathNote& installPathFound) {
  try {
    UserSettingsInfo user;
    if (!ReadUserSettings(user)) return true;
    InstallerInfo installer;
    if (!ReadInstallerInfo(installer)) return true;
    // The install path ends with a separator; nothing is ever put between it and a text.
    const std::string& installPath = installer.InstallPath;
    if (installPathFound) {
      try {
        installPathFound(installPath);
      } catch (...) {
        // A note that fails does not stop the run.
      }
    }
    const std::string deviceFolder = installPath + loadText(kDeviceFolderStringId);

    for (const payload::ManifestEntry& entry : payload::kInstallManifest) {
      const std::string text = loadText(entry.stringId);
      if (entry.kind == payload::PayloadKind::Folder) {
        const std::string folder = installPath + text;
        // Only a missing entry is created, and only its last component.
        if (win::GetFileAttributesA(folder.c_str()) == win::INVALID_FILE_ATTRIBUTES) {
          win::CreateDirectoryA(folder.c_str(), nullptr);
        }
        continue;
      }
      const std::string& base = entry.base == payload::PayloadBase::DeviceFolder ? deviceFolder : installPath;
      ExtractResourceToFile(base + text, entry.resourceId);
    }
  } catch (...) {
    // Nothing is reported to the caller, whatever happened.
  }
  return true;
}

}  // namespace pelagon
