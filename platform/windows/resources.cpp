// The executable's own resources: its "BIN" and type 23 blocks and its string table.
#include <pelagon/platform/resources.h>

#include <string>

#include <windows.h>

namespace win {

namespace {

::HMODULE native(HMODULE module) { return static_cast<::HMODULE>(const_cast<void*>(module)); }

::HRSRC native(HRSRC resource) { return reinterpret_cast<::HRSRC>(const_cast<BinaryResource*>(resource)); }

}  // namespace

std::optional<std::string> LoadStringResource(unsigned id) {
  // With no room given, LoadStringW hands out the table's own UTF-16 text and its length.
  const wchar_t* text = nullptr;
  const int length = ::LoadStringW(::GetModuleHandleA(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
  if (length <= 0 || text == nullptr) return std::nullopt;
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::nullopt;
  std::string utf8(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, length, utf8.data(), size, nullptr, nullptr);
  return utf8;
}

int LoadStringA(unsigned id, char* buffer, int bufferMax) {
  // A bufferMax of 0 means something else to the system; here it only means no room.
  if (buffer == nullptr || bufferMax <= 0) return 0;
  buffer[0] = '\0';
  return ::LoadStringA(::GetModuleHandleA(nullptr), id, buffer, bufferMax);
}

HRSRC FindResourceA(HMODULE module, unsigned id, std::string_view type) {
  // "#23" names the numbered type 23, as the system reads such a text.
  const std::string typeName(type);
  const ::HRSRC found = ::FindResourceA(native(module), MAKEINTRESOURCEA(id), typeName.c_str());
  return reinterpret_cast<HRSRC>(found);
}

HGLOBAL LoadResource(HMODULE module, HRSRC resource) {
  if (resource == nullptr) return nullptr;
  return ::LoadResource(native(module), native(resource));
}

DWORD SizeofResource(HMODULE module, HRSRC resource) {
  if (resource == nullptr) return 0;
  return ::SizeofResource(native(module), native(resource));
}

const void* LockResource(HGLOBAL data) { return data != nullptr ? ::LockResource(const_cast<void*>(data)) : nullptr; }

}  // namespace win
