// The loader against libxml2, for any bytes: our loadFromMemory must succeed exactly when
// libxml2 finds the input well-formed and namespace-well-formed without a document type
// declaration (we refuse every document that has one), and when both take it, both must
// give the same elements, attributes, texts, comments and processing instructions.
//
// libxml2 runs without network, without loading any DTD and without substituting entities,
// with its hard-coded limits lifted (XML_PARSE_HUGE) so that a size or depth our loader takes
// is not refused for that alone; when libxml2 still refuses because of a resource limit, the
// input says nothing about well-formedness and is not compared. Nor are the inputs
// leftToOthers picks out (encoding questions that are not libxml2's to settle). Where
// libxml2 2.9.14 is known to judge otherwise than XML allows, its verdict is corrected
// instead, each case explained where it is decided.
#include <iconv.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "fuzz_support.h"

namespace {

using pelagon::xml::Node;
using pelagon::xml::NodeType;

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool isWhitespaceOnly(std::string_view text) {
  for (char c : text) {
    if (!isSpace(c)) return false;
  }
  return true;
}

std::string_view view(const xmlChar* text) {
  return text == nullptr ? std::string_view() : std::string_view(reinterpret_cast<const char*>(text));
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// The encoding an input names in its XML declaration, and the one its byte-order mark
// gives; each empty when there is none.
struct EncodingClaims {
  std::string_view mark;
  std::string declared;
  std::string version;  // the declaration's version, for the check below
};

// The value of a pseudo-attribute of the declaration (without "?>"); empty when absent.
std::string declarationValue(const std::string& declaration, std::string_view name) {
  std::size_t at = declaration.find(name);
  if (at == std::string::npos) return {};
  at += name.size();
  while (at < declaration.size() && isSpace(declaration[at])) ++at;
  if (at >= declaration.size() || declaration[at] != '=') return {};
  ++at;
  while (at < declaration.size() && isSpace(declaration[at])) ++at;
  if (at >= declaration.size() || (declaration[at] != '"' && declaration[at] != '\'')) return {};
  const std::size_t end = declaration.find(declaration[at], at + 1);
  return end == std::string::npos ? std::string() : declaration.substr(at + 1, end - at - 1);
}

EncodingClaims encodingClaims(std::string_view bytes) {
  EncodingClaims claims;
  // The declaration is ASCII: in UTF-16 every other byte is zero, which this narrows away.
  std::string declaration;
  if (bytes.starts_with("\xFE\xFF") || bytes.starts_with("\xFF\xFE")) {
    claims.mark = "UTF-16";
    const bool bigEndian = bytes[0] == '\xFE';
    for (std::size_t at = 2; at + 1 < bytes.size() && declaration.size() < 256; at += 2) {
      if (bytes[bigEndian ? at : at + 1] != '\0') break;
      declaration += bytes[bigEndian ? at + 1 : at];
    }
  } else {
    if (bytes.starts_with("\xEF\xBB\xBF")) {
      claims.mark = "UTF-8";
      bytes.remove_prefix(3);
    }
    declaration = bytes.substr(0, 256);
  }
  if (!declaration.starts_with("<?xml") || declaration.size() < 6 || !isSpace(declaration[5])) return claims;
  declaration = declaration.substr(0, declaration.find("?>"));
  claims.declared = declarationValue(declaration, "encoding");
  claims.version = declarationValue(declaration, "version");
  return claims;
}

bool iconvKnows(const std::string& encoding) {
  const iconv_t cd = ::iconv_open("UTF-8", encoding.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  ::iconv_close(cd);
  return true;
}

// Inputs whose verdict is not this harness's to compare.
bool leftToOthers(std::string_view bytes) {
  const EncodingClaims claims = encodingClaims(bytes);
  if (claims.declared.empty()) return false;
  // A byte-order mark with a declaration naming another encoding: libxml2 follows the mark
  // and ignores the name, where such a document is not well-formed. The conformance suite
  // holds those cases.
  if (!claims.mark.empty() && !equalsIgnoringCase(claims.declared, claims.mark)) return true;
  // Which encodings a parser reads is its own choice. Ours reads what iconv knows; libxml2
  // also what ICU knows, whose names ignore punctuation ("wind.ows-1252"). A name iconv does
  // not know says nothing about the document.
  return !iconvKnows(claims.declared);
}

// The canonical rendering both sides are compared in: one line per element, namespace
// declaration, attribute, text run, comment and instruction, led by its depth (a number,
// since indenting would grow with the square of a fuzzed document's nesting). Namespace
// declarations come before the other attributes, since libxml2 keeps them apart and loses
// how the two interleave. Whitespace-only text pieces are dropped (our loader drops them),
// then adjacent text and CDATA pieces are merged into one run.
class Rendering {
public:
  void text(std::string_view piece) {
    if (!isWhitespaceOnly(piece)) run_ += piece;
  }
  void open(std::string_view name) {
    line("<", name);
    ++depth_;
  }
  void close() {
    flush();
    --depth_;
  }
  void namespaceDeclaration(std::string_view name, std::string_view uri) { line("ns ", name, uri); }
  void attribute(std::string_view name, std::string_view value) { line("@", name, value); }
  void comment(std::string_view text) { line("comment ", text); }
  void instruction(std::string_view target, std::string_view data) { line("?", target, data); }

  const std::string& finish() {
    flush();
    return out_;
  }

private:
  void flush() {
    if (run_.empty()) return;
    std::string run;
    run.swap(run_);
    line("text ", run);
  }
  void line(std::string_view kind, std::string_view first, std::string_view second = {}) {
    flush();
    out_.append(std::to_string(depth_)).append(" ").append(kind);
    quote(first);
    if (!second.empty() || kind == "ns " || kind == "@") {
      out_ += '=';
      quote(second);
    }
    out_ += '\n';
  }
  // Readable on a terminal, every byte still told apart.
  void quote(std::string_view text) {
    out_ += '"';
    for (unsigned char c : text) {
      if (c == '"' || c == '\\') {
        out_ += '\\';
        out_ += static_cast<char>(c);
      } else if (c >= 0x20 && c < 0x7F) {
        out_ += static_cast<char>(c);
      } else {
        char escape[5];
        std::snprintf(escape, sizeof escape, "\\x%02X", c);
        out_ += escape;
      }
    }
    out_ += '"';
  }

  std::string out_;
  std::string run_;
  int depth_ = 0;
};

// ---- libxml2's side ----

struct LibxmlResult {
  enum Verdict { Accepted, Refused, Limited } verdict = Refused;
  std::string rendering;
  std::string message;
};

std::string qualifiedName(const xmlNs* ns, const xmlChar* local) {
  std::string name;
  if (ns != nullptr && ns->prefix != nullptr) name.append(view(ns->prefix)).append(":");
  return name.append(view(local));
}

void renderLibxmlNode(const xmlNode* node, Rendering& out) {
  switch (node->type) {
    case XML_ELEMENT_NODE: {
      out.open(qualifiedName(node->ns, node->name));
      for (const xmlNs* ns = node->nsDef; ns != nullptr; ns = ns->next) {
        // Without entity substitution libxml2 keeps "&amp;" in a namespace name as "&#38;",
        // so that the value could be written out again; the name itself holds '&'.
        std::string href(view(ns->href));
        for (auto at = href.find("&#38;"); at != std::string::npos; at = href.find("&#38;", at + 1)) {
          href.erase(at + 1, 4);  // keeps the '&', drops "#38;"
        }
        out.namespaceDeclaration(
            ns->prefix == nullptr ? std::string("xmlns") : "xmlns:" + std::string(view(ns->prefix)), href);
      }
      for (const xmlAttr* attr = node->properties; attr != nullptr; attr = attr->next) {
        const std::unique_ptr<xmlChar, decltype(xmlFree)> value(
            xmlNodeGetContent(reinterpret_cast<const xmlNode*>(attr)), xmlFree);
        out.attribute(qualifiedName(attr->ns, attr->name), view(value.get()));
      }
      break;
    }
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
      out.text(view(node->content));
      break;
    case XML_COMMENT_NODE:
      out.comment(view(node->content));
      break;
    case XML_PI_NODE:
      out.instruction(view(node->name), view(node->content));
      break;
    default:
      // Without a DTD nothing else can stand in a document we compare; a node we do not
      // expect shows in the rendering.
      out.instruction("#libxml2-node", std::to_string(node->type));
      break;
  }
}

// Depth-first without recursion: the nesting of a fuzzed document has no useful bound.
void renderLibxmlDocument(const xmlDoc* document, Rendering& out) {
  const xmlNode* node = document->children;
  while (node != nullptr) {
    renderLibxmlNode(node, out);
    if (node->type == XML_ELEMENT_NODE && node->children != nullptr) {
      node = node->children;
      continue;
    }
    if (node->type == XML_ELEMENT_NODE) out.close();
    while (node->next == nullptr) {
      node = node->parent;
      if (node == nullptr || node->type != XML_ELEMENT_NODE) return;
      out.close();
    }
    node = node->next;
  }
}

void ignoreMessage(void*, const char*, ...) {}

// What libxml2 reported while parsing one input.
struct Reports {
  bool resourceLimit = false;
  int namespaceErrors = 0;
  std::string firstError;

  void add(const xmlError& error) {
    const std::string_view message = error.message == nullptr ? "" : error.message;
    // Resource limits that XML_PARSE_HUGE leaves: a refusal for one of them is no verdict on
    // the document.
    if (error.code == XML_ERR_NO_MEMORY || error.code == XML_ERR_NAME_TOO_LONG ||
        (error.code == XML_ERR_INTERNAL_ERROR && (message.find("Excessive depth") != std::string_view::npos ||
                                                  message.find("Huge input") != std::string_view::npos))) {
      resourceLimit = true;
    }
    // libxml2 counts a namespace name that does not parse as a URI reference (a space, a
    // non-ASCII character, a colon in the first segment) against namespace
    // well-formedness. The conformance suite has such names, IRIs and relative references,
    // as errors a processor need not report, and our loader takes any namespace name; so
    // that complaint alone refuses nothing here.
    if (error.domain == XML_FROM_NAMESPACE && error.level >= XML_ERR_ERROR && error.code != XML_WAR_NS_URI) {
      ++namespaceErrors;
    }
    if (error.level >= XML_ERR_ERROR && firstError.empty()) firstError = message;
  }
};

void collect(void* reports, xmlErrorPtr error) {
  if (error != nullptr) static_cast<Reports*>(reports)->add(*error);
}

LibxmlResult parseWithLibxml(std::string_view bytes) {
  static const bool initialised = [] {
    xmlInitParser();
    xmlSetGenericErrorFunc(nullptr, ignoreMessage);
    return true;
  }();
  (void)initialised;

  Reports reports;
  xmlSetStructuredErrorFunc(&reports, collect);
  const std::unique_ptr<xmlParserCtxt, decltype(&xmlFreeParserCtxt)> context(xmlNewParserCtxt(),
                                                                             xmlFreeParserCtxt);
  if (!context) __builtin_trap();
  constexpr int kOptions = XML_PARSE_NONET | XML_PARSE_HUGE | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
  const std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)> document(
      xmlCtxtReadMemory(context.get(), bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr,
                        kOptions),
      xmlFreeDoc);
  xmlSetStructuredErrorFunc(nullptr, nullptr);

  LibxmlResult result;
  result.message = reports.firstError;
  const bool namespaceWellFormed = context->nsWellFormed || reports.namespaceErrors == 0;
  if (reports.resourceLimit) {
    result.verdict = LibxmlResult::Limited;
  } else if (document && context->wellFormed && namespaceWellFormed) {
    // libxml2 2.9.14 stops without a word at a NUL character after the root element, and
    // drops an incomplete character at the end of a transcoded input (an odd byte of
    // UTF-16, half a Shift_JIS pair). Neither is well-formed, so a parse that left input
    // unread or undecoded refuses.
    const xmlParserInput* input = context->input;
    const bool undecoded = input != nullptr && input->buf != nullptr && input->buf->raw != nullptr &&
                           xmlBufUse(input->buf->raw) > 0;
    if (input != nullptr && (input->cur < input->end || undecoded)) {
      result.message = "libxml2 stopped before the end of the input";
    } else if (document->intSubset != nullptr) {
      result.message = "a document type declaration";
    } else {
      result.verdict = LibxmlResult::Accepted;
      Rendering rendering;
      renderLibxmlDocument(document.get(), rendering);
      result.rendering = rendering.finish();
    }
  }
  return result;
}

// ---- our side ----

void renderOurNode(Node node, bool leadsDocument, Rendering& out) {
  switch (node.type()) {
    case NodeType::Element:
      out.open(node.name());
      for (const bool declarations : {true, false}) {
        for (pelagon::xml::Attribute attr = node.firstAttribute(); attr; attr = attr.nextAttribute()) {
          const std::string_view name = attr.name();
          if ((name == "xmlns" || name.starts_with("xmlns:")) != declarations) continue;
          if (declarations) {
            out.namespaceDeclaration(name, attr.value());
          } else {
            out.attribute(name, attr.value());
          }
        }
      }
      break;
    case NodeType::Text:
    case NodeType::CData:
      out.text(node.text());
      break;
    case NodeType::Comment:
      out.comment(node.text());
      break;
    case NodeType::ProcessingInstruction:
      // The XML declaration is a node of ours and none of libxml2's.
      if (!(leadsDocument && node.name() == "xml")) out.instruction(node.name(), node.text());
      break;
    default:
      out.instruction("#our-node", std::to_string(static_cast<int>(node.type())));
      break;
  }
}

std::string renderOurDocument(const pelagon::xml::Document& document) {
  Rendering out;
  const Node top = document.node();
  const Node leading = top.firstChild();
  Node node = leading;
  while (node) {
    renderOurNode(node, node == leading, out);
    const bool element = node.type() == NodeType::Element;
    if (element && node.firstChild()) {
      node = node.firstChild();
      continue;
    }
    if (element) out.close();
    while (!node.nextSibling()) {
      node = node.parent();
      if (!node || node == top) return out.finish();
      out.close();
    }
    node = node.nextSibling();
  }
  return out.finish();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelagon;
  const std::string_view bytes = fuzz::bytesOf(data, size);
  if (leftToOthers(bytes)) return 0;
  const LibxmlResult theirs = parseWithLibxml(bytes);
  if (theirs.verdict == LibxmlResult::Limited) return 0;

  fuzz::prepareDocuments();
  const xml::DocumentPtr document = xml::Document::Create();
  const xml::LoadResult ours = document->loadFromMemory(bytes);

  // libxml2 takes "1." (and any digits, a point, digits) as a version, where XML 1.0 has
  // '1.' followed by at least one digit.
  const std::string version = encodingClaims(bytes).version;
  const bool versionValid = version.empty() || (version.size() > 2 && version.starts_with("1.") &&
                                                version.find_first_not_of("0123456789", 2) == std::string::npos);
  const bool theyAccept = theirs.verdict == LibxmlResult::Accepted && versionValid;
  if (ours.ok != theyAccept) {
    const std::string verdicts = std::string("ours: ") + (ours.ok ? "accepted" : "refused: " + ours.message) +
                                 "\nlibxml2: " + (theyAccept ? "accepted" : "refused: " + theirs.message);
    fuzz::fail("the loader and libxml2 disagree on whether this is a namespace-well-formed document",
               verdicts, ours.ok ? renderOurDocument(*document) : theirs.rendering);
  }
  if (!ours.ok) return 0;
  const std::string rendering = renderOurDocument(*document);
  if (rendering != theirs.rendering) {
    fuzz::fail("the loader and libxml2 read the document differently (ours first)", rendering,
               theirs.rendering);
  }
  return 0;
}
