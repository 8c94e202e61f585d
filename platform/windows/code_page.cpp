// The thread's ANSI code page is the system's; conversions go through UTF-16 as the
// system's own do.
#include <pelagon/platform/code_page.h>

#include <windows.h>

namespace win {

namespace {

std::wstring toWide(UINT codePage, std::string_view text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int size = ::MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
  if (size <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  ::MultiByteToWideChar(codePage, 0, text.data(), length, wide.data(), size);
  return wide;
}

std::string fromWide(UINT codePage, const std::wstring& wide) {
  if (wide.empty()) return {};
  const int length = static_cast<int>(wide.size());
  // UTF-8 takes no default character; every other code page puts '?' for what it lacks.
  const char* fallback = codePage == CP_UTF8 ? nullptr : "?";
  const int size = ::WideCharToMultiByte(codePage, 0, wide.data(), length, nullptr, 0, fallback, nullptr);
  if (size <= 0) return {};
  std::string narrow(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(codePage, 0, wide.data(), length, narrow.data(), size, fallback, nullptr);
  return narrow;
}

}  // namespace

std::uint32_t GetACP() { return ::GetACP(); }

// The code page is the system's setting; only the one in force can be chosen.
bool SetACP(std::uint32_t codePage) { return codePage == ::GetACP(); }

std::string AnsiToUtf8(std::string_view ansi) { return fromWide(CP_UTF8, toWide(CP_ACP, ansi)); }

std::string Utf8ToAnsi(std::string_view utf8) { return fromWide(CP_ACP, toWide(CP_UTF8, utf8)); }

}  // namespace win
