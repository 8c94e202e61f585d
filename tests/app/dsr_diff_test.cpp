// pelagon-dsr diff, run in process on files the library wrote.
#include <gtest/gtest.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include <pelagon/app/dsr_commands.h>
#include <pelagon/model/device_series.h>
#include <pelagon/model/media_file.h>
#include <pelagon/model/passmask_list.h>
#include <pelagon/values/output_table.h>
#include "../support/sample_series.h"
#include "../support/test_support.h"

namespace pelagon::test {
namespace {

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

Outcome runDsr(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = dsr::Run(args, out, err);
  return {status, out.str(), err.str()};
}

OutputTable flatCurve(std::uint16_t value) {
  OutputTableSamples samples;
  samples.fill(value);
  return expandOutputTable(samples);
}

std::string vinyl(int i) { return "\"Generic Vinyl " + std::to_string(i) + " [0]\""; }

struct SeriesChange {
  const char* what;
  std::function<void(DeviceSeries& before, DeviceSeries& after)> change;
  std::vector<std::string> lines;
};

class DsrDiffTest : public ::testing::Test {
protected:
  Outcome diffSeries(const SeriesChange& c, const std::vector<std::string>& options = {}) {
    DeviceSeries before = makeSampleSeries();
    DeviceSeries after = before;
    c.change(before, after);
    EXPECT_TRUE(DeviceSeriesIO2(dir_.file("old.dsr")).Save(before));
    EXPECT_TRUE(DeviceSeriesIO2(dir_.file("new.dsr")).Save(after));
    std::vector<std::string> args{"diff", dir_.file("old.dsr"), dir_.file("new.dsr")};
    args.insert(args.end(), options.begin(), options.end());
    return runDsr(args);
  }

  TempDir dir_;
};

TEST_F(DsrDiffTest, ReportsEachChangeOfASeriesOnceByTheRecordsIdentity) {
  const auto medium = [](DeviceSeries& s, int i) -> MediaInfo& { return s.aMediaInfoList[i]; };
  const std::vector<SeriesChange> cases = {
      {"nothing but a second save", [](DeviceSeries&, DeviceSeries&) {}, {}},
      {"a real beyond its three written decimals",
       [](DeviceSeries&, DeviceSeries& s) { s.aVControlPointList[3].dSmallStart += 0.0001; },
       {}},
      {"a field of a permission set",
       [&](DeviceSeries&, DeviceSeries& s) { medium(s, 1).aPermissionSetList[5].nModeIndex = 7; },
       {"aMediaInfoList " + vinyl(1) + " / aPermissionSetList (nPermissionIndex 5): nModeIndex 5 -> 7"}},
      {"one language of a name",
       [](DeviceSeries&, DeviceSeries& s) { s.aResolutionInfoList[4].strResolutionName[4] = "Neu"; },
       {"aResolutionInfoList (nResolutionIndex 4): strResolutionName.German \"600 x 1500 dpi [4]\" -> "
        "\"Neu\""}},
      {"a name in every language",
       [](DeviceSeries& before, DeviceSeries& after) {
         before.aResolutionInfoList[4].strResolutionName.fill("Alt");
         after.aResolutionInfoList[4].strResolutionName.fill("Neu");
       },
       {"aResolutionInfoList (nResolutionIndex 4): strResolutionName (all languages) \"Alt\" -> \"Neu\""}},
      {"a medium inserted in the middle",
       [&](DeviceSeries&, DeviceSeries& s) {
         MediaInfo inserted = medium(s, 2);
         inserted.strMediaName.fill("Inserted");
         win::GrowableArray<MediaInfo> media;
         for (int i = 0; i < s.aMediaInfoList.size(); ++i) {
           if (i == 3) media.append(inserted);
           media.append(s.aMediaInfoList[i]);
         }
         s.aMediaInfoList = media;
       },
       {"aMediaInfoList \"Inserted\": added"}},
      {"a medium moved to the end",
       [&](DeviceSeries&, DeviceSeries& s) {
         const MediaInfo first = medium(s, 0);
         s.aMediaInfoList.removeAt(0);
         s.aMediaInfoList.append(first);
       },
       {"aMediaInfoList " + vinyl(0) + ": moved 0 -> 6"}},
      {"a permission set removed and a calibration value changed",
       [&](DeviceSeries&, DeviceSeries& s) {
         medium(s, 0).aPermissionSetList.removeAt(5);
         medium(s, 0).aPermissionSetList[0].aCalibrationInfoList[1].density[3] = 0.625F;
       },
       {"aMediaInfoList " + vinyl(0) +
            " / aPermissionSetList (nPermissionIndex 0) / aCalibrationInfoList[1]: "
            "density[3] 0.500 -> 0.625",
        "aMediaInfoList " + vinyl(0) + " / aPermissionSetList (nPermissionIndex 5): removed"}},
      {"an output curve",
       [](DeviceSeries& before, DeviceSeries& after) {
         before.aSeparationInfoList[0].aSeparationTableList[1].usOutputTable = flatCurve(1000);
         after.aSeparationInfoList[0].aSeparationTableList[1].usOutputTable = flatCurve(1100);
         after.aSeparationInfoList[0].aSeparationTableList[3].eType = 0;
       },
       {"aSeparationInfoList (nSeparationIndex 0) / aSeparationTableList[1]: usOutputTable 4096 of 4096 "
        "entries "
        "differ, largest difference 100",
        "aSeparationInfoList (nSeparationIndex 0) / aSeparationTableList[3]: usOutputTable stored curve -> "
        "(none)",
        "aSeparationInfoList (nSeparationIndex 0) / aSeparationTableList[3]: eType 1 -> 0"}},
      {"an ink removed, one whose number changed, and a command",
       [](DeviceSeries&, DeviceSeries& s) {
         s.aInkInfoList.removeAt(0);
         s.aInkInfoList[0].nInkIndex = 5000;
         s.commandSet.strCancel =
             "\x1b"
             "C";
       },
       {"DeviceSeries: commandSet.strCancel \"\" -> \"\\\\x1BC\"", "aInkInfoList (nInkIndex 4096): removed",
        "aInkInfoList (nInkIndex 4097): removed", "aInkInfoList (nInkIndex 5000): added"}},
  };
  for (const SeriesChange& c : cases) {
    SCOPED_TRACE(c.what);
    const Outcome outcome = diffSeries(c);
    std::vector<std::string> lines;
    std::istringstream text(outcome.out);
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    EXPECT_EQ(lines, c.lines);
    EXPECT_EQ(outcome.status, c.lines.empty() ? 0 : 1) << outcome.err;
    EXPECT_EQ(outcome.err, "");
  }
}

TEST_F(DsrDiffTest, JsonGivesTheSameChangesTyped) {
  const Outcome outcome = diffSeries({"mode and order",
                                      [](DeviceSeries&, DeviceSeries& s) {
                                        s.aMediaInfoList[1].aPermissionSetList[5].nModeIndex = 7;
                                        const MediaInfo first = s.aMediaInfoList[0];
                                        s.aMediaInfoList.removeAt(0);
                                        s.aMediaInfoList.append(first);
                                      },
                                      {}},
                                     {"--json"});
  EXPECT_EQ(outcome.status, 1) << outcome.err;
  const auto expected = nlohmann::json::parse(R"json([
    {"record": "aMediaInfoList \"Generic Vinyl 0 [0]\"", "change": "moved", "old": 0, "new": 6},
    {"record": "aMediaInfoList \"Generic Vinyl 1 [0]\" / aPermissionSetList (nPermissionIndex 5)",
     "change": "changed", "field": "nModeIndex", "old": 5, "new": 7}])json");
  EXPECT_EQ(nlohmann::json::parse(outcome.out), expected);
}

TEST_F(DsrDiffTest, MediaSettingsAndPassmaskListsToo) {
  MediaFile media;
  media.strSeriesName = "Pelagon";
  media.media = makeSampleSeries().aMediaInfoList;
  ASSERT_TRUE(MediaFileIO(dir_.file("old.rmt")).Save(media));
  media.media[2].strMediaName[0] = "Renamed";
  media.media[3].nDryTime = 9;
  ASSERT_TRUE(MediaFileIO(dir_.file("new.rmt")).Save(media));
  EXPECT_EQ(
      runDsr({"diff", dir_.file("old.rmt"), dir_.file("new.rmt")}).out,
      "data " + vinyl(2) + ": removed\ndata " + vinyl(3) + ": nDryTime 3 -> 9\ndata \"Renamed\": added\n");

  PassmaskList passmasks;
  Passmask passmask;
  passmask.nPassmaskIndex = 4;
  passmask.astrPassmaskCommand.append("short");
  passmasks.passmasks.append(passmask);
  ASSERT_TRUE(PassmaskListIO(dir_.file("old.pmp")).Save(passmasks));
  passmasks.passmasks[0].astrPassmaskCommand[0] = std::string(100, 'x');
  ASSERT_TRUE(PassmaskListIO(dir_.file("new.pmp")).Save(passmasks));
  // A long value is cut in the line, never in the JSON.
  EXPECT_EQ(runDsr({"diff", dir_.file("old.pmp"), dir_.file("new.pmp")}).out,
            "aPassmaskList (nPassmaskIndex 4): strPassmaskCommand \"short\" -> \"" + std::string(60, 'x') +
                "\"... (100 bytes)\n");
  EXPECT_EQ(nlohmann::json::parse(
                runDsr({"diff", dir_.file("old.pmp"), dir_.file("new.pmp"), "--json"}).out)[0]["new"],
            std::string(100, 'x'));
}

TEST_F(DsrDiffTest, FilesThatCannotBeComparedAreTrouble) {
  DeviceSeries series = makeSampleSeries();
  ASSERT_TRUE(DeviceSeriesIO2(dir_.file("a.dsr")).Save(series));
  ASSERT_TRUE(PassmaskListIO(dir_.file("a.pmp")).Save(PassmaskList{}));
  writeFile(dir_.file("other.xml"), "<?xml version=\"1.0\"?><other/>");
  writeFile(dir_.file("broken.dsr"), "<DeviceSeries strVersion=\"3.3.0.0\"><aModelInfoList>");
  for (const auto& [before, after] : std::vector<std::pair<std::string, std::string>>{
           {"a.dsr", "missing.dsr"}, {"a.dsr", "a.pmp"}, {"other.xml", "a.dsr"}, {"a.dsr", "broken.dsr"}}) {
    const Outcome outcome = runDsr({"diff", dir_.file(before), dir_.file(after)});
    EXPECT_EQ(outcome.status, 2) << before << " " << after;
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err.rfind("pelagon-dsr: ", 0), 0u) << outcome.err;
  }
}

}  // namespace
}  // namespace pelagon::test
