#include <pelagon/model/media_file.h>

#include <array>
#include <string_view>

#include <pelagon/values/record_fields.h>

namespace pelagon {

namespace {
// The root's children read by position; ProfileList and what follows are not read.
constexpr std::array<std::string_view, 2> kContentHead{"strSeriesName", "data"};
}  // namespace

template class WholeDocumentIO<MediaFileContent>;

void MediaFileContent::WriteContent(xml::Document&, xml::Node root, const MediaFile& source) {
  appendValue(root, "strSeriesName", source.strSeriesName);
  appendRecordList(root, "data", source.media, kMediaInfoEntries);
  root.appendElement("ProfileList");
}

void MediaFileContent::ReadContent(xml::Node root, MediaFile& target) {
  PositionalFields children(root, kContentHead);
  children.read(target.strSeriesName);
  children.take([&](xml::Node data) { readRecordList(data, target.media, kMediaInfoEntries); });
}

}  // namespace pelagon
