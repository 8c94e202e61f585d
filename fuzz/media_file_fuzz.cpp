// A media-setting document from untrusted bytes.
#include "fuzz/fuzz_support.h"
#include "model/media_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelagon;
  const xml::DocumentPtr document = fuzz::parseDocument(fuzz::bytesOf(data, size));
  if (!document) return 0;
  MediaFile file;
  try {
    MediaFileIO::ReadDocument(document, file);
  } catch (...) {
  }
  return 0;
}
