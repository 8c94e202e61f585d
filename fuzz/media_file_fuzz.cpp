// A media-setting document from untrusted bytes: reading it must be safe, and what the reader
// took must save and read back to the same bytes.
#include "fuzz_support.h"
#include <pelagon/model/media_file.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelagon;
  // Indented, the form the carried files have and Save writes by default.
  return fuzz::fuzzDocument<MediaFile>(
      data, size,
      [](const xml::DocumentPtr& document, MediaFile& target) {
        MediaFileIO::ReadDocument(document, target);
      },
      [](const MediaFile& source) { return MediaFileIO("").CreateDocument(source); },
      xml::SaveForm::Indented);
}
