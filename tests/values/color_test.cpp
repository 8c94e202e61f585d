#include <pelagon/values/color.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace pelagon {
namespace {

// Sets the channels of a colour in index order.
void setChannels(AbstractColor& color, const std::vector<float>& values) {
  for (std::size_t i = 0; i < values.size(); ++i) {
    color.setChannel(static_cast<std::int32_t>(i), values[i]);
  }
}

std::vector<float> channelsOf(const AbstractColor& color) {
  std::vector<float> values;
  const ColorSpaceInfo* space = findColorSpace(color.colorSpace());
  for (std::int32_t i = 0; i < space->channelCount(); ++i) values.push_back(color.getChannel(i));
  return values;
}

std::string printed(const AbstractColor& color) {
  std::ostringstream out;
  color.print(out);
  return out.str();
}

// Records the buffer's whole content at every flush of the stream.
class FlushRecorder : public std::stringbuf {
public:
  std::vector<std::string> flushes;

protected:
  int sync() override {
    flushes.push_back(str());
    return std::stringbuf::sync();
  }
};

LabColor sampleLab() {
  LabColor lab;
  setChannels(lab, {94.962f, -0.106f, -3.109f});
  return lab;
}

TEST(ColorSpaceTable, DescribesTheFourClassesOfPart72) {
  ASSERT_EQ(kColorSpaces.size(), 4u);
  struct Expected {
    std::int32_t code;
    const char* name;
    const char* element;
    const char* header;
    ChannelType type;
    std::vector<std::string_view> channels;
    std::vector<std::string_view> labels;
  };
  const std::vector<Expected> expected = {
      {0, "RGB", "RGBColor", "RGB", ChannelType::Byte, {"R", "G", "B"}, {"R", "G", "B"}},
      {2, "CMYK", "CMYKColor", "CMYK", ChannelType::Byte, {"C", "M", "Y", "K"}, {"C", "M", "Y", "K"}},
      {4,
       "CMYKOG",
       "CMYKOGColor",
       "CMYKOrGr",
       ChannelType::Byte,
       {"C", "M", "Y", "K", "O", "G"},
       {"C", "M", "Y", "K", "Or", "Gr"}},
      {5, "Lab", "LabColor", "Lab", ChannelType::Float, {"L", "a", "b"}, {"L", "a", "b"}},
  };
  for (const Expected& want : expected) {
    SCOPED_TRACE(want.name);
    const ColorSpaceInfo* space = findColorSpace(want.code);
    ASSERT_NE(space, nullptr);
    EXPECT_EQ(space->name, want.name);
    EXPECT_EQ(space->typedElementName, want.element);
    EXPECT_EQ(space->printHeader, want.header);
    EXPECT_EQ(space->channelType, want.type);
    EXPECT_EQ(std::vector<std::string_view>(space->channelElements.begin(), space->channelElements.end()),
              want.channels);
    EXPECT_EQ(std::vector<std::string_view>(space->printLabels.begin(), space->printLabels.end()),
              want.labels);
    EXPECT_EQ(space->channelCount(), static_cast<std::int32_t>(want.channels.size()));
  }
  for (std::int32_t code : {-1, 1, 3, 6}) EXPECT_EQ(findColorSpace(code), nullptr) << code;
}

TEST(ColorSpaceTable, CreatesANewZeroColourOfEachClass) {
  for (const ColorSpaceInfo& space : kColorSpaces) {
    SCOPED_TRACE(space.name);
    std::unique_ptr<AbstractColor> color = space.create();
    ASSERT_NE(color, nullptr);
    EXPECT_EQ(color->colorSpace(), space.code);
    EXPECT_EQ(color->name(), space.name);
    const auto count = static_cast<std::size_t>(space.channelCount());
    EXPECT_EQ(channelsOf(*color), std::vector<float>(count, 0.0f));
  }
}

TEST(ColorChannels, BadIndexRaisesInvalidIndexWithTheExactMessage) {
  CMYKColor cmyk;
  try {
    cmyk.getChannel(4);
    FAIL() << "no exception";
  } catch (const InvalidIndexException& e) {
    EXPECT_STREQ(e.what(), "Invalid index 4 on CMYK");
    EXPECT_EQ(e.colorName(), "CMYK");
    EXPECT_EQ(e.index(), 4);
  }
  try {
    cmyk.getChannel(-1);
    FAIL() << "no exception";
  } catch (const std::exception& e) {  // caught as the standard exception it derives from
    EXPECT_STREQ(e.what(), "Invalid index -1 on CMYK");
  }
  EXPECT_THROW(cmyk.setChannel(std::numeric_limits<std::int32_t>::min(), 1.0f), InvalidIndexException);
}

TEST(ColorChannels, BadIndexOnEveryClassLeavesTheColourUnchanged) {
  for (const ColorSpaceInfo& space : kColorSpaces) {
    SCOPED_TRACE(space.name);
    std::unique_ptr<AbstractColor> color = space.create();
    std::vector<float> values;
    for (std::int32_t i = 0; i < space.channelCount(); ++i) {
      values.push_back(10.0f + static_cast<float>(i));
    }
    setChannels(*color, values);
    for (std::int32_t bad : {space.channelCount(), -1}) {
      const std::string message = "Invalid index " + std::to_string(bad) + " on " + std::string(space.name);
      try {
        color->setChannel(bad, 99.0f);
        ADD_FAILURE() << "no exception for set " << bad;
      } catch (const InvalidIndexException& e) {
        EXPECT_EQ(e.what(), message);
      }
      EXPECT_THROW(color->getChannel(bad), InvalidIndexException);
    }
    EXPECT_EQ(channelsOf(*color), values);
  }
}

TEST(ColorChannels, ByteChannelTruncatesTowardZeroAndKeepsTheLowEightBits) {
  struct Case {
    float value;
    float stored;
  };
  const Case cases[] = {
      {0.0f, 0.0f},    {255.0f, 255.0f},  {300.0f, 44.0f},         {12.99f, 12.0f}, {256.0f, 0.0f},
      {-1.0f, 255.0f}, {255.9f, 255.0f},  {-0.9f, 0.0f},           {-255.5f, 1.0f}, {511.0f, 255.0f},
      {-256.0f, 0.0f}, {65836.7f, 44.0f}, {2147483520.0f, 128.0f},  // 2^31 - 128: the largest float below the
                                                                    // 32-bit limit
  };
  for (const Case& c : cases) {
    RGBColor rgb;
    rgb.setChannel(0, c.value);
    EXPECT_EQ(rgb.getChannel(0), c.stored) << "value " << c.value;
  }
}

// A plain float-to-int conversion of these is undefined behaviour; the mend gives each a
// defined byte: NaN stores 0, the rest truncate in 64 bits after clamping to its range.
TEST(ColorChannels, ByteChannelGivesDefinedBytesForNanInfinityAndHugeValues) {
  constexpr float inf = std::numeric_limits<float>::infinity();
  constexpr float nan = std::numeric_limits<float>::quiet_NaN();
  constexpr float fmax = std::numeric_limits<float>::max();
  struct Case {
    float value;
    float stored;
  };
  const Case cases[] = {
      {nan, 0.0f},
      {-nan, 0.0f},
      {inf, 255.0f},  // clamped to INT64_MAX, low byte 0xFF
      {-inf, 0.0f},   // clamped to INT64_MIN, low byte 0x00
      {fmax, 255.0f},
      {-fmax, 0.0f},
      {0x1p63f, 255.0f},       // 2^63 is just beyond INT64_MAX
      {-0x1p63f, 0.0f},        // -2^63 is INT64_MIN itself
      {3.0e9f, 0.0f},          // beyond 32 bits, inside 64: 3000000000 = 0xB2D05E00
      {-2147483904.0f, 0.0f},  // -(2^31 + 256)
      {1.0e10f, 0.0f},
  };
  for (const Case& c : cases) {
    CMYKOGColor color;
    setChannels(color, {1, 2, 3, 4, 5, 6});
    color.setChannel(5, c.value);
    EXPECT_EQ(channelsOf(color), (std::vector<float>{1, 2, 3, 4, 5, c.stored})) << "value " << c.value;
  }
}

TEST(ColorChannels, LabChannelStoresAnyFloatUnchanged) {
  LabColor lab;
  setChannels(lab, {-1.0e30f, std::numeric_limits<float>::infinity(), 94.962f});
  EXPECT_EQ(lab.getChannel(0), -1.0e30f);
  EXPECT_EQ(lab.getChannel(1), std::numeric_limits<float>::infinity());
  EXPECT_EQ(lab.getChannel(2), 94.962f);
  lab.setChannel(1, std::numeric_limits<float>::quiet_NaN());
  EXPECT_TRUE(std::isnan(lab.getChannel(1)));
}

TEST(ColorAssign, AcrossClassesRaisesWithReceiverNameFirstAndLeavesReceiverUnchanged) {
  CMYKColor cmyk;
  setChannels(cmyk, {10, 0, 255, 3});
  RGBColor rgb;
  setChannels(rgb, {1, 2, 3});
  try {
    cmyk.assign(rgb);
    FAIL() << "no exception";
  } catch (const ColorSpaceNotMatchException& e) {
    EXPECT_STREQ(e.what(), "Type not match CMYK and RGB");
    EXPECT_EQ(e.receiverName(), "CMYK");
    EXPECT_EQ(e.sourceName(), "RGB");
  }
  EXPECT_EQ(channelsOf(cmyk), (std::vector<float>{10, 0, 255, 3}));

  // Every pair of different classes, including a CMYKOG receiver offered a CMYK source of
  // the same leading channels.
  for (const ColorSpaceInfo& receiverSpace : kColorSpaces) {
    for (const ColorSpaceInfo& sourceSpace : kColorSpaces) {
      if (receiverSpace.code == sourceSpace.code) continue;
      std::unique_ptr<AbstractColor> receiver = receiverSpace.create();
      receiver->setChannel(0, 7.0f);
      const std::vector<float> before = channelsOf(*receiver);
      std::unique_ptr<AbstractColor> source = sourceSpace.create();
      source->setChannel(0, 200.0f);
      try {
        receiver->assign(*source);
        ADD_FAILURE() << receiverSpace.name << " took " << sourceSpace.name;
      } catch (const std::exception& e) {
        EXPECT_EQ(e.what(), "Type not match " + std::string(receiverSpace.name) + " and " +
                                std::string(sourceSpace.name));
      }
      EXPECT_EQ(channelsOf(*receiver), before);
    }
  }
}

TEST(ColorAssign, SameClassCopiesEveryChannelAndReturnsTheReceiver) {
  CMYKOGColor source;
  setChannels(source, {1, 2, 3, 4, 5, 6});
  CMYKOGColor receiver;
  setChannels(receiver, {9, 9, 9, 9, 9, 9});
  const AbstractColor& base = source;
  AbstractColor& result = receiver.assign(base);
  EXPECT_EQ(&result, &receiver);
  EXPECT_EQ(channelsOf(receiver), (std::vector<float>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(channelsOf(source), (std::vector<float>{1, 2, 3, 4, 5, 6}));

  LabColor lab;
  lab.assign(sampleLab());
  EXPECT_EQ(lab, sampleLab());
  lab.assign(lab);
  EXPECT_EQ(lab, sampleLab());
}

TEST(ColorClone, GivesAnEqualSeparateColourOfTheSameClass) {
  const LabColor lab = sampleLab();
  std::unique_ptr<AbstractColor> copy = lab.clone();
  const auto* labCopy = dynamic_cast<const LabColor*>(copy.get());
  ASSERT_NE(labCopy, nullptr);
  EXPECT_NE(labCopy, &lab);
  EXPECT_EQ(*labCopy, lab);
  copy->setChannel(0, 50.0f);
  EXPECT_EQ(lab, sampleLab());
  EXPECT_EQ(copy->getChannel(0), 50.0f);

  for (const ColorSpaceInfo& space : kColorSpaces) {
    SCOPED_TRACE(space.name);
    std::unique_ptr<AbstractColor> original = space.create();
    for (std::int32_t i = 0; i < space.channelCount(); ++i) {
      original->setChannel(i, 100.0f + static_cast<float>(i));
    }
    std::unique_ptr<AbstractColor> clone = original->clone();
    EXPECT_EQ(clone->colorSpace(), space.code);
    EXPECT_EQ(channelsOf(*clone), channelsOf(*original));
    clone->setChannel(space.channelCount() - 1, 1.0f);
    EXPECT_EQ(original->getChannel(space.channelCount() - 1),
              100.0f + static_cast<float>(space.channelCount() - 1));
  }
}

TEST(ColorPrint, ByteClassesWriteOneLinePerChannelFlushingEachLine) {
  CMYKColor cmyk;
  setChannels(cmyk, {10, 0, 255, 3});
  FlushRecorder buffer;
  std::ostream out(&buffer);
  cmyk.print(out);
  EXPECT_EQ(buffer.str(), "CMYK\nC:10\nM:0\nY:255\nK:3\n");
  EXPECT_EQ(buffer.flushes,
            (std::vector<std::string>{"CMYK\n", "CMYK\nC:10\n", "CMYK\nC:10\nM:0\n",
                                      "CMYK\nC:10\nM:0\nY:255\n", "CMYK\nC:10\nM:0\nY:255\nK:3\n"}));

  RGBColor rgb;
  setChannels(rgb, {300, 12.99f, -1});
  EXPECT_EQ(printed(rgb), "RGB\nR:44\nG:12\nB:255\n");

  CMYKOGColor cmykog;
  setChannels(cmykog, {1, 2, 3, 4, 5, 6});
  EXPECT_EQ(printed(cmykog), "CMYKOrGr\nC:1\nM:2\nY:3\nK:4\nOr:5\nGr:6\n");
}

TEST(ColorPrint, LabWritesTwoDecimalsAndLeavesTheStreamFixedPrecisionTwo) {
  FlushRecorder buffer;
  std::ostream out(&buffer);
  // A caller's state that would change every value if print kept it.
  out.flags(std::ios_base::scientific | std::ios_base::showpos | std::ios_base::uppercase |
            std::ios_base::hex | std::ios_base::showpoint);
  out.precision(7);
  sampleLab().print(out);
  EXPECT_EQ(buffer.str(), "Lab\nL:94.96\na:-0.11\nb:-3.11\n");
  EXPECT_EQ(buffer.flushes.size(), 4u);
  EXPECT_EQ(buffer.flushes.back(), buffer.str());
  EXPECT_EQ(out.flags(), std::ios_base::fixed);
  EXPECT_EQ(out.precision(), 2);
  EXPECT_EQ(out.width(), 0);

  // A pending field width is cleared before the values and stays 0.
  std::ostringstream wide;
  wide.width(12);
  LabColor zero;
  zero.print(wide);
  EXPECT_TRUE(wide.str().ends_with("\nL:0.00\na:0.00\nb:0.00\n")) << wide.str();
  EXPECT_EQ(wide.width(), 0);
  EXPECT_EQ(wide.flags(), std::ios_base::fixed);
}

TEST(ColorExceptions, CopiesKeepTheirMessage) {
  std::exception_ptr saved;
  try {
    RGBColor rgb;
    rgb.setChannel(3, 0.0f);
  } catch (...) {
    saved = std::current_exception();
  }
  std::unique_ptr<InvalidIndexException> copy;
  try {
    std::rethrow_exception(saved);
  } catch (const InvalidIndexException& e) {
    copy = std::make_unique<InvalidIndexException>(e);
  }
  saved = nullptr;
  EXPECT_STREQ(copy->what(), "Invalid index 3 on RGB");

  const ColorSpaceNotMatchException mismatch = [] {
    ColorSpaceNotMatchException original("Lab", "CMYKOG");
    return ColorSpaceNotMatchException(original);
  }();
  EXPECT_STREQ(mismatch.what(), "Type not match Lab and CMYKOG");
}

}  // namespace
}  // namespace pelagon
