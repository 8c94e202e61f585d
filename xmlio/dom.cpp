#include <pelagon/xmlio/dom.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <pugixml.hpp>
#include <utility>
#include <vector>

#include <pelagon/platform/com.h>
#include <pelagon/platform/hresult.h>
#include <pelagon/platform/linux/posix_file.h>
#include <pelagon/xmlio/xml_chars.h>
#include <pelagon/xmlio/xml_backend.h>
#include <pelagon/xmlio/xml_load.h>

namespace pelagon::xml {

namespace {

using win::_com_error;

bool backendAvailable = true;

// Every document keeps its detached nodes under one unnamed element, its first top-level
// child, which no walk of ours shows.
pugi::xml_node handle(pugi::xml_node_struct* node) { return pugi::xml_node(node); }

// Every other element has a name (parsed names and the names we create are never empty), so
// the name decides it, in one call for the usual named node: the tree walks ask this at
// every step.
bool isParking(pugi::xml_node node) { return *node.name() == '\0' && node.type() == pugi::node_element; }

pugi::xml_node require(pugi::xml_node_struct* node) {
  if (node == nullptr) throw _com_error(win::E_POINTER);
  return handle(node);
}

// Copies a name into a terminated buffer without allocating for the usual short names.
class TerminatedName {
public:
  explicit TerminatedName(std::string_view name) {
    if (name.size() < sizeof small_) {
      std::memcpy(small_, name.data(), name.size());
      small_[name.size()] = '\0';
      text_ = small_;
    } else {
      large_.assign(name);
      text_ = large_.c_str();
    }
  }
  const char* c_str() const { return text_; }

private:
  char small_[64];
  std::string large_;
  const char* text_;
};

// Names are checked when they are made, so that a save never writes one a load refuses. The
// writers use no namespaces, so a colon, which would need a declared prefix, is refused too.
void requireXmlName(std::string_view name) {
  if (!isNcName(name)) {
    throw _com_error(win::E_INVALIDARG, "'" + std::string(name) + "' is not a valid XML name.");
  }
}

[[noreturn]] void throwOutOfMemory() { throw _com_error(win::E_OUTOFMEMORY); }

// pugixml keeps values as terminated strings, so a NUL would silently cut the value short;
// XML cannot carry it anyway, so it is refused where the value is set.
void refuseNul(std::string_view utf8, pugi::xml_node owner, std::string_view what) {
  if (std::memchr(utf8.data(), '\0', utf8.size()) == nullptr) return;
  throw _com_error(win::HRESULT_FROM_WIN32(win::ERROR_INVALID_DATA),
                   "Cannot save: " + std::string(what) + " of <" + owner.name() +
                       "> holds a character XML cannot carry (U+0000)");
}

// Appends all the text below `node` in document order, without recursion: a hostile file
// may nest deeper than any stack.
// The node after `node` in document order within `top`, or null after the last; the walks
// of this file use it instead of recursion, since a hostile file may nest deeper than any
// stack.
pugi::xml_node nextInDocumentOrder(pugi::xml_node node, pugi::xml_node top) {
  if (const pugi::xml_node child = node.first_child()) return child;
  while (node != top && !node.next_sibling()) node = node.parent();
  return node == top ? pugi::xml_node() : node.next_sibling();
}

void appendDescendantText(pugi::xml_node node, std::string& out) {
  for (pugi::xml_node current = nextInDocumentOrder(node, node); current;
       current = nextInDocumentOrder(current, node)) {
    const auto type = current.type();
    if (type == pugi::node_pcdata || type == pugi::node_cdata) out += current.value();
  }
}

// pugixml writes a carriage return inside text as it is, and every reader turns it into a
// line feed; as a character reference it survives. pugixml's own line breaks are line feeds,
// so every carriage return it hands over belongs to a text. The indented form ends its lines
// with CR LF, and a line feed inside a text becomes CR LF too, which a reader reads as the
// line feed again.
class StringWriter final : public pugi::xml_writer {
public:
  enum class LineEnds { AsWritten, CrLf };
  StringWriter(std::string& out, LineEnds lineEnds) : out_(out), crlf_(lineEnds == LineEnds::CrLf) {}
  void write(const void* data, std::size_t size) override {
    std::string_view chunk(static_cast<const char*>(data), size);
    if (!crlf_) {
      for (auto cr = chunk.find('\r'); cr != std::string_view::npos; cr = chunk.find('\r')) {
        out_.append(chunk.substr(0, cr)).append("&#13;");
        chunk.remove_prefix(cr + 1);
      }
    } else {
      for (auto at = chunk.find_first_of("\r\n"); at != std::string_view::npos;
           at = chunk.find_first_of("\r\n")) {
        out_.append(chunk.substr(0, at)).append(chunk[at] == '\r' ? "&#13;" : "\r\n");
        chunk.remove_prefix(at + 1);
      }
    }
    out_.append(chunk);
  }

private:
  std::string& out_;
  bool crlf_;
};

// ---- What a save refuses ----

// A save refuses what a reader would refuse to take back. pugixml would write a control
// character as a character reference that no conforming reader accepts, bytes that are not
// UTF-8 as they are, and it would quietly change "--" in a comment and "?>" in an
// instruction; the file would then not be what the document holds.
constexpr win::HRESULT kCannotCarry = win::HRESULT_FROM_WIN32(win::ERROR_INVALID_DATA);

// "<a>/<b>/<c>": the elements from the root down to `element`. A deep path keeps the root and
// the last levels, so that the message stays readable.
std::string elementPath(pugi::xml_node element) {
  constexpr std::size_t kLastLevels = 6;
  std::vector<const char*> names;  // innermost first
  for (; element.type() == pugi::node_element; element = element.parent()) names.push_back(element.name());
  std::string path;
  const std::size_t count = names.size();
  for (std::size_t i = count; i-- > 0;) {
    if (i + 1 < count && i >= kLastLevels) {
      if (i + 2 == count) path += "/...";
      continue;
    }
    if (!path.empty()) path += '/';
    path.append("<").append(names[i]).append(">");
  }
  return path;
}

[[noreturn]] void refuseSave(pugi::xml_node node, pugi::xml_attribute attribute, std::string_view problem) {
  const pugi::xml_node parent = node.parent();
  const std::string where = parent.type() == pugi::node_element ? " in " + elementPath(parent)
                                                                : std::string(" outside the root element");
  std::string subject;
  if (attribute) {
    subject = "the attribute " + std::string(attribute.name()) + " of " + elementPath(node);
  } else if (node.type() == pugi::node_pcdata) {
    subject = "the text of " + elementPath(parent);
  } else if (node.type() == pugi::node_cdata) {
    subject = "a CDATA section" + where;
  } else if (node.type() == pugi::node_comment) {
    subject = "a comment" + where;
  } else {
    subject = "the processing instruction \"" + std::string(node.name()) + "\"" + where;
  }
  throw _com_error(kCannotCarry, "Cannot save: " + subject + " " + std::string(problem));
}

void requireXmlChars(std::string_view value, pugi::xml_node node, pugi::xml_attribute attribute = {}) {
  const std::size_t at = firstNonXmlChar(value);
  if (at == std::string_view::npos) return;
  std::size_t next = at;
  const char32_t c = decodeUtf8(value, next);
  char code[32];
  if (c <= 0x10FFFF) {
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
  } else {
    std::snprintf(code, sizeof code, "byte 0x%02X, not UTF-8",
                  static_cast<unsigned>(static_cast<unsigned char>(value[at])));
  }
  refuseSave(node, attribute, std::string("holds a character XML cannot carry (") + code + ")");
}

void requireSavableNode(pugi::xml_node node) {
  switch (node.type()) {
    case pugi::node_element:
      for (pugi::xml_attribute attr = node.first_attribute(); attr; attr = attr.next_attribute()) {
        requireXmlChars(attr.value(), node, attr);
      }
      break;
    case pugi::node_pcdata:
    case pugi::node_cdata:
      requireXmlChars(node.value(), node);
      break;
    case pugi::node_comment: {
      const std::string_view text = node.value();
      requireXmlChars(text, node);
      if (text.find("--") != std::string_view::npos)
        refuseSave(node, {}, "holds \"--\", which ends a comment");
      if (text.ends_with('-')) refuseSave(node, {}, "ends in \"-\", which would run into the comment's end");
      break;
    }
    case pugi::node_pi: {
      const std::string_view data = node.value();
      requireXmlChars(data, node);
      if (data.find("?>") != std::string_view::npos)
        refuseSave(node, {}, "holds \"?>\", which ends an instruction");
      break;
    }
    default:
      break;
  }
}

// Checks `top` and everything below it, without recursion: a document may nest deeper than
// any stack.
void requireSavableTree(pugi::xml_node top) {
  for (pugi::xml_node node = top; node; node = nextInDocumentOrder(node, top)) requireSavableNode(node);
}

// firstNonXmlChar over a whole written document, which is mostly markup in printable ASCII:
// such runs are passed 32 bytes at a time, and only the blocks that hold anything else are
// decoded, each up to the end of the character it cuts. So every block starts a character.
bool onlyXmlChars(std::string_view text) {
  constexpr std::size_t kBlock = 32;
  const auto printableAscii = [](const char* bytes) {
    std::uint64_t words[kBlock / 8];
    std::memcpy(words, bytes, kBlock);
    std::uint64_t flagged = 0;
    // A byte with its high bit set, or one that borrows when 0x20 is taken from it.
    for (const std::uint64_t word : words) flagged |= word | ((word - 0x2020202020202020ULL) & ~word);
    return (flagged & 0x8080808080808080ULL) == 0;
  };
  std::size_t pos = 0;
  while (text.size() - pos >= kBlock) {
    if (printableAscii(text.data() + pos)) {
      pos += kBlock;
      continue;
    }
    std::size_t end = pos + kBlock;
    while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
    if (firstNonXmlChar(text.substr(pos, end - pos)) != std::string_view::npos) return false;
    pos = end;
  }
  return firstNonXmlChar(text.substr(pos)) == std::string_view::npos;
}

// Whether the text written for a subtree shows all of it to be savable, so that the walk
// above, which costs as much as the writing itself, is needed only when it does not. The
// writer keeps every character of a text or attribute value and only inserts ASCII between
// characters, so a character XML cannot carry, or bytes that are not UTF-8, stay visible;
// except a control character, which it writes as a character reference "&#NN;". A '&' of a
// value is written "&amp;" and a '<' "&lt;", so "&#" is such a reference or the one for a
// tab, line feed or carriage return, and "<!" or "<?" starts a comment, an instruction or a
// CDATA section, whose rules the walk checks.
bool writtenFormIsSavable(std::string_view written) {
  if (!onlyXmlChars(written)) return false;
  for (const char marker : {'!', '?'}) {
    for (auto at = written.find(marker); at != std::string_view::npos; at = written.find(marker, at + 1)) {
      if (at > 0 && written[at - 1] == '<') return false;
    }
  }
  for (auto at = written.find('#'); at != std::string_view::npos; at = written.find('#', at + 1)) {
    if (at == 0 || written[at - 1] != '&') continue;
    const std::string_view reference = written.substr(at + 1, 3);
    if (reference != "09;" && reference != "10;" && reference != "13;" && reference != "32;") return false;
  }
  return true;
}

// ---- The indented form ----

// An attribute value between double quotes, escaped as pugixml escapes it: the markup
// characters as entities, and tab, line feed and carriage return as character references,
// which a reader does not turn into spaces.
void appendAttributeValue(std::string_view value, std::string& out) {
  std::size_t done = 0;
  for (std::size_t i = 0; i < value.size(); ++i) {
    std::string_view replacement;
    switch (value[i]) {
      case '&':
        replacement = "&amp;";
        break;
      case '<':
        replacement = "&lt;";
        break;
      case '"':
        replacement = "&quot;";
        break;
      case '\t':
        replacement = "&#09;";
        break;
      case '\n':
        replacement = "&#10;";
        break;
      case '\r':
        replacement = "&#13;";
        break;
      default:
        continue;
    }
    out.append(value.substr(done, i - done)).append(replacement);
    done = i + 1;
  }
  out.append(value.substr(done));
}

// "<name attributes" and then ">" when the element has children or "/>" when it has none;
// whether it has.
bool appendStartTag(pugi::xml_node element, std::string& out) {
  out.append("<").append(element.name());
  for (pugi::xml_attribute attr = element.first_attribute(); attr; attr = attr.next_attribute()) {
    out.append(" ").append(attr.name()).append("=\"");
    appendAttributeValue(attr.value(), out);
    out += '"';
  }
  const bool hasChildren = static_cast<bool>(element.first_child());
  out += hasChildren ? ">" : "/>";
  return hasChildren;
}

// One top-level node in the indented form, laid out as pugixml's indent mode lays it out:
// each node on a line of its own, a tab deeper than its parent, except that a text and what
// follows it up to its parent's end tag stay on the text's line (so mixed content keeps its
// text as it is). pugixml writes an element without children "<a />"; here it is "<a/>", as
// in the one-line form. Texts, comments and instructions are written by pugixml itself, so
// they are escaped as in the one-line form. Without recursion, as the check above.
// A text of white space alone would be taken by a reader for the space between elements and
// dropped; written as character references it reads back as itself.
bool isWhitespaceOnly(std::string_view text) {
  return !text.empty() && text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

void appendWhitespaceReferences(std::string_view text, std::string& out) {
  for (const char c : text) out += c == ' ' ? "&#32;" : c == '\t' ? "&#09;" : c == '\n' ? "&#10;" : "&#13;";
}

// The one-line form as pugixml prints it, with every text of white space alone as references.
// Without comments, instructions and CDATA sections in it, a '>' followed by white space and
// a '<' can only be such a text between two tags: pugixml escapes '<' everywhere else.
void referenceWhitespaceOnlyTexts(std::string& out, std::size_t start) {
  const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  std::string fixed;
  std::size_t done = start;
  for (std::size_t at = out.find('>', start); at != std::string::npos; at = out.find('>', at)) {
    std::size_t end = ++at;
    while (end < out.size() && isSpace(out[end])) ++end;
    if (end == at || end == out.size() || out[end] != '<') {
      at = end;
      continue;
    }
    if (fixed.empty()) fixed.reserve(out.size() + 64);
    fixed.append(out, done, at - done);
    appendWhitespaceReferences(std::string_view(out).substr(at, end - at), fixed);
    done = at = end;
  }
  if (done == start) return;
  fixed.append(out, done, std::string::npos);
  out.replace(start, std::string::npos, fixed);
}

// Writes `top` in the given form: indented as pugixml indents (but "<a/>"), or on one line
// as pugixml's raw print does.
void appendTree(pugi::xml_node top, std::string& out, SaveForm form) {
  const bool indented = form == SaveForm::Indented;
  StringWriter leaves(out, indented ? StringWriter::LineEnds::CrLf : StringWriter::LineEnds::AsWritten);
  // What comes before the next node that is not text: a line break, the indentation.
  constexpr unsigned kBreak = 1;
  constexpr unsigned kIndent = 2;
  unsigned before = indented ? kIndent : 0;
  std::size_t depth = 0;
  const auto startLine = [&] {
    if (!indented) return;
    if ((before & kBreak) != 0) out += "\r\n";
    if ((before & kIndent) != 0) out.append(depth, '\t');
  };
  pugi::xml_node node = top;
  do {
    const pugi::xml_node_type type = node.type();
    if (type == pugi::node_pcdata && isWhitespaceOnly(node.value())) {
      appendWhitespaceReferences(node.value(), out);
      before = 0;
    } else if (type == pugi::node_pcdata || type == pugi::node_cdata) {
      node.print(leaves, "", pugi::format_raw, pugi::encoding_utf8);
      before = 0;
    } else {
      startLine();
      before = kBreak | kIndent;
      if (type != pugi::node_element) {
        node.print(leaves, "", pugi::format_raw, pugi::encoding_utf8);
      } else if (appendStartTag(node, out)) {
        node = node.first_child();
        ++depth;
        continue;
      }
    }
    while (node != top) {
      if (const pugi::xml_node next = node.next_sibling()) {
        node = next;
        break;
      }
      node = node.parent();
      --depth;
      startLine();
      out.append("</").append(node.name()).append(">");
      before = kBreak | kIndent;
    }
  } while (node != top);
  if (indented && (before & kBreak) != 0) out += "\r\n";
}

bool isDeclaration(pugi::xml_node node) {
  return node.type() == pugi::node_declaration ||
         (node.type() == pugi::node_pi && std::string_view(node.name()) == "xml");
}

constexpr std::string_view kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_pi | pugi::parse_comments |
                                   pugi::parse_declaration | pugi::parse_doctype | pugi::parse_fragment;

// "line L, column C: " of an offset into the document's UTF-8 text, or nothing when the
// offset is not known.
std::string positionOf(std::string_view utf8, std::size_t offset) {
  if (offset == std::string_view::npos) return {};
  return detail::LineAndColumn(utf8, offset) + ": ";
}

// Largest file we read into memory at once; the DOM of such a file already needs several
// times its size.
constexpr std::uint64_t kMaxFileSize = std::uint64_t{1} << 31;

struct PugiBuffer {
  void* data = nullptr;
  std::size_t size = 0;
  ~PugiBuffer() {
    if (data != nullptr) pugi::get_memory_deallocation_function()(data);
  }
  void* release() { return std::exchange(data, nullptr); }
};

std::string readFileText(const std::string& path) {
  std::string bytes;
  win::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return bytes;
  char chunk[65536];
  for (;;) {
    const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
    if (n <= 0 || bytes.size() > kMaxFileSize) break;
    bytes.append(chunk, static_cast<std::size_t>(n));
  }
  return bytes;
}

[[noreturn]] void throwFileError(int error, const std::string& path, const char* what) {
  throw _com_error(win::HRESULT_FROM_WIN32(win::Win32ErrorFromErrno(error)),
                   std::string(what) + " '" + path + "': " + std::strerror(error));
}

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Rewrites an existing file through its own handle. The new bytes go over the old ones
// before the file is cut to size, so a write that fails part way (a full disk) fails where
// the old bytes still hold their blocks, and they are put back.
void writeInPlace(const std::string& file, const std::string& shownPath, std::string_view bytes) {
  win::UniqueFd fd(::open(file.c_str(), O_RDWR | O_CLOEXEC));
  if (fd.get() < 0) throwFileError(errno, shownPath, "Cannot write");
  std::string old;
  std::array<char, 65536> chunk{};
  for (;;) {
    const ssize_t n = ::read(fd.get(), chunk.data(), chunk.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throwFileError(errno, shownPath, "Cannot write");
    if (n == 0) break;
    old.append(chunk.data(), static_cast<std::size_t>(n));
  }
  const auto rewrite = [&fd](std::string_view content) {
    return ::lseek(fd.get(), 0, SEEK_SET) == 0 && writeAll(fd.get(), content) &&
           ::ftruncate(fd.get(), static_cast<off_t>(content.size())) == 0 && ::fdatasync(fd.get()) == 0;
  };
  if (!rewrite(bytes)) {
    const int error = errno;
    rewrite(old);
    throwFileError(error, shownPath, "Cannot write");
  }
  if (::close(fd.release()) != 0) throwFileError(errno, shownPath, "Cannot write");
}

// CR LF and a lone CR become LF in every instruction, as XML wants for all text.
bool normaliseInstructionLineEnds(pugi::xml_document& document) {
  for (pugi::xml_node node = document; node; node = nextInDocumentOrder(node, document)) {
    if (node.type() == pugi::node_pi && std::strchr(node.value(), '\r') != nullptr) {
      std::string value = node.value();
      std::size_t out = 0;
      for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\r') {
          value[out++] = '\n';
          if (i + 1 < value.size() && value[i + 1] == '\n') ++i;
        } else {
          value[out++] = value[i];
        }
      }
      if (!node.set_value(value.data(), out)) return false;
    }
  }
  return true;
}

// Decodes, parses and checks the document in `owned`, which it takes over.
LoadResult parseChecked(pugi::xml_document& document, PugiBuffer& owned,
                         const std::function<std::string()>& originalBytes) {
  detail::Utf8Text text;
  const std::string_view raw(static_cast<const char*>(owned.data), owned.size);
  detail::LoadProblem problem = detail::DecodeDocument(raw, text);
  const std::string_view utf8 = text.transcoded ? std::string_view(text.utf8) : raw;
  detail::ScanFacts facts;
  if (!problem) problem = detail::CheckWellFormed(utf8, text.transcoded, facts, detail::EndTags::LeftToParser);
  if (problem) return {false, positionOf(utf8, problem.offset) + problem.message};
  if (text.transcoded) {
    PugiBuffer converted;
    converted.data = pugi::get_memory_allocation_function()(text.utf8.empty() ? 1 : text.utf8.size());
    if (converted.data == nullptr) return {false, "out of memory"};
    converted.size = text.utf8.size();
    std::memcpy(converted.data, text.utf8.data(), text.utf8.size());
    std::swap(owned.data, converted.data);
    std::swap(owned.size, converted.size);
    std::string().swap(text.utf8);
  }

  // The parse runs in place, so a failure's position is looked up in the text made again.
  const auto originalText = [&] {
    std::string bytes = originalBytes();
    detail::Utf8Text again;
    detail::DecodeDocument(bytes, again);
    return again.transcoded ? std::move(again.utf8) : bytes;
  };
  const std::size_t size = owned.size;
  const pugi::xml_parse_result parsed =
      document.load_buffer_inplace_own(owned.release(), size, kParseOptions, pugi::encoding_utf8);
  if (!parsed) {
    // An end tag that does not match is told as the scan tells it.
    const std::string original = originalText();
    detail::ScanFacts unused;
    if (detail::LoadProblem mismatch = detail::CheckWellFormed(original, text.transcoded, unused)) {
      return {false, positionOf(original, mismatch.offset) + mismatch.message};
    }
    return {false, positionOf(original, static_cast<std::size_t>(parsed.offset)) + parsed.description()};
  }
  if (facts.lineEndsInInstructions && !normaliseInstructionLineEnds(document)) return {false, "out of memory"};
  return {true, {}};
}

}  // namespace

bool XmlBackendAvailable() { return backendAvailable; }

namespace testing {
void SetXmlBackendAvailable(bool available) { backendAvailable = available; }
}  // namespace testing

// ---- Attribute ----

std::string_view Attribute::name() const {
  if (attr_ == nullptr) throw _com_error(win::E_POINTER);
  return pugi::xml_attribute(attr_).name();
}

std::string_view Attribute::value() const {
  if (attr_ == nullptr) throw _com_error(win::E_POINTER);
  return pugi::xml_attribute(attr_).value();
}

Attribute Attribute::nextAttribute() const {
  if (attr_ == nullptr) throw _com_error(win::E_POINTER);
  return Attribute(pugi::xml_attribute(attr_).next_attribute().internal_object());
}

void Attribute::setValue(std::string_view utf8) {
  if (attr_ == nullptr) throw _com_error(win::E_POINTER);
  if (std::memchr(utf8.data(), '\0', utf8.size()) != nullptr) {
    throw _com_error(win::HRESULT_FROM_WIN32(win::ERROR_INVALID_DATA),
                     "Cannot save: the attribute '" + std::string(name()) +
                         "' holds a character XML cannot carry (U+0000)");
  }
  if (!pugi::xml_attribute(attr_).set_value(utf8.data(), utf8.size())) throwOutOfMemory();
}

// ---- Node ----

NodeType Node::type() const {
  switch (require(node_).type()) {
    case pugi::node_document:
      return NodeType::Document;
    case pugi::node_element:
      return NodeType::Element;
    case pugi::node_pcdata:
      return NodeType::Text;
    case pugi::node_cdata:
      return NodeType::CData;
    case pugi::node_comment:
      return NodeType::Comment;
    case pugi::node_pi:
    case pugi::node_declaration:
      return NodeType::ProcessingInstruction;
    case pugi::node_doctype:
      return NodeType::DocumentType;
    default:
      return NodeType::Other;
  }
}

std::string_view Node::name() const {
  const pugi::xml_node node = require(node_);
  // Elements and instructions have a name; only the other kinds answer with a fixed one.
  if (const char* name = node.name(); *name != '\0') return name;
  switch (node.type()) {
    case pugi::node_element:
    case pugi::node_pi:
    case pugi::node_declaration:
      return node.name();
    case pugi::node_pcdata:
      return "#text";
    case pugi::node_cdata:
      return "#cdata-section";
    case pugi::node_comment:
      return "#comment";
    case pugi::node_document:
      return "#document";
    default:
      return node.name();
  }
}

Node Node::firstChild() const {
  pugi::xml_node child = require(node_).first_child();
  if (child && isParking(child)) child = child.next_sibling();
  return Node(child.internal_object());
}

Node Node::nextSibling() const {
  const pugi::xml_node node = require(node_);
  if (isParking(node.parent())) return Node();
  return Node(node.next_sibling().internal_object());
}

Node Node::parent() const {
  const pugi::xml_node parent = require(node_).parent();
  if (isParking(parent)) return Node();
  return Node(parent.internal_object());
}

NodeList Node::childNodes() const { return NodeList(firstChild()); }

ChildRange Node::children() const { return ChildRange(firstChild(), {}, false); }

ChildRange Node::children(std::string_view name) const { return ChildRange(firstChild(), name, true); }

std::string Node::text() const {
  const pugi::xml_node node = require(node_);
  switch (node.type()) {
    case pugi::node_element: {
      const pugi::xml_node first = node.first_child();
      // The usual value element: one text node and nothing else.
      if (first.type() == pugi::node_pcdata && !first.next_sibling()) return first.value();
      std::string text;
      appendDescendantText(node, text);
      return text;
    }
    case pugi::node_document: {
      // The tree's text, without that of the detached nodes parked in the document.
      std::string text;
      for (pugi::xml_node child : node.children()) {
        if (!isParking(child)) appendDescendantText(child, text);
      }
      return text;
    }
    case pugi::node_declaration: {
      std::string text;
      for (pugi::xml_attribute attr : node.attributes()) {
        if (!text.empty()) text += ' ';
        text.append(attr.name()).append("=\"").append(attr.value()).append("\"");
      }
      return text;
    }
    default:
      return node.value();
  }
}

std::string_view Node::textView(std::string& scratch) const {
  const pugi::xml_node node = require(node_);
  // The usual value element, one text node and nothing else, in as few calls as it takes:
  // only elements hold a text node as their first child.
  const pugi::xml_node first = node.first_child();
  const pugi::xml_node_type firstType = first.type();  // node_null when there is no child
  if (firstType == pugi::node_pcdata && !first.next_sibling()) return first.value();
  if (firstType == pugi::node_null && node.type() == pugi::node_element) return {};
  scratch = text();
  return scratch;
}

void Node::setText(std::string_view utf8) {
  pugi::xml_node node = require(node_);
  refuseNul(utf8, node.type() == pugi::node_element ? node : node.parent(), "the text");
  if (node.type() != pugi::node_element) {
    if (!node.set_value(utf8.data(), utf8.size())) {
      throw _com_error(win::E_FAIL, "This node cannot hold text.");
    }
    return;
  }
  while (pugi::xml_node child = node.last_child()) node.remove_child(child);
  pugi::xml_node text = node.append_child(pugi::node_pcdata);
  if (!text || !text.set_value(utf8.data(), utf8.size())) throwOutOfMemory();
}

// A document holds one element at its top; `arriving` may already be it.
static void requireRoomForElement(pugi::xml_node document, pugi::xml_node arriving) {
  for (pugi::xml_node existing = document.first_child(); existing; existing = existing.next_sibling()) {
    if (existing.type() == pugi::node_element && !isParking(existing) && existing != arriving) {
      throw _com_error(win::E_FAIL, "Only one top level element is allowed in an XML document.");
    }
  }
}

Node Node::appendChild(Node child) {
  pugi::xml_node parent = require(node_);
  const pugi::xml_node moved = require(child.node_);
  if (parent.type() == pugi::node_document && moved.type() == pugi::node_element) {
    requireRoomForElement(parent, moved);
  }
  // pugixml refuses to move a node into itself or its own subtree, or across documents.
  if (!parent.append_move(moved)) {
    throw _com_error(win::E_FAIL, "The node cannot be inserted at this place.");
  }
  return child;
}

Node Node::appendElement(std::string_view name) {
  pugi::xml_node parent = require(node_);
  const pugi::xml_node_type type = parent.type();
  if (type == pugi::node_document) {
    requireRoomForElement(parent, pugi::xml_node());
  } else if (type != pugi::node_element) {
    throw _com_error(win::E_FAIL, "Only elements and documents take new elements this way.");
  }
  requireXmlName(name);
  const pugi::xml_node element = parent.append_child(TerminatedName(name).c_str());
  if (!element) throwOutOfMemory();
  return Node(element.internal_object());
}

Attribute Node::firstAttribute() const {
  return Attribute(require(node_).first_attribute().internal_object());
}

Attribute Node::attribute(std::string_view name) const {
  for (pugi::xml_attribute attr : require(node_).attributes()) {
    if (name == attr.name()) return Attribute(attr.internal_object());
  }
  return Attribute();
}

void Node::setAttribute(std::string_view name, std::string_view utf8) {
  pugi::xml_node node = require(node_);
  if (node.type() != pugi::node_element) throw _com_error(win::E_FAIL, "Only elements carry attributes.");
  Attribute existing = attribute(name);
  if (!existing) {
    requireXmlName(name);
    const pugi::xml_attribute added = node.append_attribute(TerminatedName(name).c_str());
    if (!added) throwOutOfMemory();
    existing = Attribute(added.internal_object());
  }
  existing.setValue(utf8);
}

Node Node::firstElementByTagName(std::string_view tag) const {
  const pugi::xml_node root = require(node_);
  // Document order, without recursion.
  pugi::xml_node current = handle(Node(node_).firstChild().node_);
  while (current) {
    if (current.type() == pugi::node_element && tag == current.name()) return Node(current.internal_object());
    if (current.first_child()) {
      current = current.first_child();
      continue;
    }
    while (current && current != root && !current.next_sibling()) current = current.parent();
    if (!current || current == root) break;
    current = current.next_sibling();
  }
  return Node();
}

// ---- NodeList ----

Node NodeList::nextNode() {
  const Node current = next_;
  if (current) next_ = Node(handle(current.node_).next_sibling().internal_object());
  return current;
}

// ---- ChildRange ----

Node ChildRange::iterator::skip(Node node) const {
  if (!byName_) return node;
  pugi::xml_node current = handle(node.node_);
  while (current && !(current.type() == pugi::node_element && name_ == current.name())) {
    current = current.next_sibling();
  }
  return Node(current.internal_object());
}

Node ChildRange::iterator::next(Node node) const {
  return skip(Node(handle(node.node_).next_sibling().internal_object()));
}

int NodeList::length() const {
  int count = 0;
  for (pugi::xml_node node = handle(first_.node_); node; node = node.next_sibling()) ++count;
  return count;
}

// ---- Document ----

Document::Document() : doc_(std::make_unique<pugi::xml_document>()) { resetParking(); }

Document::~Document() = default;

DocumentPtr Document::Create() {
  if (win::ComInitCount() == 0) throw _com_error(win::CO_E_NOTINITIALIZED);
  if (!backendAvailable) throw _com_error(win::REGDB_E_CLASSNOTREG);
  try {
    return DocumentPtr(new Document());
  } catch (const std::bad_alloc&) {
    throw _com_error(win::E_OUTOFMEMORY);
  }
}

void Document::resetParking() {
  if (!doc_->prepend_child(pugi::node_element)) throwOutOfMemory();
}

Node Document::node() const { return Node(doc_->internal_object()); }

Node Document::documentElement() const {
  for (Node child = node().firstChild(); child; child = child.nextSibling()) {
    if (child.type() == NodeType::Element) return child;
  }
  return Node();
}

Node Document::createElement(std::string_view name) {
  requireXmlName(name);
  pugi::xml_node element = doc_->first_child().append_child(TerminatedName(name).c_str());
  if (!element) throwOutOfMemory();
  return Node(element.internal_object());
}

Node Document::createProcessingInstruction(std::string_view target, std::string_view data) {
  requireXmlName(target);
  const TerminatedName name(target);
  // The XML declaration is made as an instruction named "xml" too: pugixml keeps real
  // declarations at the top level only, and saving writes either form as the declaration.
  pugi::xml_node parking = doc_->first_child();
  pugi::xml_node pi = parking.append_child(pugi::node_pi);
  if (!pi || !pi.set_name(name.c_str()) || !pi.set_value(data.data(), data.size())) throwOutOfMemory();
  return Node(pi.internal_object());
}

Node Document::createComment(std::string_view text) {
  pugi::xml_node comment = doc_->first_child().append_child(pugi::node_comment);
  if (!comment || !comment.set_value(text.data(), text.size())) throwOutOfMemory();
  return Node(comment.internal_object());
}

void Document::clear() {
  doc_->reset();
  resetParking();
}

LoadResult Document::parseOwnedBuffer(void* buffer, std::size_t size,
                                      const std::function<std::string()>& originalBytes) {
  PugiBuffer owned;
  owned.data = buffer;
  owned.size = size;
  doc_->reset();
  LoadResult result = parseChecked(*doc_, owned, originalBytes);
  if (!result.ok) doc_->reset();
  resetParking();
  return result;
}

LoadResult Document::loadFromMemory(std::string_view bytes) {
  clear();
  PugiBuffer buffer;
  buffer.data = pugi::get_memory_allocation_function()(bytes.empty() ? 1 : bytes.size());
  if (buffer.data == nullptr) return {false, "out of memory"};
  if (!bytes.empty()) std::memcpy(buffer.data, bytes.data(), bytes.size());
  return parseOwnedBuffer(buffer.release(), bytes.size(), [bytes] { return std::string(bytes); });
}

LoadResult Document::load(const std::string& path) {
  clear();
  win::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return {false, std::strerror(errno)};
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return {false, std::strerror(errno)};
  if (!S_ISREG(info.st_mode)) return {false, "not a regular file"};
  if (static_cast<std::uint64_t>(info.st_size) > kMaxFileSize) return {false, "file too large"};

  PugiBuffer buffer;
  const auto size = static_cast<std::size_t>(info.st_size);
  buffer.data = pugi::get_memory_allocation_function()(size == 0 ? 1 : size);
  if (buffer.data == nullptr) return {false, "out of memory"};
  std::size_t filled = 0;
  while (filled < size) {
    const ssize_t n = ::read(fd.get(), static_cast<char*>(buffer.data) + filled, size - filled);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return {false, std::strerror(errno)};
    if (n == 0) break;  // the file shrank while we read it
    filled += static_cast<std::size_t>(n);
  }
  // The parse runs in place, so a failure's position is looked up in a fresh read.
  return parseOwnedBuffer(buffer.release(), filled, [&path] { return readFileText(path); });
}

std::string Document::saveToString(SaveForm form) const {
  std::string out;
  StringWriter writer(out, StringWriter::LineEnds::AsWritten);
  bool first = true;
  for (Node child = node().firstChild(); child; child = child.nextSibling()) {
    const pugi::xml_node top = handle(child.node_);
    if (form == SaveForm::Compact && !first) out += "\r\n";
    first = false;
    // A declaration is written as kDeclaration, whatever it holds.
    if (isDeclaration(top)) {
      out += kDeclaration;
      if (form == SaveForm::Indented) out += "\r\n";
      continue;
    }
    const std::size_t start = out.size();
    if (form == SaveForm::Compact) {
      top.print(writer, "\t", pugi::format_raw, pugi::encoding_utf8);
      const std::string_view written = std::string_view(out).substr(start);
      if (written.find("<!") == std::string_view::npos && written.find("<?") == std::string_view::npos) {
        referenceWhitespaceOnlyTexts(out, start);
      } else {
        // Comments, instructions or CDATA sections: the same form from a walk of the tree.
        out.resize(start);
        appendTree(top, out, SaveForm::Compact);
      }
    } else {
      appendTree(top, out, SaveForm::Indented);
    }
    // Raises, naming the element, before save() goes near the disk.
    if (!writtenFormIsSavable(std::string_view(out).substr(start))) requireSavableTree(top);
  }
  return out;
}

void Document::save(const std::string& path, SaveForm form) const {
  // Made, and checked, before the disk is touched: a refused document leaves no trace.
  WriteFileReplacing(path, saveToString(form));
}

void WriteFileReplacing(const std::string& path, std::string_view bytes) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path target(path);
  // Write through a link to the file it names, as an in-place write would.
  if (fs::is_symlink(target, ec)) {
    const fs::path resolved = fs::weakly_canonical(target, ec);
    if (!ec) target = resolved;
  }
  const std::string targetText = target.string();

  mode_t mode = 0666;
  struct stat info {};
  if (::stat(targetText.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) throwFileError(EISDIR, path, "Cannot write");
    if (win::IsReadOnly(info)) throwFileError(EACCES, path, "Cannot write");
    // A device or a pipe (/dev/stdout, a FIFO) is written to; a rename would put a plain
    // file in its place.
    if (!S_ISREG(info.st_mode)) {
      win::UniqueFd fd(::open(targetText.c_str(), O_WRONLY | O_CLOEXEC));
      if (fd.get() < 0 || !writeAll(fd.get(), bytes) || ::close(fd.release()) != 0)
        throwFileError(errno, path, "Cannot write");
      return;
    }
    mode = info.st_mode & 07777;
  }

  // The new content goes to a file beside the target and replaces it in one rename, so a
  // failure part way never leaves the old file truncated.
  std::string temporary;
  int fdValue = -1;
  for (int attempt = 0; attempt < 100 && fdValue < 0; ++attempt) {
    temporary = targetText + ".tmp~" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
    fdValue = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fdValue < 0 && (errno == EACCES || errno == EPERM) && info.st_mode != 0) {
      // The folder refuses new files but the file is there: write it in place, as the
      // platform's own save does.
      writeInPlace(targetText, path, bytes);
      return;
    }
    if (fdValue < 0 && errno != EEXIST) throwFileError(errno, path, "Cannot write");
  }
  if (fdValue < 0) throwFileError(EEXIST, path, "Cannot write");
  win::UniqueFd fd(fdValue);
  if (info.st_mode != 0) ::fchmod(fd.get(), mode);
  if (!writeAll(fd.get(), bytes) || ::fdatasync(fd.get()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    throwFileError(error, path, "Cannot write");
  }
  if (::close(fd.release()) != 0 || ::rename(temporary.c_str(), targetText.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    throwFileError(error, path, "Cannot write");
  }
}

}  // namespace pelagon::xml
