#include <pelagon/model/media_file.h>

#include <array>
#include <string_view>

#include <pelagon/values/record_fields.h>

namespace pelagon {

namespace {

// ProfileList is always written empty and never read.
void writeProfileList(xml::Node parent, std::string_view name, const MediaFile&) { parent.appendElement(name); }
void readNothing(xml::Node, MediaFile&) {}

// The root's children: the first two by position; ProfileList and what follows are not read.
constexpr std::array kContentFields{
    field<&MediaFile::strSeriesName>("strSeriesName"),
    recordListField<&MediaFile::media, kMediaInfoEntries>("data"),
    customField<MediaFile, writeProfileList, readNothing>("ProfileList"),
};
constexpr auto contentLayout = layoutOf<"Halden_Media_File", kContentFields, 2>;

}  // namespace

void appendMediaFileContent(xml::Node root, const MediaFile& source) {
  appendFields<MediaFile>(root, kContentFields, source);
}

void readMediaFileContent(xml::Node root, MediaFile& target) { contentLayout().readHead(root, target); }

}  // namespace pelagon
