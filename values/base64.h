#pragma once
// Base64 with the RFC 4648 alphabet ('+', '/', fill '='), without line breaks.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pelagon {

class CBase64 {
public:
  // Every three bytes give four characters; a last group of one or two bytes is filled
  // with '=' to four characters. The text is 4 * ceil(n / 3) characters long.
  static std::string encode(std::span<const std::uint8_t> bytes);

  // Never rejects a text. The result holds 3 * (length / 4) bytes less the number of '='
  // at the end of the text (at most three counted), and never fewer than none. Only whole
  // groups of four characters are decoded: a shorter tail is ignored. '=' and every
  // character outside the alphabet (high bytes included) contribute six zero bits.
  static std::vector<std::uint8_t> decode(std::string_view text);
};

}  // namespace pelagon
