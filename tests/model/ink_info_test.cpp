#include <pelagon/model/ink_info.h>

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <string_view>

#include <pelagon/platform/com.h>
#include <pelagon/platform/hresult.h>
#include "../support/record_file_tests.h"
#include <pelagon/xmlio/dom_creator.h>

namespace pelagon::test {
namespace {

// A different text in every language, so that a mixed-up language shows.
LocalizedText perLanguage(const std::string& stem) {
  LocalizedText text;
  for (std::size_t i = 0; i < text.size(); ++i) text[i] = stem + "/" + std::string(kLanguages[i]);
  return text;
}

LocalizedText sameInEveryLanguage(const std::string& value) {
  LocalizedText text;
  text.fill(value);
  return text;
}

InkInfo lightMagenta() {
  InkInfo ink;
  ink.nInkIndex = 4101;
  ink.strLongInkName = perLanguage("Light Magenta");
  ink.strShortInkName = "Lm";
  ink.lightColor = {255, 92, 222};
  ink.darkColor = {0, 1, 128};
  ink.flPrice = 12.25f;
  ink.nCapacity = 220;
  return ink;
}

InkConfigInfo eightInks() {
  InkConfigInfo config;
  config.nInkConfigIndex = 3;
  config.strInkConfigName = perLanguage("Pelagon CMYKLcLmLk");
  config.strFolderName = "Pelagon CMYKLcLmLk";
  config.nInkIndexList.fill(-1);
  for (std::size_t slot = 0; slot < 8; ++slot) config.nInkIndexList[slot] = 4096 + static_cast<int>(slot);
  return config;
}

// The five positional children of an ink, for documents that vary only the tail.
const std::string kInkHead =
    "<nInkIndex>4096</nInkIndex><strLongInkName><English>Black</English></strLongInkName>"
    "<strShortInkName>K</strShortInkName><lightColor><R>1</R><G>2</G><B>3</B></lightColor>"
    "<darkColor><R>4</R><G>5</G><B>6</B></darkColor>";

class InkRecordTest : public RecordFixture {
protected:
  InkInfo readInk(std::string_view body, InkInfo ink = {}) {
    return readBody(io_, &InkInfoIO::Read, "InkInfo", body, ink);
  }
  InkConfigInfo readConfig(std::string_view body) {
    return readBody(configIo_, &InkConfigInfoIO::Read, "InkConfigInfo", body);
  }

  InkInfoIO io_;
  InkConfigInfoIO configIo_;
};

TEST_F(InkRecordTest, InkInfoRoundTripsEveryField) {
  const InkInfo written = lightMagenta();
  xml::DocumentPtr document = xml::Document::Create();
  const xml::Node element = io_.Write(*document, document->node(), written);
  EXPECT_EQ(document->documentElement(), element);

  InkInfo read;
  io_.Read(element, read);
  EXPECT_EQ(read, written);
}

TEST_F(InkRecordTest, InkInfoIsWrittenInTableOrderWithColoursAsRGB) {
  InkInfo ink = lightMagenta();
  ink.strLongInkName = sameInEveryLanguage("Light Magenta");
  xml::DocumentPtr document = xml::Document::Create();
  io_.Write(*document, document->node(), ink);
  EXPECT_EQ(document->saveToString(), "<InkInfo><nInkIndex>4101</nInkIndex>" +
                                          localizedXml("strLongInkName", "Light Magenta") +
                                          "<strShortInkName>Lm</strShortInkName>"
                                          "<lightColor><R>255</R><G>92</G><B>222</B></lightColor>"
                                          "<darkColor><R>0</R><G>1</G><B>128</B></darkColor>"
                                          "<flPrice>12.250</flPrice><nCapacity>220</nCapacity></InkInfo>");
}

TEST_F(InkRecordTest, PriceAndCapacityAreReadByNameInAnyOrder) {
  const InkInfo bare = readInk(kInkHead);
  EXPECT_EQ(bare.flPrice, 0.0f);
  EXPECT_EQ(bare.nCapacity, 0);

  const InkInfo reversed = readInk(kInkHead + "<nCapacity>220</nCapacity><flPrice>1.500</flPrice>");
  EXPECT_EQ(reversed.flPrice, 1.5f);
  EXPECT_EQ(reversed.nCapacity, 220);

  // Unknown and wrongly cased names are skipped; a repeated name's last value wins.
  const InkInfo noisy = readInk(kInkHead +
                                "<nVolume>9</nVolume><nCapacity>1</nCapacity><NCAPACITY>5</NCAPACITY>"
                                "<!-- note --><nCapacity>2</nCapacity>");
  EXPECT_EQ(noisy.nCapacity, 2);

  // Absent ones keep what the target held.
  InkInfo prefilled;
  prefilled.flPrice = 3.0f;
  prefilled.nCapacity = 7;
  const InkInfo kept = readInk(kInkHead, prefilled);
  EXPECT_EQ(kept.flPrice, 3.0f);
  EXPECT_EQ(kept.nCapacity, 7);
}

TEST_F(InkRecordTest, TheInkHeadAndTheColourComponentsAreReadByPosition) {
  const InkInfo plain = readInk(kInkHead);
  EXPECT_EQ(plain.nInkIndex, 4096);
  EXPECT_EQ(plain.strLongInkName[0], "Black");
  EXPECT_EQ(plain.strShortInkName, "K");
  EXPECT_EQ(plain.lightColor, (InkColor{1, 2, 3}));
  EXPECT_EQ(plain.darkColor, (InkColor{4, 5, 6}));

  std::string renamed = kInkHead;
  renamed.replace(renamed.find("<lightColor>"), 12, "<paleColour>");
  renamed.replace(renamed.find("</lightColor>"), 13, "</paleColour>");
  EXPECT_EQ(readInk(renamed), plain);

  const InkInfo swapped = readInk(
      "<nInkIndex>4096</nInkIndex><strLongInkName/><strShortInkName>K</strShortInkName>"
      "<darkColor><R>4</R><G>5</G><B>6</B></darkColor><lightColor><R>1</R><G>2</G><B>3</B></lightColor>");
  EXPECT_EQ(swapped.lightColor, (InkColor{4, 5, 6}));
  EXPECT_EQ(swapped.darkColor, (InkColor{1, 2, 3}));

  // Components by position whatever their names; a fourth one is ignored.
  const InkInfo components = readInk(
      "<nInkIndex>1</nInkIndex><strLongInkName/><strShortInkName/>"
      "<lightColor><B>7</B><G>8</G><R>9</R><A>10</A></lightColor><darkColor><x>0</x><y>0</y><z>1</z></"
      "darkColor>");
  EXPECT_EQ(components.lightColor, (InkColor{7, 8, 9}));
  EXPECT_EQ(components.darkColor, (InkColor{0, 0, 1}));
}

TEST_F(InkRecordTest, ColourComponentsKeepTheLowEightBits) {
  const InkInfo ink = readInk(
      "<nInkIndex>1</nInkIndex><strLongInkName/><strShortInkName/>"
      "<lightColor><R>256</R><G>300</G><B>-1</B></lightColor>"
      "<darkColor><R>99999999999</R><G>-2147483648</G><B>lots</B></darkColor>");
  EXPECT_EQ(ink.lightColor, (InkColor{0, 44, 255}));
  // An out-of-range integer is clamped to 2147483647 before its low byte is taken.
  EXPECT_EQ(ink.darkColor, (InkColor{255, 0, 0}));
}

TEST_F(InkRecordTest, ALanguageWithoutAChildKeepsItsText) {
  InkInfo target;
  target.strLongInkName = perLanguage("old");
  const InkInfo ink = readInk(
      "<nInkIndex>1</nInkIndex><strLongInkName><German>Schwarz</German></strLongInkName><strShortInkName/>"
      "<lightColor><R>0</R><G>0</G><B>0</B></lightColor><darkColor><R>0</R><G>0</G><B>0</B></darkColor>",
      target);
  EXPECT_EQ(ink.strLongInkName[4], "Schwarz");
  EXPECT_EQ(ink.strLongInkName[0], "old/English");
  EXPECT_EQ(ink.strLongInkName[12], "old/Arabic");
}

TEST_F(InkRecordTest, AMissingPositionalChildOfAnInkRaisesEPointer) {
  std::string fourChildren = kInkHead;
  fourChildren.erase(fourChildren.find("<darkColor>"));
  EXPECT_EQ(comErrorOf([&] { readInk(fourChildren); }), win::E_POINTER);

  std::string shortColour = kInkHead;
  shortColour.erase(shortColour.find("<B>6</B>"), 8);
  EXPECT_EQ(comErrorOf([&] { readInk(shortColour); }), win::E_POINTER);

  InkInfo ink;
  EXPECT_EQ(comErrorOf([&] { io_.Read(xml::Node(), ink); }), win::E_POINTER);
}

TEST_F(InkRecordTest, InkConfigInfoRoundTripsEveryField) {
  InkConfigInfo written = eightInks();
  written.nInkIndexList[23] = 4200;
  xml::DocumentPtr document = xml::Document::Create();
  const xml::Node element = configIo_.Write(*document, document->node(), written);

  InkConfigInfo read;
  configIo_.Read(element, read);
  EXPECT_EQ(read, written);
}

TEST_F(InkRecordTest, AnEightInkConfigurationIsWrittenWithAll24SlotsNamedNInkIndex) {
  InkConfigInfo config = eightInks();
  config.strInkConfigName = sameInEveryLanguage("Pelagon CMYKLcLmLk");
  xml::DocumentPtr document = xml::Document::Create();
  configIo_.Write(*document, document->node(), config);

  std::string slots;
  for (int slot = 0; slot < 8; ++slot) slots += "<nInkIndex>" + std::to_string(4096 + slot) + "</nInkIndex>";
  for (int slot = 8; slot < 24; ++slot) slots += "<nInkIndex>-1</nInkIndex>";
  EXPECT_EQ(document->saveToString(), "<InkConfigInfo><nInkConfigIndex>3</nInkConfigIndex>" +
                                          localizedXml("strInkConfigName", "Pelagon CMYKLcLmLk") +
                                          "<strFolderName>Pelagon CMYKLcLmLk</strFolderName>"
                                          "<nInkIndexList>" +
                                          slots + "</nInkIndexList></InkConfigInfo>");
}

TEST_F(InkRecordTest, InkConfigurationChildrenAndSlotsAreReadByPosition) {
  const auto body = [](int slotCount, std::string_view after = "") {
    std::string text = "<a>5</a><b><English>Set</English></b><c>Folder</c><d>";
    for (int slot = 0; slot < slotCount; ++slot) text += "<s>" + std::to_string(slot * 10) + "</s>";
    return text + "</d>" + std::string(after);
  };

  // Names are never compared; children after the 24th slot and after the list are ignored.
  const InkConfigInfo config = readConfig(body(30, "<nInkConfigIndex>99</nInkConfigIndex>"));
  EXPECT_EQ(config.nInkConfigIndex, 5);
  EXPECT_EQ(config.strInkConfigName[0], "Set");
  EXPECT_EQ(config.strFolderName, "Folder");
  for (std::size_t slot = 0; slot < kInkSlotCount; ++slot) {
    EXPECT_EQ(config.nInkIndexList[slot], static_cast<int>(slot) * 10) << slot;
  }

  EXPECT_EQ(comErrorOf([&] { readConfig(body(23)); }), win::E_POINTER);
  EXPECT_EQ(comErrorOf([&] { readConfig("<a>5</a><b/><c>Folder</c>"); }), win::E_POINTER);
}

struct InkInfoFile {
  using Fixture = RecordTest<&InkInfoIO::Write, &InkInfoIO::Read>;
  static constexpr bool kStrictSave = true;
  static InkInfo sample() { return lightMagenta(); }
  static std::string brokenRecord() { return "<InkInfo><n>1</n></InkInfo>"; }
  // Only a top-level element of the record's name is read.
  static std::string otherDocument() { return "<Other><InkInfo>" + kInkHead + "</InkInfo></Other>"; }
};

// A failed save is a false result here, not an exception.
struct InkConfigInfoFile {
  using Fixture = RecordTest<&InkConfigInfoIO::Write, &InkConfigInfoIO::Read>;
  static constexpr bool kStrictSave = false;
  static InkConfigInfo sample() { return eightInks(); }
  static std::string brokenRecord() { return "<InkConfigInfo><n>1</n></InkConfigInfo>"; }
  static std::string otherDocument() { return "<InkInfo/>"; }
};
using InkFiles = ::testing::Types<InkInfoFile, InkConfigInfoFile>;
INSTANTIATE_TYPED_TEST_SUITE_P(Ink, RecordFileTest, InkFiles);

TEST_F(InkRecordTest, AnInkInfoFileIsReadPastALeadingComment) {
  writeFile(dir_.file("late.xml"), "<!-- first --><InkInfo>" + kInkHead + "</InkInfo>");
  InkInfo read = lightMagenta();
  EXPECT_TRUE(io_.ReadRecordFile(dir_.file("late.xml"), read));
  EXPECT_EQ(read.nInkIndex, 4096);
}

}  // namespace
}  // namespace pelagon::test
