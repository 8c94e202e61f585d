// A passmask list document from untrusted bytes: reading it must be safe, and what the reader
// took must save and read back to the same bytes.
#include "fuzz_support.h"
#include <pelagon/model/passmask_list.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelagon;
  // Indented, the form the carried files have and Save writes by default.
  return fuzz::fuzzDocument<PassmaskList>(
      data, size,
      [](const xml::DocumentPtr& document, PassmaskList& target) {
        PassmaskListIO::ReadDocument(document, target);
      },
      [](const PassmaskList& source) { return PassmaskListIO("").CreateDocument(source); },
      xml::SaveForm::Indented);
}
