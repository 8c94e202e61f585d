#pragma once
// Where a Windows path leads on this machine. Paths are narrow text in the ANSI code page;
// `\` and `/` both separate; a drive path ("C:\...") maps through the dosdevices folder of a
// Wine prefix (dosdevices/c: -> ../drive_c); an absolute POSIX path stays where it is; an
// existing component that differs only in letter case is found, as on Windows, while a
// component that does not exist yet is kept as written.

#include <optional>
#include <string>
#include <string_view>

#include <pelagon/platform/hresult.h>

namespace win {

// Drive paths map through <prefix>/dosdevices from now on.
void UseWinePrefixForDrives(std::string prefix);
// Back to the environment's prefix: WINEPREFIX, else ~/.wine when it exists, else none.
void UseDefaultWinePrefixForDrives();
// The prefix drive paths map through now; empty when there is none.
std::string DrivePrefix();
// The folder drive `letter` stands for, <prefix>/dosdevices/<letter>:, or nothing when the
// prefix does not map it (or there is no prefix).
std::optional<std::string> DriveFolder(char letter);

// The POSIX path (UTF-8) that a Windows path names, or nothing when it names no place here:
// an empty path, a drive the prefix does not have (or no prefix), a network path ("\\server"),
// a wildcard or another character Windows refuses in a name. ".." is taken away by name, as
// Windows does, and never climbs above the root of a drive. A trailing separator is kept.
std::optional<std::string> ResolveWindowsPath(const std::string& path);

struct PathResolution {
  std::optional<std::string> posixPath;
  // Why there is no path: ERROR_PATH_NOT_FOUND or ERROR_INVALID_NAME.
  DWORD error = ERROR_SUCCESS;
  // The path is the root of a drive, which Windows lists without "." and "..".
  bool isDriveRoot = false;
  // For a drive path, the Wine prefix whose drive it is. Whoever may write into a prefix can
  // plant links in it; the file calls write only where a drive path leads inside its prefix,
  // its links followed, so that a program with more rights than the prefix's owner (root
  // installing into a user's prefix) cannot be led to overwrite a file outside.
  std::string prefix;
};
PathResolution ResolveWindowsPathDetailed(std::string_view path);

// Whether `path` is `folder` or lies below it; both are real paths, without links, "." or "..".
bool IsWithinFolder(std::string_view path, std::string_view folder);

// Name comparison as Windows does it for file names: letter case does not count.
// Both names are UTF-8; bytes that are not UTF-8 compare as themselves.
bool FileNamesEqual(std::string_view a, std::string_view b);
// The code points of a name with letter case taken away: equal keys for equal names, and the
// order Windows lists a folder in.
std::u32string FileNameKey(std::string_view name);
// Windows wildcard matching of a file name (UTF-8): '*' any run, '?' one character, a
// trailing ".*" also matches a name without an extension (so "*.*" matches every name).
bool FileNameMatches(std::string_view pattern, std::string_view name);

}  // namespace win
