#pragma once
// Files that hold one device record as their document element, with no version attribute.
// A record's element writer appends its element under a parent (here the document itself);
// the document reader reads the first top-level element of the record's name and reads
// nothing, without an error, when there is none.

#include <string>
#include <string_view>

#include <pelagon/platform/hresult.h>
#include <pelagon/xmlio/dom.h>
#include <pelagon/xmlio/record_file.h>

namespace pelagon {

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

// `write(document, parent, record)` appends the record's element under `parent`.
template <typename Record, typename Write>
bool WriteSingleRecordFile(const std::string& path, const Record& record, Write&& write) {
  return WriteRecordFile(path, record, [&write](xml::Document& document, const Record& value) {
    return write(document, document.node(), value);
  });
}

template <typename Record, typename Read>
bool ReadSingleRecordFile(const std::string& path, std::string_view elementName, Record& record,
                          Read&& read) {
  return ReadRecordFile(path, record, [&](const xml::DocumentPtr& document, Record& value) {
    ReadFirstRecordElement(document, elementName, value, read);
  });
}

template <typename Record, typename Write>
bool WriteSingleRecordFileLenient(const std::string& path, const Record& record, Write&& write) {
  return WriteRecordFileLenient(path, record, [&write](xml::Document& document, const Record& value) {
    return write(document, document.node(), value);
  });
}

template <typename Record, typename Read>
bool ReadSingleRecordFileLenient(const std::string& path, std::string_view elementName, Record& record,
                                 Read&& read) {
  return ReadRecordFileLenient(path, record, [&](const xml::DocumentPtr& document, Record& value) {
    ReadFirstRecordElement(document, elementName, value, read);
  });
}

}  // namespace pelagon
