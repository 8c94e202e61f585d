#pragma once
// The device-series document (".dsr"): every record of one printer series, read and written
// as a whole under the root "DeviceSeries".

#include <optional>
#include <string>
#include <string_view>

#include <pelagon/model/ink_info.h>
#include <pelagon/model/ink_volume_info.h>
#include <pelagon/model/media_info.h>
#include <pelagon/model/mode_info.h>
#include <pelagon/model/model_info.h>
#include <pelagon/model/resolution_info.h>
#include <pelagon/model/separation_info.h>
#include <pelagon/model/v_control_point.h>
#include <pelagon/platform/growable_array.h>
#include <pelagon/values/localized_text.h>
#include <pelagon/xmlio/common_io.h>

namespace pelagon {

// The printer command strings, raw bytes (escape bytes, line feeds and placeholder words
// such as "?CUTFORCE?" that the host fills in). The document stores them escaped.
struct CommandSet {
  std::string strInitialize;
  std::string strPrintHeader;
  std::string strPrintTailer;
  std::string strCutHeader;
  std::string strCutTailer;
  std::string strPageFeed;
  std::string strPageRewind;
  std::string strSheetCut;
  std::string strCancel;

  friend bool operator==(const CommandSet&, const CommandSet&) = default;
};

struct DeviceSeries {
  win::GrowableArray<ModelInfo> aModelInfoList;
  win::GrowableArray<InkInfo> aInkInfoList;
  win::GrowableArray<InkConfigInfo> aInkConfigInfoList;
  win::GrowableArray<ResolutionInfo> aResolutionInfoList;
  win::GrowableArray<ModeInfo> aModeInfoList;
  win::GrowableArray<SeparationInfo> aSeparationInfoList;
  win::GrowableArray<VControlPoint> aVControlPointList;
  win::GrowableArray<PatternInfo> aPatternInfoList;
  CommandSet commandSet;
  win::GrowableArray<MediaInfo> aMediaInfoList;
  // A second media list of the host's; the document neither reads nor writes it.
  win::GrowableArray<MediaInfo> aSecondMediaInfoList;
  win::GrowableArray<PrintChartFileInfoSet> aPrintChartFileInfoSetList;
  win::GrowableArray<InkVolumeInfo> aInkVolumeInfoList;
  LocalizedText strFirmwareDownloadURL;

  friend bool operator==(const DeviceSeries&, const DeviceSeries&) = default;
};

// Where a series read without its own firmware download address sends people: the colour
// support pages, one for Japanese and one for every other language.
inline constexpr std::string_view kJapaneseColorSupportUrl = "https://www.halden.co.jp/support/color/";
inline constexpr std::string_view kInternationalColorSupportUrl = "https://www.halden.com/support/color/";

// Reads and writes a device-series file of format version "1.0.0.0".
class DeviceSeriesIO : public virtual ICommonIO {
public:
  explicit DeviceSeriesIO(std::string documentPath);

  VersionRecord& GetVersion(VersionRecord& version) const override;
  std::string GetRootName() const override;

  // Reads the file into `target`, which should be a fresh series (most lists are appended
  // to). False on any failure; what was read before it stays in `target`.
  bool Load(DeviceSeries& target);
  // Write the whole file with this class's version, or with the version of the file being
  // replaced. The writer fits each medium's feed calibration to the number of models, in
  // `source` too. False when the document cannot be built; a failing write of the finished
  // document raises _com_error.
  bool Save(DeviceSeries& source);
  bool SaveKeepingVersion(DeviceSeries& source);
  // As Save, with `version` in "strVersion" (a conversion that keeps its input's version).
  bool SaveWithVersion(DeviceSeries& source, const VersionRecord& version);
  // The document in memory, without saving; null when it cannot be built.
  xml::DocumentPtr CreateDocument(DeviceSeries& source);
  // Checks the root and version of `document` and reads it; every exception passes.
  static void ReadDocument(const xml::DocumentPtr& document, DeviceSeries& target);
  // Why the last Load failed, for people.
  const std::string& LastError() const { return lastError_; }

protected:
  bool LoadWithoutFallback(DeviceSeries& target, int& mismatchOrder);

  std::string lastError_;

private:
  enum class VersionChoice { Own, KeepReplaced, Given };
  bool SaveWithVersionText(DeviceSeries& source, VersionChoice choice,
                           const std::optional<std::string>& chosenVersion);
  xml::Node BuildRoot(xml::Document& document, DeviceSeries& source) const;
  void WriteContent(xml::Document& document, xml::Node root, DeviceSeries& source) const;
  void ReadContent(xml::Node root, DeviceSeries& target) const;
};

// The current format, "3.3.0.0". A file of an older format under the version check is read
// by the older class instead.
class DeviceSeriesIO2 : public DeviceSeriesIO {
public:
  explicit DeviceSeriesIO2(std::string documentPath);

  VersionRecord& GetVersion(VersionRecord& version) const override;
  bool Load(DeviceSeries& target);
};

// Saves `series` to `path` with DeviceSeriesIO.
bool SaveDeviceSeries(const std::string& path, DeviceSeries& series);

// The separation a permission set uses: the first with its nSeparationIndex; null when there
// is none.
const SeparationInfo* FindSeparation(const DeviceSeries& series, const PermissionSet& permission);

// The reader's normalisations after the content is read: separations without input
// channels get the CMYK inks, and each permission set's screen angles are fitted to its
// separation's channels. A permission set whose separation does not exist is left as it is.
void NormalizeDeviceSeries(DeviceSeries& series);

}  // namespace pelagon
