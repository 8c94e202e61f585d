#include "xmlio/schema_validation.h"

#include <libxml/parser.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlschemas.h>

#include <string_view>

#include "platform/hresult.h"

namespace pelagon::detail {

namespace {

xmlExternalEntityLoader defaultLoader = nullptr;

bool isLocal(std::string_view url) {
  const auto scheme = url.find("://");
  return scheme == std::string_view::npos || url.substr(0, scheme) == "file";
}

// Schemas may include or import other local schema files; nothing else is ever fetched.
xmlParserInputPtr localOnlyLoader(const char* url, const char* id, xmlParserCtxtPtr context) {
  if (url == nullptr || !isLocal(url) || defaultLoader == nullptr) return nullptr;
  return defaultLoader(url, id, context);
}

constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOWARNING | XML_PARSE_NOERROR;

// Collects libxml2's messages, the first few of them, for people to read.
struct Messages {
  std::string text;
  int count = 0;

  void add(const xmlError* error) {
    if (error == nullptr || error->message == nullptr) return;
    if (++count > 5) return;
    if (!text.empty()) text += '\n';
    if (error->line > 0) text += "line " + std::to_string(error->line) + ": ";
    std::string_view message(error->message);
    while (!message.empty() && message.back() == '\n') message.remove_suffix(1);
    text += message;
  }
};

void collect(void* context, xmlErrorPtr error) { static_cast<Messages*>(context)->add(error); }

// Routes libxml2's per-thread messages to `messages` for the life of the scope.
class ErrorCapture {
public:
  explicit ErrorCapture(Messages& messages) { xmlSetStructuredErrorFunc(&messages, collect); }
  ~ErrorCapture() { xmlSetStructuredErrorFunc(nullptr, nullptr); }
  ErrorCapture(const ErrorCapture&) = delete;
  ErrorCapture& operator=(const ErrorCapture&) = delete;
};

struct DocDeleter {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using DocHandle = std::unique_ptr<xmlDoc, DocDeleter>;

// Parses without entity substitution, DTD loading or network; a document type definition
// is refused outright, as the DOM loader refuses it.
DocHandle parseFile(const std::string& path, Messages& messages) {
  ErrorCapture capture(messages);
  DocHandle doc(xmlReadFile(path.c_str(), nullptr, kParseOptions));
  if (doc && (doc->intSubset != nullptr || doc->extSubset != nullptr)) {
    messages.text = "a document type definition is not allowed";
    doc.reset();
  }
  if (!doc && messages.text.empty()) messages.text = "the file cannot be read";
  return doc;
}

}  // namespace

class CompiledSchema {
public:
  explicit CompiledSchema(xmlSchemaPtr schema) : schema_(schema) {}
  ~CompiledSchema() { xmlSchemaFree(schema_); }
  CompiledSchema(const CompiledSchema&) = delete;
  CompiledSchema& operator=(const CompiledSchema&) = delete;
  xmlSchemaPtr get() const { return schema_; }

private:
  xmlSchemaPtr schema_;
};

void CompiledSchemaDeleter::operator()(CompiledSchema* schema) const { delete schema; }

void InitializeSchemaBackend() {
  static const bool initialized = [] {
    xmlInitParser();
    defaultLoader = xmlGetExternalEntityLoader();
    xmlSetExternalEntityLoader(localOnlyLoader);
    return true;
  }();
  (void)initialized;
}

SchemaHandle LoadSchema(const std::string& schemaPath) {
  InitializeSchemaBackend();
  Messages messages;
  DocHandle doc = parseFile(schemaPath, messages);
  if (!doc) throw win::_com_error(win::E_FAIL, schemaPath + ": " + messages.text);

  ErrorCapture capture(messages);
  std::unique_ptr<xmlSchemaParserCtxt, decltype(&xmlSchemaFreeParserCtxt)> parser(
      xmlSchemaNewDocParserCtxt(doc.get()), xmlSchemaFreeParserCtxt);
  if (!parser) throw win::_com_error(win::E_OUTOFMEMORY);
  xmlSchemaSetParserStructuredErrors(parser.get(), collect, &messages);
  xmlSchemaPtr schema = xmlSchemaParse(parser.get());
  if (schema == nullptr) {
    throw win::_com_error(win::E_FAIL, schemaPath + ": " +
                                           (messages.text.empty() ? "not a valid schema" : messages.text));
  }
  return SchemaHandle(new CompiledSchema(schema));
}

std::string ValidateAgainstSchema(const CompiledSchema& schema, const std::string& path) {
  Messages messages;
  DocHandle doc = parseFile(path, messages);
  if (!doc) return messages.text;

  ErrorCapture capture(messages);
  std::unique_ptr<xmlSchemaValidCtxt, decltype(&xmlSchemaFreeValidCtxt)> validator(
      xmlSchemaNewValidCtxt(schema.get()), xmlSchemaFreeValidCtxt);
  if (!validator) return "out of memory";
  xmlSchemaSetValidStructuredErrors(validator.get(), collect, &messages);
  const int rc = xmlSchemaValidateDoc(validator.get(), doc.get());
  if (rc == 0) return {};
  return messages.text.empty() ? "the document does not conform to the schema" : messages.text;
}

}  // namespace pelagon::detail
