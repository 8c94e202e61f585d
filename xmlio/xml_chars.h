#pragma once
// What XML 1.0 lets a document carry, shared by loading (which refuses a document that
// breaks it) and saving (which refuses to write what loading would refuse).

#include <cstddef>
#include <string_view>

namespace pelagon::xml {

// Char: tab, line feed, carriage return, U+0020 to U+D7FF, U+E000 to U+FFFD, U+10000 up.
constexpr bool isXmlChar(char32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
         (c >= 0x10000 && c <= 0x10FFFF);
}

// NameStartChar and NameChar of the fifth edition.
bool isNameStartChar(char32_t c);
bool isNameChar(char32_t c);

// The offset of the first byte that is not valid UTF-8 (overlong forms and surrogates
// included) or starts a character that is not a Char; npos when every character is one.
std::size_t firstNonXmlChar(std::string_view utf8);

// Decodes the UTF-8 character at `pos` and advances `pos` past it; text that is not
// valid UTF-8 gives U+FFFFFFFF and advances one byte.
char32_t decodeUtf8(std::string_view utf8, std::size_t& pos);

// Name: a NameStartChar followed by NameChars (UTF-8).
bool isXmlName(std::string_view name);
// NCName: a Name without a colon.
bool isNcName(std::string_view name);

}  // namespace pelagon::xml
