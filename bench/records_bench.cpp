// Records written and read per second, for the largest record types of a device series:
// each iteration writes (or reads) a list of 2000 records.

#include <benchmark/benchmark.h>

#include <pelagon/model/mode_info.h>
#include <pelagon/model/model_info.h>
#include <pelagon/model/separation_info.h>
#include <pelagon/platform/com.h>
#include <pelagon/xmlio/dom_creator.h>

namespace {

using namespace pelagon;

constexpr int kRecords = 2000;

ModelInfo sampleModel() {
  ModelInfo model;
  model.strLongModelName = "Pelagon KD-640";
  model.strMIBModelName = "KD-640";
  model.strFolderName = "Pelagon";
  model.dMaxWidth = 1600.0;
  model.nHeadNum = 8;
  model.nHeadPositionIndex.fill(-1);
  model.strStaticStatus = std::string(173, 'S');
  model.strActiveStatus = std::string(64, 'A');
  model.strExtension = std::string(260, 'F');
  return model;
}

ModeInfo sampleMode() {
  ModeInfo mode;
  mode.strModeName = "720 x 1440 dpi 16 pass";
  mode.nInkIndexList.fill(4096);
  mode.strNozzleMask = "/1-192/1-192/1-192/1-192/";
  mode.aUVLampPowerList[1].nBackwardPower = 80;
  return mode;
}

SeparationInfo sampleSeparation() {
  SeparationInfo separation;
  separation.strSeparationName[0] = "CMYK";
  OutputTable table{};
  for (std::size_t i = 0; i < table.size(); ++i) table[i] = static_cast<std::uint16_t>(i);
  for (int t = 0; t < 4; ++t) {
    SeparationTable entry;
    entry.eType = 1;
    entry.usOutputTable = table;
    entry.nInkIndex = 4096 + t;
    separation.aSeparationTableList.append(entry);
  }
  return separation;
}

// `write` and `read` are the record's IO class's own members.
template <typename Record, typename IO, typename Write>
xml::DocumentPtr documentOf(const Record& record, Write IO::*write) {
  xml::DocumentPtr document = xml::Document::Create();
  xml::Node list = document->node().appendChild(document->createElement("aList"));
  for (int i = 0; i < kRecords; ++i) (IO().*write)(*document, list, record);
  return document;
}

template <typename Record, typename IO, typename Write>
void writeRecords(benchmark::State& state, const Record& record, Write IO::*write) {
  win::ComScope com;
  EnsureMsxmlAvailable();
  for (auto _ : state) benchmark::DoNotOptimize(documentOf(record, write)->saveToString());
  state.SetItemsProcessed(state.iterations() * kRecords);
}

template <typename Record, typename IO, typename Write, typename Read>
void readRecords(benchmark::State& state, const Record& record, Write IO::*write, Read IO::*read) {
  win::ComScope com;
  EnsureMsxmlAvailable();
  xml::DocumentPtr document = xml::Document::Create();
  document->loadFromMemory(documentOf(record, write)->saveToString());
  for (auto _ : state) {
    for (xml::Node child : document->documentElement().children()) {
      Record copy{};
      (IO().*read)(child, copy);
      benchmark::DoNotOptimize(copy);
    }
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}

void BM_WriteModels(benchmark::State& state) {
  writeRecords(state, sampleModel(), &ModelInfoIO::Write);
}
void BM_ReadModels(benchmark::State& state) {
  readRecords(state, sampleModel(), &ModelInfoIO::Write, &ModelInfoIO::Read);
}
void BM_WriteModes(benchmark::State& state) { writeRecords(state, sampleMode(), &ModeInfoIO::Write); }
void BM_ReadModes(benchmark::State& state) {
  readRecords(state, sampleMode(), &ModeInfoIO::Write, &ModeInfoIO::Read);
}
void BM_WriteSeparations(benchmark::State& state) {
  writeRecords(state, sampleSeparation(), &SeparationInfoIO::Write);
}
void BM_ReadSeparations(benchmark::State& state) {
  readRecords(state, sampleSeparation(), &SeparationInfoIO::Write,
              &SeparationInfoIO::Read);
}

BENCHMARK(BM_WriteModels)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadModels)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteModes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadModes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteSeparations)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadSeparations)->Unit(benchmark::kMillisecond);

}  // namespace
