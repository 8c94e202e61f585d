#pragma once
// The library's contact with the XML backend: COM initialisation, the once-per-process
// availability check, and the creation, loading and saving of documents.

#include <string>

#include <pelagon/platform/com.h>
#include <pelagon/platform/hresult.h>
#include <pelagon/xmlio/dom.h>

namespace pelagon {

// Passes once the XML backend is usable, and stays passed for the life of the process. A
// failed check is not remembered, so the next caller tries again.
bool EnsureMsxmlAvailable();

// Holds one DOM document and the COM initialisation that goes with it. Construction never
// throws, and loading never throws: failures show in `document` and `hasError`.
class MSXMLDOMCreator {
public:
  MSXMLDOMCreator() noexcept;
  virtual ~MSXMLDOMCreator();
  // The moved-from creator keeps neither the document nor the COM initialisation.
  MSXMLDOMCreator(MSXMLDOMCreator&& other) noexcept;
  MSXMLDOMCreator& operator=(MSXMLDOMCreator&& other) noexcept;
  MSXMLDOMCreator(const MSXMLDOMCreator&) = delete;
  MSXMLDOMCreator& operator=(const MSXMLDOMCreator&) = delete;

  // Each load replaces the document; a failed one leaves none and sets `hasError`, which
  // is never cleared.
  void LoadDocument(const std::string& path);
  // The same, valid only when the file also conforms to the XSD schema at `schemaPath`.
  void LoadValidatedDocument(const std::string& path, const std::string& schemaPath);
  xml::DocumentPtr GetDocument() const { return document; }

  bool comInitialized = false;
  bool hasError = false;
  xml::DocumentPtr document;
  // Why the last load failed, for messages to people; empty after a good load.
  std::string errorText;

private:
  void release() noexcept;
};

// A new document: the XML declaration followed by the element `buildRoot(document)` makes.
// DOM failures raise _com_error.
template <typename RootBuilder>
xml::DocumentPtr NewDocument(RootBuilder&& buildRoot) {
  xml::DocumentPtr document = xml::Document::Create();
  xml::Node top = document->node();
  top.appendChild(document->createProcessingInstruction("xml", "version='1.0' encoding='UTF-8'"));
  top.appendChild(buildRoot(*document));
  return document;
}

// Raises _com_error when the document is null or the file cannot be written.
void SaveDocument(const xml::DocumentPtr& document, const std::string& path,
                  xml::SaveForm form = xml::SaveForm::Compact);

// Where a save of a new document stopped; a failing write raises instead.
enum class SaveOutcome { Saved, NoCom, NoBackend, NotBuilt };

struct SaveResult {
  SaveOutcome outcome = SaveOutcome::Saved;
  // What CoInitialize gave, for a NoCom message.
  win::HRESULT comResult = win::S_OK;
};

// What tells the library's save paths apart, each as the platform has it: whether the XML
// backend is checked before building, and whether COM stays initialised when building the
// document fails or its write raises. A missing backend always undoes COM.
struct SaveRules {
  bool checkBackend = true;
  bool keepComIfNotBuilt = false;
  bool keepComIfWriteFails = false;
};

// Writes a new document to `path` in `form` within one COM initialisation: the backend is
// checked as `rules` say, then `prepare()` runs, then NewDocument(buildRoot) is written. What
// `prepare` or the write raises reaches the caller. A document that cannot be built gives
// NotBuilt, after `onNotBuilt()` has run inside the handler (where `throw;` shows it the
// exception).
template <typename Prepare, typename RootBuilder, typename NotBuilt>
SaveResult SaveNewDocument(const std::string& path, xml::SaveForm form, const SaveRules& rules,
                           Prepare&& prepare, RootBuilder&& buildRoot, NotBuilt&& onNotBuilt) {
  win::ComScope com;
  if (!com.Ok()) return {SaveOutcome::NoCom, com.Result()};
  if (rules.checkBackend && !EnsureMsxmlAvailable()) return {SaveOutcome::NoBackend, com.Result()};
  com.Keep(rules.keepComIfNotBuilt);
  prepare();
  // Declared after the scope, so the document is gone before COM is undone.
  xml::DocumentPtr document;
  try {
    document = NewDocument(buildRoot);
  } catch (...) {
    onNotBuilt();
    return {SaveOutcome::NotBuilt, com.Result()};
  }
  com.Keep(rules.keepComIfWriteFails);
  SaveDocument(document, path, form);
  com.Keep(false);
  return {SaveOutcome::Saved, com.Result()};
}

template <typename RootBuilder>
SaveResult SaveNewDocument(const std::string& path, xml::SaveForm form, const SaveRules& rules,
                           RootBuilder&& buildRoot) {
  return SaveNewDocument(path, form, rules, [] {}, buildRoot, [] {});
}

// A node's text as a narrow string in the ANSI code page; a null node raises E_POINTER.
std::string ReadNodeText(xml::Node node);
std::string ReadNodeText(xml::Attribute attribute);

}  // namespace pelagon
