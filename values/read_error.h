#pragma once
// Where a record reader failed, for people: the list entries that lead from the document's
// root element to the element at fault, then what is wrong there, as in
//   aMediaInfoList[2] "Generic Vinyl 1" / aPermissionSetList[5] / PermissionSet: child 3 is missing
// A reader raises it where it sees the fault; every list the failing record was read from
// puts its entry's label in front on the way out.

#include <string>
#include <string_view>

#include <pelagon/platform/hresult.h>
#include <pelagon/xmlio/dom.h>

namespace pelagon {

// It is the reader's _com_error (E_POINTER for a missing part), so whoever catches
// _com_error still does; its Description() is "where: problem".
class ReadError : public win::_com_error {
public:
  ReadError(win::HRESULT hr, std::string where, std::string problem);

  // The labels of the list entries that lead to the element at fault, then its name,
  // joined by " / ".
  const std::string& where() const noexcept { return where_; }
  const std::string& problem() const noexcept { return problem_; }

private:
  std::string where_;
  std::string problem_;
};

// `text` in double quotes, with quotes, backslashes and control bytes escaped, so that a
// hostile name cannot break the form of a message.
std::string quoted(std::string_view text);

// A list entry in a path: "list[position]", then the record's English name in quotes when
// it has one (as `pelagon-dsr check` names records).
std::string entryLabel(std::string_view list, int position, std::string_view englishName = {});

// A node's name in the ANSI code page, as the rest of a message is.
std::string nodeName(xml::Node node);

// What a node out of place is: `element "foo"`, `comment`, `text` and so on.
std::string describeNode(xml::Node node);

// The attribute `name` of `element`; raises ReadError(E_POINTER) naming both when it is absent.
xml::Attribute requiredAttribute(xml::Node element, std::string_view name);

// For a catch block, while the failure of reading `element` is in flight: raises it again
// under `step` (a list entry's label, or nothing). A ReadError gains the step in front;
// another _com_error becomes a ReadError at `element` with the same code. Memory failures
// and every other exception pass as they are.
[[noreturn]] void rethrowWithin(std::string_view step, xml::Node element);

// The same, when the failure stands for `problem` at `element` rather than for what was
// found inside the child: a _com_error (memory failures aside) becomes a ReadError there
// with its code; every other exception passes as it is.
[[noreturn]] void rethrowAs(xml::Node element, std::string problem);

}  // namespace pelagon
