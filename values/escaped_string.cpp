#include <pelagon/values/escaped_string.h>

#include <stdexcept>

#include <pelagon/xmlio/number_text.h>

namespace pelagon {

namespace {

bool passesUnescaped(unsigned char c) {
  if (c < 0x20 || c > 0x7E) return false;
  switch (c) {
    case '"':
    case '&':
    case '\'':
    case '<':
    case '>':
    case '\\':
      return false;
    default:
      return true;
  }
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// strtol with base 16 over exactly two characters: blanks, a sign, digits up to the first
// other character; no digits give 0.
long hexPair(char first, char second) {
  const char text[2] = {first, second};
  std::size_t i = 0;
  while (i < 2 && isCSpace(text[i])) ++i;
  bool negative = false;
  if (i < 2 && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long value = 0;
  for (; i < 2 && hexDigit(text[i]) >= 0; ++i) value = value * 16 + hexDigit(text[i]);
  return negative ? -value : value;
}

}  // namespace

std::string encodeEscapedString(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size());
  for (char byte : bytes) {
    const auto c = static_cast<unsigned char>(byte);
    if (passesUnescaped(c)) {
      text += byte;
    } else {
      const char escape[4] = {'\\', 'x', kHex[c >> 4], kHex[c & 0x0F]};
      text.append(escape, sizeof escape);
    }
  }
  return text;
}

std::string decodeEscapedString(std::string_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      bytes += text[i];
      continue;
    }
    if (i + 1 >= text.size()) throw std::runtime_error("decodeEscapedString(): invalid source string");
    if (text[i + 1] != 'x') throw std::runtime_error("decodeEscapedString(): unrecognized escape sequence");
    if (i + 3 >= text.size()) throw std::runtime_error("decodeEscapedString(): invalid source string");
    bytes += static_cast<char>(static_cast<unsigned char>(hexPair(text[i + 2], text[i + 3]) & 0xFF));
    i += 3;
  }
  return bytes;
}

}  // namespace pelagon
