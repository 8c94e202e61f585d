#include <pelagon/values/read_error.h>

#include <utility>

#include <pelagon/platform/code_page.h>

namespace pelagon {

std::string quoted(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string result = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      result += '\\';
      result += c;
    } else if (byte < 0x20 || byte == 0x7F) {
      result += "\\x";
      result += kHex[byte >> 4];
      result += kHex[byte & 0x0F];
    } else {
      result += c;
    }
  }
  result += '"';
  return result;
}

namespace {

std::string joined(std::string_view step, std::string_view where) {
  if (step.empty()) return std::string(where);
  if (where.empty()) return std::string(step);
  std::string path(step);
  path += " / ";
  path += where;
  return path;
}

// A failure that is no ReadError says what it is; a null node used is a missing part.
std::string describeFailure(const win::_com_error& error) {
  if (error.Error() == win::E_POINTER) return "an element the format requires is missing";
  std::string text = error.ErrorMessage();
  if (error.HasDescription()) text += " (" + error.Description() + ")";
  return text;
}

}  // namespace

ReadError::ReadError(win::HRESULT hr, std::string where, std::string problem)
    : win::_com_error(hr, where + ": " + problem), where_(std::move(where)), problem_(std::move(problem)) {}

std::string entryLabel(std::string_view list, int position, std::string_view englishName) {
  std::string label(list);
  label += '[';
  label += std::to_string(position);
  label += ']';
  if (!englishName.empty()) label += ' ' + quoted(englishName);
  return label;
}

std::string nodeName(xml::Node node) { return win::Utf8ToAnsi(node.name()); }

std::string describeNode(xml::Node node) {
  switch (node.type()) {
    case xml::NodeType::Element:
      return "element " + quoted(nodeName(node));
    case xml::NodeType::Text:
      return "text";
    case xml::NodeType::CData:
      return "CDATA section";
    case xml::NodeType::Comment:
      return "comment";
    case xml::NodeType::ProcessingInstruction:
      return "processing instruction " + quoted(nodeName(node));
    default:
      return "node";
  }
}

xml::Attribute requiredAttribute(xml::Node element, std::string_view name) {
  const xml::Attribute attribute = element.attribute(name);
  if (!attribute)
    throw ReadError(win::E_POINTER, nodeName(element), "attribute \"" + std::string(name) + "\" is missing");
  return attribute;
}

void rethrowWithin(std::string_view step, xml::Node element) {
  try {
    throw;
  } catch (const ReadError& error) {
    if (step.empty()) throw;
    throw ReadError(error.Error(), joined(step, error.where()), error.problem());
  } catch (const win::_com_error& error) {
    if (error.Error() == win::E_OUTOFMEMORY) throw;
    throw ReadError(error.Error(), joined(step, element ? nodeName(element) : std::string()),
                    describeFailure(error));
  }
}

void rethrowAs(xml::Node element, std::string problem) {
  try {
    throw;
  } catch (const win::_com_error& error) {
    if (error.Error() == win::E_OUTOFMEMORY) throw;
    throw ReadError(error.Error(), nodeName(element), std::move(problem));
  }
}

}  // namespace pelagon
