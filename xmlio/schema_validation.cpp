#include <pelagon/xmlio/schema_validation.h>

#include <libxml/parser.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlschemas.h>

#include <string_view>
#include <utility>

#include <pelagon/platform/hresult.h>

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

// Every libxml2 object is held by one of these from the call that makes it, so no exception
// between that call and its last use can leak it.
template <auto Free>
struct LibxmlFree {
  template <typename T>
  void operator()(T* object) const {
    Free(object);
  }
};
using DocHandle = std::unique_ptr<xmlDoc, LibxmlFree<xmlFreeDoc>>;
using SchemaParserHandle = std::unique_ptr<xmlSchemaParserCtxt, LibxmlFree<xmlSchemaFreeParserCtxt>>;
using SchemaValidatorHandle = std::unique_ptr<xmlSchemaValidCtxt, LibxmlFree<xmlSchemaFreeValidCtxt>>;
using LibxmlSchemaHandle = std::unique_ptr<xmlSchema, LibxmlFree<xmlSchemaFree>>;

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
  // Takes the schema only once the wrapper's memory is there, so a failed allocation leaves
  // it with the caller's handle.
  explicit CompiledSchema(LibxmlSchemaHandle&& schema) noexcept : schema_(std::move(schema)) {}
  xmlSchemaPtr get() const { return schema_.get(); }

private:
  LibxmlSchemaHandle schema_;
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
  SchemaParserHandle parser(xmlSchemaNewDocParserCtxt(doc.get()));
  if (!parser) throw win::_com_error(win::E_OUTOFMEMORY);
  xmlSchemaSetParserStructuredErrors(parser.get(), collect, &messages);
  LibxmlSchemaHandle schema(xmlSchemaParse(parser.get()));
  if (!schema) {
    throw win::_com_error(win::E_FAIL, schemaPath + ": " +
                                           (messages.text.empty() ? "not a valid schema" : messages.text));
  }
  return SchemaHandle(new CompiledSchema(std::move(schema)));
}

std::string ValidateAgainstSchema(const CompiledSchema& schema, const std::string& path) {
  Messages messages;
  DocHandle doc = parseFile(path, messages);
  if (!doc) return messages.text;

  ErrorCapture capture(messages);
  SchemaValidatorHandle validator(xmlSchemaNewValidCtxt(schema.get()));
  if (!validator) return "out of memory";
  xmlSchemaSetValidStructuredErrors(validator.get(), collect, &messages);
  const int rc = xmlSchemaValidateDoc(validator.get(), doc.get());
  if (rc == 0) return {};
  return messages.text.empty() ? "the document does not conform to the schema" : messages.text;
}

}  // namespace pelagon::detail
