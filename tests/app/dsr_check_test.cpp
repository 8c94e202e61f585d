#include <pelagon/app/dsr_check.h>

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "../support/sample_series.h"

namespace pelagon::test {
namespace {

using dsr::CheckDeviceSeries;
using Lines = std::vector<std::string>;

// The sample's permission sets name passmask 999 (as the shipped media do) and, in the odd
// positions, their own number.
PassmaskList passmasksNumbered(std::initializer_list<std::int32_t> numbers) {
  PassmaskList list;
  for (const std::int32_t number : numbers) {
    Passmask passmask;
    passmask.nPassmaskIndex = number;
    passmask.strPassmaskName = std::string("x").append(std::to_string(number));
    list.passmasks.append(passmask);
  }
  return list;
}

struct Breakage {
  const char* what;
  std::function<void(DeviceSeries&)> change;
  std::string line;
};

// Breaks one thing at a time in a fresh sample and expects exactly the one line.
void expectEachAlone(const std::vector<Breakage>& breakages) {
  for (const Breakage& breakage : breakages) {
    SCOPED_TRACE(breakage.what);
    DeviceSeries series = makeSampleSeries();
    breakage.change(series);
    EXPECT_EQ(CheckDeviceSeries(series, nullptr), (Lines{breakage.line}));
  }
}

const std::string kMedium2 = "aMediaInfoList[2] \"Generic Vinyl 2 [0]\"";
const std::string kMedium2Set5 = kMedium2 + " aPermissionSetList[5] (nPermissionIndex 5)";
const std::string kSeparation3 = "aSeparationInfoList[3] \"Separation 3 [0]\" (nSeparationIndex 3)";

TEST(DsrCheckTest, TheSampleSeriesIsConsistentApartFromItsPassmaskNumbers) {
  EXPECT_EQ(CheckDeviceSeries(makeSampleSeries(), nullptr), Lines{});
  const PassmaskList all = passmasksNumbered({1, 3, 5, 999});
  EXPECT_EQ(CheckDeviceSeries(makeSampleSeries(), &all), Lines{});
}

TEST(DsrCheckTest, EachBrokenReferenceGivesOneLine) {
  expectEachAlone({
      {"model default ink", [](DeviceSeries& s) { s.aModelInfoList[1].nDefaultInkIndex[3] = 5000; },
       "aModelInfoList[1] \"Pelagon KD-641\": nDefaultInkIndex[3] 5000 matches no ink"},
      {"ink configuration slot", [](DeviceSeries& s) { s.aInkConfigInfoList[0].nInkIndexList[2] = 77; },
       "aInkConfigInfoList[0] \"Pelagon CMYKLcLmLk [0]\" (nInkConfigIndex 0): nInkIndexList[2] 77 matches no "
       "ink"},
      {"permission ink configuration",
       [](DeviceSeries& s) { s.aMediaInfoList[2].aPermissionSetList[5].anInkConfigIndexList.append(3); },
       kMedium2Set5 + ": anInkConfigIndexList[1] 3 matches no ink configuration"},
      // The last resolution is numbered INT_MIN, so 30 is free.
      {"permission resolution",
       [](DeviceSeries& s) { s.aMediaInfoList[2].aPermissionSetList[5].nResolutionIndex = 30; },
       kMedium2Set5 + ": nResolutionIndex 30 matches no resolution"},
      {"permission mode", [](DeviceSeries& s) { s.aMediaInfoList[2].aPermissionSetList[5].nModeIndex = 77; },
       kMedium2Set5 + ": nModeIndex 77 matches no print mode"},
      {"permission V-control point",
       [](DeviceSeries& s) { s.aMediaInfoList[2].aPermissionSetList[5].anVControlIndexList[1] = 5000; },
       kMedium2Set5 + ": anVControlIndexList[1] 5000 matches no V-control point"},
      {"permission FM pattern",
       [](DeviceSeries& s) { s.aMediaInfoList[2].aPermissionSetList[5].anFMPatternIndexList[0] = 8; },
       kMedium2Set5 + ": anFMPatternIndexList[0] 8 matches no FM pattern"},
      // No calibration line besides: without a separation there is no channel count.
      {"permission separation",
       [](DeviceSeries& s) { s.aMediaInfoList[2].aPermissionSetList[5].nSeparationIndex = 7; },
       kMedium2Set5 + ": nSeparationIndex 7 matches no separation"},
      {"calibration count",
       [](DeviceSeries& s) { s.aMediaInfoList[2].aPermissionSetList[1].aCalibrationInfoList.removeAt(0); },
       kMedium2 + " aPermissionSetList[1] (nPermissionIndex 1): aCalibrationInfoList has 5 entries but "
                  "separation 1 has 6 input channels"},
      {"mode ink volume", [](DeviceSeries& s) { s.aModeInfoList[4].nInkVolumeIndex = 41; },
       "aModeInfoList[4] \"Mode 4\" (nModeIndex 4): nInkVolumeIndex 41 matches no ink volume"},
      {"separation print chart",
       [](DeviceSeries& s) { s.aSeparationInfoList[3].nPrintChartFileInfoIndex = 2; },
       kSeparation3 + ": nPrintChartFileInfoIndex 2 matches no print-chart file set"},
      {"separation input channel",
       [](DeviceSeries& s) { s.aSeparationInfoList[3].anInputChannelInkIndexList[1] = 0; },
       kSeparation3 + ": anInputChannelInkIndexList[1] 0 matches no ink"},
      {"separation table ink",
       [](DeviceSeries& s) { s.aSeparationInfoList[3].aSeparationTableList[2].nInkIndex = 4200; },
       kSeparation3 + " aSeparationTableList[2]: nInkIndex 4200 matches no ink"},
      {"quality level permission set",
       [](DeviceSeries& s) { s.aMediaInfoList[2].aQualityInfoList[1].anPermissionIndexList[1] = 6; },
       kMedium2 +
           " aQualityInfoList[1] \"Standard [0]\" (nQualityLevel 1): anPermissionIndexList[1] 6 matches no "
           "permission set of this medium"},
      {"default level", [](DeviceSeries& s) { s.aMediaInfoList[2].nDefaultLevel = 3; },
       kMedium2 + ": nDefaultLevel 3 matches no quality level of this medium"},
  });
}

TEST(DsrCheckTest, EmptySlotsAndSentinelsAreNotReferences) {
  DeviceSeries series = makeSampleSeries();
  series.aModelInfoList[0].nDefaultInkIndex[20] = 0;
  series.aModelInfoList[0].nDefaultInkIndex[21] = -1;
  series.aInkConfigInfoList[0].nInkIndexList[20] = -1;
  series.aModeInfoList[0].nInkVolumeIndex = -1;
  series.aSeparationInfoList[0].aSeparationTableList[0].nInkIndex = -1;
  // The reserved-looking resolution number is an ordinary record and resolves.
  series.aMediaInfoList[0].aPermissionSetList[0].nResolutionIndex = INT_MIN;
  // Nothing to choose from, so nothing to check.
  series.aMediaInfoList[1].aQualityInfoList.clear();
  series.aMediaInfoList[1].nDefaultLevel = 5;
  // Slot codes of a mode belong to the host.
  series.aModeInfoList[0].nInkIndexList[0] = 12345;
  EXPECT_EQ(CheckDeviceSeries(series, nullptr), Lines{});

  // 0 is empty only in a model's slots; elsewhere it is a number like any other.
  series.aModelInfoList[0].nDefaultInkIndex[22] = -2;
  series.aInkConfigInfoList[0].nInkIndexList[21] = 0;
  series.aModeInfoList[0].nInkVolumeIndex = 0;
  series.aModeInfoList[1].nInkVolumeIndex = -2;
  EXPECT_EQ(CheckDeviceSeries(series, nullptr),
            (Lines{"aModelInfoList[0] \"Pelagon KD-640\": nDefaultInkIndex[22] -2 matches no ink",
                   "aInkConfigInfoList[0] \"Pelagon CMYKLcLmLk [0]\" (nInkConfigIndex 0): "
                   "nInkIndexList[21] 0 matches no ink",
                   "aModeInfoList[1] \"Mode 1\" (nModeIndex 1): nInkVolumeIndex -2 matches no ink volume"}));
}

// The first entry of one of the fourth medium's lists appended again.
template <auto List>
void repeatFirstOfMedium3(DeviceSeries& series) {
  auto& list = series.aMediaInfoList[3].*List;
  list.append(list[0]);
}

TEST(DsrCheckTest, ARepeatedNumberIsReportedAtItsLaterRecord) {
  // Each change renumbers or adds a record nothing refers to, so only the repeat shows.
  expectEachAlone({
      {"ink", [](DeviceSeries& s) { s.aInkInfoList[9].nInkIndex = 4097; },
       "aInkInfoList[9] \"Ink 9 [0]\" (nInkIndex 4097): nInkIndex 4097 is already used by aInkInfoList[1]"},
      {"ink configuration", [](DeviceSeries& s) { s.aInkConfigInfoList.append(s.aInkConfigInfoList[0]); },
       "aInkConfigInfoList[1] \"Pelagon CMYKLcLmLk [0]\" (nInkConfigIndex 0): nInkConfigIndex 0 is already "
       "used "
       "by aInkConfigInfoList[0]"},
      {"resolution", [](DeviceSeries& s) { s.aResolutionInfoList[30].nResolutionIndex = 7; },
       "aResolutionInfoList[30] \"600 x 9300 dpi [0]\" (nResolutionIndex 7): nResolutionIndex 7 is already "
       "used "
       "by aResolutionInfoList[7]"},
      {"mode", [](DeviceSeries& s) { s.aModeInfoList[49].nModeIndex = 3; },
       "aModeInfoList[49] \"Mode 49\" (nModeIndex 3): nModeIndex 3 is already used by aModeInfoList[3]"},
      {"separation", [](DeviceSeries& s) { s.aSeparationInfoList[6].nSeparationIndex = 2; },
       "aSeparationInfoList[6] \"Separation 6 [0]\" (nSeparationIndex 2): nSeparationIndex 2 is already used "
       "by "
       "aSeparationInfoList[2]"},
      {"V-control point", [](DeviceSeries& s) { s.aVControlPointList[326].nVControlIndex = 0; },
       "aVControlPointList[326] (nVControlIndex 0): nVControlIndex 0 is already used by "
       "aVControlPointList[0]"},
      {"FM pattern", [](DeviceSeries& s) { s.aPatternInfoList[7].nFMPatternIndex = 1; },
       "aPatternInfoList[7] (nFMPatternIndex 1): nFMPatternIndex 1 is already used by aPatternInfoList[1]"},
      {"print-chart set",
       [](DeviceSeries& s) {
         s.aPrintChartFileInfoSetList.append({0, "a.ps", "b.ps", "c.ps"});
       },
       "aPrintChartFileInfoSetList[2] (nIndex 0): nIndex 0 is already used by aPrintChartFileInfoSetList[0]"},
      {"ink volume",
       [](DeviceSeries& s) {
         s.aInkVolumeInfoList.append(InkVolumeInfo{5, {}});
       },
       "aInkVolumeInfoList[41] (nInkVolumeIndex 5): nInkVolumeIndex 5 is already used by "
       "aInkVolumeInfoList[5]"},
      {"permission set", repeatFirstOfMedium3<&MediaInfo::aPermissionSetList>,
       "aMediaInfoList[3] \"Generic Vinyl 3 [0]\" aPermissionSetList[6] (nPermissionIndex 0): "
       "nPermissionIndex 0 "
       "is already used by aMediaInfoList[3] aPermissionSetList[0]"},
      {"quality level", repeatFirstOfMedium3<&MediaInfo::aQualityInfoList>,
       "aMediaInfoList[3] \"Generic Vinyl 3 [0]\" aQualityInfoList[3] \"High Quality [0]\" (nQualityLevel "
       "0): "
       "nQualityLevel 0 is already used by aMediaInfoList[3] aQualityInfoList[0]"},
  });
}

TEST(DsrCheckTest, ARepeatedNumberResolvesToItsFirstRecord) {
  DeviceSeries series = makeSampleSeries();
  // Separation 1 has six input channels, separation 6 four; the permission sets on
  // separation 1 carry six calibration records, which fits only the first.
  series.aSeparationInfoList[6].nSeparationIndex = 1;
  // Each medium numbers its permission sets and quality levels on its own (every sample
  // medium uses 0 to 5 and 0 to 2), so those are no repeats.
  EXPECT_EQ(CheckDeviceSeries(series, nullptr),
            (Lines{"aSeparationInfoList[6] \"Separation 6 [0]\" (nSeparationIndex 1): nSeparationIndex 1 is "
                   "already used by aSeparationInfoList[1]"}));
}

TEST(DsrCheckTest, PassmasksAreCheckedOnlyAgainstAGivenList) {
  const DeviceSeries series = makeSampleSeries();
  const PassmaskList without999 = passmasksNumbered({1, 3, 5});
  const std::vector<std::string> lines = CheckDeviceSeries(series, &without999);
  // Permission sets 0, 2 and 4 of each of the seven media.
  ASSERT_EQ(lines.size(), 21u);
  EXPECT_EQ(lines[0],
            "aMediaInfoList[0] \"Generic Vinyl 0 [0]\" aPermissionSetList[0] (nPermissionIndex 0): "
            "nPassmaskIndex 999 "
            "matches no passmask");
  EXPECT_EQ(lines[20],
            "aMediaInfoList[6] \"Generic Vinyl 6 [0]\" aPermissionSetList[4] (nPermissionIndex 4): "
            "nPassmaskIndex 999 "
            "matches no passmask");

  // An empty list is a list: every passmask number is then unresolved.
  const PassmaskList empty;
  EXPECT_EQ(CheckDeviceSeries(series, &empty).size(), 42u);

  PassmaskList repeated = passmasksNumbered({1, 3, 5, 999});
  Passmask again;
  again.nPassmaskIndex = 3;
  again.strPassmaskName = "8+4";
  repeated.passmasks.append(again);
  EXPECT_EQ(CheckDeviceSeries(series, &repeated),
            (Lines{"aPassmaskList[4] \"8+4\" (nPassmaskIndex 3): nPassmaskIndex 3 is already used by "
                   "aPassmaskList[1]"}));
  // Without a list, neither references nor repeats of passmasks are looked at.
  EXPECT_EQ(CheckDeviceSeries(series, nullptr), Lines{});
}

TEST(DsrCheckTest, LinesComeInDocumentOrder) {
  DeviceSeries series = makeSampleSeries();
  series.aInkVolumeInfoList.append(InkVolumeInfo{0, {}});
  series.aMediaInfoList[0].nDefaultLevel = 9;
  series.aMediaInfoList[0].aPermissionSetList[0].nModeIndex = -5;
  series.aMediaInfoList[0].aPermissionSetList[0].anInkConfigIndexList[0] = 4;
  series.aSeparationInfoList[0].nPrintChartFileInfoIndex = 9;
  series.aSeparationInfoList[0].aSeparationTableList[1].nInkIndex = 1;
  series.aModelInfoList[1].nDefaultInkIndex[0] = 1;
  const PassmaskList passmasks = passmasksNumbered({1, 3, 5, 999, 1});

  const std::string set0 =
      "aMediaInfoList[0] \"Generic Vinyl 0 [0]\" aPermissionSetList[0] (nPermissionIndex 0)";
  EXPECT_EQ(
      CheckDeviceSeries(series, &passmasks),
      (Lines{"aModelInfoList[1] \"Pelagon KD-641\": nDefaultInkIndex[0] 1 matches no ink",
             "aSeparationInfoList[0] \"Separation 0 [0]\" (nSeparationIndex 0) aSeparationTableList[1]: "
             "nInkIndex 1 matches no ink",
             "aSeparationInfoList[0] \"Separation 0 [0]\" (nSeparationIndex 0): nPrintChartFileInfoIndex 9 "
             "matches no print-chart file set",
             set0 + ": anInkConfigIndexList[0] 4 matches no ink configuration",
             set0 + ": nModeIndex -5 matches no print mode",
             "aMediaInfoList[0] \"Generic Vinyl 0 [0]\": nDefaultLevel 9 matches no quality level of this "
             "medium",
             "aInkVolumeInfoList[41] (nInkVolumeIndex 0): nInkVolumeIndex 0 is already used by "
             "aInkVolumeInfoList[0]",
             "aPassmaskList[4] \"x1\" (nPassmaskIndex 1): nPassmaskIndex 1 is already used by "
             "aPassmaskList[0]"}));
}

TEST(DsrCheckTest, NamesAreQuotedSoThatALineStaysOneLine) {
  DeviceSeries series = makeSampleSeries();
  series.aModelInfoList[0].strLongModelName = "KD \"640\"\r\n\\ é";
  series.aModelInfoList[0].nDefaultInkIndex[0] = 1;
  // A record without an English name is named by position and number only.
  series.aInkInfoList[9].strLongInkName[0].clear();
  series.aInkInfoList[9].nInkIndex = 4096;
  EXPECT_EQ(
      CheckDeviceSeries(series, nullptr),
      (Lines{"aModelInfoList[0] \"KD \\\"640\\\"\\x0D\\x0A\\\\ é\": nDefaultInkIndex[0] 1 matches no ink",
             "aInkInfoList[9] (nInkIndex 4096): nInkIndex 4096 is already used by aInkInfoList[0]"}));
}

TEST(DsrCheckTest, ATenfoldSeriesIsCheckedWhole) {
  // The tenfold sample repeats its 31 resolution numbers in every further block of 31 and
  // is otherwise consistent.
  const std::vector<std::string> lines = CheckDeviceSeries(makeSampleSeries(10), nullptr);
  ASSERT_EQ(lines.size(), 31u * 9u);
  for (const std::string& line : lines) {
    EXPECT_EQ(line.rfind("aResolutionInfoList[", 0), 0u) << line;
    EXPECT_NE(line.find("is already used by aResolutionInfoList["), std::string::npos) << line;
  }
  EXPECT_EQ(lines[0],
            "aResolutionInfoList[31] \"600 x 300 dpi [0]\" (nResolutionIndex 0): nResolutionIndex 0 is "
            "already used "
            "by aResolutionInfoList[0]");
}

}  // namespace
}  // namespace pelagon::test
