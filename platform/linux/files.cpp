#include <pelagon/platform/files.h>
#include <pelagon/platform/linux/files_testing.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

#include <pelagon/platform/code_page.h>
#include <pelagon/platform/linux/posix_file.h>
#include <pelagon/platform/linux/windows_path.h>

namespace win {

namespace {
// Bytes WriteFile may still write before the simulated disk is full; none while unset.
std::optional<std::size_t> writeBudget;
}  // namespace

namespace {

thread_local DWORD lastError = ERROR_SUCCESS;

BOOL failWith(DWORD code) {
  lastError = code;
  return FALSE;
}

HANDLE failHandle(DWORD code) {
  lastError = code;
  return INVALID_HANDLE_VALUE;
}

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

struct OpenFile {
  UniqueFd fd;
  DWORD access = 0;
  DWORD share = 0;
  dev_t device = 0;
  ino_t inode = 0;
};

struct Search {
  std::vector<WIN32_FIND_DATAA> entries;
  std::size_t next = 0;
};

// Every handle of the process. One lock serialises the calls that use it, which also makes
// the sharing checks and the opens they guard one step.
class HandleTable {
public:
  std::mutex mutex;

  HANDLE add(std::variant<OpenFile, Search> object) {
    // Values as Windows hands them out (multiples of 4), never reused while the process
    // lives, so a stale handle finds nothing instead of another file.
    while (nextValue_ == 0 || objects_.contains(nextValue_)) nextValue_ += 4;
    const std::uintptr_t value = nextValue_;
    nextValue_ += 4;
    objects_.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
  }

  template <typename T>
  T* find(HANDLE handle) {
    const auto it = objects_.find(reinterpret_cast<std::uintptr_t>(handle));
    return it == objects_.end() ? nullptr : std::get_if<T>(&it->second);
  }

  void remove(HANDLE handle) { objects_.erase(reinterpret_cast<std::uintptr_t>(handle)); }

  // Whether a handle already open on the file refuses this access, or this sharing refuses
  // a handle already open, as Windows checks both ways.
  bool sharingRefuses(dev_t device, ino_t inode, DWORD access, DWORD share) const {
    for (const auto& [value, object] : objects_) {
      const auto* file = std::get_if<OpenFile>(&object);
      if (file == nullptr || file->device != device || file->inode != inode) continue;
      if ((access & GENERIC_READ) && !(file->share & FILE_SHARE_READ)) return true;
      if ((access & GENERIC_WRITE) && !(file->share & FILE_SHARE_WRITE)) return true;
      if ((file->access & GENERIC_READ) && !(share & FILE_SHARE_READ)) return true;
      if ((file->access & GENERIC_WRITE) && !(share & FILE_SHARE_WRITE)) return true;
    }
    return false;
  }

  // Whether a handle open on the file forbids deleting or renaming it.
  bool refusesDelete(dev_t device, ino_t inode) const {
    for (const auto& [value, object] : objects_) {
      const auto* file = std::get_if<OpenFile>(&object);
      if (file != nullptr && file->device == device && file->inode == inode &&
          !(file->share & FILE_SHARE_DELETE))
        return true;
    }
    return false;
  }

private:
  std::unordered_map<std::uintptr_t, std::variant<OpenFile, Search>> objects_;
  std::uintptr_t nextValue_ = 4;
};

HandleTable& handles() {
  static HandleTable table;
  return table;
}

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::string parentOf(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool isDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Windows tells a missing file in an existing folder from a missing folder.
DWORD errorFor(int err, const std::string& path) {
  switch (err) {
    case ENOENT:
      return isDirectory(parentOf(path)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    // A FIFO without a reader, or a device that is not there.
    case ENXIO:
    case ENODEV:
      return ERROR_ACCESS_DENIED;
    default:
      return Win32ErrorFromErrno(err);
  }
}

std::optional<PathResolution> resolveDetailedOrFail(const char* path) {
  if (path == nullptr) {
    lastError = ERROR_INVALID_PARAMETER;
    return std::nullopt;
  }
  PathResolution resolution = ResolveWindowsPathDetailed(path);
  if (!resolution.posixPath) {
    lastError = resolution.error;
    return std::nullopt;
  }
  return resolution;
}

std::optional<std::string> resolveOrFail(const char* path) {
  auto resolution = resolveDetailedOrFail(path);
  if (!resolution) return std::nullopt;
  return std::move(resolution->posixPath);
}

struct FreeDeleter {
  void operator()(char* text) const { std::free(text); }
};

// The real path of an open file or folder as /proc tells it; where /proc is not mounted, the
// real path of `path` (which a link swapped in meanwhile could change: best effort).
std::optional<std::string> realPathOf(int fd, const std::string& path) {
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  std::vector<char> buffer(4096);
  for (;;) {
    const ssize_t n = ::readlink(link.c_str(), buffer.data(), buffer.size());
    if (n < 0) break;
    const auto length = static_cast<std::size_t>(n);
    if (length < buffer.size()) return std::string(buffer.data(), length);
    if (buffer.size() >= 1024 * 1024) return std::nullopt;
    buffer.resize(buffer.size() * 2);
  }
  const std::unique_ptr<char, FreeDeleter> real(::realpath(path.c_str(), nullptr));
  if (!real) return std::nullopt;
  return std::string(real.get());
}

// Where a write through a drive path goes: the folder of its last component, opened with its
// links followed and found to lie inside the path's prefix. The calls then work relative to
// that folder, so that a link swapped in after the check cannot lead them elsewhere.
struct ConfinedPlace {
  UniqueFd folder;
  std::string name;
  std::string path;
  std::string prefix;  // real path
};

// Nothing, with the last error set, when the folder cannot be opened or lies outside the
// prefix (ERROR_ACCESS_DENIED).
std::optional<ConfinedPlace> confine(const std::string& posixPath, const std::string& prefix) {
  ConfinedPlace place;
  const std::unique_ptr<char, FreeDeleter> realPrefix(::realpath(prefix.c_str(), nullptr));
  if (!realPrefix) {
    lastError = ERROR_PATH_NOT_FOUND;
    return std::nullopt;
  }
  place.prefix = realPrefix.get();
  place.path = posixPath;
  while (place.path.size() > 1 && place.path.back() == '/') place.path.pop_back();
  const std::string folder = parentOf(place.path);
  place.name = place.path.substr(place.path.rfind('/') + 1);
  place.folder = UniqueFd(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!place.folder.valid()) {
    lastError = errorFor(errno, place.path);
    return std::nullopt;
  }
  const auto real = realPathOf(place.folder.get(), folder);
  if (!real || !IsWithinFolder(*real, place.prefix)) {
    lastError = ERROR_ACCESS_DENIED;
    return std::nullopt;
  }
  return place;
}

// Opens the last component of a confined place: a link there is followed only to a file
// inside the prefix, and what is opened is the file checked; else -1 with EACCES. A creating
// open must be exclusive, which never follows a link.
int openConfined(const ConfinedPlace& place, int flags, mode_t mode) {
  if ((flags & O_CREAT) != 0) return ::openat(place.folder.get(), place.name.c_str(), flags | O_EXCL, mode);
  // O_PATH opens nothing for reading or writing: a device or FIFO outside is not touched.
  const UniqueFd checked(::openat(place.folder.get(), place.name.c_str(), O_PATH | O_CLOEXEC));
  if (!checked.valid()) return -1;
  const auto real = realPathOf(checked.get(), place.path);
  if (!real || !IsWithinFolder(*real, place.prefix)) {
    errno = EACCES;
    return -1;
  }
  UniqueFd fd(::openat(place.folder.get(), place.name.c_str(), flags));
  if (!fd.valid()) return -1;
  struct stat opened {};
  struct stat seen {};
  if (::fstat(fd.get(), &opened) != 0 || ::fstat(checked.get(), &seen) != 0 || !sameFile(opened, seen)) {
    errno = EACCES;
    return -1;
  }
  return fd.release();
}

// The attributes of `name` in the folder `dirFd` (AT_FDCWD for a path), a link described as
// itself; nothing when it is not there.
std::optional<DWORD> attributesAt(int dirFd, const char* name, struct stat* linkStat = nullptr) {
  struct stat st {};
  if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
  if (linkStat != nullptr) *linkStat = st;
  if (S_ISDIR(st.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
  if (S_ISLNK(st.st_mode)) {
    // A walker must be able to tell a linked folder from a real one and not descend into
    // it, as a Windows junction or symbolic link is reported.
    struct stat target {};
    const bool resolved = ::fstatat(dirFd, name, &target, 0) == 0;
    if (resolved && S_ISDIR(target.st_mode)) return FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY;
    DWORD attributes = FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_ARCHIVE;
    if (resolved && IsReadOnly(target)) attributes |= FILE_ATTRIBUTE_READONLY;
    return attributes;
  }
  return IsReadOnly(st) ? FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_ARCHIVE;
}

void syncFolder(const std::string& folder) {
  UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.valid()) ::fsync(fd.get());
}

// The last component of a path as the caller spelled it, in UTF-8.
std::string lastComponent(const char* path) {
  std::string text = AnsiToUtf8(path);
  while (!text.empty() && (text.back() == '\\' || text.back() == '/')) text.pop_back();
  const auto separator = text.find_last_of("\\/");
  if (separator != std::string::npos) return text.substr(separator + 1);
  if (text.size() >= 2 && text[1] == ':') return text.substr(2);
  return text;
}

bool writeAll(int fd, const char* data, std::size_t size, std::size_t& written, int& err) {
  written = 0;
  while (written < size) {
    const ssize_t n = ::write(fd, data + written, size - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      return false;
    }
    if (n == 0) {
      err = EIO;
      return false;
    }
    written += static_cast<std::size_t>(n);
  }
  return true;
}

bool copyBytes(int from, int to, int& err) {
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    const ssize_t n = ::read(from, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      return false;
    }
    if (n == 0) return true;
    std::size_t written = 0;
    if (!writeAll(to, buffer.data(), static_cast<std::size_t>(n), written, err)) return false;
  }
}

bool clearNonBlocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  return flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

WIN32_FIND_DATAA findDataFor(DWORD attributes, const struct stat& st, const std::string& ansiName) {
  WIN32_FIND_DATAA data;
  data.dwFileAttributes = attributes;
  if (S_ISREG(st.st_mode) && st.st_size > 0) {
    const auto size = static_cast<std::uint64_t>(st.st_size);
    data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data.nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
  }
  std::memcpy(data.cFileName, ansiName.data(), ansiName.size());
  data.cFileName[ansiName.size()] = '\0';
  return data;
}

bool isDotEntry(std::string_view name) { return name == "." || name == ".."; }

}  // namespace

DWORD GetLastError() { return lastError; }

void SetLastError(DWORD code) { lastError = code; }

HANDLE CreateFileA(const char* fileName, DWORD desiredAccess, DWORD shareMode, SECURITY_ATTRIBUTES*,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE) {
  if (creationDisposition != CREATE_ALWAYS && creationDisposition != OPEN_EXISTING)
    return failHandle(ERROR_INVALID_PARAMETER);
  const auto resolution = resolveDetailedOrFail(fileName);
  if (!resolution) return INVALID_HANDLE_VALUE;
  const std::string& path = *resolution->posixPath;

  const bool reading = desiredAccess & GENERIC_READ;
  const bool writing = (desiredAccess & GENERIC_WRITE) || creationDisposition == CREATE_ALWAYS;
  const int mode = writing ? (reading ? O_RDWR : O_WRONLY) : O_RDONLY;
  // Non-blocking only for the open itself, so that a FIFO at the path cannot hang the call.
  const int flags = mode | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  std::optional<ConfinedPlace> place;
  if (writing && !resolution->prefix.empty()) {
    place = confine(path, resolution->prefix);
    if (!place) return INVALID_HANDLE_VALUE;
  }
  const auto openTarget = [&](int openFlags) {
    return place ? openConfined(*place, openFlags, 0666) : ::open(path.c_str(), openFlags, 0666);
  };

  auto& table = handles();
  std::lock_guard lock(table.mutex);
  UniqueFd fd;
  bool created = false;
  // A second round only when another process creates the file between the two opens.
  for (int attempt = 0; attempt < 2 && !fd.valid(); ++attempt) {
    fd = UniqueFd(openTarget(flags));
    if (fd.valid()) break;
    if (errno != ENOENT || creationDisposition != CREATE_ALWAYS) return failHandle(errorFor(errno, path));
    fd = UniqueFd(openTarget(flags | O_CREAT | O_EXCL));
    if (fd.valid()) {
      created = true;
    } else if (errno != EEXIST) {
      return failHandle(errorFor(errno, path));
    }
  }
  if (!fd.valid()) return failHandle(ERROR_ACCESS_DENIED);

  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return failHandle(Win32ErrorFromErrno(errno));
  if (!created) {
    // Checked on the open file and before any truncation, so a refused file keeps its bytes.
    if (!S_ISREG(st.st_mode) && !S_ISCHR(st.st_mode)) return failHandle(ERROR_ACCESS_DENIED);
    if (writing && S_ISREG(st.st_mode) && IsReadOnly(st)) return failHandle(ERROR_ACCESS_DENIED);
    if (table.sharingRefuses(st.st_dev, st.st_ino, desiredAccess, shareMode))
      return failHandle(ERROR_SHARING_VIOLATION);
    if (creationDisposition == CREATE_ALWAYS && S_ISREG(st.st_mode) && ::ftruncate(fd.get(), 0) != 0)
      return failHandle(Win32ErrorFromErrno(errno));
  } else if (flagsAndAttributes & FILE_ATTRIBUTE_READONLY) {
    ::fchmod(fd.get(), ReadOnlyMode(st.st_mode));
  }
  if (!clearNonBlocking(fd.get())) return failHandle(Win32ErrorFromErrno(errno));

  const HANDLE handle = table.add(OpenFile{std::move(fd), desiredAccess, shareMode, st.st_dev, st.st_ino});
  lastError = (!created && creationDisposition == CREATE_ALWAYS) ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS;
  return handle;
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytesToWrite, DWORD* written, void* overlapped) {
  if (written == nullptr || overlapped != nullptr) return failWith(ERROR_INVALID_PARAMETER);
  *written = 0;
  if (buffer == nullptr && bytesToWrite > 0) return failWith(ERROR_INVALID_PARAMETER);
  auto& table = handles();
  std::lock_guard lock(table.mutex);
  OpenFile* open = table.find<OpenFile>(file);
  if (open == nullptr) return failWith(ERROR_INVALID_HANDLE);
  if (!(open->access & GENERIC_WRITE)) return failWith(ERROR_ACCESS_DENIED);
  std::size_t done = 0;
  int err = 0;
  // A simulated full disk takes what room is left and then fails as ENOSPC does.
  std::size_t allowed = bytesToWrite;
  if (writeBudget) allowed = std::min<std::size_t>(allowed, *writeBudget);
  bool ok = writeAll(open->fd.get(), static_cast<const char*>(buffer), allowed, done, err);
  if (writeBudget) *writeBudget -= done;
  if (ok && allowed < bytesToWrite) {
    ok = false;
    err = ENOSPC;
  }
  *written = static_cast<DWORD>(done);
  return ok ? TRUE : failWith(Win32ErrorFromErrno(err));
}

namespace testing {
void LimitWrittenBytes(std::optional<std::size_t> bytes) { writeBudget = bytes; }
}  // namespace testing

BOOL ReadFile(HANDLE file, void* buffer, DWORD bytesToRead, DWORD* read, void* overlapped) {
  if (read == nullptr || overlapped != nullptr) return failWith(ERROR_INVALID_PARAMETER);
  *read = 0;
  if (buffer == nullptr && bytesToRead > 0) return failWith(ERROR_INVALID_PARAMETER);
  auto& table = handles();
  std::lock_guard lock(table.mutex);
  OpenFile* open = table.find<OpenFile>(file);
  if (open == nullptr) return failWith(ERROR_INVALID_HANDLE);
  if (!(open->access & GENERIC_READ)) return failWith(ERROR_ACCESS_DENIED);
  auto* bytes = static_cast<char*>(buffer);
  std::size_t done = 0;
  while (done < bytesToRead) {
    const ssize_t n = ::read(open->fd.get(), bytes + done, bytesToRead - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      *read = static_cast<DWORD>(done);
      return failWith(Win32ErrorFromErrno(errno));
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  *read = static_cast<DWORD>(done);
  return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
  auto& table = handles();
  std::lock_guard lock(table.mutex);
  OpenFile* open = table.find<OpenFile>(handle);
  if (open == nullptr) return failWith(ERROR_INVALID_HANDLE);
  const int err = open->fd.close();
  table.remove(handle);
  return err == 0 ? TRUE : failWith(Win32ErrorFromErrno(err));
}

BOOL DeleteFileA(const char* fileName) {
  const auto resolution = resolveDetailedOrFail(fileName);
  if (!resolution) return FALSE;
  const std::string& path = *resolution->posixPath;
  std::optional<ConfinedPlace> place;
  if (!resolution->prefix.empty()) {
    place = confine(path, resolution->prefix);
    if (!place) return FALSE;
  }
  const int folder = place ? place->folder.get() : AT_FDCWD;
  const char* name = place ? place->name.c_str() : path.c_str();
  auto& table = handles();
  std::lock_guard lock(table.mutex);
  struct stat st {};
  const auto attributes = attributesAt(folder, name, &st);
  if (!attributes) return failWith(errorFor(errno, path));
  // A folder, or a link to one, is removed with RemoveDirectory on Windows, never here; a
  // link itself is never read-only, whatever its target is.
  if ((*attributes & FILE_ATTRIBUTE_DIRECTORY) || (S_ISREG(st.st_mode) && IsReadOnly(st)))
    return failWith(ERROR_ACCESS_DENIED);
  if (table.refusesDelete(st.st_dev, st.st_ino)) return failWith(ERROR_SHARING_VIOLATION);
  if (::unlinkat(folder, name, 0) != 0) return failWith(errorFor(errno, path));
  return TRUE;
}

DWORD GetFileAttributesA(const char* fileName) {
  const auto path = resolveOrFail(fileName);
  if (!path) return INVALID_FILE_ATTRIBUTES;
  const auto attributes = attributesAt(AT_FDCWD, path->c_str());
  if (!attributes) {
    lastError = errorFor(errno, *path);
    return INVALID_FILE_ATTRIBUTES;
  }
  return *attributes;
}

BOOL CreateDirectoryA(const char* pathName, SECURITY_ATTRIBUTES*) {
  const auto resolution = resolveDetailedOrFail(pathName);
  if (!resolution) return FALSE;
  int result = 0;
  if (!resolution->prefix.empty()) {
    const auto place = confine(*resolution->posixPath, resolution->prefix);
    if (!place) return FALSE;
    result = ::mkdirat(place->folder.get(), place->name.c_str(), 0777);
  } else {
    result = ::mkdir(resolution->posixPath->c_str(), 0777);
  }
  if (result != 0) return failWith(Win32ErrorFromErrno(errno));
  return TRUE;
}

BOOL CopyFileA(const char* existingFileName, const char* newFileName, BOOL failIfExists) {
  const auto source = resolveOrFail(existingFileName);
  if (!source) return FALSE;
  const auto target = resolveOrFail(newFileName);
  if (!target) return FALSE;

  auto& table = handles();
  std::lock_guard lock(table.mutex);
  UniqueFd from(::open(source->c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!from.valid()) return failWith(errorFor(errno, *source));
  struct stat sourceStat {};
  if (::fstat(from.get(), &sourceStat) != 0) return failWith(Win32ErrorFromErrno(errno));
  if (!S_ISREG(sourceStat.st_mode)) return failWith(ERROR_ACCESS_DENIED);
  if (table.sharingRefuses(sourceStat.st_dev, sourceStat.st_ino, GENERIC_READ, FILE_SHARE_READ))
    return failWith(ERROR_SHARING_VIOLATION);
  if (!clearNonBlocking(from.get())) return failWith(Win32ErrorFromErrno(errno));

  UniqueFd to;
  for (int attempt = 0; attempt < 2 && !to.valid(); ++attempt) {
    struct stat targetStat {};
    if (::stat(target->c_str(), &targetStat) == 0) {
      if (failIfExists) return failWith(ERROR_FILE_EXISTS);
      // Truncating the source as the target would lose it; Windows refuses the second open.
      if (sameFile(targetStat, sourceStat)) return failWith(ERROR_SHARING_VIOLATION);
      if (!S_ISREG(targetStat.st_mode) || IsReadOnly(targetStat)) return failWith(ERROR_ACCESS_DENIED);
      if (table.sharingRefuses(targetStat.st_dev, targetStat.st_ino, GENERIC_WRITE, 0))
        return failWith(ERROR_SHARING_VIOLATION);
      to = UniqueFd(::open(target->c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
      if (!to.valid()) return failWith(errorFor(errno, *target));
      struct stat opened {};
      // Replaced between the look and the open: look again.
      if (::fstat(to.get(), &opened) != 0 || !sameFile(opened, targetStat)) {
        to.reset();
        continue;
      }
      if (::ftruncate(to.get(), 0) != 0) return failWith(Win32ErrorFromErrno(errno));
    } else if (errno == ENOENT) {
      to = UniqueFd(::open(target->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666));
      if (!to.valid() && errno != EEXIST) return failWith(errorFor(errno, *target));
    } else {
      return failWith(errorFor(errno, *target));
    }
  }
  if (!to.valid()) return failWith(ERROR_ACCESS_DENIED);
  if (!clearNonBlocking(to.get())) return failWith(Win32ErrorFromErrno(errno));

  int err = 0;
  bool ok = copyBytes(from.get(), to.get(), err);
  if (ok && IsReadOnly(sourceStat)) {
    struct stat opened {};
    ok = ::fstat(to.get(), &opened) == 0 &&
         ::fchmod(to.get(), ReadOnlyMode(opened.st_mode)) == 0;
    if (!ok) err = errno;
  }
  if (const int closeErr = to.close(); ok && closeErr != 0) {
    ok = false;
    err = closeErr;
  }
  if (!ok) {
    // As Windows, a copy that failed half-way leaves no half file behind.
    ::unlink(target->c_str());
    return failWith(Win32ErrorFromErrno(err));
  }
  return TRUE;
}

BOOL MoveFileExA(const char* existingFileName, const char* newFileName, DWORD flags) {
  if (newFileName == nullptr || (flags & ~(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) != 0)
    return failWith(ERROR_INVALID_PARAMETER);
  const auto source = resolveOrFail(existingFileName);
  if (!source) return FALSE;
  auto target = resolveOrFail(newFileName);
  if (!target) return FALSE;
  const bool replace = flags & MOVEFILE_REPLACE_EXISTING;

  auto& table = handles();
  std::lock_guard lock(table.mutex);
  struct stat sourceStat {};
  if (::lstat(source->c_str(), &sourceStat) != 0) return failWith(errorFor(errno, *source));
  if (table.refusesDelete(sourceStat.st_dev, sourceStat.st_ino)) return failWith(ERROR_SHARING_VIOLATION);

  struct stat targetStat {};
  const bool targetExists = ::lstat(target->c_str(), &targetStat) == 0;
  if (!targetExists && errno != ENOENT) return failWith(errorFor(errno, *target));
  if (targetExists && sameFile(sourceStat, targetStat)) {
    if (*target != *source) {
      // Two links of one file: the source name goes, as a rename over the target would.
      if (!replace) return failWith(ERROR_ALREADY_EXISTS);
      if (::unlink(source->c_str()) != 0) return failWith(errorFor(errno, *source));
      return TRUE;
    }
    // The new name found the source itself: only its letter case changes.
    target = parentOf(*source) + "/" + lastComponent(newFileName);
    if (*target == *source) return TRUE;
  } else if (targetExists) {
    if (!replace) return failWith(ERROR_ALREADY_EXISTS);
    if (S_ISDIR(targetStat.st_mode) || S_ISDIR(sourceStat.st_mode)) return failWith(ERROR_ACCESS_DENIED);
    if (S_ISREG(targetStat.st_mode) && IsReadOnly(targetStat)) return failWith(ERROR_ACCESS_DENIED);
    if (table.refusesDelete(targetStat.st_dev, targetStat.st_ino)) return failWith(ERROR_SHARING_VIOLATION);
  }

  if (S_ISREG(sourceStat.st_mode)) {
    // The new bytes must be on the disk before the name points at them, or a crash could
    // leave the target empty after the rename.
    UniqueFd fd(::open(source->c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (fd.valid() && ::fsync(fd.get()) != 0 && errno != EINVAL) return failWith(Win32ErrorFromErrno(errno));
  }

  int rc = 0;
  if (!replace) {
    rc = ::renameat2(AT_FDCWD, source->c_str(), AT_FDCWD, target->c_str(), RENAME_NOREPLACE);
    // Filesystems without the no-replace rename: the look above has to do.
    if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) rc = ::rename(source->c_str(), target->c_str());
  } else {
    rc = ::rename(source->c_str(), target->c_str());
  }
  if (rc != 0) {
    switch (errno) {
      case EXDEV:
        return failWith(ERROR_NOT_SAME_DEVICE);
      case EEXIST:
        return failWith(ERROR_ALREADY_EXISTS);
      case ENOTEMPTY:
      case EISDIR:
        return failWith(ERROR_ACCESS_DENIED);
      default:
        return failWith(errorFor(errno, *target));
    }
  }
  const std::string targetFolder = parentOf(*target);
  syncFolder(targetFolder);
  if (const std::string sourceFolder = parentOf(*source); sourceFolder != targetFolder)
    syncFolder(sourceFolder);
  return TRUE;
}

HANDLE FindFirstFileA(const char* fileName, WIN32_FIND_DATAA* findData) {
  if (fileName == nullptr || findData == nullptr) return failHandle(ERROR_INVALID_PARAMETER);
  const std::string_view text(fileName);
  std::string folderPart = ".";
  std::string_view pattern = text;
  if (const auto separator = text.find_last_of("\\/"); separator != std::string_view::npos) {
    folderPart = std::string(text.substr(0, separator + 1));
    pattern = text.substr(separator + 1);
  } else if (text.size() >= 2 && text[1] == ':') {
    folderPart = std::string(text.substr(0, 2));
    pattern = text.substr(2);
  }
  if (pattern.empty()) return failHandle(ERROR_FILE_NOT_FOUND);
  const std::string utf8Pattern = AnsiToUtf8(pattern);

  PathResolution folder = ResolveWindowsPathDetailed(folderPart);
  if (!folder.posixPath) return failHandle(folder.error);
  std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.posixPath->c_str()));
  if (!dir) return failHandle(errno == ENOENT ? ERROR_PATH_NOT_FOUND : Win32ErrorFromErrno(errno));

  struct Listed {
    std::u32string key;
    std::string name;
    WIN32_FIND_DATAA data;
  };
  std::vector<Listed> listed;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string name(entry->d_name);
    if (folder.isDriveRoot && isDotEntry(name)) continue;
    if (!FileNameMatches(utf8Pattern, name)) continue;
    struct stat st {};
    const auto attributes = attributesAt(::dirfd(dir.get()), name.c_str(), &st);
    if (!attributes) continue;  // gone since the folder was read
    const std::string ansiName = Utf8ToAnsi(name);
    if (ansiName.size() >= MAX_PATH) continue;
    listed.push_back({FileNameKey(name), name, findDataFor(*attributes, st, ansiName)});
  }
  if (listed.empty()) return failHandle(ERROR_FILE_NOT_FOUND);
  std::sort(listed.begin(), listed.end(), [](const Listed& a, const Listed& b) {
    const int aDots = a.name == "." ? 0 : a.name == ".." ? 1 : 2;
    const int bDots = b.name == "." ? 0 : b.name == ".." ? 1 : 2;
    return std::tie(aDots, a.key, a.name) < std::tie(bDots, b.key, b.name);
  });

  Search search;
  search.entries.reserve(listed.size());
  for (auto& item : listed) search.entries.push_back(item.data);
  *findData = search.entries.front();
  search.next = 1;
  auto& table = handles();
  std::lock_guard lock(table.mutex);
  return table.add(std::move(search));
}

BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* findData) {
  if (findData == nullptr) return failWith(ERROR_INVALID_PARAMETER);
  auto& table = handles();
  std::lock_guard lock(table.mutex);
  Search* search = table.find<Search>(find);
  if (search == nullptr) return failWith(ERROR_INVALID_HANDLE);
  if (search->next >= search->entries.size()) return failWith(ERROR_NO_MORE_FILES);
  *findData = search->entries[search->next++];
  return TRUE;
}

BOOL FindClose(HANDLE find) {
  auto& table = handles();
  std::lock_guard lock(table.mutex);
  if (table.find<Search>(find) == nullptr) return failWith(ERROR_INVALID_HANDLE);
  table.remove(find);
  return TRUE;
}

}  // namespace win
