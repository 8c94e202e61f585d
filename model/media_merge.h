#pragma once
// The media merge: a new device series takes over the media the user added to the installed
// one and the visibility the user chose for the media both have.

#include <functional>
#include <string>
#include <vector>

#include <pelagon/model/device_series.h>

namespace pelagon {

// Only the first ten languages (English to Spanish) name a medium for the merge.
inline constexpr int kMergeNameLanguages = 10;

// What a merge did to each medium, by position in the merged series' media list (`fromNew`,
// `visibilityTakenOver`) and in the installed one (`appended` are installed positions; they
// follow the new file's media in the order given).
struct MediaMergeReport {
  // New media no installed medium matched: kept as the new file has them.
  std::vector<int> fromNew;
  // New media that keep the visibility of the installed medium of the same name.
  std::vector<int> visibilityTakenOver;
  // Installed media no new medium matched, appended as they are.
  std::vector<int> appended;
};

bool SameMediaName(const MediaInfo& a, const MediaInfo& b);

// Merges the installed media into `fresh`: a match by name (among the media `fresh` had at
// the start) takes the installed visibility, the later of two installed media of one name
// winning; an installed medium without a match is appended.
MediaMergeReport MergeMedia(const DeviceSeries& installed, DeviceSeries& fresh);

// Cuts every permission set's calibration list to the number of input channels of its
// separation; a list that is not longer, or whose separation does not exist, stays.
void FitCalibrationLists(DeviceSeries& series);

// Writes the new device-series file to the path it is given; true when it did.
using NewSeriesWriter = std::function<bool(const std::string& path)>;

struct MediaMergeOutcome {
  enum class Result {
    // No installed file, or one that is not well-formed XML: the new file went in directly.
    InstalledDirectly,
    // The installed file is not a device series this library reads: nothing was changed.
    InstalledUnreadable,
    // The new file could not be read: nothing was changed (its temporary copy stays).
    NewUnreadable,
    // The merged series could not be built: nothing was changed, no temporary file stays.
    SaveFailed,
    Merged,
  };
  Result result = Result::Merged;
  MediaMergeReport report;
};

// Installs a new device series over the installed file `target`, keeping the media the
// user added and the visibility the user chose: `target`.tmp receives the new file,
// `target`.out the merged series, which then replaces `target` in one rename. A failing
// write of the merged document, or a refused replacement of `target` (a read-only file),
// raises _com_error, leaves `target` as it was and leaves no temporary or output file.
MediaMergeOutcome MergeMediaUpdateFrom(const std::string& target, const NewSeriesWriter& writeNewFile);

}  // namespace pelagon
