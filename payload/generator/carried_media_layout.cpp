#include <pelagon/payload/generator/carried_media_layout.h>

#include <stdexcept>
#include <string>

#include <pelagon/platform/hresult.h>

namespace pelagon::payload {

namespace {

// Element children are copied one by one; text is the element's only content, as in every
// record the library writes. The DOM offers no walk of attributes, and no element below the
// root carries one, so only the root's version is set by the caller.
xml::Node copyWithoutNewerElements(xml::Document& target, xml::Node source) {
  xml::Node copy = target.createElement(source.name());
  bool hasElements = false;
  bool hasText = false;
  for (xml::Node child : source.children()) {
    switch (child.type()) {
      case xml::NodeType::Element:
        hasElements = true;
        if (!IsNewerLayoutElement(child)) copy.appendChild(copyWithoutNewerElements(target, child));
        break;
      case xml::NodeType::Text:
        hasText = true;
        copy.setText(child.text());
        break;
      default:
        throw std::runtime_error("media-setting document: unexpected node in <" + std::string(source.name()) +
                                 ">");
    }
    if (hasElements && hasText) {
      throw std::runtime_error("media-setting document: mixed content in <" + std::string(source.name()) +
                               ">");
    }
  }
  return copy;
}

}  // namespace

bool IsNewerLayoutElement(xml::Node element) {
  if (element.type() != xml::NodeType::Element) return false;
  const std::string_view name = element.name();
  const xml::Node parent = element.parent();
  const std::string_view parentName = parent ? parent.name() : std::string_view{};
  if (parentName == "MediaInfo") return name == "nHalfCutForce";
  if (parentName == "PermissionSet") return name == "screenOption" || name == "bRecommended";
  return false;
}

xml::DocumentPtr CarriedMediaDocument(const MediaFile& file) {
  const MediaFileIO io("");
  const xml::DocumentPtr newer = io.CreateDocument(file);
  if (!newer) throw win::_com_error(win::E_FAIL, "the media-setting document cannot be built");
  const xml::Node newerRoot = newer->documentElement();

  xml::DocumentPtr older = xml::Document::Create();
  older->node().appendChild(older->createProcessingInstruction("xml", "version='1.0' encoding='UTF-8'"));
  xml::Node root = copyWithoutNewerElements(*older, newerRoot);
  root.setAttribute("strVersion", file.version.ToString());
  older->node().appendChild(root);
  return older;
}

}  // namespace pelagon::payload
