#pragma once
// When a record was made or changed: an element of seven numeric children, "TimeStamp"
// wherever the library writes one.

#include <cstdint>
#include <string>
#include <string_view>

#include <pelagon/xmlio/dom.h>

namespace pelagon {

struct TimeStampValue {
  std::uint16_t year = 0;
  std::uint8_t month = 0;
  std::uint8_t day = 0;
  std::uint8_t hour = 0;
  std::uint8_t minute = 0;
  std::uint8_t second = 0;
  std::uint16_t ms = 0;

  friend bool operator==(const TimeStampValue&, const TimeStampValue&) = default;
};

// Appends the element named `name` under `parent`, its seven parts as children.
xml::Node AppendTimeStampElement(xml::Node parent, const TimeStampValue& value, std::string_view name);

// The children are taken by position, whatever their names; a missing one raises
// _com_error(E_POINTER). Each text is read as atoi does and wraps to the field's width.
void ReadTimeStampElement(xml::Node element, TimeStampValue& value);

// The first "TimeStamp" element of the document. Raises _com_error(E_POINTER) without a
// document, and the integer codes 2 (no such element) and 3 (its children fail to read).
void ReadTimeStampDocument(const xml::DocumentPtr& document, TimeStampValue& value);

bool WriteTimeStampFile(const std::string& path, const TimeStampValue& value);
// False at once without a value. A missing or unreadable file reaches the caller as the
// reader's E_POINTER.
bool ReadTimeStampFile(const std::string& path, TimeStampValue* value);

}  // namespace pelagon
