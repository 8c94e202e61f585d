#include <pelagon/values/element_text.h>

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

#include <pelagon/platform/code_page.h>
#include <pelagon/platform/com.h>
#include "../support/record_fixture.h"
#include <pelagon/values/escaped_string.h>
#include <pelagon/values/localized_text.h>
#include <pelagon/values/record_fields.h>
#include <pelagon/xmlio/dom_creator.h>

namespace pelagon::test {
namespace {

class ElementTextTest : public RecordFixture {
protected:
  // The code page and locale some tests change; COM stays as the tests leave it.
  void TearDown() override {
    win::SetACP(win::CP_UTF8);
    std::setlocale(LC_ALL, "C");
  }

  std::string write(xml::Node element) {
    xml::DocumentPtr document = document_;
    document_ = xml::Document::Create();
    document->node().appendChild(element);
    return document->saveToString();
  }

  xml::Node parse(std::string_view text) {
    parsedDocuments_.push_back(xml::Document::Create());
    EXPECT_TRUE(parsedDocuments_.back()->loadFromMemory(text).ok) << text;
    return parsedDocuments_.back()->documentElement();
  }

  std::vector<xml::DocumentPtr> parsedDocuments_;
};

TEST_F(ElementTextTest, WritersProduceTheExactTextForms) {
  EXPECT_EQ(write(appendRealElement(document_->node(), "d", 1600.0, kRealPrecision)), "<d>1600.000</d>");
  EXPECT_EQ(write(appendRealElement(document_->node(), "d", -0.106, kRealPrecision)), "<d>-0.106</d>");
  EXPECT_EQ(write(appendRealElement(document_->node(), "d", 0.25f, kRealPrecision)), "<d>0.250</d>");
  EXPECT_EQ(write(appendRealElement(document_->node(), "d", 0.0, kRealPrecision)), "<d>0.000</d>");
  EXPECT_EQ(write(appendRealElement(document_->node(), "d", 12.5, kRealPrecision)), "<d>12.500</d>");
  EXPECT_EQ(write(appendRealElement(document_->node(), "d", 2.0005, kRealPrecision)), "<d>2.001</d>");
  EXPECT_EQ(write(appendIntElement(document_->node(), "n", -1)), "<n>-1</n>");
  EXPECT_EQ(write(appendIntElement(document_->node(), "n", 4097)), "<n>4097</n>");
  EXPECT_EQ(write(appendIntElement(document_->node(), "n", std::numeric_limits<std::int32_t>::min())),
            "<n>-2147483648</n>");
  EXPECT_EQ(write(appendBoolElement(document_->node(), "b", true)), "<b>true</b>");
  EXPECT_EQ(write(appendBoolElement(document_->node(), "b", false)), "<b>false</b>");
  EXPECT_EQ(write(appendStringElement(document_->node(), "s", "")), "<s></s>");
  EXPECT_EQ(write(appendStringElement(document_->node(), "s", "a<b & \"c\"")), "<s>a&lt;b &amp; \"c\"</s>");

  xml::Node element = document_->createElement("UVLampPower");
  setIntAttribute(element, "position", -7);
  EXPECT_EQ(write(element), "<UVLampPower position=\"-7\"/>");
}

TEST_F(ElementTextTest, NumbersIgnoreTheCLocale) {
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr && std::setlocale(LC_ALL, "fr_FR.UTF-8") == nullptr) {
    GTEST_SKIP() << "no locale with a decimal comma on this machine";
  }
  ASSERT_STREQ(std::localeconv()->decimal_point, ",");
  EXPECT_EQ(write(appendRealElement(document_->node(), "d", 1234.5, kRealPrecision)), "<d>1234.500</d>");
  EXPECT_EQ(readRealElement(parse("<d>12.75</d>")), 12.75);
  EXPECT_EQ(readRealElement(parse("<d>12,75</d>")), 12.0);
}

TEST_F(ElementTextTest, ReadersFollowTheCRules) {
  EXPECT_EQ(readIntElement(parse("<n>170.000</n>")), 170);
  EXPECT_EQ(readIntElement(parse("<n>1.9</n>")), 1);
  EXPECT_EQ(readIntElement(parse("<n>  -1</n>")), -1);
  EXPECT_EQ(readIntElement(parse("<n>abc</n>")), 0);
  EXPECT_EQ(readIntElement(parse("<n/>")), 0);
  EXPECT_EQ(readIntElement(parse("<n>99999999999</n>")), std::numeric_limits<std::int32_t>::max());

  EXPECT_EQ(readRealElement(parse("<d>-0.106</d>")), -0.106);
  EXPECT_EQ(readRealElement(parse("<d> +1.5e3xyz</d>")), 1500.0);
  EXPECT_EQ(readRealElement(parse("<d>.5</d>")), 0.5);
  EXPECT_EQ(readRealElement(parse("<d>1e</d>")), 1.0);
  EXPECT_EQ(readRealElement(parse("<d>inf</d>")), 0.0);
  EXPECT_EQ(readRealElement(parse("<d>nan</d>")), 0.0);
  EXPECT_EQ(readRealElement(parse("<d>0x1A</d>")), 0.0);
  EXPECT_EQ(readRealElement(parse("<d></d>")), 0.0);
  EXPECT_TRUE(std::isinf(readRealElement(parse("<d>1e999</d>"))));
  EXPECT_EQ(readRealElement(parse("<d>-1e-999</d>")), 0.0);
  EXPECT_EQ(readFloatElement(parse("<fl>0.25</fl>")), 0.25f);
  // Narrowed to nearest, ties to even: past the largest float only the halfway point and
  // beyond overflow (the largest float's significand is odd, so the tie goes up).
  constexpr float kMax = std::numeric_limits<float>::max(), kInf = std::numeric_limits<float>::infinity();
  const std::pair<std::string, float> narrowed[] = {
      {"3.4028234663852886e38", kMax},  // the largest float
      {"3.4028235e38", kMax},
      {"3.4028235677973362e38", kMax},  // the last double below halfway
      {"3.4028235677973366e38", kInf},  // exactly halfway
      {"1e39", kInf},
      {"1e300", kInf},
  };
  for (const auto& [text, expected] : narrowed) {
    EXPECT_EQ(readFloatElement(parse("<fl>" + text + "</fl>")), expected) << text;
    EXPECT_EQ(readFloatElement(parse("<fl>-" + text + "</fl>")), -expected) << text;
  }
  // An infinity is written as the largest double, so that it reads back rather than as 0.
  const std::string infinity =
      write(appendRealElement(document_->node(), "d", -std::numeric_limits<double>::infinity(), kRealPrecision));
  EXPECT_EQ(readRealElement(parse(infinity)), -std::numeric_limits<double>::max());
  EXPECT_EQ(readFloatElement(parse(infinity)), -kInf);

  EXPECT_TRUE(readBoolElement(parse("<b>true</b>")));
  for (const char* text : {"<b>True</b>", "<b>TRUE</b>", "<b>1</b>", "<b> true</b>", "<b/>"}) {
    EXPECT_FALSE(readBoolElement(parse(text))) << text;
  }
  EXPECT_EQ(readStringElement(parse("<s>a &amp; b</s>")), "a & b");
  EXPECT_EQ(readStringElement(parse("<s></s>")), "");
  EXPECT_EQ(readIntAttribute(parse("<u position=\" 12x\"/>"), "position"), 12);

  const auto pointerError = [](auto&& read) {
    try {
      read();
    } catch (const win::_com_error& error) {
      return error.Error() == win::E_POINTER;
    }
    return false;
  };
  EXPECT_TRUE(pointerError([] { readIntElement(xml::Node()); }));
  EXPECT_TRUE(pointerError([] { readStringElement(xml::Node()); }));
  EXPECT_TRUE(pointerError([] { readBoolElement(xml::Node()); }));
  EXPECT_TRUE(pointerError([&] { readIntAttribute(parse("<u/>"), "position"); }));
}

TEST_F(ElementTextTest, StringsCrossTheAnsiCodePage) {
  ASSERT_TRUE(win::SetACP(1252));
  EXPECT_EQ(write(appendStringElement(document_->node(), "s", "Gl\xE4nzend")), "<s>Gl\xC3\xA4nzend</s>");
  EXPECT_EQ(readStringElement(parse("<s>Gl\xC3\xA4nzend \xE6\x97\xA5</s>")), "Gl\xE4nzend ?");
}

TEST_F(ElementTextTest, LocalizedTextFillsEveryLanguageAndMatchesNamesExactly) {
  LocalizedText text;
  text[0] = "Glossy";
  text[3] = "Brillant";
  const std::string written = write(appendLocalizedText(document_->node(), "strMediaName", text));
  EXPECT_EQ(
      written,
      "<strMediaName><English>Glossy</English><Chinese_Simplified>Glossy</Chinese_Simplified>"
      "<Chinese_Traditional>Glossy</Chinese_Traditional><French>Brillant</French><German>Glossy</German>"
      "<Italian>Glossy</Italian><Japanese>Glossy</Japanese><Korean>Glossy</Korean>"
      "<Portuguese>Glossy</Portuguese><Spanish>Glossy</Spanish><Russian>Glossy</Russian>"
      "<Turkish>Glossy</Turkish><Arabic>Glossy</Arabic></strMediaName>");

  LocalizedText read;
  read[11] = "kept";
  EXPECT_TRUE(
      readLocalizedText(parse("<f><German>Glanz</German><english>x</english><!-- c -->"
                              "<Unknown>u</Unknown><English>Gloss</English><English>Gloss 2</English></f>"),
                        read));
  EXPECT_EQ(read[0], "Gloss 2");
  EXPECT_EQ(read[4], "Glanz");
  EXPECT_EQ(read[11], "kept");
  EXPECT_EQ(read[1], "");
}

TEST_F(ElementTextTest, EscapedStringsRoundTripEveryByte) {
  EXPECT_EQ(encodeEscapedString("\x1B%-12345X"), "\\x1B%-12345X");
  EXPECT_EQ(encodeEscapedString("\x1B"
                                "E\n \\\"&'<>\x7F\x80\xFF"),
            "\\x1BE\\x0A \\x5C\\x22\\x26\\x27\\x3C\\x3E\\x7F\\x80\\xFF");
  std::string everyByte;
  for (int i = 0; i < 256; ++i) everyByte += static_cast<char>(i);
  const std::string encoded = encodeEscapedString(everyByte);
  EXPECT_EQ(encoded.size(), 256 + 3 * (256 - 95 + 6));
  EXPECT_EQ(decodeEscapedString(encoded), everyByte);

  EXPECT_EQ(decodeEscapedString(""), "");
  EXPECT_EQ(decodeEscapedString("\\x00"), std::string(1, '\0'));
  EXPECT_EQ(decodeEscapedString("\\x1b"), "\x1B");
  // Two characters read the way strtol reads them in base 16.
  EXPECT_EQ(decodeEscapedString("\\xG1"), std::string(1, '\0'));
  EXPECT_EQ(decodeEscapedString("\\x1G"), "\x01");
  EXPECT_EQ(decodeEscapedString("\\x F"), "\x0F");
  EXPECT_EQ(decodeEscapedString("\\x-1"), "\xFF");

  const std::pair<const char*, const char*> failures[] = {
      {"abc\\", "decodeEscapedString(): invalid source string"},
      {"\\n", "decodeEscapedString(): unrecognized escape sequence"},
      {"\\X1B", "decodeEscapedString(): unrecognized escape sequence"},
      {"\\x1", "decodeEscapedString(): invalid source string"},
      {"\\x", "decodeEscapedString(): invalid source string"},
  };
  for (const auto& [text, message] : failures) {
    try {
      decodeEscapedString(text);
      ADD_FAILURE() << text << " decoded";
    } catch (const std::exception& error) {
      EXPECT_STREQ(error.what(), message) << text;
    }
  }
}

struct Sample {
  std::int32_t nFirst = 0;
  double dSecond = 0.0;
  std::string strName = "default";
  bool bFlag = false;
  float flScale = 1.0f;
  std::array<std::int32_t, 24> anSlots{};
  win::GrowableArray<std::int32_t> anList;
  win::GrowableArray<std::string> astrVolumes;
  win::GrowableArray<float> aflDegrees;
};

TEST_F(ElementTextTest, PositionalHeadThenNamedTail) {
  static const NamedFields<Sample> tail = {
      field<&Sample::strName>("strName"),
      field<&Sample::bFlag>("bFlag"),
      field<&Sample::flScale>("flScale"),
  };
  Sample sample;
  PositionalFields head(
      parse("<S><a>5</a><b>2.5</b><flScale>2</flScale><unknown>9</unknown><bFlag>true</bFlag>"
            "<flScale>3</flScale></S>"));
  head.read(sample.nFirst);
  head.read(sample.dSecond);
  tail.read(head.rest(), sample);
  EXPECT_EQ(sample.nFirst, 5);
  EXPECT_EQ(sample.dSecond, 2.5);
  EXPECT_TRUE(sample.bFlag);
  EXPECT_EQ(sample.flScale, 3.0f);
  EXPECT_EQ(sample.strName, "default");

  PositionalFields shortHead(parse("<S><a>5</a></S>"));
  shortHead.read(sample.nFirst);
  EXPECT_THROW(shortHead.read(sample.dSecond), win::_com_error);
}

TEST_F(ElementTextTest, FixedArraysHaveExactlyTheirSlots) {
  Sample sample;
  for (std::size_t i = 0; i < sample.anSlots.size(); ++i)
    sample.anSlots[i] = static_cast<std::int32_t>(i) - 1;
  const std::string written = write(appendFixedArray(document_->node(), "anSlots", sample.anSlots));
  EXPECT_EQ(written.rfind("<anSlots><value0>-1</value0><value1>0</value1>", 0), 0u);
  EXPECT_NE(written.find("<value23>22</value23></anSlots>"), std::string::npos);

  std::array<std::int32_t, 24> read{};
  readFixedArray(parse(written), read);
  EXPECT_EQ(read, sample.anSlots);

  std::string text = "<a>";
  for (int i = 0; i < 25; ++i) text += "<x>" + std::to_string(i) + "</x>";
  readFixedArray(parse(text + "</a>"), read);
  EXPECT_EQ(read[23], 23);
  std::string shortText = "<a>";
  for (int i = 0; i < 23; ++i) shortText += "<x>1</x>";
  EXPECT_THROW(readFixedArray(parse(shortText + "</a>"), read), win::_com_error);
}

TEST_F(ElementTextTest, ListsWriteEveryEntryAndReadEveryChild) {
  Sample sample;
  sample.anList = {3, -4};
  sample.aflDegrees = {15.0f, 75.5f};
  EXPECT_EQ(write(appendScalarList(document_->node(), "anList", "anInkConfigIndex", sample.anList)),
            "<anList><anInkConfigIndex>3</anInkConfigIndex><anInkConfigIndex>-4</anInkConfigIndex></anList>");
  EXPECT_EQ(write(appendIndexedList(document_->node(), "aflDegree", "flDegree", sample.aflDegrees)),
            "<aflDegree><flDegree0>15.000</flDegree0><flDegree1>75.500</flDegree1></aflDegree>");
  EXPECT_EQ(write(appendScalarList(document_->node(), "empty", "x", win::GrowableArray<std::int32_t>{})), "<empty/>");

  win::GrowableArray<std::int32_t> ints;
  readScalarList(parse("<l><a>1</a><b>2</b></l>"), ints);
  readScalarList(parse("<l/>"), ints);
  EXPECT_EQ(ints, (win::GrowableArray<std::int32_t>{1, 2}));

  win::GrowableArray<std::string> volumes;
  readScalarList(
      parse(
          "<l><strInkVolume_pl>7</strInkVolume_pl><other>x</other><strInkVolume_pl>9</strInkVolume_pl></l>"),
      volumes, "strInkVolume_pl");
  EXPECT_EQ(volumes, (win::GrowableArray<std::string>{"7", "9"}));

  win::GrowableArray<Sample> records;
  readRecordList(parse("<l><S><n>4</n></S><S><n>5</n></S></l>"), records, {"S"},
                 [](xml::Node element, Sample& record) { PositionalFields(element).read(record.nFirst); });
  ASSERT_EQ(records.size(), 2);
  EXPECT_EQ(records[1].nFirst, 5);
  EXPECT_EQ(records[1].strName, "default");
  const RecordEntries<Sample> entries{"S", EntryMatch::AnyChild, nullptr,
                                     [](xml::Node parent, const Sample& record) {
                                       return appendIntElement(parent, "n", record.nFirst);
                                     }};
  EXPECT_EQ(write(appendRecordList(document_->node(), "aS", records, entries)),
            "<aS><n>4</n><n>5</n></aS>");
}

}  // namespace
}  // namespace pelagon::test
