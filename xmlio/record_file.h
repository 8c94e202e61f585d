#pragma once
// Files that hold one record: the XML declaration and the record's element as the document
// element, without a version attribute. The pairs are written once here and take the
// record's element writer, `Node(Document&, const T&)`, and its document reader,
// `void(const DocumentPtr&, T&)`.
//
// The strict pair turns DOM and std::exception failures into false, except that a failed
// save and a reader's non-standard exceptions (_com_error, integer codes) reach the caller.
// The lenient pair catches everything on writing and on loading, and lets the reader's
// exceptions through.

#include <exception>
#include <string>

#include <pelagon/platform/com.h>
#include <pelagon/xmlio/dom_creator.h>

namespace pelagon {

template <typename T, typename ElementWriter>
bool WriteRecordFile(const std::string& path, const T& value, ElementWriter&& writeElement) {
  if (win::FAILED(win::CoInitialize(nullptr))) return false;
  if (!EnsureMsxmlAvailable()) {
    win::CoUninitialize();
    return false;
  }
  xml::DocumentPtr document;
  try {
    document = NewDocument(value, writeElement);
  } catch (...) {
    document.reset();
  }
  if (!document) {
    win::CoUninitialize();
    return false;
  }
  // A failed save raises; COM then stays initialised, as it does on the platform.
  SaveDocument(document, path);
  document.reset();
  win::CoUninitialize();
  return true;
}

template <typename T, typename DocumentReader>
bool ReadRecordFile(const std::string& path, T& value, DocumentReader&& readDocument) {
  MSXMLDOMCreator creator;
  try {
    creator.LoadDocument(path);
    readDocument(creator.GetDocument(), value);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

template <typename T, typename ElementWriter>
bool WriteRecordFileLenient(const std::string& path, const T& value, ElementWriter&& writeElement) {
  if (win::FAILED(win::CoInitialize(nullptr))) return false;
  try {
    xml::DocumentPtr document = NewDocument(value, writeElement);
    SaveDocument(document, path);
  } catch (...) {
    // COM stays initialised on this path, as it does on the platform.
    return false;
  }
  win::CoUninitialize();
  return true;
}

template <typename T, typename DocumentReader>
bool ReadRecordFileLenient(const std::string& path, T& value, DocumentReader&& readDocument) {
  MSXMLDOMCreator creator;
  xml::DocumentPtr document;
  try {
    creator.LoadDocument(path);
    document = creator.GetDocument();
  } catch (...) {
    return false;
  }
  readDocument(document, value);
  return true;
}

}  // namespace pelagon
