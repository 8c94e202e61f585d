// Base64 and the output-table codec on untrusted text, and the base64 round trip of
// arbitrary bytes.
#include <vector>

#include "fuzz/fuzz_support.h"
#include "values/base64.h"
#include "values/output_table.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelagon;
  const std::string_view text = fuzz::bytesOf(data, size);
  const std::vector<std::uint8_t> decoded = CBase64::decode(text);
  if (decoded.size() > text.size() / 4 * 3) __builtin_trap();
  const std::vector<std::uint8_t> original(data, data + size);
  if (CBase64::decode(CBase64::encode(original)) != original) __builtin_trap();

  if (const auto table = decodeOutputTable(text)) {
    // Stored samples go back as they were stored, whatever their value (a hostile file may
    // hold any 16-bit number there), so a table read once is written and read again unchanged.
    const auto again = decodeOutputTable(encodeOutputTable(*table));
    if (!again || *again != *table) __builtin_trap();
  }
  return 0;
}
