#include "xmlio/dom.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <pugixml.hpp>
#include <utility>
#include <vector>

#include "platform/com.h"
#include "platform/hresult.h"

namespace pelagon::xml {

namespace {

using win::_com_error;

bool backendAvailable = true;

// Every document keeps its detached nodes under one unnamed element, its first top-level
// child, which no walk of ours shows.
pugi::xml_node handle(pugi::xml_node_struct* node) { return pugi::xml_node(node); }

bool isParking(pugi::xml_node node) {
  const pugi::xml_node parent = node.parent();
  return parent.type() == pugi::node_document && parent.first_child() == node;
}

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

constexpr bool isNameStart(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 0x80;
}

constexpr bool isNameChar(unsigned char c) {
  return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

// Every element a save writes has its name checked, so the test is one lookup a character.
constexpr std::array<bool, 256> kNameChars = [] {
  std::array<bool, 256> table{};
  for (std::size_t c = 0; c < table.size(); ++c) table[c] = isNameChar(static_cast<unsigned char>(c));
  return table;
}();

void requireXmlName(std::string_view name) {
  const bool valid =
      !name.empty() && isNameStart(static_cast<unsigned char>(name.front())) &&
      std::all_of(name.begin(), name.end(), [](char c) { return kNameChars[static_cast<unsigned char>(c)]; });
  if (!valid) {
    throw _com_error(win::E_INVALIDARG, "'" + std::string(name) + "' is not a valid XML name.");
  }
}

[[noreturn]] void throwOutOfMemory() { throw _com_error(win::E_OUTOFMEMORY); }

// Appends all the text below `node` in document order, without recursion: a hostile file
// may nest deeper than any stack.
void appendDescendantText(pugi::xml_node node, std::string& out) {
  pugi::xml_node current = node.first_child();
  while (current && current != node) {
    const auto type = current.type();
    if (type == pugi::node_pcdata || type == pugi::node_cdata) out += current.value();
    if (current.first_child() && type != pugi::node_document) {
      current = current.first_child();
      continue;
    }
    while (current != node && !current.next_sibling()) current = current.parent();
    if (current != node) current = current.next_sibling();
  }
}

// pugixml writes a carriage return inside text as it is, and every reader turns it into a
// line feed; as a character reference it survives. pugixml's own line breaks are line feeds,
// so every carriage return it hands over belongs to a text.
class StringWriter final : public pugi::xml_writer {
public:
  explicit StringWriter(std::string& out) : out_(out) {}
  void write(const void* data, std::size_t size) override {
    std::string_view chunk(static_cast<const char*>(data), size);
    for (auto cr = chunk.find('\r'); cr != std::string_view::npos; cr = chunk.find('\r')) {
      out_.append(chunk.substr(0, cr)).append("&#13;");
      chunk.remove_prefix(cr + 1);
    }
    out_.append(chunk);
  }

private:
  std::string& out_;
};

bool isDeclaration(pugi::xml_node node) {
  return node.type() == pugi::node_declaration ||
         (node.type() == pugi::node_pi && std::string_view(node.name()) == "xml");
}

constexpr std::string_view kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_pi | pugi::parse_comments |
                                   pugi::parse_declaration | pugi::parse_doctype | pugi::parse_fragment;

std::string lineAndColumn(std::string_view bytes, std::ptrdiff_t offset) {
  const auto end = static_cast<std::size_t>(
      std::clamp<std::ptrdiff_t>(offset, 0, static_cast<std::ptrdiff_t>(bytes.size())));
  std::size_t line = 1, lineStart = 0;
  for (std::size_t i = 0; i < end; ++i) {
    if (bytes[i] == '\n') {
      ++line;
      lineStart = i + 1;
    }
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(end - lineStart + 1);
}

// pugixml accepts a few things that are not well-formed XML, or that we refuse on purpose.
std::string checkTopLevel(const pugi::xml_document& doc) {
  int elements = 0;
  bool first = true;
  for (pugi::xml_node child : doc.children()) {
    switch (child.type()) {
      case pugi::node_element:
        ++elements;
        break;
      case pugi::node_pcdata:
      case pugi::node_cdata:
        return "text outside the root element";
      // A document type definition could declare entities; device files never carry one.
      case pugi::node_doctype:
        return "a document type definition is not allowed";
      case pugi::node_declaration:
        if (!first) return "the XML declaration is not at the start of the document";
        break;
      default:
        break;
    }
    first = false;
  }
  if (elements == 0) return "no root element";
  if (elements > 1) return "more than one root element";
  return {};
}

class FileDescriptor {
public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

private:
  int fd_;
};

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
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
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

void Attribute::setValue(std::string_view utf8) {
  if (attr_ == nullptr) throw _com_error(win::E_POINTER);
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

std::string Node::text() const {
  const pugi::xml_node node = require(node_);
  switch (node.type()) {
    case pugi::node_element:
    case pugi::node_document: {
      const pugi::xml_node first = node.first_child();
      // The usual value element: one text node and nothing else.
      if (first.type() == pugi::node_pcdata && !first.next_sibling()) return first.value();
      std::string text;
      appendDescendantText(node, text);
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
  if (node.type() == pugi::node_element) {
    const pugi::xml_node first = node.first_child();
    if (!first) return {};
    if (first.type() == pugi::node_pcdata && !first.next_sibling()) return first.value();
  }
  scratch = text();
  return scratch;
}

void Node::setText(std::string_view utf8) {
  pugi::xml_node node = require(node_);
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

Node Node::appendChild(Node child) {
  pugi::xml_node parent = require(node_);
  const pugi::xml_node moved = require(child.node_);
  if (parent.type() == pugi::node_document && moved.type() == pugi::node_element) {
    for (pugi::xml_node existing = parent.first_child(); existing; existing = existing.next_sibling()) {
      if (existing.type() == pugi::node_element && !isParking(existing) && existing != moved) {
        throw _com_error(win::E_FAIL, "Only one top level element is allowed in an XML document.");
      }
    }
  }
  // pugixml refuses to move a node into itself or its own subtree, or across documents.
  if (!parent.append_move(moved)) {
    throw _com_error(win::E_FAIL, "The node cannot be inserted at this place.");
  }
  return child;
}

Node Node::appendElement(std::string_view name) {
  pugi::xml_node parent = require(node_);
  if (parent.type() != pugi::node_element) {
    throw _com_error(win::E_FAIL, "Only elements take new elements this way.");
  }
  requireXmlName(name);
  const pugi::xml_node element = parent.append_child(TerminatedName(name).c_str());
  if (!element) throwOutOfMemory();
  return Node(element.internal_object());
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

LoadResult Document::parseOwnedBuffer(void* buffer, std::size_t size,
                                      const std::function<std::string()>& originalBytes) {
  doc_->reset();
  const pugi::xml_parse_result parsed = doc_->load_buffer_inplace_own(buffer, size, kParseOptions);
  LoadResult result;
  if (!parsed) {
    result.message = lineAndColumn(originalBytes(), parsed.offset) + ": " + parsed.description();
  } else if (std::string problem = checkTopLevel(*doc_); !problem.empty()) {
    result.message = std::move(problem);
  } else {
    result.ok = true;
  }
  if (!result.ok) doc_->reset();
  resetParking();
  return result;
}

LoadResult Document::loadFromMemory(std::string_view bytes) {
  PugiBuffer buffer;
  buffer.data = pugi::get_memory_allocation_function()(bytes.empty() ? 1 : bytes.size());
  if (buffer.data == nullptr) return {false, "out of memory"};
  if (!bytes.empty()) std::memcpy(buffer.data, bytes.data(), bytes.size());
  return parseOwnedBuffer(buffer.release(), bytes.size(), [bytes] { return std::string(bytes); });
}

LoadResult Document::load(const std::string& path) {
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
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
  StringWriter writer(out);
  const unsigned flags = form == SaveForm::Compact ? pugi::format_raw : pugi::format_indent;
  bool first = true;
  for (Node child = node().firstChild(); child; child = child.nextSibling()) {
    const pugi::xml_node node = handle(child.node_);
    if (form == SaveForm::Compact && !first) out += "\r\n";
    first = false;
    if (isDeclaration(node)) {
      out += kDeclaration;
      if (form == SaveForm::Indented) out += '\n';
      continue;
    }
    node.print(writer, "\t", flags, pugi::encoding_utf8);
  }
  if (form == SaveForm::Indented) {
    std::string crlf;
    crlf.reserve(out.size() + out.size() / 16);
    for (char c : out) {
      if (c == '\n') crlf += '\r';
      crlf += c;
    }
    out.swap(crlf);
  }
  return out;
}

void Document::save(const std::string& path, SaveForm form) const {
  const std::string bytes = saveToString(form);
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
    // A file without any write permission is read-only, for root too.
    if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) throwFileError(EACCES, path, "Cannot write");
    mode = info.st_mode & 07777;
  }

  // The new content goes to a file beside the target and replaces it in one rename, so a
  // failure part way never leaves the old file truncated.
  std::string temporary;
  int fdValue = -1;
  for (int attempt = 0; attempt < 100 && fdValue < 0; ++attempt) {
    temporary = targetText + ".tmp~" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
    fdValue = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fdValue < 0 && errno != EEXIST) throwFileError(errno, path, "Cannot write");
  }
  if (fdValue < 0) throwFileError(EEXIST, path, "Cannot write");
  FileDescriptor fd(fdValue);
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
