#include <pelagon/values/color_xml.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <pelagon/platform/com.h>
#include <pelagon/platform/hresult.h>
#include "../support/record_fixture.h"
#include <pelagon/xmlio/dom_creator.h>

namespace pelagon::test {
namespace {

void setChannels(AbstractColor& color, const std::vector<float>& values) {
  for (std::size_t i = 0; i < values.size(); ++i) color.setChannel(static_cast<std::int32_t>(i), values[i]);
}

template <class Color>
Color colorWith(const std::vector<float>& values) {
  Color color;
  setChannels(color, values);
  return color;
}

// A colour whose colour-space code belongs to no class.
class NoClassColor final : public AbstractColor {
public:
  explicit NoClassColor(std::int32_t code) : code_(code) {}
  std::int32_t colorSpace() const noexcept override { return code_; }
  std::string name() const override { return "None"; }
  float getChannel(std::int32_t) const override { return 7.0f; }
  void setChannel(std::int32_t, float) override {}
  AbstractColor& assign(const AbstractColor&) override { return *this; }
  std::unique_ptr<AbstractColor> clone() const override { return std::make_unique<NoClassColor>(code_); }
  void print(std::ostream&) const override {}

private:
  std::int32_t code_;
};

class ColorXmlTest : public RecordFixture {
protected:
  // The saved text of a document holding only the written element.
  template <class Write>
  static std::string saved(Write write) {
    xml::DocumentPtr document = xml::Document::Create();
    write(document->node());
    return document->saveToString();
  }

  static std::string savedTyped(const AbstractColor& color) {
    return saved([&](xml::Node parent) { return appendTypedColor(parent, color); });
  }
};

TEST_F(ColorXmlTest, ByteChannelsAreWrittenAsIntegersInChannelOrder) {
  EXPECT_EQ(savedTyped(colorWith<CMYKColor>({255, 0, 10.9f, 3})),
            "<CMYKColor><C VALUE=\"255\"/><M VALUE=\"0\"/><Y VALUE=\"10\"/><K VALUE=\"3\"/></CMYKColor>");
  EXPECT_EQ(savedTyped(colorWith<CMYKOGColor>({1, 2, 3, 4, 5, 6})),
            "<CMYKOGColor><C VALUE=\"1\"/><M VALUE=\"2\"/><Y VALUE=\"3\"/><K VALUE=\"4\"/><O VALUE=\"5\"/>"
            "<G VALUE=\"6\"/></CMYKOGColor>");

  // The content writer names the element as its record asks, the channels by the class.
  const RGBColor rgb = colorWith<RGBColor>({9, 8, 7});
  EXPECT_EQ(saved([&](xml::Node parent) { return appendColorContent(parent, "Custom", rgb); }),
            "<Custom><R VALUE=\"9\"/><G VALUE=\"8\"/><B VALUE=\"7\"/></Custom>");
}

TEST_F(ColorXmlTest, LabIsWrittenWithTwoDecimalsAndReadOnlyByItsClassReader) {
  const LabColor lab = colorWith<LabColor>({94.962f, -0.106f, -3.109f});
  const std::string text = savedTyped(lab);
  EXPECT_EQ(text, "<LabColor><L VALUE=\"94.96\"/><a VALUE=\"-0.11\"/><b VALUE=\"-3.11\"/></LabColor>");

  const xml::Node element = parse(text);
  EXPECT_EQ(readTypedColor(element), nullptr);
  EXPECT_EQ(*readLabColor(element), colorWith<LabColor>({94.96f, -0.11f, -3.11f}));
}

TEST_F(ColorXmlTest, EveryClassRoundTrips) {
  const RGBColor rgb = colorWith<RGBColor>({0, 128, 255});
  const CMYKColor cmyk = colorWith<CMYKColor>({255, 1, 127, 64});
  const CMYKOGColor cmykog = colorWith<CMYKOGColor>({10, 20, 30, 40, 50, 60});
  const LabColor lab = colorWith<LabColor>({50.25f, -128.5f, 100.0f});

  EXPECT_EQ(*readRGBColor(parse(savedTyped(rgb))), rgb);
  EXPECT_EQ(*readCMYKColor(parse(savedTyped(cmyk))), cmyk);
  EXPECT_EQ(*readCMYKOGColor(parse(savedTyped(cmykog))), cmykog);
  EXPECT_EQ(*readLabColor(parse(savedTyped(lab))), lab);

  const std::unique_ptr<AbstractColor> typedRgb = readTypedColor(parse(savedTyped(rgb)));
  const std::unique_ptr<AbstractColor> typedCmyk = readTypedColor(parse(savedTyped(cmyk)));
  const std::unique_ptr<AbstractColor> typedCmykog = readTypedColor(parse(savedTyped(cmykog)));
  // A reference cast of another class throws, which fails the test.
  EXPECT_EQ(dynamic_cast<RGBColor&>(*typedRgb), rgb);
  EXPECT_EQ(dynamic_cast<CMYKColor&>(*typedCmyk), cmyk);
  EXPECT_EQ(dynamic_cast<CMYKOGColor&>(*typedCmykog), cmykog);
}

TEST_F(ColorXmlTest, ReadersMatchChannelsByExactNameInAnyOrder) {
  // Unknown, wrongly cased and non-element children are skipped, a later duplicate wins, a
  // missing channel stays 0, and VALUE follows the atoi rules (wrapping to a byte).
  const xml::Node cmyk = parse(
      "<CMYKColor><K VALUE=\"4\"/><!--C--><?C 9?><X VALUE=\"99\"/><c VALUE=\"98\"/><Other/>"
      "<C VALUE=\" 12abc\"/>text<C VALUE=\"300\"/><M VALUE=\"170.9\"/></CMYKColor>");
  EXPECT_EQ(*readCMYKColor(cmyk), colorWith<CMYKColor>({44, 170, 0, 4}));

  // A reader takes the channels of its own class whatever the element is called.
  EXPECT_EQ(*readRGBColor(cmyk), colorWith<RGBColor>({0, 0, 0}));
  EXPECT_EQ(*readCMYKOGColor(parse("<Any><G VALUE=\"6\"/><O VALUE=\"5\"/><C VALUE=\"1\"/></Any>")),
            colorWith<CMYKOGColor>({1, 0, 0, 0, 5, 6}));

  EXPECT_EQ(*readLabColor(parse("<LabColor><b VALUE=\"-1.5e1x\"/><B VALUE=\"3\"/><L VALUE=\"abc\"/>"
                                "<a VALUE=\"  .5\"/></LabColor>")),
            colorWith<LabColor>({0.0f, 0.5f, -15.0f}));
}

TEST_F(ColorXmlTest, TypedReaderKnowsOnlyTheExactByteClassNames) {
  for (const char* text : {"<rgbcolor><R VALUE=\"1\"/></rgbcolor>", "<Color><R VALUE=\"1\"/></Color>",
                           "<CMYKColor2/>", "<LabColor/>"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(readTypedColor(parse(text)), nullptr);
  }
  const std::unique_ptr<AbstractColor> empty = readTypedColor(parse("<CMYKOGColor/>"));
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(dynamic_cast<CMYKOGColor&>(*empty), CMYKOGColor());
}

TEST_F(ColorXmlTest, AChannelWithoutValueOrANullElementRaisesEPointer) {
  const xml::Node missing = parse("<RGBColor><R VALUE=\"1\"/><G value=\"2\"/><B VALUE=\"3\"/></RGBColor>");
  EXPECT_EQ(comErrorOf([&] { readRGBColor(missing); }), win::E_POINTER);
  EXPECT_EQ(comErrorOf([&] { readTypedColor(missing); }), win::E_POINTER);
  // Only a channel of the reader's class needs the attribute.
  EXPECT_EQ(comErrorOf([&] { readCMYKColor(missing); }), win::S_OK);

  EXPECT_EQ(comErrorOf([] { readLabColor(xml::Node()); }), win::E_POINTER);
  EXPECT_EQ(comErrorOf([] { readTypedColor(xml::Node()); }), win::E_POINTER);
}

TEST_F(ColorXmlTest, ACodeWithoutAClassWritesNoElement) {
  for (const std::int32_t code : {1, 3}) {
    SCOPED_TRACE(code);
    const NoClassColor color(code);
    EXPECT_FALSE(appendTypedColor(document_->node(), color));
    EXPECT_FALSE(appendColorContent(document_->node(), "Color", color));
  }
}

}  // namespace
}  // namespace pelagon::test
