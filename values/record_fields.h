#pragma once
// How record readers and writers walk their fields, written once for every record type:
// the positional head, the by-name tail, fixed arrays ("value0" ...), scalar lists,
// index-named lists and record lists.

#include <algorithm>
#include <array>
#include <bitset>
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

// Which children of a list's element are its entries.
enum class EntryMatch {
  // Every child is read as an entry, whatever it is.
  AnyChild,
  // Only the elements named as entries are; others are skipped.
  ByName,
};

// ---- A record's fields ----

// One element of a record: its name and how its value is appended under the record's
// element and read back from it. A record's table of these, in the order its files give
// the elements, drives both its writer and its readers, so a field is named once.
template <typename Record>
struct RecordField {
  using RecordType = Record;
  std::string_view name;
  void (*write)(xml::Node parent, const RecordField& field, const Record& record);
  void (*read)(xml::Node element, const RecordField& field, Record& record);
  // A list's entry elements: their name, and whether only children of that name are read.
  std::string_view entryName = {};
  EntryMatch entryMatch = EntryMatch::AnyChild;
};

template <typename Record>
using FieldTable = std::span<const RecordField<Record>>;

// Appends every field's element under `element`, in the table's order.
template <typename Record>
void appendFields(xml::Node element, FieldTable<Record> fields, const Record& record) {
  for (const RecordField<Record>& field : fields) field.write(element, field, record);
}

// Appends the record's element, named `name`, under `parent`, with every field, and returns it.
template <typename Record>
xml::Node appendRecord(xml::Node parent, std::string_view name, FieldTable<Record> fields, const Record& record) {
  xml::Node element = parent.appendElement(name);
  appendFields(element, fields, record);
  return element;
}

// The element names of a positional head, for messages: plain names or a field table's.
class FieldNames {
public:
  FieldNames() = default;
  FieldNames(std::span<const std::string_view> names)
      : data_(names.data()), size_(names.size()), at_(&nameAt) {}
  template <std::size_t N>
  FieldNames(const std::array<std::string_view, N>& names) : FieldNames(std::span<const std::string_view>(names)) {}
  template <typename Record>
  FieldNames(FieldTable<Record> fields) : data_(fields.data()), size_(fields.size()), at_(&fieldNameAt<Record>) {}

  std::size_t size() const { return size_; }
  std::string_view operator[](std::size_t index) const { return at_(data_, index); }

private:
  static std::string_view nameAt(const void* data, std::size_t index) {
    return static_cast<const std::string_view*>(data)[index];
  }
  template <typename Record>
  static std::string_view fieldNameAt(const void* data, std::size_t index) {
    return static_cast<const RecordField<Record>*>(data)[index].name;
  }

  const void* data_ = nullptr;
  std::size_t size_ = 0;
  std::string_view (*at_)(const void*, std::size_t) = nullptr;
};

// ---- The positional head ----

// A record's leading fields, taken one child after another without looking at names. A
// child that is not there raises ReadError(E_POINTER) naming it. `names` are the children's
// names as the writer gives them, for messages only: the reader never compares them.
class PositionalFields {
public:
  explicit PositionalFields(xml::Node element, FieldNames names = {})
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
  // Reads the table's fields from the next children, one each.
  template <typename Record>
  void readFields(FieldTable<Record> fields, Record& record) {
    for (const RecordField<Record>& field : fields) {
      take([&](xml::Node child) { field.read(child, field, record); });
    }
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
  FieldNames names_;
  // The place of the child last taken.
  int position_ = -1;
};

// ---- The by-name tail ----

// Which of a table's fields a by-name read met, by their places in the table.
using FieldsRead = std::bitset<64>;

// A record's fields found by their element names, in any order.
template <typename Record>
class NamedFields {
public:
  using Field = RecordField<Record>;

  NamedFields(FieldTable<Record> fields) : fields_(fields.begin(), fields.end()) { index(); }
  NamedFields(std::initializer_list<Field> fields) : fields_(fields) { index(); }

  // Reads every remaining child whose name is a field's, in document order: unknown names
  // are skipped, a name met twice is read twice (the later wins), fields without a child
  // keep their values.
  FieldsRead read(xml::NodeList& children, Record& record) const {
    FieldsRead met;
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
        fields_[index].read(child, fields_[index], record);
      } catch (...) {
        rethrowWithin({}, child);
      }
      met.set(index);
      expected = index + 1;
    }
    return met;
  }
  FieldsRead read(xml::Node element, Record& record) const {
    xml::NodeList children = element.childNodes();
    return read(children, record);
  }

  bool empty() const { return fields_.empty(); }
  // The field's place in the table, or the table's size when no field has the name.
  std::size_t find(std::string_view name) const {
    const auto it = std::lower_bound(sorted_.begin(), sorted_.end(), name,
                                     [this](std::size_t index, std::string_view key) { return fields_[index].name < key; });
    return it != sorted_.end() && fields_[*it].name == name ? *it : fields_.size();
  }

private:
  void index() {
    if (fields_.size() > FieldsRead().size()) throw std::logic_error("too many by-name fields");
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

  std::vector<Field> fields_;
  std::vector<std::size_t> sorted_;  // places in the table, by name
};

// A record's element: its name and its fields in file order, the first `headCount` read by
// position (stored files are matched on their order, not their names), the rest by name.
template <typename Record>
class RecordLayout {
public:
  RecordLayout(std::string_view elementName, FieldTable<Record> fields, std::size_t headCount)
      : elementName_(elementName), fields_(fields), head_(fields.first(headCount)), tail_(fields.subspan(headCount)) {}

  std::string_view elementName() const { return elementName_; }
  // Appends the record's element under `parent`, with every field, and returns it.
  xml::Node append(xml::Node parent, const Record& record) const {
    return appendRecord(parent, elementName_, fields_, record);
  }
  // Reads the positional fields; the by-name ones are left in the returned walk.
  PositionalFields readHead(xml::Node element, Record& record) const {
    PositionalFields head(element, head_);
    head.readFields(head_, record);
    return head;
  }
  // A record read by position alone ignores what follows its head.
  FieldsRead readTail(PositionalFields& head, Record& record) const {
    return tail_.empty() ? FieldsRead() : tail_.read(head.rest(), record);
  }
  void read(xml::Node element, Record& record) const {
    PositionalFields head = readHead(element, record);
    readTail(head, record);
  }
  const NamedFields<Record>& tail() const { return tail_; }

private:
  std::string_view elementName_;
  FieldTable<Record> fields_;
  FieldTable<Record> head_;
  NamedFields<Record> tail_;
};

// An element name given as a template argument.
template <std::size_t N>
struct ElementName {
  constexpr ElementName(const char (&text)[N]) { std::copy_n(text, N, chars); }
  constexpr std::string_view view() const { return {chars, N - 1}; }
  char chars[N]{};
};

// The layout of the record whose element is `Name` and whose fields are `Fields`, the first
// `HeadCount` by position; made once, on first use.
template <ElementName Name, const auto& Fields, std::size_t HeadCount>
const auto& layoutOf() {
  using Record = typename std::remove_cvref_t<decltype(Fields)>::value_type::RecordType;
  static const RecordLayout<Record> layout(Name.view(), Fields, HeadCount);
  return layout;
}

template <typename>
struct MemberPointerTraits;
template <typename Record, typename Value>
struct MemberPointerTraits<Value Record::*> {
  using RecordType = Record;
  using ValueType = Value;
};
template <auto Member>
using MemberRecord = typename MemberPointerTraits<decltype(Member)>::RecordType;
template <auto Member>
using MemberValue = typename MemberPointerTraits<decltype(Member)>::ValueType;

// ---- Fixed arrays ----

inline std::string indexedName(std::string_view stem, std::size_t index) {
  std::string name(stem);
  name += std::to_string(index);
  return name;
}

// All N slots, named "value0" to "value<N-1>".
template <typename T, std::size_t N>
xml::Node appendFixedArray(xml::Node parent, std::string_view name, const std::array<T, N>& values) {
  xml::Node element = parent.appendElement(name);
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
xml::Node appendScalarList(xml::Node parent, std::string_view name, std::string_view entryName,
                           const win::GrowableArray<T>& list) {
  xml::Node element = parent.appendElement(name);
  for (const T& value : list) appendValue(element, entryName, value);
  return element;
}

// One child per entry, named by the stem and the entry's index ("flDegree0", ...).
template <typename T>
xml::Node appendIndexedList(xml::Node parent, std::string_view name, std::string_view stem,
                            const win::GrowableArray<T>& list) {
  xml::Node element = parent.appendElement(name);
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

template <typename Record>
struct RecordEntries {
  // The element the writer makes for each entry.
  std::string_view name;
  EntryMatch match = EntryMatch::AnyChild;
  // The record's English name, for messages; null for records without one.
  std::string_view (*englishName)(const Record&) = nullptr;
  // Appends an entry's element under the list's; reads one entry's element.
  xml::Node (*write)(xml::Node parent, const Record& record) = nullptr;
  void (*read)(xml::Node element, Record& record) = nullptr;
};

// One record element per entry, made by the entries' writer.
template <typename Record>
xml::Node appendRecordList(xml::Node parent, std::string_view name, const win::GrowableArray<Record>& list,
                           const RecordEntries<Record>& entries) {
  xml::Node element = parent.appendElement(name);
  for (const Record& record : list) entries.write(element, record);
  return element;
}

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

// The same with the entries' own reader.
template <typename Record>
void readRecordList(xml::Node element, win::GrowableArray<Record>& list, const RecordEntries<Record>& entries) {
  readRecordList(element, list, entries, entries.read);
}

// ---- Fields by their form ----

// A value element in the form of its member's C++ type.
template <auto Member>
constexpr RecordField<MemberRecord<Member>> field(std::string_view name) {
  using Record = MemberRecord<Member>;
  return {name,
          [](xml::Node parent, const RecordField<Record>& self, const Record& record) {
            appendValue(parent, self.name, record.*Member);
          },
          [](xml::Node element, const RecordField<Record>&, Record& record) { readInto(element, record.*Member); }};
}

// A value element written in its member's form but read by `Read(element, record)`.
template <auto Member, auto Read>
constexpr RecordField<MemberRecord<Member>> fieldReadBy(std::string_view name) {
  using Record = MemberRecord<Member>;
  RecordField<Record> readBy = field<Member>(name);
  readBy.read = [](xml::Node element, const RecordField<Record>&, Record& record) { Read(element, record); };
  return readBy;
}

// A field in a form of the record's own: `Write(parent, name, record)` appends its element,
// `Read(element, record)` reads it.
template <typename Record, auto Write, auto Read>
constexpr RecordField<Record> customField(std::string_view name) {
  return {name,
          [](xml::Node parent, const RecordField<Record>& self, const Record& record) {
            Write(parent, self.name, record);
          },
          [](xml::Node element, const RecordField<Record>&, Record& record) { Read(element, record); }};
}

// A fixed array, its slots named "value0" and on, or all named `entryName` when one is
// given; read from the first slots by position, whatever their names.
template <auto Member>
constexpr RecordField<MemberRecord<Member>> fixedArrayField(std::string_view name, std::string_view entryName = {}) {
  using Record = MemberRecord<Member>;
  return {name,
          [](xml::Node parent, const RecordField<Record>& self, const Record& record) {
            if (self.entryName.empty()) {
              appendFixedArray(parent, self.name, record.*Member);
              return;
            }
            xml::Node slots = parent.appendElement(self.name);
            for (const auto& value : record.*Member) appendValue(slots, self.entryName, value);
          },
          [](xml::Node element, const RecordField<Record>&, Record& record) {
            readFixedArray(element, record.*Member);
          },
          entryName};
}

// A list of values, each entry element named `entryName`; read from every child, or from
// the children of that name only. Reading appends to what the list holds.
template <auto Member>
constexpr RecordField<MemberRecord<Member>> listField(std::string_view name, std::string_view entryName,
                                                      EntryMatch match = EntryMatch::AnyChild) {
  using Record = MemberRecord<Member>;
  return {name,
          [](xml::Node parent, const RecordField<Record>& self, const Record& record) {
            appendScalarList(parent, self.name, self.entryName, record.*Member);
          },
          [](xml::Node element, const RecordField<Record>& self, Record& record) {
            if (self.entryMatch == EntryMatch::ByName) {
              readScalarList(element, record.*Member, self.entryName);
            } else {
              readScalarList(element, record.*Member);
            }
          },
          entryName, match};
}

// A list of records, written and read by `Entries`.
template <auto Member, const auto& Entries>
constexpr RecordField<MemberRecord<Member>> recordListField(std::string_view name) {
  using Record = MemberRecord<Member>;
  return {name,
          [](xml::Node parent, const RecordField<Record>& self, const Record& record) {
            appendRecordList(parent, self.name, record.*Member, Entries);
          },
          [](xml::Node element, const RecordField<Record>&, Record& record) {
            readRecordList(element, record.*Member, Entries);
          }};
}

// A record held in one element, its fields given by `Fields` and read by position.
template <auto Member, const auto& Fields>
constexpr RecordField<MemberRecord<Member>> positionalRecordField(std::string_view name) {
  using Record = MemberRecord<Member>;
  using Inner = MemberValue<Member>;
  return {name,
          [](xml::Node parent, const RecordField<Record>& self, const Record& record) {
            appendFields(parent.appendElement(self.name), FieldTable<Inner>(Fields), record.*Member);
          },
          [](xml::Node element, const RecordField<Record>&, Record& record) {
            PositionalFields inner(element, FieldTable<Inner>(Fields));
            inner.readFields(FieldTable<Inner>(Fields), record.*Member);
          }};
}

}  // namespace pelagon
