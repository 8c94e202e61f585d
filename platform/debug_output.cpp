// Where the lines go besides the platform's channel: a file or a buffer, when set.
#include <pelagon/platform/debug_output.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

namespace win {

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

enum class Copy { None, File, Buffer };

struct DebugCopy {
  Copy kind = Copy::None;
  std::unique_ptr<std::FILE, FileCloser> file;
  // The errno of the first line that did not reach the file.
  int fileError = 0;
  std::string buffer;
};

DebugCopy& copy() {
  static DebugCopy instance;
  return instance;
}

}  // namespace

void OutputDebugStringA(const char* text) {
  if (text == nullptr) return;
  auto& c = copy();
  detail::WriteToDebugChannel(text, c.kind != Copy::None);
  switch (c.kind) {
    case Copy::None:
      break;
    case Copy::File:
      // Each call is one message; flush so a crash later loses none of them.
      errno = 0;
      if ((std::fputs(text, c.file.get()) < 0 || std::fflush(c.file.get()) != 0) && c.fileError == 0)
        c.fileError = errno != 0 ? errno : EIO;
      break;
    case Copy::Buffer:
      c.buffer += text;
      break;
  }
}

void SetDebugOutputToDefault() {
  auto& c = copy();
  c.kind = Copy::None;
  c.file.reset();
}

bool SetDebugOutputToFile(const std::string& path) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "ab"));
  if (!file) return false;
  auto& c = copy();
  c.file = std::move(file);
  c.kind = Copy::File;
  c.fileError = 0;
  return true;
}

std::string CloseDebugOutputFile() {
  auto& c = copy();
  if (c.kind != Copy::File) return {};
  errno = 0;
  int error = c.fileError;
  if (std::fclose(c.file.release()) != 0 && error == 0) error = errno != 0 ? errno : EIO;
  c.kind = Copy::None;
  return error == 0 ? std::string() : std::strerror(error);
}

void SetDebugOutputToBuffer() {
  auto& c = copy();
  c.kind = Copy::Buffer;
  c.file.reset();
  c.buffer.clear();
}

std::string TakeDebugOutput() { return std::exchange(copy().buffer, {}); }

}  // namespace win
