#include <pelagon/values/base64.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "../support/test_support.h"

namespace pelagon {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }

std::string readFixture(const std::string& name) {
  return test::readFile(test::dataDir() / "output_table" / name);
}

// Decodes from a heap block of exactly the text's size, so that AddressSanitizer sees any
// read past the text (a std::string may hold short texts inside itself).
Bytes decodeExact(std::string_view text) {
  const auto block = std::make_unique<char[]>(text.size());
  std::copy(text.begin(), text.end(), block.get());
  return CBase64::decode(std::string_view(block.get(), text.size()));
}

std::size_t expectedDecodedSize(std::string_view text) {
  std::size_t fill = 0;
  while (fill < 3 && fill < text.size() && text[text.size() - 1 - fill] == '=') {
    ++fill;
  }
  const std::size_t whole = text.size() / 4 * 3;
  return whole > fill ? whole - fill : 0;
}

TEST(Base64Test, EncodesAndDecodesTheRfc4648Vectors) {
  const std::pair<std::string_view, std::string_view> vectors[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
  };
  for (const auto& [plain, coded] : vectors) {
    EXPECT_EQ(CBase64::encode(bytesOf(plain)), coded);
    EXPECT_EQ(CBase64::decode(coded), bytesOf(plain)) << coded;
  }
  EXPECT_EQ(CBase64::encode(Bytes{0xFB, 0xFF, 0xBF}), "+/+/");
  EXPECT_EQ(CBase64::decode("+/+/"), (Bytes{0xFB, 0xFF, 0xBF}));
}

TEST(Base64Test, FiveHundredTwelveBytesGiveSixHundredEightyFourCharactersWithOneFill) {
  Bytes bytes(512);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<std::uint8_t>(i * 37 + 11);
  }
  const std::string text = CBase64::encode(bytes);
  ASSERT_EQ(text.size(), 684u);
  EXPECT_EQ(text.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"), 683u);
  EXPECT_EQ(text.back(), '=');
  EXPECT_EQ(CBase64::decode(text), bytes);
}

TEST(Base64Test, AgreesWithCoreutilsBase64) {
  for (const char* stem : {"random_510", "random_511", "random_512"}) {
    SCOPED_TRACE(stem);
    const Bytes bytes = bytesOf(readFixture(std::string(stem) + ".bin"));
    const std::string text = readFixture(std::string(stem) + ".b64");
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(text.size(), (bytes.size() + 2) / 3 * 4);
    EXPECT_EQ(CBase64::encode(bytes), text);
    EXPECT_EQ(CBase64::decode(text), bytes);
  }
}

TEST(Base64Test, EncodedLengthIsFourPerStartedGroupOfThree) {
  for (std::size_t n = 0; n <= 10; ++n) {
    const Bytes bytes(n, 0xA5);
    const std::string text = CBase64::encode(bytes);
    EXPECT_EQ(text.size(), (n + 2) / 3 * 4) << n;
    EXPECT_EQ(CBase64::decode(text), bytes) << n;
  }
}

TEST(Base64Test, DecodedLengthFollowsTheTrailingFillCount) {
  EXPECT_EQ(CBase64::decode("QQ=="), bytesOf("A"));
  EXPECT_EQ(CBase64::decode("QUI="), bytesOf("AB"));
  // At most three fill characters count, and the length never goes below zero.
  EXPECT_EQ(CBase64::decode("A==="), Bytes{});
  EXPECT_EQ(CBase64::decode("===="), Bytes{});
  EXPECT_EQ(CBase64::decode("QUJD===="), (Bytes{'A', 'B', 'C'}));
  // Only whole groups are decoded; the fill count still comes from the text's end.
  EXPECT_EQ(CBase64::decode("QUJDRA"), bytesOf("ABC"));
  EXPECT_EQ(CBase64::decode("QUJD="), bytesOf("AB"));
  EXPECT_EQ(CBase64::decode("="), Bytes{});
  EXPECT_EQ(CBase64::decode("QUJ"), Bytes{});
}

TEST(Base64Test, FillAndForeignCharactersDecodeAsZeroBits) {
  // A fill inside the text is not an end.
  EXPECT_EQ(CBase64::decode("QQ==QUJD"), (Bytes{'A', 0, 0, 'A', 'B', 'C'}));
  EXPECT_EQ(CBase64::decode("Q!A*"), CBase64::decode("QAAA"));
  EXPECT_EQ(CBase64::decode("-_.\n"), (Bytes{0, 0, 0}));
  EXPECT_EQ(CBase64::decode(std::string_view("\0\0\0\0", 4)), (Bytes{0, 0, 0}));
  EXPECT_EQ(CBase64::decode("\xFF\x80\xC3\xA9"), (Bytes{0, 0, 0}));
  EXPECT_EQ(CBase64::decode("/\xFF/\xFF"), (Bytes{0xFC, 0x0F, 0xC0}));
}

TEST(Base64Test, HostileTextsDecodeWithinTheirBuffers) {
  const std::string_view junk[] = {"=", "A", "/", "-", std::string_view("\0", 1), "\xFF", "\x80"};
  for (std::size_t length = 1; length <= 7; ++length) {
    for (std::string_view c : junk) {
      std::string text;
      for (std::size_t i = 0; i < length; ++i) {
        text += c;
      }
      EXPECT_EQ(decodeExact(text).size(), expectedDecodedSize(text)) << length;
    }
  }
  std::mt19937 random(7302);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<std::size_t> size(0, 13);
  for (int round = 0; round < 2000; ++round) {
    std::string text(size(random), '\0');
    for (char& c : text) {
      // Lean on '=' so that the fill count is exercised at every length.
      c = byte(random) < 64 ? '=' : static_cast<char>(byte(random));
    }
    const Bytes bytes = decodeExact(text);
    EXPECT_EQ(bytes.size(), expectedDecodedSize(text));
    EXPECT_LE(bytes.size(), text.size() / 4 * 3);
  }
}

}  // namespace
}  // namespace pelagon
