#include <pelagon/xmlio/time_stamp.h>

#include <pelagon/platform/hresult.h>
#include <pelagon/xmlio/dom_creator.h>
#include <pelagon/xmlio/number_text.h>
#include <pelagon/xmlio/record_file.h>

namespace pelagon {

namespace {

constexpr const char* kFieldNames[] = {"year", "month", "day", "hour", "minute", "second", "ms"};

}  // namespace

xml::Node AppendTimeStampElement(xml::Node parent, const TimeStampValue& value, std::string_view name) {
  xml::Node element = parent.appendElement(name);
  const unsigned fields[] = {value.year,   value.month,  value.day, value.hour,
                             value.minute, value.second, value.ms};
  for (std::size_t i = 0; i < std::size(fields); ++i)
    element.appendElement(kFieldNames[i]).setText(std::to_string(fields[i]));
  return element;
}

void ReadTimeStampElement(xml::Node element, TimeStampValue& value) {
  xml::NodeList children = element.childNodes();
  // The conversions to the narrower fields wrap, as the stored widths do.
  const auto next = [&children] { return static_cast<std::uint32_t>(parseCInt(ReadNodeText(children.nextNode()))); };
  value.year = static_cast<std::uint16_t>(next());
  value.month = static_cast<std::uint8_t>(next());
  value.day = static_cast<std::uint8_t>(next());
  value.hour = static_cast<std::uint8_t>(next());
  value.minute = static_cast<std::uint8_t>(next());
  value.second = static_cast<std::uint8_t>(next());
  value.ms = static_cast<std::uint16_t>(next());
}

void ReadTimeStampDocument(const xml::DocumentPtr& document, TimeStampValue& value) {
  if (!document) throw win::_com_error(win::E_POINTER);
  const xml::Node element = document->node().firstElementByTagName("TimeStamp");
  if (!element) throw 2;
  try {
    ReadTimeStampElement(element, value);
  } catch (...) {
    throw 3;
  }
}

bool WriteTimeStampFile(const std::string& path, const TimeStampValue& value) {
  return WriteRecordFileLenient(path, value, [](xml::Document& document, const TimeStampValue& stamp) {
    return AppendTimeStampElement(document.node(), stamp, "TimeStamp");
  });
}

bool ReadTimeStampFile(const std::string& path, TimeStampValue* value) {
  if (value == nullptr) return false;
  return ReadRecordFileLenient(path, *value, ReadTimeStampDocument);
}

}  // namespace pelagon
