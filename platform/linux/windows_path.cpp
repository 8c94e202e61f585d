#include <pelagon/platform/linux/windows_path.h>

#include <dirent.h>
#include <locale.h>
#include <sys/stat.h>
#include <wctype.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include <pelagon/platform/code_page.h>

namespace win {

namespace {

struct PrefixChoice {
  std::mutex mutex;
  std::optional<std::string> chosen;
};

PrefixChoice& prefixChoice() {
  static PrefixChoice instance;
  return instance;
}

bool isDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string environmentPrefix() {
  if (const char* env = std::getenv("WINEPREFIX"); env != nullptr && *env != '\0') return env;
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    std::string path = std::string(home) + "/.wine";
    if (isDirectory(path)) return path;
  }
  return {};
}

// The locale whose case table Windows' upper-casing of names comes closest to; when the
// machine lacks it, only ASCII letters fold.
class UpperCaseTable {
public:
  UpperCaseTable() : locale_(::newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{})) {}
  ~UpperCaseTable() {
    if (locale_ != locale_t{}) ::freelocale(locale_);
  }
  UpperCaseTable(const UpperCaseTable&) = delete;
  UpperCaseTable& operator=(const UpperCaseTable&) = delete;

  char32_t upper(char32_t c) const {
    if (c < 0x80) return (c >= U'a' && c <= U'z') ? c - (U'a' - U'A') : c;
    if (locale_ == locale_t{}) return c;
    return static_cast<char32_t>(::towupper_l(static_cast<wint_t>(c), locale_));
  }

private:
  locale_t locale_;
};

const UpperCaseTable& upperCaseTable() {
  static const UpperCaseTable table;
  return table;
}

// Code points of UTF-8 text, each upper-cased. A byte that does not start a well-formed
// sequence stands for itself as a lone surrogate, which no well-formed text decodes to.
std::u32string upperCodePoints(std::string_view text) {
  const auto& table = upperCaseTable();
  std::u32string out;
  out.reserve(text.size());
  std::size_t i = 0;
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  while (i < text.size()) {
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    char32_t value = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead < 0x80) {
      length = 1;
      value = lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      value = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      value = lead & 0x0Fu;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      value = lead & 0x07u;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    }
    bool wellFormed = length > 0 && text.size() - i >= length;
    for (std::size_t k = 1; wellFormed && k < length; ++k) {
      const unsigned char next = byte(i + k);
      const unsigned char lo = k == 1 ? low : 0x80;
      const unsigned char hi = k == 1 ? high : 0xBF;
      if (next < lo || next > hi) wellFormed = false;
      value = (value << 6) | (next & 0x3Fu);
    }
    if (!wellFormed) {
      out.push_back(0xDC00u | lead);
      ++i;
      continue;
    }
    out.push_back(table.upper(value));
    i += length;
  }
  return out;
}

bool wildcardMatch(const std::u32string& pattern, const std::u32string& name) {
  std::size_t p = 0, n = 0;
  std::size_t star = std::u32string::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == U'?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == U'*') {
      star = p++;
      resume = n;
    } else if (star != std::u32string::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == U'*') ++p;
  return p == pattern.size();
}

bool isSeparator(char c) { return c == '\\' || c == '/'; }

bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Characters Windows refuses in a path (':' is left alone: it may stand in a POSIX path, as in
// dosdevices/c:).
bool hasRefusedCharacter(std::string_view text) {
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20) return true;
    switch (c) {
      case '<':
      case '>':
      case '"':
      case '|':
      case '?':
      case '*':
        return true;
      default:
        break;
    }
  }
  return false;
}

std::string join(const std::string& folder, std::string_view name) {
  if (folder.empty()) return std::string(name);
  std::string path = folder;
  if (path.back() != '/') path += '/';
  path += name;
  return path;
}

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

// The entry of `folder` whose name equals `name` but for letter case; the first in byte
// order when several do, so that the choice does not depend on the folder's order.
std::optional<std::string> findIgnoringCase(const std::string& folder, std::string_view name) {
  std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.empty() ? "." : folder.c_str()));
  if (!dir) return std::nullopt;
  const std::u32string wanted = upperCodePoints(name);
  std::optional<std::string> found;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string_view entryName(entry->d_name);
    if (entryName == "." || entryName == "..") continue;
    if (upperCodePoints(entryName) != wanted) continue;
    if (!found || entryName < *found) found = std::string(entryName);
  }
  return found;
}

// The folder a drive letter stands for: dosdevices/<letter>: as Wine names it, or the same
// name in another letter case.
std::optional<std::string> driveRoot(const std::string& prefix, char letter) {
  if (prefix.empty()) return std::nullopt;
  const std::string devices = join(prefix, "dosdevices");
  const char lower = (letter >= 'A' && letter <= 'Z') ? static_cast<char>(letter - 'A' + 'a') : letter;
  const std::string name{lower, ':'};
  std::string root = join(devices, name);
  if (!isDirectory(root)) {
    const auto other = findIgnoringCase(devices, name);
    if (!other) return std::nullopt;
    root = join(devices, *other);
    if (!isDirectory(root)) return std::nullopt;
  }
  return root;
}

}  // namespace

void UseWinePrefixForDrives(std::string prefix) {
  auto& choice = prefixChoice();
  std::lock_guard lock(choice.mutex);
  choice.chosen = std::move(prefix);
}

void UseDefaultWinePrefixForDrives() {
  auto& choice = prefixChoice();
  std::lock_guard lock(choice.mutex);
  choice.chosen.reset();
}

std::string DrivePrefix() {
  auto& choice = prefixChoice();
  {
    std::lock_guard lock(choice.mutex);
    if (choice.chosen) return *choice.chosen;
  }
  return environmentPrefix();
}

std::optional<std::string> DriveFolder(char letter) {
  if (!isAsciiLetter(letter)) return std::nullopt;
  return driveRoot(DrivePrefix(), letter);
}

bool IsWithinFolder(std::string_view path, std::string_view folder) {
  if (!path.starts_with(folder)) return false;
  return path.size() == folder.size() || folder.ends_with('/') || path[folder.size()] == '/';
}

PathResolution ResolveWindowsPathDetailed(std::string_view path) {
  PathResolution result;
  const std::string text = AnsiToUtf8(path);
  if (text.empty()) {
    result.error = ERROR_PATH_NOT_FOUND;
    return result;
  }
  if (hasRefusedCharacter(text)) {
    result.error = ERROR_INVALID_NAME;
    return result;
  }

  enum class Root { Relative, Posix, Drive };
  Root root = Root::Relative;
  std::size_t pos = 0;
  if (text.size() >= 2 && isAsciiLetter(text[0]) && text[1] == ':') {
    // "C:name" is relative to the drive's current folder, which for a process whose own
    // folder is not on that drive is the drive's root.
    root = Root::Drive;
    pos = 2;
  } else if (isSeparator(text[0])) {
    // "\\server\share" and "\\?\..." name network shares and devices, which are not here.
    if (text.size() >= 2 && isSeparator(text[1])) {
      result.error = ERROR_PATH_NOT_FOUND;
      return result;
    }
    root = Root::Posix;
    pos = 1;
  }

  std::vector<std::string_view> components;
  const std::string_view rest = std::string_view(text).substr(pos);
  std::size_t start = 0;
  while (start <= rest.size()) {
    std::size_t end = start;
    while (end < rest.size() && !isSeparator(rest[end])) ++end;
    const std::string_view component = rest.substr(start, end - start);
    if (component.empty() || component == ".") {
      // nothing: repeated separators and "." name the same folder
    } else if (component == "..") {
      if (!components.empty() && components.back() != "..") {
        components.pop_back();
      } else if (root == Root::Relative) {
        components.push_back(component);
      }
      // A rooted path stays at its root, as Windows keeps "C:\.." at "C:\".
    } else {
      components.push_back(component);
    }
    start = end + 1;
  }

  std::string current;
  if (root == Root::Drive) {
    std::string prefix = DrivePrefix();
    auto folder = driveRoot(prefix, text[0]);
    if (!folder) {
      result.error = ERROR_PATH_NOT_FOUND;
      return result;
    }
    current = std::move(*folder);
    result.prefix = std::move(prefix);
  } else if (root == Root::Posix) {
    current = "/";
  }

  bool existing = true;
  for (const std::string_view component : components) {
    std::string candidate = join(current, component);
    if (existing) {
      struct stat st {};
      if (::lstat(candidate.c_str(), &st) != 0) {
        const auto other = errno == ENOENT ? findIgnoringCase(current, component) : std::nullopt;
        if (other) {
          candidate = join(current, *other);
        } else {
          existing = false;
        }
      }
    }
    current = std::move(candidate);
  }

  if (components.empty()) {
    if ((isSeparator(text.back()) || result.isDriveRoot) && (current.empty() || current.back() != '/'))
      current += '/';
    result.isDriveRoot = root == Root::Drive;
  }
  if ((isSeparator(text.back()) || result.isDriveRoot) && current.back() != '/') current += '/';
  result.posixPath = std::move(current);
  return result;
}

std::optional<std::string> ResolveWindowsPath(const std::string& path) {
  return ResolveWindowsPathDetailed(path).posixPath;
}

std::u32string FileNameKey(std::string_view name) { return upperCodePoints(name); }

bool FileNamesEqual(std::string_view a, std::string_view b) {
  return upperCodePoints(a) == upperCodePoints(b);
}

bool FileNameMatches(std::string_view pattern, std::string_view name) {
  const std::u32string upperPattern = upperCodePoints(pattern);
  const std::u32string upperName = upperCodePoints(name);
  if (wildcardMatch(upperPattern, upperName)) return true;
  constexpr std::u32string_view kAnyExtension = U".*";
  return upperPattern.ends_with(kAnyExtension) &&
         wildcardMatch(upperPattern.substr(0, upperPattern.size() - kAnyExtension.size()), upperName);
}

}  // namespace win
