#include <pelagon/model/device_series.h>

#include <array>
#include <optional>
#include <stdexcept>
#include <utility>

#include <pelagon/model/screen_option.h>
#include <pelagon/model/whole_document.h>
#include <pelagon/platform/com.h>
#include <pelagon/values/escaped_string.h>
#include <pelagon/values/read_error.h>
#include <pelagon/values/record_fields.h>
#include <pelagon/xmlio/dom_creator.h>

namespace pelagon {

namespace {

constexpr std::string_view kRootName = "DeviceSeries";
constexpr std::string_view kVersion1 = "1.0.0.0";
constexpr std::string_view kVersion2 = "3.3.0.0";
constexpr std::size_t kJapanese = 6;

// The command strings in document order, with their element names.
constexpr std::array<std::pair<std::string_view, std::string CommandSet::*>, 9> kCommands{{
    {"strInitialize", &CommandSet::strInitialize},
    {"strPrintHeader", &CommandSet::strPrintHeader},
    {"strPrintTailer", &CommandSet::strPrintTailer},
    {"strCutHeader", &CommandSet::strCutHeader},
    {"strCutTailer", &CommandSet::strCutTailer},
    {"strPageFeed", &CommandSet::strPageFeed},
    {"strPageRewind", &CommandSet::strPageRewind},
    {"strSheetCut", &CommandSet::strSheetCut},
    {"strCancel", &CommandSet::strCancel},
}};

constexpr auto kCommandNames = [] {
  std::array<std::string_view, kCommands.size()> names{};
  for (std::size_t i = 0; i < names.size(); ++i) names[i] = kCommands[i].first;
  return names;
}();

// The root's children read by position, before the by-name tail.
constexpr std::array<std::string_view, 10> kContentHead{
    "aModelInfoList", "aInkInfoList",        "aInkConfigInfoList", "aResolutionInfoList",
    "aModeInfoList",  "aSeparationInfoList", "aVControlPointList", "aPatternInfoList",
    "commandSet",     "aMediaInfoList"};

std::string_view englishName(const LocalizedText& text) { return text[0]; }

constexpr RecordEntries<ModelInfo> kModelEntries{
    "ModelInfo", EntryMatch::AnyChild,
    [](const ModelInfo& model) -> std::string_view { return model.strLongModelName; }};
constexpr RecordEntries<InkInfo> kInkEntries{
    "InkInfo", EntryMatch::AnyChild, [](const InkInfo& ink) { return englishName(ink.strLongInkName); }};
constexpr RecordEntries<InkConfigInfo> kInkConfigEntries{
    "InkConfigInfo", EntryMatch::AnyChild,
    [](const InkConfigInfo& config) { return englishName(config.strInkConfigName); }};
constexpr RecordEntries<ResolutionInfo> kResolutionEntries{
    "ResolutionInfo", EntryMatch::AnyChild,
    [](const ResolutionInfo& resolution) { return englishName(resolution.strResolutionName); }};
constexpr RecordEntries<ModeInfo> kModeEntries{
    "ModeInfo", EntryMatch::AnyChild,
    [](const ModeInfo& mode) -> std::string_view { return mode.strModeName; }};
constexpr RecordEntries<SeparationInfo> kSeparationEntries{
    "SeparationInfo", EntryMatch::AnyChild,
    [](const SeparationInfo& separation) { return englishName(separation.strSeparationName); }};
constexpr RecordEntries<VControlPoint> kVControlPointEntries{"VControlPoint"};
constexpr RecordEntries<PatternInfo> kPatternEntries{"PatternInfo"};
constexpr RecordEntries<MediaInfo> kMediaEntries{
    "MediaInfo", EntryMatch::AnyChild,
    [](const MediaInfo& media) { return englishName(media.strMediaName); }};

// A command that is not a valid escaped string fails the load naming its element; the
// failure stays the std::runtime_error the decoder raised.
std::string readCommand(xml::Node element) {
  try {
    return decodeEscapedString(ReadNodeText(element));
  } catch (const std::runtime_error& error) {
    throw std::runtime_error("commandSet / " + nodeName(element) + ": " + error.what());
  }
}

template <typename Record, typename Write>
void writeList(xml::Document& document, xml::Node root, std::string_view name,
               const win::GrowableArray<Record>& list, Write write) {
  xml::Node element = root.appendChild(document.createElement(name));
  for (const Record& record : list) write(document, element, record);
}

LocalizedText defaultFirmwareDownloadUrl() {
  LocalizedText text;
  text.fill(std::string(kInternationalColorSupportUrl));
  text[kJapanese] = kJapaneseColorSupportUrl;
  return text;
}

// The nInkIndex of the last ink with exactly this short name, or 0.
std::int32_t inkIndexNamed(const DeviceSeries& series, std::string_view shortName) {
  std::int32_t index = 0;
  for (const InkInfo& ink : series.aInkInfoList) {
    if (ink.strShortInkName == shortName) index = ink.nInkIndex;
  }
  return index;
}

// The feed calibration holds one value per model.
void fitFeedCalibration(MediaInfo& media, int modelCount) {
  if (media.aflFeedCalibration.size() == modelCount) return;
  if (!media.aflFeedCalibration.resize(modelCount)) throw win::_com_error(win::E_OUTOFMEMORY);
}

}  // namespace

// ---- DeviceSeriesIO ----

DeviceSeriesIO::DeviceSeriesIO(std::string documentPath) : ICommonIO(std::move(documentPath)) {}

VersionRecord& DeviceSeriesIO::GetVersion(VersionRecord& version) const {
  version = VersionRecord::Parse(kVersion1);
  return version;
}

std::string DeviceSeriesIO::GetRootName() const { return std::string(kRootName); }

bool DeviceSeriesIO::LoadWithoutFallback(DeviceSeries& target, int& mismatchOrder) {
  mismatchOrder = 0;
  return LoadWholeDocument(
      *this, lastError_, [this, &target](xml::Node root) { ReadContent(root, target); }, &mismatchOrder);
}

bool DeviceSeriesIO::Load(DeviceSeries& target) {
  // An older file has nothing this class could read into `target`, so a mismatch of
  // either direction is a failure here.
  int mismatchOrder = 0;
  return LoadWithoutFallback(target, mismatchOrder);
}

void DeviceSeriesIO::ReadContent(xml::Node root, DeviceSeries& target) const {
  PositionalFields children(root, kContentHead);
  // The next child is the list `entries` describes, each entry read by `readEntry`.
  const auto takeList = [&children](auto& list, const auto& entries, auto&& readEntry) {
    children.take([&](xml::Node element) { readRecordList(element, list, entries, readEntry); });
  };
  takeList(target.aModelInfoList, kModelEntries,
           [this](xml::Node element, ModelInfo& model) { ReadModelInfo(element, model); });
  takeList(target.aInkInfoList, kInkEntries,
           [this](xml::Node element, InkInfo& ink) { ReadInkInfo(element, ink); });
  target.aInkConfigInfoList.clear();
  takeList(target.aInkConfigInfoList, kInkConfigEntries,
           [this](xml::Node element, InkConfigInfo& config) { ReadInkConfigInfo(element, config); });
  takeList(
      target.aResolutionInfoList, kResolutionEntries,
      [this](xml::Node element, ResolutionInfo& resolution) { ReadResolutionInfo(element, resolution); });
  takeList(target.aModeInfoList, kModeEntries,
           [this](xml::Node element, ModeInfo& mode) { ReadModeInfo(element, mode); });
  takeList(
      target.aSeparationInfoList, kSeparationEntries,
      [this](xml::Node element, SeparationInfo& separation) { ReadSeparationInfo(element, separation); });
  target.aVControlPointList.clear();
  takeList(target.aVControlPointList, kVControlPointEntries, [](xml::Node element, VControlPoint& point) {
    VControlPointIO().ReadVControlPoint(element, point);
  });
  takeList(target.aPatternInfoList, kPatternEntries,
           [this](xml::Node element, PatternInfo& pattern) { ReadPatternInfo(element, pattern); });

  children.take([&](xml::Node commandSet) {
    PositionalFields commands(commandSet, kCommandNames);
    for (const auto& command : kCommands) {
      std::string CommandSet::*const member = command.second;
      commands.take([&](xml::Node element) { target.commandSet.*member = readCommand(element); });
    }
  });

  takeList(target.aMediaInfoList, kMediaEntries,
           [this](xml::Node element, MediaInfo& media) { ReadMediaInfo(element, media); });

  target.strFirmwareDownloadURL = defaultFirmwareDownloadUrl();
  static const NamedFields<DeviceSeries> tail = {
      {"aPrintChartFileInfoSetList",
       [](xml::Node element, DeviceSeries& series) {
         readPrintChartFileInfoSetList(element, series.aPrintChartFileInfoSetList);
       }},
      {"aInkVolumeInfoList",
       [](xml::Node element, DeviceSeries& series) {
         readInkVolumeInfoList(element, series.aInkVolumeInfoList);
       }},
      {"strFirmwareDownloadURL",
       [](xml::Node element, DeviceSeries& series) {
         readLocalizedText(element, series.strFirmwareDownloadURL);
       }},
  };
  tail.read(children.rest(), target);

  NormalizeDeviceSeries(target);
}

void NormalizeDeviceSeries(DeviceSeries& series) {
  std::optional<win::GrowableArray<std::int32_t>> cmyk;
  for (SeparationInfo& separation : series.aSeparationInfoList) {
    if (!separation.anInputChannelInkIndexList.empty()) continue;
    if (!cmyk) {
      cmyk.emplace();
      for (std::string_view letter : {"C", "M", "Y", "K"})
        appendOrThrow(*cmyk, inkIndexNamed(series, letter));
    }
    separation.anInputChannelInkIndexList = *cmyk;
  }

  for (MediaInfo& media : series.aMediaInfoList) {
    for (PermissionSet& permission : media.aPermissionSetList) {
      for (const SeparationInfo& separation : series.aSeparationInfoList) {
        if (separation.nSeparationIndex != permission.nSeparationIndex) continue;
        fitScreenAngles(permission.screenOption, separation.anInputChannelInkIndexList.size());
        break;
      }
    }
  }
}

xml::Node DeviceSeriesIO::BuildRoot(xml::Document& document, DeviceSeries& source) const {
  xml::Node root = CreateRootElement(document);
  WriteContent(document, root, source);
  return root;
}

void DeviceSeriesIO::WriteContent(xml::Document& document, xml::Node root, DeviceSeries& source) const {
  writeList(document, root, "aModelInfoList", source.aModelInfoList,
            [this](xml::Document& d, xml::Node parent, const ModelInfo& model) {
              WriteModelInfo(d, parent, model);
            });
  writeList(document, root, "aInkInfoList", source.aInkInfoList,
            [this](xml::Document& d, xml::Node parent, const InkInfo& ink) { WriteInkInfo(d, parent, ink); });
  writeList(document, root, "aInkConfigInfoList", source.aInkConfigInfoList,
            [this](xml::Document& d, xml::Node parent, const InkConfigInfo& config) {
              WriteInkConfigInfo(d, parent, config);
            });
  writeList(document, root, "aResolutionInfoList", source.aResolutionInfoList,
            [this](xml::Document& d, xml::Node parent, const ResolutionInfo& resolution) {
              WriteResolutionInfo(d, parent, resolution);
            });
  writeList(
      document, root, "aModeInfoList", source.aModeInfoList,
      [this](xml::Document& d, xml::Node parent, const ModeInfo& mode) { WriteModeInfo(d, parent, mode); });
  writeList(document, root, "aSeparationInfoList", source.aSeparationInfoList,
            [this](xml::Document& d, xml::Node parent, const SeparationInfo& separation) {
              WriteSeparationInfo(d, parent, separation);
            });
  writeList(document, root, "aVControlPointList", source.aVControlPointList,
            [](xml::Document& d, xml::Node parent, const VControlPoint& point) {
              VControlPointIO().WriteVControlPoint(d, parent, point);
            });
  writeList(document, root, "aPatternInfoList", source.aPatternInfoList,
            [this](xml::Document& d, xml::Node parent, const PatternInfo& pattern) {
              WritePatternInfo(d, parent, pattern);
            });

  xml::Node commands = root.appendChild(document.createElement("commandSet"));
  for (const auto& [name, member] : kCommands) {
    commands.appendChild(writeStringElement(document, name, encodeEscapedString(source.commandSet.*member)));
  }

  const int modelCount = source.aModelInfoList.size();
  xml::Node media = root.appendChild(document.createElement("aMediaInfoList"));
  for (MediaInfo& medium : source.aMediaInfoList) {
    fitFeedCalibration(medium, modelCount);
    WriteMediaInfo(document, media, medium);
  }

  root.appendChild(writePrintChartFileInfoSetList(document, source.aPrintChartFileInfoSetList));
  root.appendChild(writeInkVolumeInfoList(document, source.aInkVolumeInfoList));
  root.appendChild(writeLocalizedText(document, "strFirmwareDownloadURL", source.strFirmwareDownloadURL));
}

bool DeviceSeriesIO::SaveWithVersionText(DeviceSeries& source, VersionChoice choice,
                                         const std::optional<std::string>& chosenVersion) {
  if (win::FAILED(win::CoInitialize(nullptr))) return false;
  if (!EnsureMsxmlAvailable()) {
    win::CoUninitialize();
    return false;
  }
  // The version of the file about to be replaced; a mismatch is no error here.
  const std::optional<std::string> versionText =
      choice == VersionChoice::KeepReplaced ? VersionOfReplacedFile(*this) : chosenVersion;

  xml::DocumentPtr document;
  try {
    // The writer fits the media's feed calibration in `source` itself.
    document = NewDocument(0, [&](xml::Document& built, int) { return BuildRoot(built, source); });
    xml::Node root = document->documentElement();
    if (versionText) {
      root.setAttribute("strVersion", *versionText);
    } else {
      WriteVersionAttribute(root);
    }
  } catch (...) {
    // COM stays initialised on this path, as on the platform.
    return false;
  }
  // A failing write of the finished document reaches the caller.
  SaveDocument(document, path);
  document.reset();
  win::CoUninitialize();
  return true;
}

bool DeviceSeriesIO::Save(DeviceSeries& source) {
  return SaveWithVersionText(source, VersionChoice::Own, std::nullopt);
}

bool DeviceSeriesIO::SaveKeepingVersion(DeviceSeries& source) {
  return SaveWithVersionText(source, VersionChoice::KeepReplaced, std::nullopt);
}

bool DeviceSeriesIO::SaveWithVersion(DeviceSeries& source, const VersionRecord& version) {
  return SaveWithVersionText(source, VersionChoice::Given, version.ToString());
}

xml::DocumentPtr DeviceSeriesIO::CreateDocument(DeviceSeries& source) {
  return CreateWholeDocument([&](xml::Document& document) { return BuildRoot(document, source); });
}

void DeviceSeriesIO::ReadDocument(const xml::DocumentPtr& document, DeviceSeries& target) {
  DeviceSeriesIO io("");
  io.ReadContent(io.FindRootElement(document), target);
}

// ---- DeviceSeriesIO2 ----

DeviceSeriesIO2::DeviceSeriesIO2(std::string documentPath)
    : ICommonIO(documentPath), DeviceSeriesIO(documentPath) {}

VersionRecord& DeviceSeriesIO2::GetVersion(VersionRecord& version) const {
  version = VersionRecord::Parse(kVersion2);
  return version;
}

bool DeviceSeriesIO2::Load(DeviceSeries& target) {
  int mismatchOrder = 0;
  if (LoadWithoutFallback(target, mismatchOrder)) return true;
  if (mismatchOrder >= 0) return false;
  // An older file: the older class reads it, from the document already loaded.
  DeviceSeriesIO older(path);
  std::swap(older.creator, creator);
  const bool loaded = older.Load(target);
  std::swap(older.creator, creator);
  fileVersionNumber = older.GetFileVersionNumber();
  if (!loaded) lastError_ = older.LastError();
  return loaded;
}

bool SaveDeviceSeries(const std::string& path, DeviceSeries& series) {
  return DeviceSeriesIO(path).Save(series);
}

}  // namespace pelagon
