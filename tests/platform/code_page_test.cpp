#include <pelagon/platform/code_page.h>

#include <gtest/gtest.h>
#include <iconv.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <string_view>

namespace pelagon::test {
namespace {

using win::AnsiToUtf8;
using win::CP_UTF8;
using win::GetACP;
using win::SetACP;
using win::Utf8ToAnsi;

constexpr std::string_view kFffd = "\xEF\xBF\xBD";

// Runs a conversion on a heap block of exactly the input's size, so that AddressSanitizer
// sees any read past the input (a std::string may hold short texts inside itself).
template <typename Convert>
std::string onExactBlock(Convert convert, std::string_view input) {
  const auto block = std::make_unique<char[]>(input.size());
  std::copy(input.begin(), input.end(), block.get());
  return convert(std::string_view(block.get(), input.size()));
}

// Judged by glibc's decoder, not by the code under test.
bool isWellFormedUtf8(const std::string& text) {
  const iconv_t cd = iconv_open("UTF-32LE", "UTF-8");
  std::string in = text;
  std::string out(text.size() * 4 + 4, '\0');
  char* inPtr = in.data();
  char* outPtr = out.data();
  std::size_t inLeft = in.size(), outLeft = out.size();
  const bool ok = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1);
  iconv_close(cd);
  return ok && inLeft == 0;
}

class CodePageTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(SetACP(CP_UTF8)); }
  void TearDown() override { SetACP(CP_UTF8); }
};

TEST_F(CodePageTest, Utf8PassesWellFormedTextThrough) {
  for (std::string_view text : {"", "plain ASCII", "Grüße, café", "日本語 ｱｲｳ", "5 € 😀"}) {
    EXPECT_EQ(AnsiToUtf8(text), text);
    EXPECT_EQ(Utf8ToAnsi(text), text);
  }
}

// True when text is `unit` one or more times over.
bool isRepeatOf(std::string_view text, std::string_view unit) {
  if (text.empty()) return false;
  for (; text.starts_with(unit); text.remove_prefix(unit.size())) {
  }
  return text.empty();
}

// A malformed piece, inside the text or at its end, becomes replacement characters and
// takes nothing around it along.
TEST_F(CodePageTest, Utf8ReplacesMalformedSequences) {
  const std::string_view malformed[] = {"\x80",    "\xFF", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                                        "\xE6\x97"};
  for (std::string_view bad : malformed) {
    for (std::string_view after : {"b", ""}) {
      const std::string input = std::string("a").append(bad).append(after);
      const std::string label = ::testing::PrintToString(input);
      const std::string wide = AnsiToUtf8(input);
      const std::string narrow = Utf8ToAnsi(input);
      ASSERT_TRUE(wide.starts_with('a') && wide.ends_with(after)) << label;
      ASSERT_TRUE(narrow.starts_with('a') && narrow.ends_with(after)) << label;
      EXPECT_TRUE(isRepeatOf(std::string_view(wide).substr(1, wide.size() - 1 - after.size()), kFffd))
          << label;
      EXPECT_TRUE(isRepeatOf(std::string_view(narrow).substr(1, narrow.size() - 1 - after.size()), "?"))
          << label;
    }
  }
}

TEST_F(CodePageTest, RandomBytesStayInsideTheInput) {
  std::mt19937 random(20240611);
  for (std::uint32_t page : {CP_UTF8, 1252u, 932u}) {
    ASSERT_TRUE(SetACP(page));
    for (int round = 0; round < 300; ++round) {
      std::string bytes(random() % 24, '\0');
      for (char& c : bytes)
        c = static_cast<char>(random() % 3 == 0 ? random() % 0x80 : 0x80 + random() % 0x80);
      const std::string wide = onExactBlock(AnsiToUtf8, bytes);
      const std::string narrow = onExactBlock(Utf8ToAnsi, bytes);
      EXPECT_TRUE(isWellFormedUtf8(wide)) << page << ' ' << ::testing::PrintToString(bytes);
      EXPECT_LE(narrow.size(), bytes.size()) << page << ' ' << ::testing::PrintToString(bytes);
      if (page == 1252) {
        // Everything but the five bytes 1252 leaves undefined comes back as it was.
        std::string expected = bytes;
        for (char& c : expected) {
          if (std::string_view("\x81\x8D\x8F\x90\x9D").find(c) != std::string_view::npos) c = '?';
        }
        EXPECT_EQ(Utf8ToAnsi(wide), expected);
      }
    }
  }
}

TEST_F(CodePageTest, WesternEuropean1252) {
  ASSERT_TRUE(SetACP(1252));
  EXPECT_EQ(GetACP(), 1252u);
  EXPECT_EQ(AnsiToUtf8("caf\xE9 \x80"
                       "5"),
            "café €5");
  EXPECT_EQ(Utf8ToAnsi("café €5"),
            "caf\xE9 \x80"
            "5");
  EXPECT_EQ(Utf8ToAnsi("x日本y"), "x??y");
  EXPECT_EQ(Utf8ToAnsi("😀"), "?");
  EXPECT_EQ(AnsiToUtf8("a\x81z"), "a\uFFFDz");
}

TEST_F(CodePageTest, Japanese932) {
  ASSERT_TRUE(SetACP(932));
  const std::string japanese = "日本語のテキスト、ｱｲｳ ～ OK";
  const std::string ansi = Utf8ToAnsi(japanese);
  EXPECT_EQ(ansi.substr(0, 4), "\x93\xFA\x96\x7B");
  EXPECT_EQ(ansi.find('?'), std::string::npos);
  EXPECT_EQ(AnsiToUtf8(ansi), japanese);
  EXPECT_EQ(Utf8ToAnsi("é€"), "??");
  EXPECT_EQ(AnsiToUtf8("ab\x93"), "ab\uFFFD");
}

TEST_F(CodePageTest, UnknownCodePageChangesNothing) {
  ASSERT_TRUE(SetACP(1252));
  EXPECT_FALSE(SetACP(12345));
  EXPECT_FALSE(SetACP(0));
  // An EBCDIC page would break the pass-through of ASCII text.
  EXPECT_FALSE(SetACP(500));
  EXPECT_EQ(GetACP(), 1252u);
  EXPECT_EQ(AnsiToUtf8("\x80"), "€");
}

// Reports the code page a fresh process starts with; run only as the child of the test below.
TEST(CodePageStartup, ChildReportsTheCodePageInForce) {
  const char* expected = std::getenv("PELAGON_EXPECT_ACP");
  if (expected == nullptr) GTEST_SKIP() << "runs as a child process only";
  EXPECT_EQ(GetACP(), std::strtoul(expected, nullptr, 10));
}

TEST(CodePageStartup, EnvironmentChoosesTheCodePageAtFirstUse) {
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  const std::pair<const char*, const char*> cases[] = {
      {nullptr, "65001"}, {"1252", "1252"}, {"932", "932"}, {"12345", "65001"}, {"cp1252", "65001"}};
  for (const auto& [variable, expected] : cases) {
    std::string command = "env -u PELAGON_ACP -u GTEST_SHARD_INDEX -u GTEST_TOTAL_SHARDS ";
    if (variable != nullptr) command += std::string("PELAGON_ACP=") + variable + " ";
    command += std::string("PELAGON_EXPECT_ACP=") + expected + " '" + self +
               "' --gtest_filter=CodePageStartup.ChildReportsTheCodePageInForce 2>&1";
    FILE* child = ::popen(command.c_str(), "r");
    ASSERT_NE(child, nullptr);
    std::string output;
    char chunk[512];
    while (std::size_t n = std::fread(chunk, 1, sizeof chunk, child)) output.append(chunk, n);
    const int status = ::pclose(child);
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
  }
}

}  // namespace
}  // namespace pelagon::test
