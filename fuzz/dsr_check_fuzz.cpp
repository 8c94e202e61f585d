// The cross-reference check on a series read from untrusted bytes: whatever the reader lets
// through must be safe to check, with and without a passmask list.
#include <pelagon/app/dsr_check.h>
#include "fuzz_support.h"
#include <pelagon/model/device_series.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelagon;
  const xml::DocumentPtr document = fuzz::parseDocument(fuzz::bytesOf(data, size));
  if (!document) return 0;
  DeviceSeries series;
  try {
    DeviceSeriesIO::ReadDocument(document, series);
  } catch (...) {
    // What was read before the failure is checked too: a reader's partial result must not
    // break the check.
  }
  NormalizeDeviceSeries(series);
  (void)dsr::CheckDeviceSeries(series, nullptr);
  PassmaskList passmasks;
  Passmask passmask;
  passmask.nPassmaskIndex = 1;
  passmasks.passmasks.append(passmask);
  (void)dsr::CheckDeviceSeries(series, &passmasks);
  return 0;
}
