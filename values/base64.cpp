#include <pelagon/values/base64.h>

#include <array>
#include <cstddef>

namespace pelagon {

namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kFill = '=';
constexpr std::size_t kMaxFillCounted = 3;

// Six bits for every byte value: '=' and all bytes outside the alphabet give 0.
constexpr std::array<std::uint8_t, 256> makeReverseAlphabet() {
  std::array<std::uint8_t, 256> reverse{};
  for (std::size_t i = 0; i < kAlphabet.size(); ++i) {
    reverse[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::uint8_t>(i);
  }
  return reverse;
}

constexpr std::array<std::uint8_t, 256> kReverseAlphabet = makeReverseAlphabet();

std::uint32_t sixBits(char c) { return kReverseAlphabet[static_cast<unsigned char>(c)]; }

}  // namespace

std::string CBase64::encode(std::span<const std::uint8_t> bytes) {
  std::string text((bytes.size() + 2) / 3 * 4, kFill);
  char* out = text.data();
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3, out += 4) {
    const std::uint32_t group =
        (std::uint32_t{bytes[i]} << 16) | (std::uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
    out[0] = kAlphabet[(group >> 18) & 0x3F];
    out[1] = kAlphabet[(group >> 12) & 0x3F];
    out[2] = kAlphabet[(group >> 6) & 0x3F];
    out[3] = kAlphabet[group & 0x3F];
  }
  // A last group of one or two bytes keeps the fill in its last two or one places.
  const std::size_t rest = bytes.size() - i;
  if (rest > 0) {
    const std::uint32_t group =
        (std::uint32_t{bytes[i]} << 16) | (rest == 2 ? std::uint32_t{bytes[i + 1]} << 8 : 0);
    out[0] = kAlphabet[(group >> 18) & 0x3F];
    out[1] = kAlphabet[(group >> 12) & 0x3F];
    if (rest == 2) {
      out[2] = kAlphabet[(group >> 6) & 0x3F];
    }
  }
  return text;
}

std::vector<std::uint8_t> CBase64::decode(std::string_view text) {
  std::size_t fill = 0;
  while (fill < kMaxFillCounted && fill < text.size() && text[text.size() - 1 - fill] == kFill) {
    ++fill;
  }
  const std::size_t groups = text.size() / 4;
  const std::size_t decoded = groups * 3;
  // "=" or "====" would give a negative length; such a text decodes to nothing.
  const std::size_t length = decoded > fill ? decoded - fill : 0;

  std::vector<std::uint8_t> bytes(decoded);
  for (std::size_t g = 0; g < groups; ++g) {
    const char* c = text.data() + g * 4;
    const std::uint32_t group =
        (sixBits(c[0]) << 18) | (sixBits(c[1]) << 12) | (sixBits(c[2]) << 6) | sixBits(c[3]);
    bytes[g * 3] = static_cast<std::uint8_t>(group >> 16);
    bytes[g * 3 + 1] = static_cast<std::uint8_t>(group >> 8);
    bytes[g * 3 + 2] = static_cast<std::uint8_t>(group);
  }
  bytes.resize(length);
  return bytes;
}

}  // namespace pelagon
