#include "platform/debug_output.h"

#include <cstdio>
#include <memory>
#include <utility>

namespace win {

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

enum class Sink { Stderr, File, Buffer };

struct DebugSink {
  Sink kind = Sink::Stderr;
  std::unique_ptr<std::FILE, FileCloser> file;
  std::string buffer;
};

DebugSink& sink() {
  static DebugSink instance;
  return instance;
}

void writeTo(std::FILE* stream, const char* text) {
  std::fputs(text, stream);
  // Each call is one message; flush so a crash later loses none of them.
  std::fflush(stream);
}

}  // namespace

void OutputDebugStringA(const char* text) {
  if (text == nullptr) return;
  auto& s = sink();
  switch (s.kind) {
    case Sink::Stderr:
      writeTo(stderr, text);
      break;
    case Sink::File:
      writeTo(s.file.get(), text);
      break;
    case Sink::Buffer:
      s.buffer += text;
      break;
  }
}

void SetDebugOutputToDefault() {
  auto& s = sink();
  s.kind = Sink::Stderr;
  s.file.reset();
}

bool SetDebugOutputToFile(const std::string& path) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "ab"));
  if (!file) return false;
  auto& s = sink();
  s.file = std::move(file);
  s.kind = Sink::File;
  return true;
}

void SetDebugOutputToBuffer() {
  auto& s = sink();
  s.kind = Sink::Buffer;
  s.file.reset();
  s.buffer.clear();
}

std::string TakeDebugOutput() { return std::exchange(sink().buffer, {}); }

}  // namespace win
