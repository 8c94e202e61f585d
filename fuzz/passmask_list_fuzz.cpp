// A passmask list document from untrusted bytes: reading it must be safe, and what the reader
// took must save and read back to the same bytes.
#include "fuzz_support.h"
#include <pelagon/model/passmask_list.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return pelagon::fuzz::fuzzWholeDocument<pelagon::PassmaskListIO>(data, size);
}
