#pragma once
// What the Linux code that opens files itself shares (the file stand-ins here, the DOM's load
// and save): a descriptor closed when its owner goes, and the rule that makes a file read-only.

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace win {

// Owns a file descriptor, or none (-1), and closes it when destroyed or reset.
class UniqueFd {
public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release() { return std::exchange(fd_, -1); }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  // Closes now and gives the errno of a failed close (a late write error), or 0. Linux has
  // released the descriptor even when close reports EINTR.
  int close() {
    const int fd = std::exchange(fd_, -1);
    if (fd < 0 || ::close(fd) == 0 || errno == EINTR) return 0;
    return errno;
  }

private:
  int fd_ = -1;
};

// A file without any write permission is read-only, as the read-only attribute makes a file
// on Windows: writing to it is refused, to root too.
inline bool IsReadOnly(const struct stat& info) noexcept {
  return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

// The permissions that make a file of mode `mode` read-only: the same, less every write one.
inline mode_t ReadOnlyMode(mode_t mode) noexcept { return (mode & 07777) & ~(S_IWUSR | S_IWGRP | S_IWOTH); }

}  // namespace win
