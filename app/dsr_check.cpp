#include <pelagon/app/dsr_check.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <utility>

#include <pelagon/values/read_error.h>

namespace pelagon::dsr {

namespace {

constexpr std::int32_t kNoReference = -1;
// Models mark an empty head slot with 0; -1 is taken as empty too, as elsewhere.
constexpr std::int32_t kEmptyModelSlot = 0;

// The index numbers of one list: where each number first occurs, and for every later record
// with a number already taken, the position of the first.
class IndexTable {
public:
  template <typename Record, typename Key>
  IndexTable(const win::GrowableArray<Record>& list, Key key) {
    first_.reserve(static_cast<std::size_t>(list.size()));
    duplicateOf_.assign(static_cast<std::size_t>(list.size()), -1);
    for (int position = 0; position < list.size(); ++position) {
      const auto [at, inserted] = first_.try_emplace(key(list[position]), position);
      if (!inserted) duplicateOf_[static_cast<std::size_t>(position)] = at->second;
    }
  }

  bool contains(std::int32_t number) const { return first_.count(number) != 0; }
  std::optional<int> find(std::int32_t number) const {
    const auto at = first_.find(number);
    if (at == first_.end()) return std::nullopt;
    return at->second;
  }
  // The position of the first record with the same number, or -1 when this is the first.
  int duplicateOf(int position) const { return duplicateOf_[static_cast<std::size_t>(position)]; }

private:
  std::unordered_map<std::int32_t, int> first_;
  std::vector<int> duplicateOf_;
};

std::string entry(std::string_view list, int position) { return entryLabel(list, position); }

// "list[position]", then the English name in quotes when there is one, then the record's
// own index field and number in parentheses when it has one.
std::string label(std::string_view list, int position, std::string_view name,
                  std::string_view indexField = {}, std::int32_t index = 0) {
  std::string result = entryLabel(list, position, name);
  if (!indexField.empty()) {
    result += " (";
    result += indexField;
    result += ' ';
    result += std::to_string(index);
    result += ')';
  }
  return result;
}

std::string english(const LocalizedText& text) { return text[0]; }

constexpr auto kNoName = [](const auto&) { return std::string_view(); };

class Checker {
public:
  Checker(const DeviceSeries& series, const PassmaskList* passmasks)
      : series_(series),
        passmasks_(passmasks),
        inks_(series.aInkInfoList, [](const InkInfo& r) { return r.nInkIndex; }),
        inkConfigs_(series.aInkConfigInfoList, [](const InkConfigInfo& r) { return r.nInkConfigIndex; }),
        resolutions_(series.aResolutionInfoList, [](const ResolutionInfo& r) { return r.nResolutionIndex; }),
        modes_(series.aModeInfoList, [](const ModeInfo& r) { return r.nModeIndex; }),
        separations_(series.aSeparationInfoList, [](const SeparationInfo& r) { return r.nSeparationIndex; }),
        vControls_(series.aVControlPointList, [](const VControlPoint& r) { return r.nVControlIndex; }),
        patterns_(series.aPatternInfoList, [](const PatternInfo& r) { return r.nFMPatternIndex; }),
        printCharts_(series.aPrintChartFileInfoSetList,
                     [](const PrintChartFileInfoSet& r) { return r.nIndex; }),
        inkVolumes_(series.aInkVolumeInfoList, [](const InkVolumeInfo& r) { return r.nInkVolumeIndex; }) {}

  std::vector<std::string> run() {
    checkModels();
    checkNumbersUnique(series_.aInkInfoList, &InkInfo::nInkIndex, "aInkInfoList", "nInkIndex", inks_,
                       [](const InkInfo& r) { return english(r.strLongInkName); });
    checkInkConfigs();
    checkNumbersUnique(series_.aResolutionInfoList, &ResolutionInfo::nResolutionIndex, "aResolutionInfoList",
                       "nResolutionIndex", resolutions_,
                       [](const ResolutionInfo& r) { return english(r.strResolutionName); });
    checkModes();
    checkSeparations();
    checkNumbersUnique(series_.aVControlPointList, &VControlPoint::nVControlIndex, "aVControlPointList",
                       "nVControlIndex", vControls_, kNoName);
    checkNumbersUnique(series_.aPatternInfoList, &PatternInfo::nFMPatternIndex, "aPatternInfoList",
                       "nFMPatternIndex", patterns_, kNoName);
    checkMedia();
    checkNumbersUnique(series_.aPrintChartFileInfoSetList, &PrintChartFileInfoSet::nIndex,
                       "aPrintChartFileInfoSetList", "nIndex", printCharts_, kNoName);
    checkNumbersUnique(series_.aInkVolumeInfoList, &InkVolumeInfo::nInkVolumeIndex, "aInkVolumeInfoList",
                       "nInkVolumeIndex", inkVolumes_, kNoName);
    if (passmasks_ != nullptr) {
      checkNumbersUnique(passmasks_->passmasks, &Passmask::nPassmaskIndex, "aPassmaskList", "nPassmaskIndex",
                         passmaskTable(), [](const Passmask& r) { return r.strPassmaskName; });
    }
    return std::move(lines_);
  }

private:
  void report(const std::string& record, std::string_view problem) {
    std::string line = record;
    line += ": ";
    line += problem;
    lines_.push_back(std::move(line));
  }

  void reportMissing(const std::string& record, std::string_view field, std::int32_t value,
                     std::string_view target) {
    std::string problem(field);
    problem += ' ' + std::to_string(value) + " matches no ";
    problem += target;
    report(record, problem);
  }

  void checkReference(const std::string& record, std::string_view field, std::int32_t value,
                      const IndexTable& table, std::string_view target) {
    if (!table.contains(value)) reportMissing(record, field, value, target);
  }

  template <typename List>
  void checkReferenceList(const std::string& record, std::string_view field, const List& values,
                          const IndexTable& table, std::string_view target) {
    int position = 0;
    for (const std::int32_t value : values) {
      if (!table.contains(value)) reportMissing(record, entry(field, position), value, target);
      ++position;
    }
  }

  // The first holder is named by `firstPath` (the path down to its list) and its position.
  void checkDuplicate(const std::string& record, const IndexTable& table, int position,
                      std::string_view field, std::int32_t value, std::string_view firstPath,
                      std::string_view list) {
    const int first = table.duplicateOf(position);
    if (first < 0) return;
    std::string problem(field);
    problem += ' ' + std::to_string(value) + " is already used by ";
    problem += firstPath;
    problem += entry(list, first);
    report(record, problem);
  }

  // The label of a record of a top-level numbered list, after the check that no earlier record
  // has its number.
  std::string numberedRecord(std::string_view list, int position, std::string_view name,
                             std::string_view field, std::int32_t number, const IndexTable& table) {
    std::string record = label(list, position, name, field, number);
    checkDuplicate(record, table, position, field, number, "", list);
    return record;
  }

  // A numbered list whose records refer to nothing. `name` gives a record's name for its label
  // (kNoName where records have none).
  template <typename Record, typename Name>
  void checkNumbersUnique(const win::GrowableArray<Record>& list, const std::int32_t Record::*number,
                          std::string_view listName, std::string_view field, const IndexTable& table,
                          Name name) {
    for (int i = 0; i < list.size(); ++i)
      numberedRecord(listName, i, name(list[i]), field, list[i].*number, table);
  }

  void checkModels() {
    const auto& models = series_.aModelInfoList;
    for (int i = 0; i < models.size(); ++i) {
      const ModelInfo& model = models[i];
      const std::string record = label("aModelInfoList", i, model.strLongModelName);
      for (std::size_t slot = 0; slot < model.nDefaultInkIndex.size(); ++slot) {
        const std::int32_t ink = model.nDefaultInkIndex[slot];
        if (ink == kEmptyModelSlot || ink == kNoReference) continue;
        checkReference(record, entry("nDefaultInkIndex", static_cast<int>(slot)), ink, inks_, "ink");
      }
    }
  }

  void checkInkConfigs() {
    const auto& configs = series_.aInkConfigInfoList;
    for (int i = 0; i < configs.size(); ++i) {
      const InkConfigInfo& config = configs[i];
      const std::string record = numberedRecord("aInkConfigInfoList", i, english(config.strInkConfigName),
                                                "nInkConfigIndex", config.nInkConfigIndex, inkConfigs_);
      for (std::size_t slot = 0; slot < config.nInkIndexList.size(); ++slot) {
        const std::int32_t ink = config.nInkIndexList[slot];
        if (ink == kNoReference) continue;
        checkReference(record, entry("nInkIndexList", static_cast<int>(slot)), ink, inks_, "ink");
      }
    }
  }

  void checkModes() {
    const auto& modes = series_.aModeInfoList;
    for (int i = 0; i < modes.size(); ++i) {
      const ModeInfo& mode = modes[i];
      const std::string record =
          numberedRecord("aModeInfoList", i, mode.strModeName, "nModeIndex", mode.nModeIndex, modes_);
      if (mode.nInkVolumeIndex != kNoReference) {
        checkReference(record, "nInkVolumeIndex", mode.nInkVolumeIndex, inkVolumes_, "ink volume");
      }
    }
  }

  void checkSeparations() {
    const auto& separations = series_.aSeparationInfoList;
    for (int i = 0; i < separations.size(); ++i) {
      const SeparationInfo& separation = separations[i];
      const std::string record =
          numberedRecord("aSeparationInfoList", i, english(separation.strSeparationName), "nSeparationIndex",
                         separation.nSeparationIndex, separations_);
      const auto& tables = separation.aSeparationTableList;
      for (int t = 0; t < tables.size(); ++t) {
        if (tables[t].nInkIndex == kNoReference) continue;
        checkReference(record + ' ' + entry("aSeparationTableList", t), "nInkIndex", tables[t].nInkIndex,
                       inks_, "ink");
      }
      checkReference(record, "nPrintChartFileInfoIndex", separation.nPrintChartFileInfoIndex, printCharts_,
                     "print-chart file set");
      checkReferenceList(record, "anInputChannelInkIndexList", separation.anInputChannelInkIndexList, inks_,
                         "ink");
    }
  }

  void checkMedia() {
    const auto& media = series_.aMediaInfoList;
    for (int i = 0; i < media.size(); ++i) checkMedium(i, media[i]);
  }

  // Permission sets and quality levels are numbered within their medium only.
  void checkMedium(int position, const MediaInfo& medium) {
    const std::string mediumPath = entry("aMediaInfoList", position);
    const std::string record = label("aMediaInfoList", position, english(medium.strMediaName));
    const IndexTable permissions(medium.aPermissionSetList,
                                 [](const PermissionSet& r) { return r.nPermissionIndex; });
    const IndexTable qualities(medium.aQualityInfoList, [](const QualityInfo& r) { return r.nQualityLevel; });

    for (int p = 0; p < medium.aPermissionSetList.size(); ++p) {
      const PermissionSet& permission = medium.aPermissionSetList[p];
      const std::string permissionRecord =
          record + ' ' + label("aPermissionSetList", p, {}, "nPermissionIndex", permission.nPermissionIndex);
      checkDuplicate(permissionRecord, permissions, p, "nPermissionIndex", permission.nPermissionIndex,
                     mediumPath + ' ', "aPermissionSetList");
      checkPermissionSet(permissionRecord, permission);
    }

    for (int q = 0; q < medium.aQualityInfoList.size(); ++q) {
      const QualityInfo& quality = medium.aQualityInfoList[q];
      const std::string qualityRecord = record + ' ' +
                                        label("aQualityInfoList", q, english(quality.strQualityName),
                                              "nQualityLevel", quality.nQualityLevel);
      checkDuplicate(qualityRecord, qualities, q, "nQualityLevel", quality.nQualityLevel, mediumPath + ' ',
                     "aQualityInfoList");
      checkReferenceList(qualityRecord, "anPermissionIndexList", quality.anPermissionIndexList, permissions,
                         "permission set of this medium");
    }

    if (!medium.aQualityInfoList.empty()) {
      checkReference(record, "nDefaultLevel", medium.nDefaultLevel, qualities,
                     "quality level of this medium");
    }
  }

  void checkPermissionSet(const std::string& record, const PermissionSet& permission) {
    checkReferenceList(record, "anInkConfigIndexList", permission.anInkConfigIndexList, inkConfigs_,
                       "ink configuration");
    checkReference(record, "nResolutionIndex", permission.nResolutionIndex, resolutions_, "resolution");
    checkReference(record, "nModeIndex", permission.nModeIndex, modes_, "print mode");
    if (passmasks_ != nullptr) {
      checkReference(record, "nPassmaskIndex", permission.nPassmaskIndex, passmaskTable(), "passmask");
    }
    checkReferenceList(record, "anVControlIndexList", permission.anVControlIndexList, vControls_,
                       "V-control point");
    checkReferenceList(record, "anFMPatternIndexList", permission.anFMPatternIndexList, patterns_,
                       "FM pattern");

    const std::optional<int> separation = separations_.find(permission.nSeparationIndex);
    if (!separation) {
      reportMissing(record, "nSeparationIndex", permission.nSeparationIndex, "separation");
      return;
    }
    // One calibration record per input channel of the separation, in channel order.
    const int channels = series_.aSeparationInfoList[*separation].anInputChannelInkIndexList.size();
    const int calibrations = permission.aCalibrationInfoList.size();
    if (calibrations != channels) {
      report(record, "aCalibrationInfoList has " + std::to_string(calibrations) + " entries but separation " +
                         std::to_string(permission.nSeparationIndex) + " has " + std::to_string(channels) +
                         " input channels");
    }
  }

  // Built on first use, so that a check without a passmask list builds nothing for it.
  const IndexTable& passmaskTable() {
    if (!passmaskTable_) {
      passmaskTable_.emplace(passmasks_->passmasks, [](const Passmask& r) { return r.nPassmaskIndex; });
    }
    return *passmaskTable_;
  }

  const DeviceSeries& series_;
  const PassmaskList* passmasks_;
  const IndexTable inks_;
  const IndexTable inkConfigs_;
  const IndexTable resolutions_;
  const IndexTable modes_;
  const IndexTable separations_;
  const IndexTable vControls_;
  const IndexTable patterns_;
  const IndexTable printCharts_;
  const IndexTable inkVolumes_;
  std::optional<IndexTable> passmaskTable_;
  std::vector<std::string> lines_;
};

}  // namespace

std::vector<std::string> CheckDeviceSeries(const DeviceSeries& series, const PassmaskList* passmasks) {
  return Checker(series, passmasks).run();
}

}  // namespace pelagon::dsr
