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

#include <pelagon/xmlio/dom_creator.h>

namespace pelagon {

template <typename T, typename ElementWriter>
bool WriteRecordFile(const std::string& path, const T& value, ElementWriter&& writeElement) {
  // A failed save raises; COM then stays initialised, as it does on the platform.
  constexpr SaveRules rules{.keepComIfWriteFails = true};
  const auto build = [&](xml::Document& document) { return writeElement(document, value); };
  return SaveNewDocument(path, xml::SaveForm::Compact, rules, build).outcome == SaveOutcome::Saved;
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
  // No backend check here, and COM stays initialised on every failure after it started, as
  // on the platform.
  constexpr SaveRules rules{.checkBackend = false, .keepComIfNotBuilt = true, .keepComIfWriteFails = true};
  const auto build = [&](xml::Document& document) { return writeElement(document, value); };
  try {
    return SaveNewDocument(path, xml::SaveForm::Compact, rules, build).outcome == SaveOutcome::Saved;
  } catch (...) {
    return false;
  }
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
