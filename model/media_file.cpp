#include <pelagon/model/media_file.h>

#include <array>
#include <string_view>
#include <utility>

#include <pelagon/model/whole_document.h>
#include <pelagon/values/record_fields.h>

namespace pelagon {

namespace {
constexpr std::string_view kRootName = "Halden_Media_File";
constexpr std::string_view kVersion = "5.0.1.0";
// The root's children read by position; ProfileList and what follows are not read.
constexpr std::array<std::string_view, 2> kContentHead{"strSeriesName", "data"};
constexpr RecordEntries<MediaInfo> kMediaEntries{
    "MediaInfo", EntryMatch::AnyChild,
    [](const MediaInfo& media) -> std::string_view { return media.strMediaName[0]; }};
}  // namespace

MediaFileIO::MediaFileIO(std::string documentPath) : ICommonIO(std::move(documentPath)) {}

VersionRecord& MediaFileIO::GetVersion(VersionRecord& version) const {
  version = VersionRecord::Parse(kVersion);
  return version;
}

std::string MediaFileIO::GetRootName() const { return std::string(kRootName); }

bool MediaFileIO::Load(MediaFile& target) {
  return LoadWholeDocument(*this, lastError_, [&](xml::Node root) { ReadContent(root, target); });
}

bool MediaFileIO::Save(const MediaFile& source, xml::SaveForm form) {
  VersionRecord own;
  return SaveWithVersion(source, GetVersion(own), form);
}

bool MediaFileIO::SaveKeepingVersion(const MediaFile& source, xml::SaveForm form) {
  return SaveWholeDocument(*this, VersionOfReplacedFile(*this), form, lastError_,
                           [&](xml::Document& document) { return BuildRoot(document, source); });
}

bool MediaFileIO::SaveWithVersion(const MediaFile& source, const VersionRecord& version, xml::SaveForm form) {
  return SaveWholeDocument(*this, version.ToString(), form, lastError_,
                           [&](xml::Document& document) { return BuildRoot(document, source); });
}

xml::DocumentPtr MediaFileIO::CreateDocument(const MediaFile& source) const {
  return CreateWholeDocument([&](xml::Document& document) { return BuildRoot(document, source); });
}

void MediaFileIO::ReadDocument(const xml::DocumentPtr& document, MediaFile& target) {
  MediaFileIO io("");
  io.ReadContent(io.FindRootElement(document), target);
}

xml::Node MediaFileIO::BuildRoot(xml::Document& document, const MediaFile& source) const {
  xml::Node root = CreateRootElement(document);
  appendValue(root, "strSeriesName", source.strSeriesName);
  xml::Node data = root.appendChild(document.createElement("data"));
  for (const MediaInfo& media : source.media) WriteMediaInfo(document, data, media);
  root.appendChild(document.createElement("ProfileList"));
  return root;
}

void MediaFileIO::ReadContent(xml::Node root, MediaFile& target) const {
  target.version = ReadRootVersion(root);
  PositionalFields children(root, kContentHead);
  children.read(target.strSeriesName);
  children.take([&](xml::Node data) {
    readRecordList(data, target.media, kMediaEntries,
                   [this](xml::Node element, MediaInfo& media) { ReadMediaInfo(element, media); });
  });
}

}  // namespace pelagon
