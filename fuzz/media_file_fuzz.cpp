// A media-setting document from untrusted bytes: reading it must be safe, and what the reader
// took must save and read back to the same bytes.
#include "fuzz_support.h"
#include <pelagon/model/media_file.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelagon;
  const xml::DocumentPtr document = fuzz::parseDocument(fuzz::bytesOf(data, size));
  if (!document) return 0;
  MediaFile file;
  try {
    MediaFileIO::ReadDocument(document, file);
  } catch (...) {
    return 0;
  }
  // Indented, the form the carried files have and Save writes by default.
  fuzz::checkRoundTrip(
      file,
      [](const xml::DocumentPtr& saved, MediaFile& target) { MediaFileIO::ReadDocument(saved, target); },
      [](const MediaFile& source) { return MediaFileIO("").CreateDocument(source); },
      xml::SaveForm::Indented);
  return 0;
}
