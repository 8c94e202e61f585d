#pragma once
// Files that hold one device record as their document element, with no version attribute.
// Each record's IO class is RecordIO over its element writer and reader, its element's name
// and the rules of its file.

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

#include <pelagon/platform/hresult.h>
#include <pelagon/values/record_fields.h>
#include <pelagon/xmlio/dom.h>
#include <pelagon/xmlio/record_file.h>

namespace pelagon {

// Which of the two behaviours of xmlio/record_file.h a record's file has.
enum class RecordFileRules {
  // A failed save and the reader's _com_error reach the caller; the reader is given the
  // first top-level element of the record's name and reads nothing when there is none.
  Strict,
  // Everything is caught on writing and on loading; the reader's exceptions pass.
  Lenient,
  // Lenient, and the reader is given the first element of the record's name anywhere in the
  // document: a document without one reads as a null element, which raises E_POINTER.
  LenientAnywhere,
};

// Reads the first element child of the document named `elementName` with
// `read(element, record)`; a null document raises E_POINTER.
template <typename Record, typename Read>
void ReadFirstRecordElement(const xml::DocumentPtr& document, std::string_view elementName, Record& record,
                            Read&& read) {
  if (!document) throw win::_com_error(win::E_POINTER);
  for (xml::Node child : document->node().children(elementName)) {
    read(child, record);
    return;
  }
}

// A record's IO object: its element writer and reader, and the file holding the record's
// element, named `Name`, as its document element.
template <typename Record, xml::Node (*AppendElement)(xml::Node, const Record&),
          void (*ReadElement)(xml::Node, Record&), ElementName Name, RecordFileRules Rules>
class RecordIO {
public:
  static constexpr ElementName kName = Name;
  static constexpr std::string_view kElementName = Name.view();

  // Appends the record's element under `parent` and returns it.
  xml::Node Write(xml::Document&, xml::Node parent, const Record& record) const {
    return AppendElement(parent, record);
  }
  // Reads the element's children into `record`; the element's own name is not compared.
  void Read(xml::Node element, Record& record) const { ReadElement(element, record); }
  // The record as the entry of a list that reads every child as an entry.
  static constexpr RecordEntries<Record> Entries(std::string_view (*englishName)(const Record&) = nullptr) {
    return {kElementName, EntryMatch::AnyChild, englishName, AppendElement, ReadElement};
  }

  bool WriteRecordFile(const std::string& path, const Record& record) const {
    const auto write = [](xml::Document& document, const Record& value) {
      return AppendElement(document.node(), value);
    };
    if constexpr (Rules == RecordFileRules::Strict) {
      return pelagon::WriteRecordFile(path, record, write);
    } else {
      return pelagon::WriteRecordFileLenient(path, record, write);
    }
  }
  bool ReadRecordFile(const std::string& path, Record& record) const {
    const auto read = [](const xml::DocumentPtr& document, Record& value) {
      if constexpr (Rules == RecordFileRules::LenientAnywhere) {
        if (!document) throw win::_com_error(win::E_POINTER);
        ReadElement(document->node().firstElementByTagName(Name.view()), value);
      } else {
        ReadFirstRecordElement(document, Name.view(), value, ReadElement);
      }
    };
    if constexpr (Rules == RecordFileRules::Strict) {
      return pelagon::ReadRecordFile(path, record, read);
    } else {
      return pelagon::ReadRecordFileLenient(path, record, read);
    }
  }
};

}  // namespace pelagon
