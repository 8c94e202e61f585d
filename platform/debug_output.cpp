// Where the lines go besides the platform's channel: a file or a buffer, when set.
#include <pelagon/platform/debug_output.h>

#include <cstdio>
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
      std::fputs(text, c.file.get());
      // Each call is one message; flush so a crash later loses none of them.
      std::fflush(c.file.get());
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
  return true;
}

void SetDebugOutputToBuffer() {
  auto& c = copy();
  c.kind = Copy::Buffer;
  c.file.reset();
  c.buffer.clear();
}

std::string TakeDebugOutput() { return std::exchange(copy().buffer, {}); }

}  // namespace win
