#pragma once
// The media-setting file (".rmt"): the medium presets of one printer series under the root
// "Halden_Media_File", beside the series' device-series file.

#include <string>

#include <pelagon/model/media_info.h>
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

// Reads and writes a media-setting file of format version "5.0.1.0". Files of 5.0.x.x are
// always read; another major or minor version is refused only while the application's title
// turns the version check on. The root's children are strSeriesName, data and ProfileList:
// the first two are read by position, whatever their names (a missing one fails the load);
// every child of "data" is read as a medium; ProfileList and anything after it are not read,
// and ProfileList is always written empty.
class MediaFileIO : public virtual ICommonIO, private MediaInfoIO {
public:
  explicit MediaFileIO(std::string documentPath);

  VersionRecord& GetVersion(VersionRecord& version) const override;
  std::string GetRootName() const override;

  // Reads the file into `target`, which should be fresh (media are appended). The file is
  // loaded once and kept, so a later Load reads the same document. Every failure gives
  // false with LastError() set; what was read before it stays in `target`.
  bool Load(MediaFile& target);
  // Write the whole file in `form` (the carried files are Indented) with this class's
  // version, with the version of the file being replaced, or with `version` (for example
  // the one a load gave). False when COM, the XML backend or the document cannot be had; a
  // failing write of the finished document raises its _com_error. LastError() says why.
  bool Save(const MediaFile& source, xml::SaveForm form = xml::SaveForm::Indented);
  bool SaveKeepingVersion(const MediaFile& source, xml::SaveForm form = xml::SaveForm::Indented);
  bool SaveWithVersion(const MediaFile& source, const VersionRecord& version,
                       xml::SaveForm form = xml::SaveForm::Indented);
  // The document in memory with this class's version, without saving; null when it cannot
  // be built.
  xml::DocumentPtr CreateDocument(const MediaFile& source) const;
  // Checks the root and version of `document` and reads it; every exception passes.
  static void ReadDocument(const xml::DocumentPtr& document, MediaFile& target);

  // Why the last Load or Save failed, for people; empty after a success.
  const std::string& LastError() const { return lastError_; }

private:
  xml::Node BuildRoot(xml::Document& document, const MediaFile& source) const;
  void ReadContent(xml::Node root, MediaFile& target) const;

  std::string lastError_;
};

}  // namespace pelagon
