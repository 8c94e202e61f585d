#pragma once
// Carrying colour profiles and network folders from the layout of older Chromalith
// installations into the current one. Chromalith is found through its Installer key; nothing
// is reported, and every failure (no key, a missing file, a refused copy) is passed over.

#include <cstddef>
#include <string>
#include <string_view>

namespace pelagon {

// "target:source", split at the first ':'. Without a ':' the target is empty and the source
// is the whole text.
struct MigrationText {
  std::string target;
  std::string source;

  friend bool operator==(const MigrationText&, const MigrationText&) = default;
};
MigrationText SplitMigrationText(std::string_view text);

// How many folder levels below the source CopyFolderTree descends. A step down adds at least
// two characters ("\x") to a path, and Windows' ANSI file calls take at most 259, so no tree
// those calls could reach is cut short.
inline constexpr std::size_t kMaxCopyFolderDepth = 128;

// Copies the files of `source` whose names match `pattern` into `target`, overwriting, then
// each subfolder (whatever its name) into a folder of the same name below `target`, created
// when missing, with the same pattern. Folders are given without a trailing separator; the
// target itself must exist. A linked folder (a symbolic link or junction) is never entered,
// nor is the target when it lies inside the source, so the walk always ends.
void CopyFolderTree(const std::string& source, const std::string& target, const std::string& pattern);

// Fills in the profile install path + "Profiles\" + target when it is missing, from
// "Profiles\" + source, else from the older layout's profile folder + source.
// `migrationText` is "target:source" in the ANSI code page.
void MigrateProfileFile(const std::string& migrationText);
// The same with the migration text of the program's string table; an id the table does not
// hold does nothing.
void MigrateProfileFile(unsigned stringId);

// Copies the tree install path + "Chromalith\Network\" + source into install path + target.
void MigrateNetworkFolder(const std::string& migrationText);
// The same with the migration text of the program's string table; an id the table does not
// hold does nothing (rather than copying the whole network folder into the install folder).
void MigrateNetworkFolder(unsigned stringId);

}  // namespace pelagon
