#pragma once
// What every fuzz target shares: the COM initialisation the XML documents need, held for the
// life of the process, the document parsed from the fuzzer's bytes, the record set read from
// it, and the round trip the document targets check.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include <pelagon/platform/com.h>
#include <pelagon/xmlio/dom.h>
#include <pelagon/xmlio/dom_creator.h>

namespace pelagon::fuzz {

inline std::string_view bytesOf(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// What documents need before the first is made. libFuzzer calls the target on one thread, so
// one initialisation serves every input.
inline void prepareDocuments() {
  static win::ComScope com;
  static const bool available = EnsureMsxmlAvailable();
  if (!com.Ok() || !available) __builtin_trap();
}

// Null when the bytes are not a document the loader takes.
inline xml::DocumentPtr parseDocument(std::string_view bytes) {
  prepareDocuments();
  xml::DocumentPtr document = xml::Document::Create();
  if (!document->loadFromMemory(bytes).ok) return nullptr;
  return document;
}

// Fills `records` from the fuzzer's bytes with `read(document, records)`; false when the bytes
// are not a document the loader takes or the reader throws.
template <typename Records, typename Read>
bool readInput(const std::uint8_t* data, std::size_t size, Read&& read, Records& records) {
  const xml::DocumentPtr document = parseDocument(bytesOf(data, size));
  if (!document) return false;
  try {
    read(document, records);
  } catch (...) {
    return false;
  }
  return true;
}

// A finding: says what broke, with the texts that show it, then crashes so that libFuzzer
// keeps the input and a replay under ctest fails.
[[noreturn]] inline void fail(std::string_view what, std::string_view first = {},
                              std::string_view second = {}) {
  std::fprintf(stderr, "\n== %.*s ==\n", static_cast<int>(what.size()), what.data());
  for (std::string_view text : {first, second}) {
    if (!text.empty())
      std::fprintf(stderr, "-- %zu bytes:\n%.*s\n", text.size(), static_cast<int>(text.size()), text.data());
  }
  __builtin_trap();
}

// A record set the reader took from a loaded document must survive what the application does
// with it: saving never fails, the saved bytes load and read again, and saving what that read
// gives the same bytes. `read(document, records)` fills a fresh record set and throws when it
// cannot; `create(records)` builds the document that is saved in `form`.
template <typename Records, typename Read, typename Create>
void checkRoundTrip(Records& records, Read&& read, Create&& create, xml::SaveForm form) {
  const auto save = [&](Records& source, std::string_view failure) {
    try {
      const xml::DocumentPtr document = create(source);
      if (document) return document->saveToString(form);
    } catch (...) {
    }
    fail(failure);
  };
  const std::string first = save(records, "a record set read from a document does not save");
  const xml::DocumentPtr again = parseDocument(first);
  if (!again) fail("the saved document does not load", first);
  Records reread{};
  try {
    read(again, reread);
  } catch (...) {
    fail("the saved document does not read", first);
  }
  const std::string second = save(reread, "a record set read from a saved document does not save");
  if (second != first) fail("saving what the saved document reads as gives other bytes", first, second);
}

// A whole document target: a record set read from the fuzzer's bytes must survive the round
// trip in `form`.
template <typename Records, typename Read, typename Create>
int fuzzDocument(const std::uint8_t* data, std::size_t size, Read&& read, Create&& create,
                 xml::SaveForm form) {
  Records records;
  if (readInput(data, size, read, records)) checkRoundTrip(records, read, create, form);
  return 0;
}

// The target of a whole-document class (WholeDocumentIO), in the Indented form the carried
// files have and Save writes by default.
template <typename IO>
int fuzzWholeDocument(const std::uint8_t* data, std::size_t size) {
  using Records = typename IO::Record;
  return fuzzDocument<Records>(
      data, size, [](const xml::DocumentPtr& document, Records& target) { IO::ReadDocument(document, target); },
      [](const Records& source) { return IO("").CreateDocument(source); }, xml::SaveForm::Indented);
}

}  // namespace pelagon::fuzz
