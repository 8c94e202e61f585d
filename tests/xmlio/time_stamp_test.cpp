#include <pelagon/xmlio/time_stamp.h>

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>
#include <utility>

#include <pelagon/platform/com.h>
#include "../support/test_support.h"
#include <pelagon/xmlio/dom_creator.h>
#include <pelagon/xmlio/number_text.h>

namespace pelagon::test {
namespace {

class TimeStampTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(com_.Ok());
    ASSERT_TRUE(EnsureMsxmlAvailable());
  }
  void TearDown() override { dropComInitialisations(); }

  xml::DocumentPtr parse(std::string_view text) {
    xml::DocumentPtr document = xml::Document::Create();
    EXPECT_TRUE(document->loadFromMemory(text).ok);
    return document;
  }

  win::ComScope com_;
  TempDir dir_;
};

TEST_F(TimeStampTest, FileRoundTripIsExact) {
  const TimeStampValue written{2018, 12, 31, 23, 59, 58, 999};
  ASSERT_TRUE(WriteTimeStampFile(dir_.file("ts.xml"), written));
  EXPECT_EQ(readFile(dir_.file("ts.xml")),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<TimeStamp><year>2018</year><month>12</month>"
            "<day>31</day><hour>23</hour><minute>59</minute><second>58</second><ms>999</ms></TimeStamp>");
  TimeStampValue read;
  ASSERT_TRUE(ReadTimeStampFile(dir_.file("ts.xml"), &read));
  EXPECT_EQ(read, written);
  EXPECT_FALSE(ReadTimeStampFile(dir_.file("ts.xml"), nullptr));
}

TEST_F(TimeStampTest, ChildrenAreTakenByPositionWithAtoiRulesAndWrapToTheirWidth) {
  xml::DocumentPtr document = parse(
      "<Media><TimeStamp>\n  <y> 2015</y><mo>300</mo><d>30abc</d><h>x</h><mi>-1</mi><s></s><ms>70000</ms>"
      "<extra>9</extra></TimeStamp></Media>");
  TimeStampValue value;
  ReadTimeStampDocument(document, value);
  EXPECT_EQ(value, (TimeStampValue{2015, 44, 30, 0, 255, 0, 4464}));

  // Beyond the 32-bit range a text clamps before it wraps, instead of being undefined.
  document = parse("<TimeStamp><a>99999999999999</a><b>-99999999999999</b><c/><d/><e/><f/><g/></TimeStamp>");
  ReadTimeStampElement(document->documentElement(), value);
  EXPECT_EQ(value.year, 0xFFFF);
  EXPECT_EQ(value.month, 0);
}

TEST_F(TimeStampTest, FailuresAreReportedAsTheirCodes) {
  const auto codeOf = [](auto&& action) -> long long {
    try {
      action();
    } catch (int code) {
      return code;
    } catch (const win::_com_error& error) {
      return error.Error();
    }
    return 0;
  };
  TimeStampValue value;
  xml::DocumentPtr six = parse("<TimeStamp><a>1</a><a>2</a><a>3</a><a>4</a><a>5</a><a>6</a></TimeStamp>");
  EXPECT_EQ(codeOf([&] { ReadTimeStampElement(six->documentElement(), value); }), win::E_POINTER);
  EXPECT_EQ(codeOf([&] { ReadTimeStampDocument(six, value); }), 3);
  EXPECT_EQ(codeOf([&] { ReadTimeStampDocument(parse("<Other/>"), value); }), 2);
  EXPECT_EQ(codeOf([&] { ReadTimeStampDocument(nullptr, value); }), win::E_POINTER);
  // A missing file: the frame's load fails quietly, the reader then meets no document.
  EXPECT_EQ(codeOf([&] { ReadTimeStampFile(dir_.file("missing.xml"), &value); }), win::E_POINTER);
  EXPECT_FALSE(WriteTimeStampFile(dir_.file("missing/ts.xml"), value));
}

TEST(NumberText, ReadsLikeAtoiAndClampsToThirtyTwoBits) {
  EXPECT_EQ(parseCInt("170.000"), 170);
  EXPECT_EQ(parseCInt("  -1"), -1);
  EXPECT_EQ(parseCInt("\t\n+42x"), 42);
  EXPECT_EQ(parseCInt(""), 0);
  EXPECT_EQ(parseCInt("abc"), 0);
  EXPECT_EQ(parseCInt("- 5"), 0);
  EXPECT_EQ(parseCInt("2147483647"), 2147483647);
  EXPECT_EQ(parseCInt("-2147483648"), -2147483647 - 1);
  EXPECT_EQ(parseCInt("2147483648"), 2147483647);
  EXPECT_EQ(parseCInt("-2147483649"), -2147483647 - 1);
  EXPECT_EQ(parseCInt(std::string(500, '9')), 2147483647);
}

TEST(NumberText, ReadsRealsToTheCorrectlyRoundedDouble) {
  // Compared bit for bit, so that the sign of a zero counts.
  const std::pair<std::string, double> cases[] = {
      {"-0.000", -0.0},
      {" \t+0.013xyz", 0.013},  // 13 * 0.001 is one bit off
      {"1.", 1.0},
      {"1.e3", 1000.0},
      {"12E2", 1200.0},
      {"900719925474099.7", 900719925474099.7},          // past 2^53 as an integer
      {"18446744073709551617", 18446744073709551617.0},  // past 64 bits as an integer
      {"0.00000000000000000000001", 1e-23},              // 10^23 is not exact as a double
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(std::bit_cast<std::uint64_t>(parseCReal(text)), std::bit_cast<std::uint64_t>(expected)) << text;
  }
}

}  // namespace
}  // namespace pelagon::test
