// Throughput of the output-table codec: base64 of one stored table each way, and the
// spline resampling that every separation table's read goes through.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include <pelagon/values/base64.h>
#include <pelagon/values/output_table.h>

namespace {

std::vector<std::uint8_t> storedTableBytes() {
  std::vector<std::uint8_t> bytes(pelagon::kStoredOutputTableSize);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<std::uint8_t>(i * 37 + 11);
  }
  return bytes;
}

// One call of `convert` on `input` an item; the bytes counted are the input's.
template <typename Input, typename Convert>
void timeConversion(benchmark::State& state, const Input& input, Convert convert) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(convert(input));
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(input.size()));
}

void BM_Base64Encode512(benchmark::State& state) {
  timeConversion(state, storedTableBytes(),
                 [](const auto& bytes) { return pelagon::CBase64::encode(bytes); });
}
BENCHMARK(BM_Base64Encode512);

void BM_Base64Decode684(benchmark::State& state) {
  timeConversion(state, pelagon::CBase64::encode(storedTableBytes()),
                 [](const auto& text) { return pelagon::CBase64::decode(text); });
}
BENCHMARK(BM_Base64Decode684);

void BM_ExpandOutputTable(benchmark::State& state) {
  pelagon::OutputTableSamples samples{};
  for (std::size_t i = 0; i < samples.size(); ++i) {
    // A rising curve with a wobble, so the spline has work to do.
    samples[i] = static_cast<std::uint16_t>(i * 16 + (i % 7) * 3);
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(pelagon::expandOutputTable(samples));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ExpandOutputTable);

}  // namespace
