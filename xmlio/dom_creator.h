#pragma once
// The library's contact with the XML backend: COM initialisation, the once-per-process
// availability check, and the creation, loading and saving of documents.

#include <string>

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

// A new document: the XML declaration followed by the element `buildRoot(document, value)`
// makes. DOM failures raise _com_error.
template <typename T, typename RootBuilder>
xml::DocumentPtr NewDocument(const T& value, RootBuilder&& buildRoot) {
  xml::DocumentPtr document = xml::Document::Create();
  xml::Node top = document->node();
  top.appendChild(document->createProcessingInstruction("xml", "version='1.0' encoding='UTF-8'"));
  top.appendChild(buildRoot(*document, value));
  return document;
}

// Raises _com_error when the document is null or the file cannot be written.
void SaveDocument(const xml::DocumentPtr& document, const std::string& path,
                  xml::SaveForm form = xml::SaveForm::Compact);

// A node's text as a narrow string in the ANSI code page; a null node raises E_POINTER.
std::string ReadNodeText(xml::Node node);
std::string ReadNodeText(xml::Attribute attribute);

}  // namespace pelagon
