#include <pelagon/model/media_merge.h>

#include <pelagon/platform/files.h>
#include <pelagon/values/record_fields.h>
#include <pelagon/xmlio/dom_creator.h>

namespace pelagon {

namespace {

// Deletes the merge's own files when it ends early; what is not there is no error.
struct LeftoverFiles {
  std::string temporary;
  std::string output;
  ~LeftoverFiles() {
    win::DeleteFileA(temporary.c_str());
    win::DeleteFileA(output.c_str());
  }
};

// The last platform error, with the path, as the DOM's save raises its own.
[[noreturn]] void raiseFileError(const std::string& path, const std::string& what) {
  const win::DWORD code = win::GetLastError();
  const win::_com_error error(win::HRESULT_FROM_WIN32(code));
  throw win::_com_error(error.Error(), "'" + path + "' " + what + ": " + error.ErrorMessage());
}

}  // namespace

bool SameMediaName(const MediaInfo& a, const MediaInfo& b) {
  for (int language = 0; language < kMergeNameLanguages; ++language) {
    const auto i = static_cast<std::size_t>(language);
    if (a.strMediaName[i] != b.strMediaName[i]) return false;
  }
  return true;
}

MediaMergeReport MergeMedia(const DeviceSeries& installed, DeviceSeries& fresh) {
  MediaMergeReport report;
  const int newCount = fresh.aMediaInfoList.size();
  std::vector<bool> matched(static_cast<std::size_t>(newCount), false);
  for (int old = 0; old < installed.aMediaInfoList.size(); ++old) {
    const MediaInfo& oldMedium = installed.aMediaInfoList[old];
    int match = -1;
    // Media appended below are never candidates.
    for (int candidate = 0; candidate < newCount && match < 0; ++candidate) {
      if (SameMediaName(fresh.aMediaInfoList[candidate], oldMedium)) match = candidate;
    }
    if (match >= 0) {
      fresh.aMediaInfoList[match].bVisibleMedia = oldMedium.bVisibleMedia;
      matched[static_cast<std::size_t>(match)] = true;
    } else {
      appendOrThrow(fresh.aMediaInfoList, oldMedium);
      report.appended.push_back(old);
    }
  }
  for (int i = 0; i < newCount; ++i) {
    (matched[static_cast<std::size_t>(i)] ? report.visibilityTakenOver : report.fromNew).push_back(i);
  }
  return report;
}

void FitCalibrationLists(DeviceSeries& series) {
  for (MediaInfo& medium : series.aMediaInfoList) {
    for (PermissionSet& permission : medium.aPermissionSetList) {
      const SeparationInfo* separation = FindSeparation(series, permission);
      if (separation == nullptr) continue;
      const int channels = separation->anInputChannelInkIndexList.size();
      if (permission.aCalibrationInfoList.size() > channels) permission.aCalibrationInfoList.resize(channels);
    }
  }
}

MediaMergeOutcome MergeMediaUpdateFrom(const std::string& target, const NewSeriesWriter& writeNewFile) {
  using Result = MediaMergeOutcome::Result;
  MediaMergeOutcome outcome;
  const std::string temporary = target + ".tmp";
  const std::string output = target + ".out";

  const auto installDirectly = [&] {
    writeNewFile(target);
    outcome.result = Result::InstalledDirectly;
    return outcome;
  };
  if (win::GetFileAttributesA(target.c_str()) == win::INVALID_FILE_ATTRIBUTES) return installDirectly();
  {
    MSXMLDOMCreator check;
    // Without a working XML backend nothing can be told about the installed file; taking
    // it for a broken one would put the new file over the user's media.
    if (!check.comInitialized) {
      outcome.result = Result::InstalledUnreadable;
      return outcome;
    }
    check.LoadDocument(target);
    if (check.hasError || !check.document) return installDirectly();
  }

  DeviceSeries installed;
  if (!DeviceSeriesIO2(target).Load(installed)) {
    outcome.result = Result::InstalledUnreadable;
    return outcome;
  }
  writeNewFile(temporary);
  DeviceSeries fresh;
  if (!DeviceSeriesIO2(temporary).Load(fresh)) {
    outcome.result = Result::NewUnreadable;
    return outcome;
  }
  // From here on a failure leaves neither the temporary nor the output file behind.
  LeftoverFiles leftovers{temporary, output};
  // The version-keeping save below repeats the version of the file it replaces: the new one.
  // Without that copy the save would go on with the wrong version, or fail later on a folder
  // standing at the output path.
  if (!win::CopyFileA(temporary.c_str(), output.c_str(), win::FALSE))
    raiseFileError(output, "cannot be written");

  outcome.report = MergeMedia(installed, fresh);
  FitCalibrationLists(fresh);

  if (!DeviceSeriesIO2(output).SaveKeepingVersion(fresh)) {
    // Moving the unmerged copy over the installed file would lose the user's media; the
    // installed file stays as it was instead.
    outcome.result = Result::SaveFailed;
    return outcome;
  }
  win::DeleteFileA(temporary.c_str());
  if (!win::MoveFileExA(output.c_str(), target.c_str(), win::MOVEFILE_REPLACE_EXISTING))
    raiseFileError(target, "cannot be replaced by the merged file");
  outcome.result = Result::Merged;
  return outcome;
}

}  // namespace pelagon
