#include <pelagon/app/migration.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <optional>
#include <system_error>

#include <pelagon/host/registry_lookup.h>
#include <pelagon/platform/code_page.h>
#include <pelagon/platform/files.h>
#include <pelagon/platform/resources.h>
#include <pelagon/platform/linux/windows_path.h>

namespace pelagon {

namespace {

// The profile folder of the older layout, relative to the install path.
constexpr unsigned kOldProfileFolderStringId = 12;
// The current network folder, relative to the install path.
constexpr const char* kNetworkFolder = "Chromalith\\Network\\";

// A search handle that FindClose releases when it goes.
class FindHandle {
public:
  FindHandle(const std::string& pattern, win::WIN32_FIND_DATAA& data)
      : handle_(win::FindFirstFileA(pattern.c_str(), &data)) {}
  ~FindHandle() {
    if (valid()) win::FindClose(handle_);
  }
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  bool valid() const { return handle_ != win::INVALID_HANDLE_VALUE; }
  bool next(win::WIN32_FIND_DATAA& data) const { return win::FindNextFileA(handle_, &data) != win::FALSE; }

private:
  win::HANDLE handle_;
};

// Every entry that matches `pattern`, "." and ".." included.
template <typename Visit>
void forEachEntry(const std::string& pattern, Visit visit) {
  win::WIN32_FIND_DATAA data;
  const FindHandle find(pattern, data);
  if (!find.valid()) return;
  do {
    // The name is terminated inside its array; the bound only guards against a search that
    // filled it completely.
    const std::string name(std::begin(data.cFileName),
                           std::find(std::begin(data.cFileName), std::end(data.cFileName), '\0'));
    visit(name, data.dwFileAttributes);
  } while (find.next(data));
}

bool isDotEntry(const std::string& name) { return name == "." || name == ".."; }

bool isFolder(win::DWORD attributes) { return (attributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0; }

bool isLink(win::DWORD attributes) { return (attributes & win::FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

bool exists(const std::string& path) {
  return win::GetFileAttributesA(path.c_str()) != win::INVALID_FILE_ATTRIBUTES;
}

// The walk of one CopyFolderTree call.
class TreeCopy {
public:
  TreeCopy(const std::string& target, const std::string& pattern)
      : pattern_(pattern), targetPlace_(win::ResolveWindowsPath(target)) {}

  void copy(const std::string& source, const std::string& target, std::size_t depth) const {
    forEachEntry(source + "\\" + pattern_, [&](const std::string& name, win::DWORD attributes) {
      if (isFolder(attributes) || isDotEntry(name)) return;
      win::CopyFileA((source + "\\" + name).c_str(), (target + "\\" + name).c_str(), win::FALSE);
    });
    if (depth >= kMaxCopyFolderDepth) return;
    forEachEntry(source + "\\*.*", [&](const std::string& name, win::DWORD attributes) {
      // A linked folder may lead back into the tree being walked.
      if (!isFolder(attributes) || isLink(attributes) || isDotEntry(name)) return;
      const std::string sourceFolder = source + "\\" + name;
      // A target inside the source would be walked into again at every level below it.
      if (isTheTarget(sourceFolder)) return;
      const std::string targetFolder = target + "\\" + name;
      win::CreateDirectoryA(targetFolder.c_str(), nullptr);
      copy(sourceFolder, targetFolder, depth + 1);
    });
  }

private:
  bool isTheTarget(const std::string& folder) const {
    if (!targetPlace_) return false;
    const std::optional<std::string> place = win::ResolveWindowsPath(folder);
    if (!place) return false;
    std::error_code error;
    return std::filesystem::equivalent(*place, *targetPlace_, error);
  }

  std::string pattern_;
  // Where the target folder is on this machine, when it can be said.
  std::optional<std::string> targetPlace_;
};

// The install path, ending with a separator, or nothing when Chromalith's Installer key
// cannot be read.
std::optional<std::string> installPath() {
  InstallerInfo installer;
  if (!ReadInstallerInfo(installer)) return std::nullopt;
  return installer.InstallPath;
}

// A text of the string table in the ANSI code page, as the file calls take it.
std::optional<std::string> loadText(unsigned id) {
  const std::optional<std::string> text = win::LoadStringResource(id);
  if (!text) return std::nullopt;
  return win::Utf8ToAnsi(*text);
}

void migrateProfileFile(const std::string& migrationText) {
  const std::string oldProfileFolder = loadText(kOldProfileFolderStringId).value_or("");
  const std::optional<std::string> install = installPath();
  if (!install) return;
  const MigrationText text = SplitMigrationText(migrationText);
  const std::string profiles = *install + "Profiles\\";
  const std::string target = profiles + text.target;
  if (exists(target)) return;
  for (const std::string& source : {profiles + text.source, *install + oldProfileFolder + text.source}) {
    if (exists(source)) {
      win::CopyFileA(source.c_str(), target.c_str(), win::FALSE);
      return;
    }
  }
}

void migrateNetworkFolder(const std::string& migrationText) {
  const std::optional<std::string> install = installPath();
  if (!install) return;
  const MigrationText text = SplitMigrationText(migrationText);
  CopyFolderTree(*install + kNetworkFolder + text.source, *install + text.target, "*");
}

// The public calls report nothing; only running out of memory can throw below them.
template <typename Work>
void quietly(Work&& work) {
  try {
    work();
  } catch (...) {
  }
}

}  // namespace

MigrationText SplitMigrationText(std::string_view text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return {"", std::string(text)};
  return {std::string(text.substr(0, colon)), std::string(text.substr(colon + 1))};
}

void CopyFolderTree(const std::string& source, const std::string& target, const std::string& pattern) {
  quietly([&] { TreeCopy(target, pattern).copy(source, target, 0); });
}

void MigrateProfileFile(const std::string& migrationText) {
  quietly([&] { migrateProfileFile(migrationText); });
}

void MigrateProfileFile(unsigned stringId) {
  quietly([&] {
    if (const std::optional<std::string> text = loadText(stringId)) migrateProfileFile(*text);
  });
}

void MigrateNetworkFolder(const std::string& migrationText) {
  quietly([&] { migrateNetworkFolder(migrationText); });
}

void MigrateNetworkFolder(unsigned stringId) {
  quietly([&] {
    if (const std::optional<std::string> text = loadText(stringId)) migrateNetworkFolder(*text);
  });
}

}  // namespace pelagon
