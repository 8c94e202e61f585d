#pragma once
// What every fuzz target shares: the COM initialisation the XML documents need, held for the
// life of the process, and the document parsed from the fuzzer's bytes.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/com.h"
#include "xmlio/dom.h"
#include "xmlio/dom_creator.h"

namespace pelagon::fuzz {

inline std::string_view bytesOf(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// Null when the bytes are not a document the loader takes.
inline xml::DocumentPtr parseDocument(std::string_view bytes) {
  // libFuzzer calls the target on one thread, so one initialisation serves every input.
  static win::ComScope com;
  static const bool available = EnsureMsxmlAvailable();
  if (!com.Ok() || !available) __builtin_trap();
  xml::DocumentPtr document = xml::Document::Create();
  if (!document->loadFromMemory(bytes).ok) return nullptr;
  return document;
}

}  // namespace pelagon::fuzz
