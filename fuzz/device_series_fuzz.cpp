// A device-series document from untrusted bytes. The reader lets every exception pass by
// design; only a crash, a leak or undefined behaviour is a finding.
#include "fuzz/fuzz_support.h"
#include "model/device_series.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelagon;
  const xml::DocumentPtr document = fuzz::parseDocument(fuzz::bytesOf(data, size));
  if (!document) return 0;
  DeviceSeries series;
  try {
    DeviceSeriesIO::ReadDocument(document, series);
    NormalizeDeviceSeries(series);
  } catch (...) {
  }
  return 0;
}
