#include <pelagon/app/resource_extraction.h>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <pelagon/platform/debug_output.h>
#include <pelagon/platform/files.h>
#include <pelagon/platform/linux/files_testing.h>
#include <pelagon/platform/linux/program_resources.h>
#include "../support/test_support.h"

namespace pelagon::test {
namespace {

const unsigned char kBlock[] = {'B', 'M', 0, 1, 2, 3, 0xFF};
const win::BinaryResource kResources[] = {
    {win::RT_BIN, 7, kBlock, sizeof kBlock},
    {win::RT_BIN, 8, nullptr, 0},
    {win::RT_HTML, 7, kBlock, 3},
};

// The counters are process-wide and never reset, so each test reads the numbers it is given.
int numberOf(const std::string& line) { return std::stoi(line.substr(1, line.find(']') - 1)); }

class ResourceExtractionTest : public ::testing::Test {
protected:
  void SetUp() override {
    win::SetProgramResources(kResources);
    win::SetDebugOutputToBuffer();
  }
  void TearDown() override {
    win::testing::FailLoadResource(false);
    win::testing::LimitWrittenBytes(std::nullopt);
    win::SetDebugOutputToDefault();
    win::SetProgramResources({});
  }

  TempDir dir_;
};

TEST_F(ResourceExtractionTest, WritesTheBlockByteForByteAndLogsOneLine) {
  const std::string path = dir_.file("a.bmp");
  writeFile(path, "older and longer content");
  ASSERT_TRUE(ExtractResourceToFile(path, 7));
  EXPECT_EQ(readFile(path), std::string(reinterpret_cast<const char*>(kBlock), sizeof kBlock));
  const std::string line = win::TakeDebugOutput();
  const int n = numberOf(line);
  char expected[512];
  std::snprintf(expected, sizeof expected, "[%02d] %s ( 7 Bytes ) successfly updated!\r\n", n, path.c_str());
  EXPECT_EQ(line, expected);

  // Every call uses up one number, success or not.
  EXPECT_FALSE(ExtractResourceToFile(dir_.file("missing.bin"), 999));
  EXPECT_EQ(numberOf(win::TakeDebugOutput()), n + 1);
}

TEST_F(ResourceExtractionTest, EachFailureHasItsOwnLineAndLeavesNoFile) {
  const auto failure = [&](const std::string& path, unsigned id) {
    EXPECT_FALSE(ExtractResourceToFile(path, id));
    std::string line = win::TakeDebugOutput();
    return line.substr(line.find(']') + 2);
  };
  const std::string path = dir_.file("x.bin");
  EXPECT_EQ(failure(path, 999), path + " error: resource not found.\r\n");
  EXPECT_EQ(failure(path, 8), path + " error: resource size is zero.\r\n");
  win::testing::FailLoadResource(true);
  EXPECT_EQ(failure(path, 7), path + " error: resource data cannot loaded.\r\n");
  win::testing::FailLoadResource(false);
  EXPECT_FALSE(std::filesystem::exists(path));

  const std::string inMissingFolder = dir_.file("nowhere/x.bin");
  EXPECT_EQ(failure(inMissingFolder, 7), inMissingFolder + " error: file cannot opened.\r\n");

  // A read-only file keeps its old content.
  const std::string readOnly = dir_.file("ro.bin");
  writeFile(readOnly, "old");
  ::chmod(readOnly.c_str(), 0444);
  EXPECT_EQ(failure(readOnly, 7), readOnly + " error: file cannot opened.\r\n");
  EXPECT_EQ(readFile(readOnly), "old");

  // A disk that fills up part way: the half-written file is deleted.
  win::testing::LimitWrittenBytes(3);
  EXPECT_EQ(failure(path, 7), "error: " + path + " file io failed.\r\n");
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(ResourceExtractionTest, TheHtmlTwinReadsType23AndCountsOnItsOwn) {
  const std::string path = dir_.file("page.htm");
  ASSERT_TRUE(ExtractHtmlResourceToFile(path, 7));
  EXPECT_EQ(readFile(path), "BM" + std::string(1, '\0'));
  const int html = numberOf(win::TakeDebugOutput());
  ASSERT_TRUE(ExtractResourceToFile(path, 7));
  const int bin = numberOf(win::TakeDebugOutput());
  ASSERT_TRUE(ExtractHtmlResourceToFile(path, 7));
  EXPECT_EQ(numberOf(win::TakeDebugOutput()), html + 1) << "the BIN call in between takes no HTML number";
  EXPECT_FALSE(ExtractHtmlResourceToFile(path, 8)) << "type 23 has no block 8";
  (void)bin;
}

TEST_F(ResourceExtractionTest, NumbersPastNinetyNineKeepAllTheirDigits) {
  std::string last;
  for (int i = 0; i < 120; ++i) {
    ExtractResourceToFile(dir_.file("n.bin"), 999);
    last = win::TakeDebugOutput();
  }
  EXPECT_GE(numberOf(last), 120);
  EXPECT_EQ(last.find("] "), std::to_string(numberOf(last)).size() + 1);
}

}  // namespace
}  // namespace pelagon::test
