#include <pelagon/xmlio/xml_chars.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace pelagon::xml {

namespace {

constexpr char32_t kInvalid = 0xFFFFFFFF;

constexpr bool isAsciiNameStart(char32_t c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':';
}

// Eight bytes at a time are plain printable ASCII when none has its high bit set and none
// is below 0x20; that is nearly every byte of a device file.
bool allPrintableAscii(std::uint64_t word) {
  constexpr std::uint64_t kHigh = 0x8080808080808080ULL;
  constexpr std::uint64_t kSpaces = 0x2020202020202020ULL;
  return ((word | ((word - kSpaces) & ~word)) & kHigh) == 0;
}

}  // namespace

bool isNameStartChar(char32_t c) {
  if (c < 0x80) return isAsciiNameStart(c);
  return (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
         (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D) ||
         (c >= 0x2070 && c <= 0x218F) || (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
         (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}

bool isNameChar(char32_t c) {
  if (c < 0x80) return isAsciiNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
  return isNameStartChar(c) || c == 0xB7 || (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

char32_t decodeUtf8(std::string_view utf8, std::size_t& pos) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(utf8[i]); };
  const unsigned char lead = byte(pos);
  if (lead < 0x80) {
    ++pos;
    return lead;
  }
  std::size_t length = 0;
  char32_t c = 0;
  char32_t least = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, c = lead & 0x1F, least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, c = lead & 0x0F, least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, c = lead & 0x07, least = 0x10000;
  } else {
    ++pos;
    return kInvalid;
  }
  if (utf8.size() - pos < length) {
    ++pos;
    return kInvalid;
  }
  for (std::size_t i = 1; i < length; ++i) {
    const unsigned char next = byte(pos + i);
    if ((next & 0xC0) != 0x80) {
      ++pos;
      return kInvalid;
    }
    c = (c << 6) | (next & 0x3F);
  }
  if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    ++pos;
    return kInvalid;
  }
  pos += length;
  return c;
}

std::size_t firstNonXmlChar(std::string_view utf8) {
  std::size_t pos = 0;
  const std::size_t size = utf8.size();
  while (pos < size) {
    if (size - pos >= 8) {
      std::uint64_t word;
      std::memcpy(&word, utf8.data() + pos, sizeof word);
      if (allPrintableAscii(word)) {
        pos += 8;
        continue;
      }
    }
    const unsigned char lead = static_cast<unsigned char>(utf8[pos]);
    if (lead >= 0x20 && lead < 0x80) {
      ++pos;
      continue;
    }
    const std::size_t start = pos;
    if (!isXmlChar(decodeUtf8(utf8, pos))) return start;
  }
  return std::string_view::npos;
}

bool isXmlName(std::string_view name) {
  if (name.empty()) return false;
  std::size_t pos = 0;
  if (!isNameStartChar(decodeUtf8(name, pos))) return false;
  while (pos < name.size()) {
    if (!isNameChar(decodeUtf8(name, pos))) return false;
  }
  return true;
}

bool isNcName(std::string_view name) {
  return name.find(':') == std::string_view::npos && isXmlName(name);
}

}  // namespace pelagon::xml
