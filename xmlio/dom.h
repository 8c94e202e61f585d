#pragma once
// The XML documents of the library: a small DOM of our own over pugixml, with the
// operations and observable results the readers and writers rely on.
//
// Node and Attribute are cheap handles into a Document; a null handle raises
// _com_error(E_POINTER) when it is used. New nodes are created detached inside their
// document and moved into place by appendChild, so a node that is never attached is freed
// with its document. Text crosses this interface as UTF-8.

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace pugi {
struct xml_node_struct;
struct xml_attribute_struct;
class xml_document;
}  // namespace pugi

namespace pelagon::xml {

enum class NodeType {
  Other = 0,
  Element = 1,
  Attribute = 2,
  Text = 3,
  CData = 4,
  ProcessingInstruction = 7,
  Comment = 8,
  Document = 9,
  DocumentType = 10,
};

class Attribute {
public:
  Attribute() = default;
  explicit operator bool() const noexcept { return attr_ != nullptr; }
  std::string_view name() const;
  std::string_view value() const;
  void setValue(std::string_view utf8);
  // The element's next attribute, in document order; null after the last.
  Attribute nextAttribute() const;

private:
  friend class Node;
  explicit Attribute(pugi::xml_attribute_struct* attr) : attr_(attr) {}
  pugi::xml_attribute_struct* attr_ = nullptr;
};

class NodeList;
class ChildRange;

class Node {
public:
  Node() = default;
  explicit operator bool() const noexcept { return node_ != nullptr; }
  friend bool operator==(const Node&, const Node&) = default;

  NodeType type() const;
  // The element's tag or the instruction's target; "#text", "#comment", "#document" otherwise.
  std::string_view name() const;
  Node firstChild() const;
  Node nextSibling() const;
  Node parent() const;
  NodeList childNodes() const;
  // The children for a range-for: all of them, or only the elements named `name`.
  ChildRange children() const;
  ChildRange children(std::string_view name) const;

  // The node's text: an element's is all the text below it, in document order.
  std::string text() const;
  // The same text, without a copy when the node holds a single text node; otherwise it is
  // assembled in `scratch`, which must outlive the view.
  std::string_view textView(std::string& scratch) const;
  // Makes the text the node's only content.
  void setText(std::string_view utf8);

  // Moves `child` (a node of the same document, usually a detached one) to the end of this
  // node's children and returns it.
  Node appendChild(Node child);
  // A new element made directly as this element's or document's last child: what creating
  // it detached and appending it gives, without the move.
  Node appendElement(std::string_view name);

  // Null when the element has no such attribute.
  Attribute attribute(std::string_view name) const;
  // The element's first attribute, in document order; null when it has none.
  Attribute firstAttribute() const;
  void setAttribute(std::string_view name, std::string_view utf8);

  // The first element below this node, in document order, with the given tag.
  Node firstElementByTagName(std::string_view tag) const;

private:
  friend class Document;
  friend class NodeList;
  friend class ChildRange;
  explicit Node(pugi::xml_node_struct* node) : node_(node) {}
  pugi::xml_node_struct* node_ = nullptr;
};

// A node's children, walked with nextNode as the DOM's node lists are.
class NodeList {
public:
  NodeList() = default;
  // The next child, or a null node after the last one.
  Node nextNode();
  void reset() { next_ = first_; }
  int length() const;

private:
  friend class Node;
  explicit NodeList(Node first) : first_(first), next_(first) {}
  Node first_;
  Node next_;
};

// A node's children in document order, walked as NodeList walks them; with a name, the
// elements of that name only (the name's text must outlive the walk).
class ChildRange {
public:
  class iterator {
  public:
    using difference_type = std::ptrdiff_t;
    using value_type = Node;
    iterator() = default;
    Node operator*() const { return current_; }
    iterator& operator++() {
      current_ = next(current_);
      return *this;
    }
    iterator operator++(int) {
      iterator before = *this;
      ++*this;
      return before;
    }
    friend bool operator==(const iterator& a, const iterator& b) { return a.current_ == b.current_; }

  private:
    friend class ChildRange;
    iterator(Node first, std::string_view name, bool byName) : name_(name), byName_(byName) {
      current_ = skip(first);
    }
    Node skip(Node node) const;
    Node next(Node node) const;
    Node current_;
    std::string_view name_;
    bool byName_ = false;
  };

  iterator begin() const { return iterator(first_, name_, byName_); }
  iterator end() const { return iterator(); }

private:
  friend class Node;
  ChildRange(Node first, std::string_view name, bool byName) : first_(first), name_(name), byName_(byName) {}
  Node first_;
  std::string_view name_;
  bool byName_ = false;
};

enum class SaveForm {
  // The declaration, CR LF, then every node on one line.
  Compact,
  // Tab indentation and CR LF line ends, the form of the carried media-setting and
  // passmask files; an element without children is "<a/>" here too.
  Indented,
};

class Document;
using DocumentPtr = std::shared_ptr<Document>;

struct LoadResult {
  bool ok = false;
  // Why the load failed, for people: "not found", "line 3, column 7: ...".
  std::string message;
};

class Document {
public:
  // A new, empty document. Fails as document creation fails on the platform: with
  // CO_E_NOTINITIALIZED when COM is not initialised on this thread, with
  // REGDB_E_CLASSNOTREG when the XML backend is unavailable.
  static DocumentPtr Create();

  ~Document();
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  // The document node: its children are the top-level nodes.
  Node node() const;
  Node documentElement() const;

  Node createElement(std::string_view name);
  Node createProcessingInstruction(std::string_view target, std::string_view data);
  Node createComment(std::string_view text);

  // Replaces the content with the file's. On failure the document is left empty.
  LoadResult load(const std::string& path);
  LoadResult loadFromMemory(std::string_view bytes);

  // Raises _com_error with the reason when the file cannot be written; an existing file
  // is then left as it was. A document that a reader could not take back as it is (a text,
  // attribute, comment or instruction with a character XML cannot carry or bytes that are
  // not UTF-8, "--" in or "-" at the end of a comment, "?>" in an instruction) is refused
  // with HRESULT_FROM_WIN32(ERROR_INVALID_DATA) and a message naming the element, before
  // anything is written.
  void save(const std::string& path, SaveForm form = SaveForm::Compact) const;
  std::string saveToString(SaveForm form = SaveForm::Compact) const;

private:
  Document();
  // Takes the buffer over; `originalBytes` gives the input again to place an error.
  LoadResult parseOwnedBuffer(void* buffer, std::size_t size,
                              const std::function<std::string()>& originalBytes);
  void resetParking();
  // Empties the document, as a failed load leaves it.
  void clear();

  std::unique_ptr<pugi::xml_document> doc_;
};

// Writes `bytes` as the file `path` the way a document is saved: into a new file beside it
// that replaces it in one rename, so a failure never leaves it truncated or half written; a
// device or a pipe is written to, a link writes the file it names. Raises _com_error with the
// platform's code and "Cannot write 'path': why".
void WriteFileReplacing(const std::string& path, std::string_view bytes);

}  // namespace pelagon::xml
