// A device-series document from untrusted bytes. The reader lets every exception pass by
// design; a crash, a leak or undefined behaviour is a finding, and so is a series the reader
// took that does not save, or whose saved form does not read back to the same bytes.
#include "fuzz_support.h"
#include <pelagon/model/device_series.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelagon;
  const auto read = [](const xml::DocumentPtr& document, DeviceSeries& target) {
    DeviceSeriesIO::ReadDocument(document, target);
  };
  DeviceSeries series;
  if (!fuzz::readInput(data, size, read, series)) return 0;
  // The reader normalised already; a second pass must be safe too. It works on a copy so the
  // round trip starts from what a load gives.
  DeviceSeries renormalized = series;
  try {
    NormalizeDeviceSeries(renormalized);
  } catch (...) {
  }
  // Compact is the form the application saves series in.
  fuzz::checkRoundTrip(
      series, read, [](DeviceSeries& source) { return DeviceSeriesIO2("").CreateDocument(source); },
      xml::SaveForm::Compact);
  return 0;
}
