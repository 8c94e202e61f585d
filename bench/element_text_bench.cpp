// Value elements written and read per second: the work every record reader and writer is
// made of. Each iteration writes (or reads) one record-like element of 100 values.

#include <benchmark/benchmark.h>

#include <string>

#include <pelagon/platform/com.h>
#include <pelagon/values/element_text.h>
#include <pelagon/values/record_fields.h>
#include <pelagon/xmlio/dom_creator.h>

namespace {

using namespace pelagon;

constexpr int kValues = 100;

xml::Node writeRecord(xml::Document& document) {
  xml::Node record = document.createElement("Record");
  for (int i = 0; i < kValues / 4; ++i) {
    appendIntElement(record, "nIndex", i * 37);
    appendRealElement(record, "dLength", i * 12.5, kRealPrecision);
    appendBoolElement(record, "bVisible", i % 2 == 0);
    appendStringElement(record, "strName", "Glossy Photo Paper");
  }
  return record;
}

void BM_WriteValueElements(benchmark::State& state) {
  win::ComScope com;
  EnsureMsxmlAvailable();
  xml::DocumentPtr document = xml::Document::Create();
  xml::Node root = document->node().appendChild(document->createElement("Root"));
  for (auto _ : state) benchmark::DoNotOptimize(root.appendChild(writeRecord(*document)));
  state.SetItemsProcessed(state.iterations() * kValues);
}
BENCHMARK(BM_WriteValueElements);

void BM_ReadValueElementsByPosition(benchmark::State& state) {
  win::ComScope com;
  EnsureMsxmlAvailable();
  xml::DocumentPtr document = xml::Document::Create();
  xml::Node record = document->node().appendChild(writeRecord(*document));
  for (auto _ : state) {
    PositionalFields fields(record);
    for (int i = 0; i < kValues / 4; ++i) {
      benchmark::DoNotOptimize(fields.read<std::int32_t>());
      benchmark::DoNotOptimize(fields.read<double>());
      benchmark::DoNotOptimize(fields.read<bool>());
      benchmark::DoNotOptimize(fields.read<std::string>());
    }
  }
  state.SetItemsProcessed(state.iterations() * kValues);
}
BENCHMARK(BM_ReadValueElementsByPosition);

struct Named {
  std::int32_t nIndex = 0;
  double dLength = 0.0;
  bool bVisible = false;
  std::string strName;
};

void BM_ReadValueElementsByName(benchmark::State& state) {
  static const NamedFields<Named> fields = {
      field<&Named::nIndex>("nIndex"), field<&Named::dLength>("dLength"), field<&Named::bVisible>("bVisible"),
      field<&Named::strName>("strName")};
  win::ComScope com;
  EnsureMsxmlAvailable();
  xml::DocumentPtr document = xml::Document::Create();
  xml::Node record = document->node().appendChild(writeRecord(*document));
  Named named;
  for (auto _ : state) {
    fields.read(record, named);
    benchmark::DoNotOptimize(named);
  }
  state.SetItemsProcessed(state.iterations() * kValues);
}
BENCHMARK(BM_ReadValueElementsByName);

}  // namespace
