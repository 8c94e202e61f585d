// The printer command strings' escaped form: decoding untrusted text, and the round trip
// of arbitrary bytes through the encoder.
#include <stdexcept>
#include <string>

#include "fuzz_support.h"
#include <pelagon/values/escaped_string.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelagon;
  const std::string_view bytes = fuzz::bytesOf(data, size);
  try {
    const std::string decoded = decodeEscapedString(bytes);
    // Decoding never makes text longer.
    if (decoded.size() > bytes.size()) __builtin_trap();
  } catch (const std::runtime_error&) {
  }
  if (decodeEscapedString(encodeEscapedString(bytes)) != bytes) __builtin_trap();
  return 0;
}
