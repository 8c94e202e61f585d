// A passmask list document from untrusted bytes: reading it must be safe, and what the reader
// took must save and read back to the same bytes.
#include "fuzz_support.h"
#include <pelagon/model/passmask_list.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelagon;
  const xml::DocumentPtr document = fuzz::parseDocument(fuzz::bytesOf(data, size));
  if (!document) return 0;
  PassmaskList list;
  try {
    PassmaskListIO::ReadDocument(document, list);
  } catch (...) {
    return 0;
  }
  // Indented, the form the carried files have and Save writes by default.
  fuzz::checkRoundTrip(
      list,
      [](const xml::DocumentPtr& saved, PassmaskList& target) {
        PassmaskListIO::ReadDocument(saved, target);
      },
      [](const PassmaskList& source) { return PassmaskListIO("").CreateDocument(source); },
      xml::SaveForm::Indented);
  return 0;
}
