#include <pelagon/model/model_info.h>

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include <pelagon/platform/com.h>
#include "../support/record_file_tests.h"
#include <pelagon/xmlio/dom_creator.h>

namespace pelagon::test {
namespace {

// A shipped-like model; the members the files do not carry are set to show they stay out.
ModelInfo knownModel() {
  ModelInfo model;
  model.strLongModelName = "Pelagon KD-640";
  model.strMIBModelName = "KD-640";
  model.strFolderName = "Pelagon";
  model.dMaxWidth = 1346.2;
  model.nHeadNum = 8;
  model.nHeadPositionIndex.fill(-1);
  model.nDefaultInkIndex.fill(0);
  for (int i = 0; i < 8; ++i) {
    model.nHeadPositionIndex[static_cast<std::size_t>(i)] = i;
    model.nDefaultInkIndex[static_cast<std::size_t>(i)] = 4096 + i % 4;
  }
  model.bCutFeature = true;
  model.nHeaterFeature = 2;
  model.nHeadHeightMask = 5;
  model.strStaticStatus = "S0S1";
  model.strActiveStatus = "A0";
  model.strPPDFile = "KD640.ppd";
  model.dCropMargin_mm = 5.0;
  model.dHWLeftMargin_mm = -5.0;
  model.strBMPFileName = "Pelagon KD.bmp";
  model.nMaxCutSpeed = 60;
  model.strExtension = "00FF";
  model.nScanSpeedType = 32;
  model.strRequiredFirmwareVersion = "0.00";
  model.nNozzleCountPerHeadColumn = 192;
  model.flNozzleResolution = 150.0f;
  model.nMinimumReturnScanSpeed = 1000;
  model.nMaximumReturnScanSpeed = 1000;
  model.nHostReserved2 = 7;
  model.bHostReserved1 = true;
  model.anHostReserved1 = {1, 2};
  model.nHostReserved5 = 9;
  return model;
}

// Every carried member away from its default and from the values a read resets to.
ModelInfo fullModel() {
  ModelInfo m = knownModel();
  m.strStaticExtraStatus = "E";
  m.dCropSize_mm = 0.5;
  m.dPageSpace_mm = 10.25;
  m.dHWRightMargin_mm = 3.0;
  m.dHWTopMargin_mm = 2.0;
  m.dHWBottomMargin_mm = 1.0;
  m.nMaxCutSpeed = 55;
  m.nMinimumPageInterval_mm = 3;
  m.nMaximumPageInterval_mm = 300;
  m.nMinimumScanSpeed = 260;
  m.nMaximumScanSpeed = 1100;
  m.nMinimumFeedSpeed = 2;
  m.nMaximumFeedSpeed = 60;
  m.nMinimumPreHeaterTemperature = 30;
  m.nMaximumPreHeaterTemperature = 55;
  m.nMinimumHeaterTemperature = 31;
  m.nMaximumHeaterTemperature = 56;
  m.nMinimumDrierTemperature = 32;
  m.nMaximumDrierTemperature = 57;
  m.dMinimumFeedCalibration_mm = -3.5;
  m.dMaximumFeedCalibration_mm = 3.5;
  m.nMinimumCutForce = 20;
  m.nMaximumCutForce = 310;
  m.flMaximumCutOffset = 1.25f;
  m.nGetMethodType = 2;
  m.strDllName = "kd.dll";
  m.strDriverName = "KD driver";
  m.strRecommendedFirmwareVersion = "1.20";
  m.nMinimumReturnScanSpeed = 900;
  m.nMaximumReturnScanSpeed = 1200;
  m.dMaxLength = 5000.0;
  m.bOverlapCutPerCutPath = true;
  m.nUVLampCount = 2;
  m.bHBridgeFeature = true;
  m.bHalfCutFeature = true;
  m.nMinimumHalfCutForce = 5;
  m.nMaximumHalfCutForce = 90;
  return m;
}

// `model` without the host's members, which the element does not carry.
ModelInfo carriedOnly(ModelInfo model) {
  model.anHostReserved1 = {};
  model.nHostReserved2 = 0;
  model.bHostReserved1 = false;
  model.nHostReserved5 = 0;
  return model;
}

// Where the element that starts at `at` ends: just after its closing tag.
std::size_t elementEnd(const std::string& text, std::size_t at) {
  const std::string name = text.substr(at + 1, text.find('>', at) - at - 1);
  return text.find("</" + name + ">", at) + name.size() + 3;
}

// The text with the elements <a>...</a> and <b>...</b> (a first) trading places.
std::string swapElements(const std::string& text, const std::string& a, const std::string& b) {
  const std::size_t aBegin = text.find("<" + a + ">"), aEnd = elementEnd(text, aBegin);
  const std::size_t bBegin = text.find("<" + b + ">"), bEnd = elementEnd(text, bBegin);
  return text.substr(0, aBegin) + text.substr(bBegin, bEnd - bBegin) + text.substr(aEnd, bBegin - aEnd) +
         text.substr(aBegin, aEnd - aBegin) + text.substr(bEnd);
}

std::string replaced(std::string text, std::string_view what, std::string_view with) {
  const std::size_t at = text.find(what);
  EXPECT_NE(at, std::string::npos) << what;
  return text.replace(at, what.size(), with);
}

class ModelInfoTest : public RecordTest<&ModelInfoIO::Write, &ModelInfoIO::Read> {
protected:
  void expectReadFails(const std::string& text) {
    EXPECT_EQ(comErrorOf([&] { read(text); }), win::E_POINTER) << text;
  }
};

TEST_F(ModelInfoTest, WritesEveryFieldInDocumentOrderAndNothingElse) {
  const std::string positions =
      "<value0>0</value0><value1>1</value1><value2>2</value2><value3>3</value3>"
      "<value4>4</value4><value5>5</value5><value6>6</value6><value7>7</value7>"
      "<value8>-1</value8><value9>-1</value9><value10>-1</value10>"
      "<value11>-1</value11><value12>-1</value12><value13>-1</value13>"
      "<value14>-1</value14><value15>-1</value15><value16>-1</value16>"
      "<value17>-1</value17><value18>-1</value18><value19>-1</value19>"
      "<value20>-1</value20><value21>-1</value21><value22>-1</value22>"
      "<value23>-1</value23>";
  const std::string inks =
      "<value0>4096</value0><value1>4097</value1><value2>4098</value2>"
      "<value3>4099</value3><value4>4096</value4><value5>4097</value5>"
      "<value6>4098</value6><value7>4099</value7><value8>0</value8><value9>0</value9>"
      "<value10>0</value10><value11>0</value11><value12>0</value12><value13>0</value13>"
      "<value14>0</value14><value15>0</value15><value16>0</value16><value17>0</value17>"
      "<value18>0</value18><value19>0</value19><value20>0</value20><value21>0</value21>"
      "<value22>0</value22><value23>0</value23>";
  EXPECT_EQ(
      written(knownModel()),
      "<ModelInfo><strLongModelName>Pelagon "
      "KD-640</strLongModelName><strMIBModelName>KD-640</strMIBModelName>"
      "<strFolderName>Pelagon</strFolderName><dMaxWidth>1346.200</dMaxWidth><nHeadNum>8</nHeadNum>"
      "<nHeadPositionIndex>" +
          positions + "</nHeadPositionIndex><nDefaultInkIndex>" + inks +
          "</nDefaultInkIndex><bCutFeature>true</bCutFeature><nHeaterFeature>2</nHeaterFeature>"
          "<nHeadHeightMask>5</nHeadHeightMask><strStaticStatus>S0S1</strStaticStatus>"
          "<strStaticExtraStatus></strStaticExtraStatus><strActiveStatus>A0</strActiveStatus>"
          "<strPPDFile>KD640.ppd</strPPDFile><dCropMargin_mm>5.000</dCropMargin_mm>"
          "<dCropSize_mm>0.000</dCropSize_mm><dPageSpace_mm>0.000</dPageSpace_mm>"
          "<dHWLeftMargin_mm>-5.000</dHWLeftMargin_mm><dHWRightMargin_mm>0.000</dHWRightMargin_mm>"
          "<dHWTopMargin_mm>0.000</dHWTopMargin_mm><dHWBottomMargin_mm>0.000</dHWBottomMargin_mm>"
          "<strBMPFileName>Pelagon KD.bmp</strBMPFileName><nMaxCutSpeed>60</nMaxCutSpeed>"
          "<strExtension>00FF</strExtension><nMinimumPageInterval_mm>0</nMinimumPageInterval_mm>"
          "<nMaximumPageInterval_mm>200</nMaximumPageInterval_mm><nMinimumScanSpeed>250</nMinimumScanSpeed>"
          "<nMaximumScanSpeed>1000</nMaximumScanSpeed><nMinimumFeedSpeed>1</nMinimumFeedSpeed>"
          "<nMaximumFeedSpeed>50</nMaximumFeedSpeed>"
          "<nMinimumPreHeaterTemperature>35</nMinimumPreHeaterTemperature>"
          "<nMaximumPreHeaterTemperature>50</nMaximumPreHeaterTemperature>"
          "<nMinimumHeaterTemperature>35</nMinimumHeaterTemperature>"
          "<nMaximumHeaterTemperature>50</nMaximumHeaterTemperature>"
          "<nMinimumDrierTemperature>35</nMinimumDrierTemperature>"
          "<nMaximumDrierTemperature>50</nMaximumDrierTemperature>"
          "<dMinimumFeedCalibration_mm>-2.000</dMinimumFeedCalibration_mm>"
          "<dMaximumFeedCalibration_mm>2.000</dMaximumFeedCalibration_mm>"
          "<nMinimumCutForce>30</nMinimumCutForce><nMaximumCutForce>300</nMaximumCutForce>"
          "<flMaximumCutOffset>1.500</flMaximumCutOffset><nGetMethodType>1</nGetMethodType>"
          "<nScanSpeedType>32</nScanSpeedType><strDllName></strDllName><strDriverName></strDriverName>"
          "<strRequiredFirmwareVersion>0.00</strRequiredFirmwareVersion>"
          "<strRecommendedFirmwareVersion></strRecommendedFirmwareVersion>"
          "<nNozzleCountPerHeadColumn>192</nNozzleCountPerHeadColumn>"
          "<flNozzleResolution>150.000</flNozzleResolution>"
          "<nMinimumReturnScanSpeed>1000</nMinimumReturnScanSpeed>"
          "<nMaximumReturnScanSpeed>1000</nMaximumReturnScanSpeed><dMaxLength>0.000</dMaxLength>"
          "<bOverlapCutPerCutPath>false</bOverlapCutPerCutPath><nUVLampCount>0</nUVLampCount>"
          "<bHBridgeFeature>false</bHBridgeFeature><bHalfCutFeature>false</bHalfCutFeature>"
          "<nMinimumHalfCutForce>1</nMinimumHalfCutForce><nMaximumHalfCutForce>80</nMaximumHalfCutForce>"
          "</ModelInfo>");
}

TEST_F(ModelInfoTest, ReadsBackEveryCarriedFieldAndKeepsTheHostMembersOfTheTarget) {
  const ModelInfo sent = fullModel();
  EXPECT_EQ(read(written(sent)), carriedOnly(sent));

  // The host's members survive a read into them, except the one every read clears.
  ModelInfo target;
  target.nHostReserved1 = 4;
  target.nHostReserved3 = 8;
  target.bHostReserved3 = true;
  target.anHostReserved2 = {5};
  const ModelInfo reread = read(written(sent), target);
  EXPECT_EQ(reread.nHostReserved1, 0);
  EXPECT_EQ(reread.nHostReserved3, 8);
  EXPECT_TRUE(reread.bHostReserved3);
  EXPECT_EQ(reread.anHostReserved2, win::GrowableArray<std::int32_t>{5});
}

TEST_F(ModelInfoTest, OnlyThePositionalHeadGivesTheDefaultsAndTheResets) {
  const std::string full = written(fullModel());
  const std::string headOnly = full.substr(0, full.find("<strBMPFileName>")) + "</ModelInfo>";

  const ModelInfo fresh = read(headOnly);
  EXPECT_EQ(fresh.dHWBottomMargin_mm, 1.0);
  EXPECT_EQ(fresh.nMaxCutSpeed, 60);
  EXPECT_EQ(fresh.nMinimumScanSpeed, 250);
  EXPECT_EQ(fresh.nMaximumScanSpeed, 1000);
  EXPECT_EQ(fresh.nMinimumReturnScanSpeed, 1000);
  EXPECT_EQ(fresh.nMaximumReturnScanSpeed, 1000);
  EXPECT_EQ(fresh.nMinimumHeaterTemperature, 35);
  EXPECT_EQ(fresh.nMaximumDrierTemperature, 50);
  EXPECT_EQ(fresh.dMinimumFeedCalibration_mm, -2.0);
  EXPECT_EQ(fresh.dMaximumFeedCalibration_mm, 2.0);
  EXPECT_EQ(fresh.nMinimumCutForce, 30);
  EXPECT_EQ(fresh.nMaximumCutForce, 300);
  EXPECT_EQ(fresh.nMinimumHalfCutForce, 1);
  EXPECT_EQ(fresh.nMaximumHalfCutForce, 80);
  EXPECT_EQ(fresh.flMaximumCutOffset, 1.5f);
  EXPECT_EQ(fresh.nGetMethodType, 1);
  EXPECT_EQ(fresh.nNozzleCountPerHeadColumn, 0);
  EXPECT_EQ(fresh.flNozzleResolution, 0.0f);
  EXPECT_EQ(fresh.dMaxLength, 0.0);

  // Into a filled target: the reset fields are reset, every other absent field stays.
  const ModelInfo kept = read(headOnly, fullModel());
  EXPECT_EQ(kept.nMaxCutSpeed, 60);
  EXPECT_EQ(kept.strRequiredFirmwareVersion, "");
  EXPECT_EQ(kept.strRecommendedFirmwareVersion, "");
  EXPECT_EQ(kept.nMinimumReturnScanSpeed, 1000);
  EXPECT_EQ(kept.nMaximumScanSpeed, 1100);
  EXPECT_EQ(kept.nNozzleCountPerHeadColumn, 192);
  EXPECT_EQ(kept.strDllName, "kd.dll");
}

TEST_F(ModelInfoTest, TheHeadGoesByPositionAndTheTailByName) {
  const ModelInfo model = fullModel();
  const std::string text = written(model);

  const ModelInfo swappedHead = read(swapElements(text, "strLongModelName", "strMIBModelName"));
  EXPECT_EQ(swappedHead.strLongModelName, "KD-640");
  EXPECT_EQ(swappedHead.strMIBModelName, "Pelagon KD-640");

  EXPECT_EQ(read(swapElements(text, "strBMPFileName", "nMaxCutSpeed")), read(text));

  // The tail reversed, with unknown elements and a comment in it.
  const std::size_t tailBegin = text.find("<strBMPFileName>");
  const std::size_t tailEnd = text.rfind("</ModelInfo>");
  std::vector<std::string> tail;
  for (std::size_t at = tailBegin; at < tailEnd; at = elementEnd(text, at)) {
    tail.push_back(text.substr(at, elementEnd(text, at) - at));
  }
  ASSERT_EQ(tail.size(), 37u);
  std::string reversed = text.substr(0, tailBegin) + "<Unknown>1</Unknown><!-- note -->";
  for (auto it = tail.rbegin(); it != tail.rend(); ++it) reversed += *it + "<nmaxcutspeed>7</nmaxcutspeed>";
  EXPECT_EQ(read(reversed + "</ModelInfo>"), read(text));

  // A repeated name: the later one wins.
  EXPECT_EQ(read(replaced(text, "</ModelInfo>", "<nUVLampCount>4</nUVLampCount></ModelInfo>")).nUVLampCount,
            4);
}

TEST_F(ModelInfoTest, MissingPositionalNodesFailAndSurplusArrayEntriesAreIgnored) {
  const std::string text = written(knownModel());
  // Twenty children in all; with a tail present, its first element would fill the gap.
  expectReadFails(text.substr(0, text.find("<dHWBottomMargin_mm>")) + "</ModelInfo>");
  expectReadFails(replaced(text, "<value23>-1</value23>", ""));
  expectReadFails(replaced(text, "<value23>0</value23>", ""));
  expectReadFails("<ModelInfo/>");

  std::string surplus;
  for (int i = 24; i < 30; ++i)
    surplus += "<value" + std::to_string(i) + ">99</value" + std::to_string(i) + ">";
  const ModelInfo model = read(replaced(text, "</nHeadPositionIndex>", surplus + "</nHeadPositionIndex>"));
  EXPECT_EQ(model, read(text));

  // Array entries go by position, whatever their names.
  EXPECT_EQ(read(replaced(text, "<value1>1</value1>", "<other>11</other>")).nHeadPositionIndex[1], 11);
}

TEST_F(ModelInfoTest, HeaterFeatureIsTruncatedTowardZeroAndClampedToTheIntegerRange) {
  const std::string text = written(knownModel());
  const auto heater = [&](const std::string& value) {
    return read(replaced(text, "<nHeaterFeature>2<", "<nHeaterFeature>" + value + "<")).nHeaterFeature;
  };
  EXPECT_EQ(heater("2.9"), 2);
  EXPECT_EQ(heater("-2.9"), -2);
  EXPECT_EQ(heater("3 heaters"), 3);
  EXPECT_EQ(heater("none"), 0);
  EXPECT_EQ(heater("2147483647.9"), std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(heater("1e300"), std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(heater("1e999"), std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(heater("-2147483648.9"), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(heater("-1e999"), std::numeric_limits<std::int32_t>::min());
}

TEST_F(ModelInfoTest, ExtensionIsCarriedByteForByte) {
  std::string extension;
  for (int i = 0; i < 260; ++i) extension += "0123456789ABCDEFabcdef"[i * 7 % 22];
  const std::string element = "<strExtension>" + extension + "</strExtension>";
  const std::string text = replaced(written(knownModel()), "<strExtension>00FF</strExtension>", element);
  const ModelInfo model = read(text);
  EXPECT_EQ(model.strExtension, extension);
  EXPECT_EQ(written(model), text);
}

struct ModelInfoFile {
  using Fixture = ModelInfoTest;
  static constexpr bool kStrictSave = true;
  static ModelInfo sample() { return fullModel(); }
  static ModelInfo expected() { return carriedOnly(fullModel()); }
  static std::string brokenRecord() {
    return "<ModelInfo><strLongModelName>x</strLongModelName></ModelInfo>";
  }
  static std::string otherDocument() { return "<InkInfo><nInkIndex>1</nInkIndex></InkInfo>"; }
};
INSTANTIATE_TYPED_TEST_SUITE_P(ModelInfo, RecordFileTest, ModelInfoFile);

}  // namespace
}  // namespace pelagon::test
