// Base64 and the output-table codec on untrusted text, and the base64 round trip of
// arbitrary bytes; a table read gives at every entry what the spline through its samples gives.
#include <vector>

#include "fuzz_support.h"
#include <pelagon/values/base64.h>
#include <pelagon/values/output_table.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelagon;
  const std::string_view text = fuzz::bytesOf(data, size);
  const std::vector<std::uint8_t> decoded = CBase64::decode(text);
  if (decoded.size() > text.size() / 4 * 3) __builtin_trap();
  const std::vector<std::uint8_t> original(data, data + size);
  if (CBase64::decode(CBase64::encode(original)) != original) __builtin_trap();

  if (const auto table = decodeOutputTable(text)) {
    // Stored samples go back as they were stored, whatever their value (a hostile file may
    // hold any 16-bit number there), so a table read once is written and read again unchanged.
    const auto again = decodeOutputTable(encodeOutputTable(*table));
    if (!again || *again != *table) __builtin_trap();

    // Every entry between the samples is what the spline through them gives at its position.
    const OutputTableSamples samples = sampleOutputTable(*table);
    std::vector<SplineKnot> knots;
    for (std::size_t i = 0; i < samples.size(); ++i) {
      knots.push_back({static_cast<double>(i) / 256 * 65535.0, static_cast<double>(samples[i]) / 4096 * 65535.0});
    }
    OutputTable resampled = resampleOutputCurve(NaturalCubicSpline(knots));
    for (std::size_t j = 0; j < samples.size(); ++j) resampled[outputTableSamplePositions()[j]] = samples[j];
    if (resampled != *table) __builtin_trap();
  }
  return 0;
}
