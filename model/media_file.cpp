#include <pelagon/model/media_file.h>

#include <array>
#include <string_view>

#include <pelagon/values/record_fields.h>

namespace pelagon {

namespace {
// The root's children read by position; ProfileList and what follows are not read.
constexpr std::array<std::string_view, 2> kContentHead{"strSeriesName", "data"};
constexpr RecordEntries<MediaInfo> kMediaEntries{
    "MediaInfo", EntryMatch::AnyChild,
    [](const MediaInfo& media) -> std::string_view { return media.strMediaName[0]; }};
}  // namespace

template class WholeDocumentIO<MediaFileContent>;

void MediaFileContent::WriteContent(xml::Document& document, xml::Node root, const MediaFile& source) {
  appendValue(root, "strSeriesName", source.strSeriesName);
  xml::Node data = root.appendChild(document.createElement("data"));
  for (const MediaInfo& media : source.media) MediaInfoIO().Write(document, data, media);
  root.appendChild(document.createElement("ProfileList"));
}

void MediaFileContent::ReadContent(xml::Node root, MediaFile& target) {
  PositionalFields children(root, kContentHead);
  children.read(target.strSeriesName);
  children.take([&](xml::Node data) {
    readRecordList(data, target.media, kMediaEntries,
                   [](xml::Node element, MediaInfo& media) { MediaInfoIO().Read(element, media); });
  });
}

}  // namespace pelagon
