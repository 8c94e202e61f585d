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

constexpr ElementName kRootName("DeviceSeries");
constexpr std::string_view kVersion1 = "1.0.0.0";
constexpr std::string_view kVersion2 = "3.3.0.0";
constexpr std::size_t kJapanese = 6;

// A command that is not a valid escaped string fails the load naming its element; the
// failure stays the std::runtime_error the decoder raised.
std::string readCommand(xml::Node element) {
  try {
    return decodeEscapedString(ReadNodeText(element));
  } catch (const std::runtime_error& error) {
    throw std::runtime_error("commandSet / " + nodeName(element) + ": " + error.what());
  }
}

// The nine commands in document order, all read by position and stored escaped.
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

void writeCommands(xml::Node parent, std::string_view name, const DeviceSeries& series) {
  xml::Node commands = parent.appendElement(name);
  for (const auto& [command, member] : kCommands) {
    appendValue(commands, command, encodeEscapedString(series.commandSet.*member));
  }
}

void readCommands(xml::Node element, DeviceSeries& series) {
  PositionalFields commands(element, kCommandNames);
  for (const auto& command : kCommands) {
    std::string CommandSet::*const member = command.second;
    commands.take([&](xml::Node child) { series.commandSet.*member = readCommand(child); });
  }
}

std::string_view englishName(const LocalizedText& text) { return text[0]; }

constexpr auto kModelEntries =
    ModelInfoIO::Entries([](const ModelInfo& model) -> std::string_view { return model.strLongModelName; });
constexpr auto kInkEntries =
    InkInfoIO::Entries([](const InkInfo& ink) { return englishName(ink.strLongInkName); });
constexpr auto kInkConfigEntries =
    InkConfigInfoIO::Entries([](const InkConfigInfo& config) { return englishName(config.strInkConfigName); });
constexpr auto kResolutionEntries = ResolutionInfoIO::Entries(
    [](const ResolutionInfo& resolution) { return englishName(resolution.strResolutionName); });
constexpr auto kModeEntries =
    ModeInfoIO::Entries([](const ModeInfo& mode) -> std::string_view { return mode.strModeName; });
constexpr auto kSeparationEntries = SeparationInfoIO::Entries(
    [](const SeparationInfo& separation) { return englishName(separation.strSeparationName); });
constexpr auto kVControlPointEntries = VControlPointIO::Entries();
constexpr auto kPatternEntries = PatternInfoIO::Entries();

void writePrintCharts(xml::Node parent, std::string_view, const DeviceSeries& series) {
  appendPrintChartFileInfoSetList(parent, series.aPrintChartFileInfoSetList);
}
void readPrintCharts(xml::Node element, DeviceSeries& series) {
  readPrintChartFileInfoSetList(element, series.aPrintChartFileInfoSetList);
}
void writeInkVolumes(xml::Node parent, std::string_view, const DeviceSeries& series) {
  appendInkVolumeInfoList(parent, series.aInkVolumeInfoList);
}
void readInkVolumes(xml::Node element, DeviceSeries& series) {
  readInkVolumeInfoList(element, series.aInkVolumeInfoList);
}

// The root's children: the first ten by position, the rest by name.
constexpr std::size_t kContentHeadCount = 10;
constexpr std::array kContentFields{
    recordListField<&DeviceSeries::aModelInfoList, kModelEntries>("aModelInfoList"),
    recordListField<&DeviceSeries::aInkInfoList, kInkEntries>("aInkInfoList"),
    recordListField<&DeviceSeries::aInkConfigInfoList, kInkConfigEntries>("aInkConfigInfoList"),
    recordListField<&DeviceSeries::aResolutionInfoList, kResolutionEntries>("aResolutionInfoList"),
    recordListField<&DeviceSeries::aModeInfoList, kModeEntries>("aModeInfoList"),
    recordListField<&DeviceSeries::aSeparationInfoList, kSeparationEntries>("aSeparationInfoList"),
    recordListField<&DeviceSeries::aVControlPointList, kVControlPointEntries>("aVControlPointList"),
    recordListField<&DeviceSeries::aPatternInfoList, kPatternEntries>("aPatternInfoList"),
    customField<DeviceSeries, writeCommands, readCommands>("commandSet"),
    recordListField<&DeviceSeries::aMediaInfoList, kMediaInfoEntries>("aMediaInfoList"),
    customField<DeviceSeries, writePrintCharts, readPrintCharts>("aPrintChartFileInfoSetList"),
    customField<DeviceSeries, writeInkVolumes, readInkVolumes>("aInkVolumeInfoList"),
    field<&DeviceSeries::strFirmwareDownloadURL>("strFirmwareDownloadURL"),
};

constexpr auto contentLayout = layoutOf<kRootName, kContentFields, kContentHeadCount>;

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

std::string DeviceSeriesIO::GetRootName() const { return std::string(kRootName.view()); }

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
  // These two lists are replaced, the others appended to.
  target.aInkConfigInfoList.clear();
  target.aVControlPointList.clear();
  PositionalFields children = contentLayout().readHead(root, target);
  target.strFirmwareDownloadURL = defaultFirmwareDownloadUrl();
  contentLayout().readTail(children, target);
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
      if (const SeparationInfo* separation = FindSeparation(series, permission))
        fitScreenAngles(permission.screenOption, separation->anInputChannelInkIndexList.size());
    }
  }
}

const SeparationInfo* FindSeparation(const DeviceSeries& series, const PermissionSet& permission) {
  for (const SeparationInfo& separation : series.aSeparationInfoList) {
    if (separation.nSeparationIndex == permission.nSeparationIndex) return &separation;
  }
  return nullptr;
}

xml::Node DeviceSeriesIO::BuildRoot(xml::Document& document, DeviceSeries& source) const {
  xml::Node root = CreateRootElement(document);
  WriteContent(document, root, source);
  return root;
}

void DeviceSeriesIO::WriteContent(xml::Document&, xml::Node root, DeviceSeries& source) const {
  for (MediaInfo& medium : source.aMediaInfoList) fitFeedCalibration(medium, source.aModelInfoList.size());
  appendFields<DeviceSeries>(root, kContentFields, source);
}

bool DeviceSeriesIO::SaveWithVersionText(DeviceSeries& source, VersionChoice choice,
                                         const std::optional<std::string>& chosenVersion) {
  // COM stays initialised on every failure after the backend check, as on the platform; a
  // failing write of the finished document reaches the caller.
  constexpr SaveRules rules{.keepComIfNotBuilt = true, .keepComIfWriteFails = true};
  std::optional<std::string> versionText;
  // The version of the file about to be replaced; a mismatch is no error here.
  const auto chooseVersion = [&] {
    versionText = choice == VersionChoice::KeepReplaced ? VersionOfReplacedFile(*this) : chosenVersion;
  };
  const auto build = [&](xml::Document& document) {
    // The writer fits the media's feed calibration in `source` itself.
    xml::Node root = BuildRoot(document, source);
    if (versionText) {
      root.setAttribute("strVersion", *versionText);
    } else {
      WriteVersionAttribute(root);
    }
    return root;
  };
  return SaveNewDocument(path, xml::SaveForm::Compact, rules, chooseVersion, build, [] {}).outcome ==
         SaveOutcome::Saved;
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
