#pragma once
// The media-setting file (".rmt"): the medium presets of one printer series under the root
// "Halden_Media_File", beside the series' device-series file.

#include <string>
#include <string_view>
#include <utility>

#include <pelagon/model/media_info.h>
#include <pelagon/model/whole_document.h>
#include <pelagon/platform/growable_array.h>
#include <pelagon/xmlio/common_io.h>
#include <pelagon/xmlio/dom.h>

namespace pelagon {

struct MediaFile {
  // The file's version as its root carries it; saving writes it only through SaveWithVersion.
  VersionRecord version;
  // "Pelagon" in every carried file.
  std::string strSeriesName;
  // The presets in the order they are offered; the element "data".
  win::GrowableArray<MediaInfo> media;

  friend bool operator==(const MediaFile&, const MediaFile&) = default;
};

// What lies below the root: strSeriesName, data and ProfileList. The first two are read by
// position, whatever their names (a missing one fails the load); every child of "data" is
// read as a medium; ProfileList and anything after it are not read, and ProfileList is
// always written empty.
void appendMediaFileContent(xml::Node root, const MediaFile& source);
void readMediaFileContent(xml::Node root, MediaFile& target);

// Reads and writes a media-setting file of format version "5.0.1.0". Files of 5.0.x.x are
// always read; another major or minor version is refused only while the application's title
// turns the version check on.
using MediaFileIO =
    WholeDocumentIO<MediaFile, "Halden_Media_File", "5.0.1.0", appendMediaFileContent, readMediaFileContent>;

}  // namespace pelagon
