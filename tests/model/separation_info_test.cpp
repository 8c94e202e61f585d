#include <pelagon/model/separation_info.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include <pelagon/platform/com.h>
#include <pelagon/platform/hresult.h>
#include "../support/record_file_tests.h"
#include <pelagon/xmlio/dom_creator.h>

namespace pelagon::test {
namespace {

class SeparationInfoTest : public RecordFixture {
protected:
  std::string written(const SeparationTable& table) {
    auto document = xml::Document::Create();
    SeparationTableIO().Write(*document, document->node(), table);
    return document->saveToString();
  }

  SeparationTable readTable(const std::string& text) {
    SeparationTable table;
    SeparationTableIO().Read(parse(text), table);
    return table;
  }

  SeparationTable roundTrip(const SeparationTable& table) { return readTable(written(table)); }

  SeparationInfoIO io_;
};

// A curve that the stored form keeps exactly: the expansion of its own samples.
OutputTable smoothTable() {
  OutputTableSamples samples{};
  for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<std::uint16_t>(i * i / 16);
  return expandOutputTable(samples);
}

SeparationTable sampleTable(std::int32_t channel) {
  SeparationTable table;
  table.nInputChannelNum = channel;
  table.eType = kOutputTableCurveType;
  table.usOutputTable = smoothTable();
  table.dStart = 0.125;
  table.dPeak = 0.5;
  table.dMax = 0.875;
  table.dEnd = 1.25;
  table.dEndMax = -2.5;
  table.strInputChannel = std::to_string(channel);
  table.nInkIndex = 4097 + channel;
  table.nHeadCount = 2;
  return table;
}

SeparationInfo sampleSeparation() {
  SeparationInfo info;
  info.nSeparationIndex = 12;
  for (std::size_t i = 0; i < info.strSeparationName.size(); ++i) {
    info.strSeparationName[i] = "PVC Control " + std::to_string(i);
  }
  info.nOutputChannel = 5;
  SeparationTable plain = sampleTable(1);
  plain.eType = 3;
  plain.usOutputTable.reset();
  info.aSeparationTableList = {sampleTable(0), plain, sampleTable(4)};
  info.nPrintChartFileInfoIndex = 3;
  info.strInkLimitTableFile = "PVC \xC3\xA9.ilt";
  info.anInputChannelInkIndexList = {4097, 4098, 4099, 4096, 4104};
  return info;
}

constexpr const char* kEmptyTableTail =
    "<dStart>0.000</dStart><dPeak>0.000</dPeak><dMax>0.000</dMax><dEnd>0.000</dEnd><dEndMax>0.000</dEndMax>";

TEST_F(SeparationInfoTest, WritesAKnownSeparationByteForByte) {
  SeparationInfo info;
  info.nSeparationIndex = 2;
  info.strSeparationName[0] = "Banner";
  info.nOutputChannel = 4;
  SeparationTable table;
  table.dPeak = 1.5;
  table.strInputChannel = "0";
  info.aSeparationTableList = {table};
  info.nPrintChartFileInfoIndex = 1;
  info.strInkLimitTableFile = "a.ilt";
  info.anInputChannelInkIndexList = {4097, 4096};

  auto document = xml::Document::Create();
  const xml::Node element = io_.Write(*document, document->node(), info);
  EXPECT_EQ(element.name(), "SeparationInfo");
  EXPECT_EQ(
      document->saveToString(),
      "<SeparationInfo><nSeparationIndex>2</nSeparationIndex>" + localizedXml("strSeparationName", "Banner") +
          "<nOutputChannel>4</nOutputChannel><aSeparationTableList><SeparationTable>"
          "<nInputChannelNum>0</nInputChannelNum><usOutputTable></usOutputTable><dStart>0.000</dStart>"
          "<dPeak>1.500</dPeak><dMax>0.000</dMax><dEnd>0.000</dEnd><dEndMax>0.000</dEndMax><eType>0</eType>"
          "<strInputChannel>0</strInputChannel><nInkIndex>-1</nInkIndex><nHeadCount>1</nHeadCount>"
          "</SeparationTable></aSeparationTableList><nPrintChartFileInfoIndex>1</nPrintChartFileInfoIndex>"
          "<strInkLimitTableFile>a.ilt</strInkLimitTableFile><anInputChannelInkIndexList>"
          "<nInkIndex>4097</nInkIndex><nInkIndex>4096</nInkIndex></anInputChannelInkIndexList>"
          "</SeparationInfo>");
}

TEST_F(SeparationInfoTest, EveryFieldRoundTrips) {
  const SeparationInfo info = sampleSeparation();
  auto document = xml::Document::Create();
  io_.Write(*document, document->node(), info);
  SeparationInfo read;
  io_.Read(parse(document->saveToString()), read);
  EXPECT_EQ(read, info);
}

TEST_F(SeparationInfoTest, StoredOutputTableKeepsEverySampleAtItsKnot) {
  // A curve with corners: the spline does not reproduce it, but the samples come back exactly.
  OutputTable table{};
  for (std::size_t l = 0; l < table.size(); ++l)
    table[l] = static_cast<std::uint16_t>(l % 700 * 5 + l / 1000);
  SeparationTable written = sampleTable(2);
  written.usOutputTable = table;
  const std::string text = this->written(written);
  EXPECT_NE(text.find("<usOutputTable>" + encodeOutputTable(table) + "</usOutputTable>"), std::string::npos);

  const SeparationTable read = readTable(text);
  ASSERT_TRUE(read.usOutputTable.has_value());
  for (std::size_t position : outputTableSamplePositions()) {
    EXPECT_EQ((*read.usOutputTable)[position], table[position]) << position;
  }
}

TEST_F(SeparationInfoTest, OnlyTypeOneWritesAndReadsTheOutputTable) {
  for (std::int32_t type : {0, 3, -1}) {
    SeparationTable table = sampleTable(0);
    table.eType = type;
    const std::string text = written(table);
    EXPECT_NE(text.find("<usOutputTable></usOutputTable>"), std::string::npos) << type;
    EXPECT_FALSE(roundTrip(table).usOutputTable.has_value()) << type;
  }
  // A stored table under another type code is ignored on reading.
  const std::string stored = encodeOutputTable(smoothTable());
  const SeparationTable typeZero =
      readTable("<SeparationTable><n>0</n><usOutputTable>" + stored + "</usOutputTable>" + kEmptyTableTail +
                "<eType>0</eType></SeparationTable>");
  EXPECT_FALSE(typeZero.usOutputTable.has_value());
  // The last eType decides, wherever the text stood.
  const SeparationTable lastWins =
      readTable("<SeparationTable><n>0</n><usOutputTable>" + stored + "</usOutputTable>" + kEmptyTableTail +
                "<eType>1</eType><eType>0</eType></SeparationTable>");
  EXPECT_FALSE(lastWins.usOutputTable.has_value());
}

TEST_F(SeparationInfoTest, AnAbsentTableIsWrittenEmptyAndStaysAbsent) {
  SeparationTable table = sampleTable(0);
  table.usOutputTable.reset();
  EXPECT_NE(written(table).find("<usOutputTable></usOutputTable>"), std::string::npos);
  EXPECT_EQ(roundTrip(table), table);
}

TEST_F(SeparationInfoTest, InvalidStoredTextsReadAsNoTable) {
  const std::string valid = encodeOutputTable(smoothTable());
  ASSERT_EQ(valid.size(), kOutputTableTextLength);
  const std::string invalid[] = {
      "AAAA",
      valid.substr(0, valid.size() - 1),
      valid.substr(0, valid.size() - 4),
      valid + "AAAA",
      valid.substr(0, valid.size() - 3) + "===",
      "====",
      std::string(kOutputTableTextLength, '!'),
      " " + valid,
  };
  for (const std::string& text : invalid) {
    const SeparationTable table =
        readTable("<SeparationTable><n>0</n><usOutputTable>" + text + "</usOutputTable>" + kEmptyTableTail +
                  "<eType>1</eType></SeparationTable>");
    EXPECT_FALSE(table.usOutputTable.has_value()) << text;
    EXPECT_EQ(table.eType, 1);
  }

  // Like an empty text, an invalid one leaves a table the record already held.
  SeparationTable held;
  held.usOutputTable = smoothTable();
  SeparationTableIO().Read(parse("<SeparationTable><n>0</n><usOutputTable>AAAA</usOutputTable>" +
                                std::string(kEmptyTableTail) + "<eType>1</eType></SeparationTable>"),
                          held);
  EXPECT_EQ(held.usOutputTable, smoothTable());
}

TEST_F(SeparationInfoTest, TableHeadIsPositionalAndTailByName) {
  // The six leading children are taken by position: swapping two swaps the values.
  const SeparationTable swapped = readTable(
      "<SeparationTable><nInputChannelNum>3</nInputChannelNum><usOutputTable/>"
      "<dPeak>2.000</dPeak><dStart>1.000</dStart><dMax>3.000</dMax><x>4.5</x></SeparationTable>");
  EXPECT_EQ(swapped.nInputChannelNum, 3);
  EXPECT_EQ(swapped.dStart, 2.0);
  EXPECT_EQ(swapped.dPeak, 1.0);
  EXPECT_EQ(swapped.dEnd, 4.5);
  // Without a tail: the defaults.
  EXPECT_EQ(swapped.nInkIndex, -1);
  EXPECT_EQ(swapped.nHeadCount, 1);
  EXPECT_EQ(swapped.eType, 0);

  const SeparationTable reversed =
      readTable(std::string("<SeparationTable><n>1</n><t/><a>0</a><b>0</b><c>0</c><d>0</d>") +
                "<nHeadCount>4</nHeadCount><unknown>9</unknown><nInkIndex>4100</nInkIndex>"
                "<strInputChannel>White</strInputChannel><eType>3</eType><dEndMax>0.750</dEndMax>"
                "<dStart>8.000</dStart></SeparationTable>");
  EXPECT_EQ(reversed.nHeadCount, 4);
  EXPECT_EQ(reversed.nInkIndex, 4100);
  EXPECT_EQ(reversed.strInputChannel, "White");
  EXPECT_EQ(reversed.eType, 3);
  EXPECT_EQ(reversed.dEndMax, 0.75);
  // A positional field named again in the tail is not read a second time.
  EXPECT_EQ(reversed.dStart, 0.0);
}

TEST_F(SeparationInfoTest, ATableWithFewerThanSixChildrenRaisesEPointer) {
  try {
    readTable("<SeparationTable><n>0</n><usOutputTable/><a>0</a><b>0</b><c>0</c></SeparationTable>");
    FAIL() << "a short table was read";
  } catch (const win::_com_error& error) {
    EXPECT_EQ(error.Error(), win::E_POINTER);
  }
  SeparationInfo info;
  EXPECT_THROW(io_.Read(parse("<SeparationInfo><aSeparationTableList><SeparationTable><n>0</n>"
                                            "</SeparationTable></aSeparationTableList></SeparationInfo>"),
                                      info),
               win::_com_error);
}

TEST_F(SeparationInfoTest, SeparationChildrenAreMatchedByNameAndListsFiltered) {
  const std::string table = "<SeparationTable><n>7</n><t/><a>0</a><b>0</b><c>0</c><d>0</d></SeparationTable>";
  SeparationInfo info;
  io_.Read(
      parse(
          "<Anything><anInputChannelInkIndexList><nInkIndex>4097</nInkIndex><value>1</value>"
          "<nInkIndex>4098</nInkIndex><nInkIndex>4099</nInkIndex><nInkIndex>4096</nInkIndex>"
          "</anInputChannelInkIndexList><strInkLimitTableFile>x.ilt</strInkLimitTableFile><other>1</other>"
          "<nPrintChartFileInfoIndex>6</nPrintChartFileInfoIndex><aSeparationTableList>" +
          table + "<Table><n>1</n><t/><a>0</a><b>0</b><c>0</c><d>0</d></Table><!-- c -->" + table +
          "</aSeparationTableList><nOutputChannel>8</nOutputChannel><strSeparationName><German>Plane</German>"
          "</strSeparationName><NSeparationIndex>5</NSeparationIndex><nSeparationIndex>9</nSeparationIndex>"
          "</Anything>"),
      info);
  EXPECT_EQ(info.anInputChannelInkIndexList, (win::GrowableArray<std::int32_t>{4097, 4098, 4099, 4096}));
  EXPECT_EQ(info.strInkLimitTableFile, "x.ilt");
  EXPECT_EQ(info.nPrintChartFileInfoIndex, 6);
  ASSERT_EQ(info.aSeparationTableList.size(), 2);
  EXPECT_EQ(info.aSeparationTableList[1].nInputChannelNum, 7);
  EXPECT_EQ(info.nOutputChannel, 8);
  EXPECT_EQ(info.strSeparationName[4], "Plane");
  EXPECT_EQ(info.strSeparationName[0], "");
  EXPECT_EQ(info.nSeparationIndex, 9);
}

TEST_F(SeparationInfoTest, RepeatedListsAppendAndMissingChildrenKeepDefaults) {
  SeparationInfo info;
  io_.Read(
      parse("<SeparationInfo><anInputChannelInkIndexList><nInkIndex>1</nInkIndex>"
            "</anInputChannelInkIndexList><anInputChannelInkIndexList><nInkIndex>2</nInkIndex>"
            "</anInputChannelInkIndexList></SeparationInfo>"),
      info);
  EXPECT_EQ(info.anInputChannelInkIndexList, (win::GrowableArray<std::int32_t>{1, 2}));
  info.anInputChannelInkIndexList.clear();
  EXPECT_EQ(info, SeparationInfo{});
}

// The record is looked for among the document's top-level nodes only.
struct SeparationInfoFile {
  using Fixture = RecordTest<&SeparationInfoIO::Write, &SeparationInfoIO::Read>;
  static constexpr bool kStrictSave = true;
  static SeparationInfo sample() { return sampleSeparation(); }
  static std::string otherDocument() { return "<?xml version=\"1.0\"?><!-- x --><SeparationTable/>"; }
};
INSTANTIATE_TYPED_TEST_SUITE_P(SeparationInfo, RecordFileTest, SeparationInfoFile);

}  // namespace
}  // namespace pelagon::test
