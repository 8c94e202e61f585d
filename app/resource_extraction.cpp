#include <pelagon/app/resource_extraction.h>

#include <cstdarg>
#include <cstdio>
#include <string_view>
#include <vector>

#include <pelagon/platform/debug_output.h>
#include <pelagon/platform/files.h>
#include <pelagon/platform/resources.h>

namespace pelagon {

namespace {

// Formats with printf rules into a buffer that grows to fit, and sends it in one call.
void logLine(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::va_list measure;
  va_copy(measure, args);
  const int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (length >= 0) {
    std::vector<char> line(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(line.data(), line.size(), format, args);
    win::OutputDebugStringA(line.data());
  }
  va_end(args);
}

bool extract(const std::string& path, unsigned resourceId, std::string_view type, int& counter) {
  try {
    const char* target = path.c_str();
    const win::HRSRC resource = win::FindResourceA(nullptr, resourceId, type);
    if (resource == nullptr) {
      logLine("[%02d] %s error: resource not found.\r\n", ++counter, target);
      return false;
    }
    const win::HGLOBAL data = win::LoadResource(nullptr, resource);
    if (data == nullptr) {
      logLine("[%02d] %s error: resource data cannot loaded.\r\n", ++counter, target);
      return false;
    }
    const win::DWORD size = win::SizeofResource(nullptr, resource);
    if (size == 0) {
      logLine("[%02d] %s error: resource size is zero.\r\n", ++counter, target);
      return false;
    }
    const win::HANDLE file = win::CreateFileA(target, win::GENERIC_WRITE, 0, nullptr, win::CREATE_ALWAYS,
                                              win::FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == win::INVALID_HANDLE_VALUE) {
      logLine("[%02d] %s error: file cannot opened.\r\n", ++counter, target);
      return false;
    }
    win::DWORD written = 0;
    if (!win::WriteFile(file, win::LockResource(data), size, &written, nullptr) || written != size) {
      logLine("[%02d] error: %s file io failed.\r\n", ++counter, target);
      win::CloseHandle(file);
      win::DeleteFileA(target);
      return false;
    }
    win::CloseHandle(file);
    logLine("[%02d] %s ( %d Bytes ) successfly updated!\r\n", ++counter, target, static_cast<int>(size));
    return true;
  } catch (...) {
    // Only running out of memory for the line can get here; the caller sees a failure.
    return false;
  }
}

int binCounter = 0;
int htmlCounter = 0;

}  // namespace

bool ExtractResourceToFile(const std::string& path, unsigned resourceId) {
  return extract(path, resourceId, win::RT_BIN, binCounter);
}

bool ExtractHtmlResourceToFile(const std::string& path, unsigned resourceId) {
  return extract(path, resourceId, win::RT_HTML, htmlCounter);
}

}  // namespace pelagon
