#pragma once
// How record readers and writers walk their fields, written once for every record type:
// the positional head, the by-name tail, fixed arrays ("value0" ...), scalar lists,
// index-named lists and record lists.

#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include <pelagon/platform/growable_array.h>
#include <pelagon/platform/hresult.h>
#include <pelagon/values/element_text.h>
#include <pelagon/values/localized_text.h>
#include <pelagon/values/read_error.h>
#include <pelagon/xmlio/dom.h>

namespace pelagon {

// ---- Scalars by their C++ type ----

template <typename T>
T readValue(xml::Node element) {
  if constexpr (std::is_same_v<T, bool>) {
    return readBoolElement(element);
  } else if constexpr (std::is_same_v<T, std::int32_t>) {
    return readIntElement(element);
  } else if constexpr (std::is_same_v<T, double>) {
    return readRealElement(element);
  } else if constexpr (std::is_same_v<T, float>) {
    return readFloatElement(element);
  } else if constexpr (std::is_same_v<T, std::string>) {
    return readStringElement(element);
  } else if constexpr (std::is_same_v<T, LocalizedText>) {
    static_assert(!sizeof(T), "a localized text is read into its field with readInto");
  } else {
    static_assert(!sizeof(T), "no element form for this type");
  }
}

// Reads a field's element into the field. A localized text is filled in place: a language
// the element lacks keeps what the field held, which a fresh value would have blanked.
template <typename T>
void readInto(xml::Node element, T& field) {
  if constexpr (std::is_same_v<T, LocalizedText>) {
    readLocalizedText(element, field);
  } else {
    field = readValue<T>(element);
  }
}

template <typename T>
xml::Node writeValue(xml::Document& document, std::string_view name, const T& value) {
  if constexpr (std::is_same_v<T, bool>) {
    return writeBoolElement(document, name, value);
  } else if constexpr (std::is_same_v<T, std::int32_t>) {
    return writeIntElement(document, name, value);
  } else if constexpr (std::is_same_v<T, double> || std::is_same_v<T, float>) {
    return writeRealElement(document, name, static_cast<double>(value), kRealPrecision);
  } else if constexpr (std::is_same_v<T, std::string>) {
    return writeStringElement(document, name, value);
  } else if constexpr (std::is_same_v<T, LocalizedText>) {
    return writeLocalizedText(document, name, value);
  } else {
    static_assert(!sizeof(T), "no element form for this type");
  }
}

// The value element made directly as the last child of `parent`.
template <typename T>
xml::Node appendValue(xml::Node parent, std::string_view name, const T& value) {
  if constexpr (std::is_same_v<T, bool>) {
    return appendBoolElement(parent, name, value);
  } else if constexpr (std::is_same_v<T, std::int32_t>) {
    return appendIntElement(parent, name, value);
  } else if constexpr (std::is_same_v<T, double> || std::is_same_v<T, float>) {
    return appendRealElement(parent, name, static_cast<double>(value), kRealPrecision);
  } else if constexpr (std::is_same_v<T, std::string>) {
    return appendStringElement(parent, name, value);
  } else if constexpr (std::is_same_v<T, LocalizedText>) {
    return appendLocalizedText(parent, name, value);
  } else {
    static_assert(!sizeof(T), "no element form for this type");
  }
}

// Appends to a list; an append that cannot get memory is raised as E_OUTOFMEMORY.
template <typename T, typename U>
void appendOrThrow(win::GrowableArray<T>& list, U&& item) {
  if (list.append(std::forward<U>(item)) < 0) throw win::_com_error(win::E_OUTOFMEMORY);
}

// ---- The positional head ----

// A record's leading fields, taken one child after another without looking at names. A
// child that is not there raises ReadError(E_POINTER) naming it. `names` are the children's
// names as the writer gives them, for messages only: the reader never compares them.
class PositionalFields {
public:
  explicit PositionalFields(xml::Node element, std::span<const std::string_view> names = {})
      : element_(element), children_(element.childNodes()), names_(names) {}

  xml::Node next() {
    const xml::Node child = children_.nextNode();
    ++position_;
    if (!child) throwMissing();
    return child;
  }
  template <typename T>
  T read() {
    T value{};
    take([&value](xml::Node child) { value = readValue<T>(child); });
    return value;
  }
  template <typename T>
  void read(T& field) {
    take([&field](xml::Node child) { readInto(child, field); });
  }
  // Reads the next child with `readChild(child)`. A failure is placed at that child, or,
  // when the child is not the one named for its place, at the first child out of place
  // (the reader then read the wrong element, and what it found inside would mislead).
  template <typename Read>
  void take(Read&& readChild) {
    const xml::Node child = next();
    try {
      readChild(child);
    } catch (...) {
      rethrowAtChild(child);
    }
  }
  // The children after the head, for a by-name tail.
  xml::NodeList& rest() { return children_; }

private:
  [[noreturn]] void throwMissing() const;
  [[noreturn]] void rethrowAtChild(xml::Node child) const;
  // The first child up to the current one that is not where `names` put it, said for
  // people ("child 3 (nModeIndex) is missing"); empty when every one is in its place.
  std::string firstMisplaced() const;
  std::string childText(int position) const;

  xml::Node element_;
  xml::NodeList children_;
  std::span<const std::string_view> names_;
  // The place of the child last taken.
  int position_ = -1;
};

// ---- The by-name tail ----

// A table from element names to the code that reads that field into a record.
template <typename Record>
class NamedFields {
public:
  using Reader = void (*)(xml::Node, Record&);
  struct Field {
    std::string_view name;
    Reader read;
  };

  NamedFields(std::initializer_list<Field> fields) : fields_(fields) {
    sorted_.resize(fields_.size());
    for (std::size_t i = 0; i < sorted_.size(); ++i) sorted_[i] = i;
    std::sort(sorted_.begin(), sorted_.end(),
              [this](std::size_t a, std::size_t b) { return fields_[a].name < fields_[b].name; });
    for (std::size_t i = 1; i < sorted_.size(); ++i) {
      if (fields_[sorted_[i]].name == fields_[sorted_[i - 1]].name) {
        throw std::logic_error("a field name is listed twice");
      }
    }
  }

  // Reads every remaining child whose name is a field's, in document order: unknown names
  // are skipped, a name met twice is read twice (the later wins), fields without a child
  // keep their values.
  void read(xml::NodeList& children, Record& record) const {
    // Files list the fields in the table's order, so the field after the last one found is
    // tried before the search.
    std::size_t expected = 0;
    for (xml::Node child = children.nextNode(); child; child = children.nextNode()) {
      if (child.type() != xml::NodeType::Element) continue;
      const std::string_view name = child.name();
      std::size_t index = expected;
      if (index >= fields_.size() || fields_[index].name != name) {
        index = find(name);
        if (index == fields_.size()) continue;
      }
      try {
        fields_[index].read(child, record);
      } catch (...) {
        rethrowWithin({}, child);
      }
      expected = index + 1;
    }
  }
  void read(xml::Node element, Record& record) const {
    xml::NodeList children = element.childNodes();
    read(children, record);
  }

private:
  // The field's place in the table, or the table's size when no field has the name.
  std::size_t find(std::string_view name) const {
    const auto it = std::lower_bound(sorted_.begin(), sorted_.end(), name,
                                     [this](std::size_t index, std::string_view key) { return fields_[index].name < key; });
    return it != sorted_.end() && fields_[*it].name == name ? *it : fields_.size();
  }

  std::vector<Field> fields_;
  std::vector<std::size_t> sorted_;  // places in the table, by name
};

template <typename>
struct MemberPointerTraits;
template <typename Record, typename Value>
struct MemberPointerTraits<Value Record::*> {
  using RecordType = Record;
};
template <auto Member>
using MemberRecord = typename MemberPointerTraits<decltype(Member)>::RecordType;

// A by-name field read with the element form of its member's type.
template <auto Member>
auto field(std::string_view name) {
  return typename NamedFields<MemberRecord<Member>>::Field{
      name, [](xml::Node element, MemberRecord<Member>& record) { readInto(element, record.*Member); }};
}

// ---- Fixed arrays ----

inline std::string indexedName(std::string_view stem, std::size_t index) {
  std::string name(stem);
  name += std::to_string(index);
  return name;
}

// All N slots, named "value0" to "value<N-1>".
template <typename T, std::size_t N>
xml::Node writeFixedArray(xml::Document& document, std::string_view name, const std::array<T, N>& values) {
  xml::Node element = document.createElement(name);
  for (std::size_t i = 0; i < N; ++i) appendValue(element, indexedName("value", i), values[i]);
  return element;
}

// The first N children by position, whatever their names; fewer than N raise E_POINTER.
template <typename T, std::size_t N>
void readFixedArray(xml::Node element, std::array<T, N>& values) {
  PositionalFields slots(element);
  for (T& value : values) slots.read(value);
}

// ---- Lists ----

// One child per entry, each named `entryName`.
template <typename T>
xml::Node writeScalarList(xml::Document& document, std::string_view name, std::string_view entryName,
                          const win::GrowableArray<T>& list) {
  xml::Node element = document.createElement(name);
  for (const T& value : list) appendValue(element, entryName, value);
  return element;
}

// One child per entry, named by the stem and the entry's index ("flDegree0", ...).
template <typename T>
xml::Node writeIndexedList(xml::Document& document, std::string_view name, std::string_view stem,
                           const win::GrowableArray<T>& list) {
  xml::Node element = document.createElement(name);
  for (int i = 0; i < list.size(); ++i) {
    appendValue(element, indexedName(stem, static_cast<std::size_t>(i)), list[i]);
  }
  return element;
}

// Appends every child of the container, in document order, whatever its name.
template <typename T>
void readScalarList(xml::Node element, win::GrowableArray<T>& list) {
  for (xml::Node child : element.children()) appendOrThrow(list, readValue<T>(child));
}

// Appends the children named `entryName` only.
template <typename T>
void readScalarList(xml::Node element, win::GrowableArray<T>& list, std::string_view entryName) {
  for (xml::Node child : element.children(entryName)) appendOrThrow(list, readValue<T>(child));
}

// One record element per entry, made by `writeRecord(document, record)`.
template <typename Record, typename Writer>
xml::Node writeRecordList(xml::Document& document, std::string_view name,
                          const win::GrowableArray<Record>& list, Writer&& writeRecord) {
  xml::Node element = document.createElement(name);
  for (const Record& record : list) element.appendChild(writeRecord(document, record));
  return element;
}

// Which children of a list's element are its entries, and how a message names one.
enum class EntryMatch {
  // Every child is read as an entry, whatever it is.
  AnyChild,
  // Only the elements named as entries are; others are skipped.
  ByName,
};

template <typename Record>
struct RecordEntries {
  // The element the writer makes for each entry.
  std::string_view name;
  EntryMatch match = EntryMatch::AnyChild;
  // The record's English name, for messages; null for records without one.
  std::string_view (*englishName)(const Record&) = nullptr;
};

// Reads each entry of the container into a fresh record with `readRecord(child, record)` and
// appends it. A failing entry is placed at its label, "list[position]" with the English
// name read so far; an entry read from a child that is not an entry element (AnyChild)
// fails as that child out of place.
template <typename Record, typename Reader>
void readRecordList(xml::Node element, win::GrowableArray<Record>& list, const RecordEntries<Record>& entries,
                    Reader&& readRecord) {
  int position = 0;
  int childPosition = -1;
  for (xml::Node child : element.children()) {
    ++childPosition;
    const bool isEntry = child.type() == xml::NodeType::Element && child.name() == entries.name;
    if (!isEntry && entries.match == EntryMatch::ByName) continue;
    Record record{};
    try {
      readRecord(child, record);
    } catch (...) {
      if (!isEntry) {
        rethrowAs(element, "unexpected " + describeNode(child) + " at child " +
                               std::to_string(childPosition) + " (expected " + std::string(entries.name) +
                               ")");
      }
      rethrowWithin(
          entryLabel(nodeName(element), position,
                     entries.englishName != nullptr ? entries.englishName(record) : std::string_view()),
          child);
    }
    appendOrThrow(list, std::move(record));
    ++position;
  }
}

}  // namespace pelagon
