// Single records read from the document element of untrusted bytes, whatever its name, as
// the lists of a document hand each child to the record reader.
#include "fuzz_support.h"
#include <pelagon/model/ink_info.h>
#include <pelagon/model/media_info.h>
#include <pelagon/model/mode_info.h>
#include <pelagon/model/model_info.h>
#include <pelagon/model/separation_info.h>

namespace {

// One record reader of `IO` on the element; what it throws is the reader's business.
template <typename Record, typename IO, typename Read>
void readSwallowing(pelagon::xml::Node element, Read IO::*read) {
  try {
    Record record;
    (IO().*read)(element, record);
  } catch (...) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelagon;
  const xml::DocumentPtr document = fuzz::parseDocument(fuzz::bytesOf(data, size));
  if (!document) return 0;
  const xml::Node element = document->documentElement();
  if (!element) return 0;
  readSwallowing<ModelInfo>(element, &ModelInfoIO::Read);
  readSwallowing<MediaInfo>(element, &MediaInfoIO::Read);
  readSwallowing<SeparationInfo>(element, &SeparationInfoIO::Read);
  readSwallowing<SeparationTable>(element, &SeparationTableIO::Read);
  readSwallowing<ModeInfo>(element, &ModeInfoIO::Read);
  readSwallowing<InkInfo>(element, &InkInfoIO::Read);
  readSwallowing<InkConfigInfo>(element, &InkConfigInfoIO::Read);
  return 0;
}
