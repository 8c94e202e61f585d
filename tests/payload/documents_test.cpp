// The device-series, media-setting and passmask files as the installer carries them: their
// form on disk, their versions, what the library reads from them and the values they hold.

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <pelagon/model/device_series.h>
#include <pelagon/model/media_file.h>
#include <pelagon/model/passmask_list.h>
#include <pelagon/payload/generator/series_content.h>
#include "payload_blocks.h"
#include <pelagon/platform/code_page.h>
#include <pelagon/platform/com.h>
#include "../support/test_support.h"
#include <pelagon/xmlio/dom.h>

namespace pelagon::test {
namespace {

using payload::ManifestEntry;
using payload::PayloadKind;

constexpr std::string_view kDeclarationLine = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";

class PayloadDocuments : public ::testing::Test {
protected:
  void SetUp() override {
    win::SetACP(win::CP_UTF8);
    ASSERT_TRUE(com.Ok());
  }
  void TearDown() override { dropComInitialisations(); }

  // The block as a file, for the whole-document readers.
  std::string fileOf(const ManifestEntry& entry) {
    const std::string path = dir.file(std::string(payload::FileNameOf(entry.relativePath)));
    writeFile(path, std::string(payloadBlock(entry.resourceId)));
    return path;
  }

  const win::ComScope com;
  TempDir dir;
};

// The carried media-setting and passmask form: declaration, then tab-indented lines, each
// ended by CR LF.
void expectIndentedForm(std::string_view text, std::string_view root, const std::string& name) {
  ASSERT_TRUE(text.starts_with(kDeclarationLine)) << name;
  const std::string rootStart = std::string("<").append(root).append(" strVersion=\"");
  EXPECT_TRUE(text.substr(kDeclarationLine.size()).starts_with(rootStart)) << name;
  EXPECT_TRUE(text.ends_with(">\r\n")) << name;
  std::size_t lines = 0;
  std::size_t indented = 0;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = text.find('\n', start);
    ASSERT_NE(end, std::string_view::npos) << name;
    ASSERT_GT(end, start) << name;
    ASSERT_EQ(text[end - 1], '\r') << name << ", line " << lines + 1;
    const std::string_view line = text.substr(start, end - 1 - start);
    EXPECT_EQ(line.find('\r'), std::string_view::npos) << name;
    EXPECT_NE(line.front(), ' ') << name << ", line " << lines + 1;
    if (line.front() == '\t') ++indented;
    ++lines;
    start = end + 1;
  }
  EXPECT_GT(lines, 100U) << name;
  EXPECT_EQ(indented, lines - 3) << name << ": all but the declaration and the root's tags";
}

// ---- Device series ----

TEST_F(PayloadDocuments, DeviceSeriesAreSavedInTheShippedForm) {
  for (const ManifestEntry& entry : payloadFiles(PayloadKind::DeviceSeries)) {
    const std::string_view text = payloadBlock(entry.resourceId);
    const std::string name(entry.relativePath);
    ASSERT_TRUE(text.starts_with(kDeclarationLine)) << name;
    const std::string_view tree = text.substr(kDeclarationLine.size());
    EXPECT_TRUE(tree.starts_with("<DeviceSeries strVersion=\"7.0.1.0\">")) << name;
    EXPECT_TRUE(tree.ends_with("</DeviceSeries>")) << name;
    // One line: the only line feeds are the ones inside nozzle masks, before a job line.
    EXPECT_EQ(tree.find('\r'), std::string_view::npos) << name;
    std::size_t feeds = 0;
    for (std::size_t at = tree.find('\n'); at != std::string_view::npos; at = tree.find('\n', at + 1)) {
      EXPECT_TRUE(tree.substr(at + 1).starts_with("@PJL SET PLANEALLOCATION=")) << name;
      ++feeds;
    }
    EXPECT_GT(feeds, 0U) << name;
  }
}

TEST_F(PayloadDocuments, DeviceSeriesLoadAsTheyWereMade) {
  for (const ManifestEntry& entry : payloadFiles(PayloadKind::DeviceSeries)) {
    DeviceSeriesIO2 io(fileOf(entry));
    DeviceSeries loaded;
    ASSERT_TRUE(io.Load(loaded)) << entry.relativePath << ": " << io.LastError();
    EXPECT_EQ(io.GetFileVersionNumber(), 7000100);
    EXPECT_TRUE(loaded == payload::MakeDeviceSeries(entry.series)) << entry.relativePath;
  }
}

TEST_F(PayloadDocuments, TheCmkSeriesHasAtLeastTheShippedListSizes) {
  DeviceSeriesIO2 io(fileOf(*payload::FindPayloadFile(129)));
  DeviceSeries s;
  ASSERT_TRUE(io.Load(s));
  EXPECT_GE(s.aModelInfoList.size(), 2);
  EXPECT_GE(s.aInkInfoList.size(), 10);
  EXPECT_GE(s.aInkConfigInfoList.size(), 1);
  EXPECT_GE(s.aResolutionInfoList.size(), 31);
  EXPECT_GE(s.aModeInfoList.size(), 50);
  EXPECT_GE(s.aSeparationInfoList.size(), 7);
  EXPECT_GE(s.aVControlPointList.size(), 327);
  EXPECT_GE(s.aPatternInfoList.size(), 8);
  EXPECT_GE(s.aMediaInfoList.size(), 7);
  EXPECT_GE(s.aPrintChartFileInfoSetList.size(), 2);
  EXPECT_GE(s.aInkVolumeInfoList.size(), 41);
}

// The values the files of this printer family are known by.
TEST_F(PayloadDocuments, DeviceSeriesHoldTheFamilysValues) {
  for (const ManifestEntry& entry : payloadFiles(PayloadKind::DeviceSeries)) {
    SCOPED_TRACE(std::string(entry.relativePath));
    DeviceSeriesIO2 io(fileOf(entry));
    DeviceSeries s;
    ASSERT_TRUE(io.Load(s));

    std::set<std::string> shortNames;
    for (const InkInfo& ink : s.aInkInfoList) {
      EXPECT_GE(ink.nInkIndex, 4096);
      shortNames.insert(ink.strShortInkName);
    }
    for (const char* name : {"K", "C", "M", "Y", "Lc", "Lm", "W", "Mt", "Lk"})
      EXPECT_EQ(shortNames.count(name), 1U);
    ASSERT_FALSE(s.aResolutionInfoList.empty());
    EXPECT_EQ(s.aResolutionInfoList[s.aResolutionInfoList.size() - 1].nResolutionIndex, INT_MIN);

    const CommandSet& c = s.commandSet;
    EXPECT_NE(c.strInitialize.find('\x1B'), std::string::npos);
    EXPECT_NE(c.strCutHeader.find("?CUTFORCE?"), std::string::npos);
    EXPECT_TRUE(std::any_of(s.aModeInfoList.begin(), s.aModeInfoList.end(), [](const ModeInfo& m) {
      return m.strNozzleMask.find("\n@PJL SET PLANEALLOCATION=") != std::string::npos;
    }));
    EXPECT_GE(s.aModeInfoList.size(), 11);
    EXPECT_LE(s.aModeInfoList.size(), 102);
    EXPECT_GE(s.aVControlPointList.size(), 327);
    EXPECT_LE(s.aVControlPointList.size(), 424);

    bool withWhite = false;
    bool withoutWhite = false;
    for (const SeparationInfo& separation : s.aSeparationInfoList) {
      const auto& inks = separation.anInputChannelInkIndexList;
      const bool white = std::find(inks.begin(), inks.end(), 4104) != inks.end();
      (white ? withWhite : withoutWhite) = true;
      EXPECT_EQ(separation.aSeparationTableList.size(), separation.nOutputChannel);
    }
    EXPECT_TRUE(withWhite);
    EXPECT_TRUE(withoutWhite);

    std::map<int, int> separationChannels;
    for (const SeparationInfo& separation : s.aSeparationInfoList) {
      separationChannels[separation.nSeparationIndex] = separation.anInputChannelInkIndexList.size();
    }
    for (const MediaInfo& media : s.aMediaInfoList) {
      EXPECT_EQ(media.aflFeedCalibration.size(), s.aModelInfoList.size());
      EXPECT_NE(media.nHalfCutForce, 0);
      for (const PermissionSet& permission : media.aPermissionSetList) {
        EXPECT_EQ(permission.eDirection, 131075);
        EXPECT_EQ(permission.eScreen, 65569);
        ASSERT_EQ(separationChannels.count(permission.nSeparationIndex), 1U);
        EXPECT_EQ(permission.aCalibrationInfoList.size(), separationChannels[permission.nSeparationIndex]);
        EXPECT_GE(permission.anVControlIndexList.size(), 4);
        EXPECT_LE(permission.anVControlIndexList.size(), 8);
      }
    }
  }
}

// ---- Media-setting files ----

TEST_F(PayloadDocuments, MediaFilesAreIndentedInTheOlderLayout) {
  std::map<std::string, int> versions;
  for (const ManifestEntry& entry : payloadFiles(PayloadKind::MediaFile)) {
    const std::string_view text = payloadBlock(entry.resourceId);
    const std::string name(entry.relativePath);
    expectIndentedForm(text, "Halden_Media_File", name);
    EXPECT_EQ(text.find("nHalfCutForce"), std::string_view::npos) << name;
    EXPECT_EQ(text.find("screenOption"), std::string_view::npos) << name;
    EXPECT_EQ(text.find("bRecommended"), std::string_view::npos) << name;
    const xml::DocumentPtr document = xml::Document::Create();
    ASSERT_TRUE(document->loadFromMemory(text).ok) << name;
    xml::NodeList rootChildren = document->documentElement().childNodes();
    std::vector<std::string> names;
    for (xml::Node child = rootChildren.nextNode(); child; child = rootChildren.nextNode()) {
      names.emplace_back(child.name());
      if (child.name() == "ProfileList") {
        EXPECT_FALSE(child.firstChild()) << name;
      }
    }
    EXPECT_EQ(names, (std::vector<std::string>{"strSeriesName", "data", "ProfileList"})) << name;

    MediaFileIO io(fileOf(entry));
    MediaFile loaded;
    ASSERT_TRUE(io.Load(loaded)) << name << ": " << io.LastError();
    ++versions[loaded.version.ToString()];
    EXPECT_EQ(loaded.strSeriesName, "Pelagon");
    EXPECT_FALSE(loaded.media.empty());
    for (const MediaInfo& media : loaded.media) {
      EXPECT_NE(media.strMediaName[0].find(" Template"), std::string::npos) << media.strMediaName[0];
      EXPECT_EQ(media.strBaseMediaName, media.strMediaName);
      EXPECT_EQ(media.nHalfCutForce, 0);
    }
    // What the reader fills in for the missing elements is what the content says.
    EXPECT_TRUE(loaded == payload::MakeMediaFile(entry.series)) << name;
  }
  EXPECT_EQ(versions["5.0.0.0"], 3);
  EXPECT_EQ(versions["5.0.1.0"], 3);
}

// ---- Passmask lists ----

bool isPassmaskText(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '/' || c == '_' ||
         c == '~';
}

TEST_F(PayloadDocuments, PassmaskListsHoldTheirCommands) {
  std::map<std::string, int> versions;
  std::size_t fewest = SIZE_MAX;
  std::size_t most = 0;
  std::set<std::size_t> commandsPerPassmask;
  for (const ManifestEntry& entry : payloadFiles(PayloadKind::PassmaskList)) {
    const std::string name(entry.relativePath);
    SCOPED_TRACE(name);
    expectIndentedForm(payloadBlock(entry.resourceId), "aPassmaskList", name);

    PassmaskListIO io(fileOf(entry));
    PassmaskList list;
    ASSERT_TRUE(io.Load(list)) << io.LastError();
    ++versions[list.version.ToString()];
    EXPECT_TRUE(list == payload::MakePassmaskList(entry.series));
    const std::size_t count = static_cast<std::size_t>(list.passmasks.size());
    fewest = std::min(fewest, count);
    most = std::max(most, count);

    std::set<std::string> modes;
    for (int i = 0; i < list.passmasks.size(); ++i) {
      const Passmask& p = list.passmasks[i];
      if (i > 0) {
        EXPECT_LT(list.passmasks[i - 1].nPassmaskIndex, p.nPassmaskIndex);
      }
      modes.insert(p.strPassmaskMode);
      EXPECT_EQ(p.strInkConsumptionRate, "1.0,1.0,1.0,1.0");
      commandsPerPassmask.insert(static_cast<std::size_t>(p.astrPassmaskCommand.size()));
      if (p.strPassmaskMode == "1") {
        ASSERT_EQ(p.astrPassmaskCommand.size(), 1);
        EXPECT_EQ(p.astrPassmaskCommand[0], std::to_string(p.nOverlapNozzleCount));
        continue;
      }
      EXPECT_EQ(p.strPassmaskMode, "M1");
      for (const std::string& command : p.astrPassmaskCommand) {
        EXPECT_GE(command.size(), 800U);
        EXPECT_LE(command.size(), 10000U);
        EXPECT_TRUE(std::all_of(command.begin(), command.end(), isPassmaskText));
      }
    }
    EXPECT_EQ(modes, (std::set<std::string>{"1", "M1"}));
  }
  EXPECT_EQ(fewest, 28U);
  EXPECT_EQ(most, 83U);
  EXPECT_EQ(versions["1.0.0.0"], 5);
  EXPECT_EQ(versions["1.0.1.0"], 1);
  EXPECT_EQ(commandsPerPassmask, (std::set<std::size_t>{1, 2, 5}));
}

// Every piece but the last of a command is 4096 characters long.
TEST_F(PayloadDocuments, PassmaskCommandsAreCutInto4096CharacterPieces) {
  std::size_t longest = 0;
  for (const ManifestEntry& entry : payloadFiles(PayloadKind::PassmaskList)) {
    const xml::DocumentPtr document = xml::Document::Create();
    ASSERT_TRUE(document->loadFromMemory(payloadBlock(entry.resourceId)).ok);
    xml::NodeList passmasks = document->documentElement().childNodes();
    for (xml::Node passmask = passmasks.nextNode(); passmask; passmask = passmasks.nextNode()) {
      xml::NodeList children = passmask.childNodes();
      for (xml::Node child = children.nextNode(); child; child = children.nextNode()) {
        if (child.name() != "strPassmaskCommand") continue;
        std::vector<std::size_t> pieces;
        xml::NodeList pieceNodes = child.childNodes();
        for (xml::Node piece = pieceNodes.nextNode(); piece; piece = pieceNodes.nextNode()) {
          ASSERT_EQ(piece.name(), "strPassmaskPiece");
          pieces.push_back(piece.text().size());
        }
        ASSERT_FALSE(pieces.empty());
        for (std::size_t i = 0; i + 1 < pieces.size(); ++i) EXPECT_EQ(pieces[i], 4096U) << entry.relativePath;
        EXPECT_LE(pieces.back(), 4096U);
        longest = std::max(longest, pieces.size());
      }
    }
  }
  EXPECT_EQ(longest, 3U);
}

// A command of 9857 characters is three pieces: 4096, 4096 and 1665.
TEST_F(PayloadDocuments, EveryListHasACommandOfThreePieces) {
  for (const payload::Series series : payload::kAllSeries) {
    const PassmaskList list = payload::MakePassmaskList(series);
    const bool found = std::any_of(list.passmasks.begin(), list.passmasks.end(), [](const Passmask& p) {
      return std::any_of(p.astrPassmaskCommand.begin(), p.astrPassmaskCommand.end(),
                         [](const std::string& command) { return command.size() == 9857; });
    });
    EXPECT_TRUE(found) << payload::SeriesBaseName(series);
  }
}

// The media of both files refer to what their series holds (999 is the one passmask that
// shipped media name without a list entry).
TEST_F(PayloadDocuments, MediaReferToTheirSeries) {
  for (const payload::Series seriesId : payload::kAllSeries) {
    SCOPED_TRACE(std::string(payload::SeriesBaseName(seriesId)));
    const DeviceSeries series = payload::MakeDeviceSeries(seriesId);
    const PassmaskList passmasks = payload::MakePassmaskList(seriesId);
    std::set<int> resolutions, modes, separations, vControls, patterns, passmaskIds{999};
    for (const ResolutionInfo& r : series.aResolutionInfoList) resolutions.insert(r.nResolutionIndex);
    for (const ModeInfo& m : series.aModeInfoList) modes.insert(m.nModeIndex);
    for (const SeparationInfo& s : series.aSeparationInfoList) separations.insert(s.nSeparationIndex);
    for (const VControlPoint& v : series.aVControlPointList) vControls.insert(v.nVControlIndex);
    for (const PatternInfo& p : series.aPatternInfoList) patterns.insert(p.nFMPatternIndex);
    for (const Passmask& p : passmasks.passmasks) passmaskIds.insert(p.nPassmaskIndex);
    std::set<int> inkVolumes;
    for (const InkVolumeInfo& v : series.aInkVolumeInfoList) inkVolumes.insert(v.nInkVolumeIndex);
    for (const ModeInfo& m : series.aModeInfoList) EXPECT_EQ(inkVolumes.count(m.nInkVolumeIndex), 1U);

    auto media = series.aMediaInfoList;
    for (const MediaInfo& m : payload::MakeMediaFile(seriesId).media) media.append(m);
    for (const MediaInfo& medium : media) {
      for (const PermissionSet& p : medium.aPermissionSetList) {
        EXPECT_EQ(resolutions.count(p.nResolutionIndex), 1U);
        EXPECT_EQ(modes.count(p.nModeIndex), 1U);
        EXPECT_EQ(separations.count(p.nSeparationIndex), 1U);
        EXPECT_EQ(passmaskIds.count(p.nPassmaskIndex), 1U);
        for (const int v : p.anVControlIndexList) EXPECT_EQ(vControls.count(v), 1U);
        for (const int f : p.anFMPatternIndexList) EXPECT_EQ(patterns.count(f), 1U);
      }
      std::set<int> offered;
      for (const QualityInfo& q : medium.aQualityInfoList)
        offered.insert(q.anPermissionIndexList.begin(), q.anPermissionIndexList.end());
      EXPECT_EQ(offered.size(), static_cast<std::size_t>(medium.aPermissionSetList.size()));
    }
  }
}

}  // namespace
}  // namespace pelagon::test
