#pragma once
// The carried media-setting files keep an older record layout than the library writes:
// their media have no "nHalfCutForce", their permission sets neither "screenOption" nor
// "bRecommended". The readers accept both layouts, so the older one is made from the
// library's own document by leaving those elements out.

#include <string_view>

#include <pelagon/model/media_file.h>
#include <pelagon/xmlio/dom.h>

namespace pelagon::payload {

// The library's media-setting document of `file` in the older layout, with the file's
// version on the root. Raises _com_error when the DOM fails, std::runtime_error for a node
// the copy does not know (mixed content, comments, instructions inside the root).
xml::DocumentPtr CarriedMediaDocument(const MediaFile& file);

// Whether `element` is one the older layout does not have.
bool IsNewerLayoutElement(xml::Node element);

}  // namespace pelagon::payload
