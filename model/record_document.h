#pragma once
// Files that hold one device record as their document element, with no version attribute.
// Each record type says once how it sits in such a file (recordFileOf), and every record IO
// class gets its WriteRecordFile and ReadRecordFile from RecordFileIO.

#include <string>
#include <string_view>

#include <pelagon/platform/hresult.h>
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

template <typename Record>
struct RecordFile {
  std::string_view elementName;
  RecordFileRules rules = RecordFileRules::Strict;
  // Appends the record's element under `parent` and returns it.
  xml::Node (*write)(xml::Node parent, const Record& record) = nullptr;
  // Reads the record's element into `record`.
  void (*read)(xml::Node element, Record& record) = nullptr;
};

// Defined beside each record's reader and writer, and declared in its header.
template <typename Record>
const RecordFile<Record>& recordFileOf();

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

template <typename Record>
class RecordFileIO {
public:
  // A file holding the record's element as its document element.
  bool WriteRecordFile(const std::string& path, const Record& record) const {
    const RecordFile<Record>& file = recordFileOf<Record>();
    const auto write = [&file](xml::Document& document, const Record& value) {
      return file.write(document.node(), value);
    };
    return file.rules == RecordFileRules::Strict ? pelagon::WriteRecordFile(path, record, write)
                                                 : pelagon::WriteRecordFileLenient(path, record, write);
  }
  bool ReadRecordFile(const std::string& path, Record& record) const {
    const RecordFile<Record>& file = recordFileOf<Record>();
    const auto read = [&file](const xml::DocumentPtr& document, Record& value) {
      if (file.rules != RecordFileRules::LenientAnywhere) {
        ReadFirstRecordElement(document, file.elementName, value, file.read);
      } else {
        if (!document) throw win::_com_error(win::E_POINTER);
        file.read(document->node().firstElementByTagName(file.elementName), value);
      }
    };
    return file.rules == RecordFileRules::Strict ? pelagon::ReadRecordFile(path, record, read)
                                                 : pelagon::ReadRecordFileLenient(path, record, read);
  }
};

// A record's IO object: its element writer and reader, and its single-record file pair.
template <typename Record, xml::Node (*AppendElement)(xml::Node, const Record&),
          void (*ReadElement)(xml::Node, Record&)>
class RecordIO : public RecordFileIO<Record> {
public:
  // Appends the record's element under `parent` and returns it.
  xml::Node Write(xml::Document&, xml::Node parent, const Record& record) const {
    return AppendElement(parent, record);
  }
  // Reads the element's children into `record`; the element's own name is not compared.
  void Read(xml::Node element, Record& record) const { ReadElement(element, record); }
};

}  // namespace pelagon
