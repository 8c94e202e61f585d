// A passmask list document from untrusted bytes.
#include "fuzz/fuzz_support.h"
#include "model/passmask_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelagon;
  const xml::DocumentPtr document = fuzz::parseDocument(fuzz::bytesOf(data, size));
  if (!document) return 0;
  PassmaskList list;
  try {
    PassmaskListIO::ReadDocument(document, list);
  } catch (...) {
  }
  return 0;
}
