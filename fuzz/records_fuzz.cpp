// Single records read from the document element of untrusted bytes, whatever its name, as
// the lists of a document hand each child to the record reader.
#include "fuzz_support.h"
#include <pelagon/model/ink_info.h>
#include <pelagon/model/media_info.h>
#include <pelagon/model/mode_info.h>
#include <pelagon/model/model_info.h>
#include <pelagon/model/separation_info.h>

namespace {

template <typename Read>
void readSwallowing(Read&& read) {
  try {
    read();
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
  readSwallowing([&] {
    ModelInfo model;
    ModelInfoIO().ReadModelInfo(element, model);
  });
  readSwallowing([&] {
    MediaInfo media;
    MediaInfoIO().ReadMediaInfo(element, media);
  });
  readSwallowing([&] {
    SeparationInfo separation;
    SeparationInfoIO().ReadSeparationInfo(element, separation);
  });
  readSwallowing([&] {
    SeparationTable table;
    SeparationInfoIO().ReadSeparationTable(element, table);
  });
  readSwallowing([&] {
    ModeInfo mode;
    ModeInfoIO().ReadModeInfo(element, mode);
  });
  readSwallowing([&] {
    InkInfo ink;
    InkInfoIO().ReadInkInfo(element, ink);
  });
  readSwallowing([&] {
    InkConfigInfo config;
    InkConfigInfoIO().ReadInkConfigInfo(element, config);
  });
  return 0;
}
