#include <pelagon/values/element_text.h>

#include <pelagon/platform/code_page.h>
#include <pelagon/platform/hresult.h>
#include <pelagon/values/read_error.h>
#include <pelagon/xmlio/dom_creator.h>
#include <pelagon/xmlio/number_text.h>

namespace pelagon {

namespace {

xml::Node appendedTextElement(xml::Node parent, std::string_view name, std::string_view utf8) {
  xml::Node element = parent.appendElement(name);
  element.setText(utf8);
  return element;
}

// Numbers and truth values are ASCII, so their text is read without the code-page round
// trip: a character the code page changes would end the number in either form.
template <typename Parse>
auto readAscii(xml::Node element, Parse parse) {
  if (!element) throw win::_com_error(win::E_POINTER);
  std::string scratch;
  return parse(element.textView(scratch));
}

}  // namespace

xml::Node appendBoolElement(xml::Node parent, std::string_view name, bool value) {
  return appendedTextElement(parent, name, value ? "true" : "false");
}

xml::Node appendIntElement(xml::Node parent, std::string_view name, std::int32_t value) {
  return appendedTextElement(parent, name, formatInt(value));
}

xml::Node appendRealElement(xml::Node parent, std::string_view name, double value, int precision) {
  return appendedTextElement(parent, name, formatReal(value, precision));
}

xml::Node appendStringElement(xml::Node parent, std::string_view name, std::string_view value) {
  return appendedTextElement(parent, name, win::AnsiToUtf8(value));
}

void setIntAttribute(xml::Node element, std::string_view name, std::int32_t value) {
  element.setAttribute(name, formatInt(value));
}

bool readBoolElement(xml::Node element) {
  return readAscii(element, [](std::string_view text) { return text == "true"; });
}

std::int32_t readIntElement(xml::Node element) { return readAscii(element, parseCInt); }

double readRealElement(xml::Node element) { return readAscii(element, parseCReal); }

float readFloatElement(xml::Node element) { return narrowToFloat(readRealElement(element)); }

std::string readStringElement(xml::Node element) { return ReadNodeText(element); }

std::int32_t readIntAttribute(xml::Node element, std::string_view name) {
  if (!element) throw win::_com_error(win::E_POINTER);
  return parseCInt(ReadNodeText(requiredAttribute(element, name)));
}

}  // namespace pelagon
