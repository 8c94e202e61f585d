#include <pelagon/xmlio/schema_validation.h>

#include <libxml/parser.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlschemas.h>

#include <algorithm>
#include <memory>
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

// "xmlParseCharRef", "xmlSAX2Characters ": one of libxml2's functions, which some of its
// messages begin with ("xmlns" is no such name).
bool isFunctionName(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.size() < 4 || !text.starts_with("xml") || text[3] < 'A' || text[3] > 'Z') return false;
  return std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
  });
}

// libxml2 words some limits in its own terms (function names, the option that lifts them);
// people get plain words instead.
std::string plainWords(std::string_view message) {
  constexpr std::string_view kDepth = "Excessive depth in document: ";
  if (message.starts_with(kDepth)) {
    std::string_view depth = message.substr(kDepth.size());
    depth = depth.substr(0, depth.find(' '));
    return "elements are nested more than " + std::string(depth) + " deep, more than the validator reads";
  }
  if (message == "xmlSAX2Characters: huge text node") return "a text is longer than the validator reads";
  if (message == "internal error: Huge input lookup") {
    return "a name or attribute value is longer than the validator reads";
  }
  // Anything else that names a parser option or function loses those words.
  std::string_view text = message;
  if (const std::size_t hint = text.find("use XML_PARSE_"); hint != std::string_view::npos) {
    text = text.substr(0, hint);
    while (!text.empty() && (text.back() == ' ' || text.back() == ',')) text.remove_suffix(1);
  }
  if (const std::size_t colon = text.find(':');
      colon != std::string_view::npos && isFunctionName(text.substr(0, colon))) {
    text.remove_prefix(colon + 1);
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  }
  return std::string(text);
}

// The node's place as libxml2 writes it ("/DeviceSeries/aMediaInfoList/MediaInfo[3]/nDryTime");
// empty when the error names no node.
std::string nodePath(const xmlError& error) {
  const auto* node = static_cast<const xmlNode*>(error.node);
  if (node == nullptr || (node->type != XML_ELEMENT_NODE && node->type != XML_ATTRIBUTE_NODE)) return {};
  struct FreeText {
    void operator()(xmlChar* text) const { xmlFree(text); }
  };
  const std::unique_ptr<xmlChar, FreeText> path(xmlGetNodePath(node));
  return path ? std::string(reinterpret_cast<const char*>(path.get())) : std::string();
}

// A validity message begins with the element (and attribute) it is about, which the node's
// path already says.
std::string_view withoutElementPrefix(std::string_view message) {
  if (!message.starts_with("Element '")) return message;
  const std::size_t end = message.find("': ");
  return end == std::string_view::npos ? message : message.substr(end + 3);
}

// Collects libxml2's messages, the first few of them, for people to read: where (the
// element's path and line, or the line and column of a parse error), then what.
struct Messages {
  std::string text;
  int count = 0;

  void add(const xmlError* error) {
    if (error == nullptr || error->message == nullptr) return;
    if (++count > 5) return;
    if (!text.empty()) text += '\n';
    std::string_view message(error->message);
    while (!message.empty() && message.back() == '\n') message.remove_suffix(1);
    if (const std::string path = nodePath(*error); !path.empty()) {
      text += path;
      if (error->line > 0) text += " (line " + std::to_string(error->line) + ")";
      text += ": ";
      message = withoutElementPrefix(message);
    } else if (error->line > 0) {
      text += "line " + std::to_string(error->line);
      if (error->int2 > 0) text += ", column " + std::to_string(error->int2);
      text += ": ";
    }
    text += plainWords(message);
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
