// Writes the fuzzers' seed corpora from the library's own writers, so the seeds always have
// the current document layout: seed_maker OUTDIR makes OUTDIR/<target>/<seed> files.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include <pelagon/model/device_series.h>
#include <pelagon/model/media_file.h>
#include <pelagon/model/passmask_list.h>
#include <pelagon/platform/com.h>
#include <pelagon/values/escaped_string.h>
#include <pelagon/values/output_table.h>
#include <pelagon/xmlio/dom_creator.h>

namespace fs = std::filesystem;
using namespace pelagon;

namespace {

void writeSeed(const fs::path& folder, const std::string& name, const std::string& bytes) {
  fs::create_directories(folder);
  std::ofstream out(folder / name, std::ios::binary);
  out << bytes;
  if (!out) throw std::runtime_error("cannot write " + (folder / name).string());
}

OutputTable rampTable() {
  OutputTable table{};
  for (std::size_t i = 0; i < table.size(); ++i) table[i] = static_cast<std::uint16_t>(i * i / 4095);
  return table;
}

MediaInfo sampleMedium(const char* name) {
  MediaInfo media;
  media.strMediaName[0] = name;
  PermissionSet permission;
  permission.nPermissionIndex = 1;
  permission.anInkConfigIndexList.append(1);
  permission.nResolutionIndex = 1;
  permission.nModeIndex = 2;
  permission.nPassmaskIndex = 1;
  permission.anVControlIndexList.append(1);
  permission.anFMPatternIndexList.append(1);
  permission.nSeparationIndex = 1;
  permission.aCalibrationInfoList.append(CalibrationInfo{});
  permission.aCalibrationInfoList.append(CalibrationInfo{});
  media.aPermissionSetList.append(permission);
  QualityInfo quality;
  quality.nQualityLevel = 1;
  quality.anPermissionIndexList.append(1);
  quality.anPermissionIndexList.append(5);
  media.aQualityInfoList.append(quality);
  media.nDefaultLevel = 1;
  media.aflFeedCalibration.append(0.5F);
  return media;
}

DeviceSeries sampleSeries() {
  DeviceSeries series;
  ModelInfo model;
  series.aModelInfoList.append(model);
  InkInfo ink;
  ink.nInkIndex = 1;
  series.aInkInfoList.append(ink);
  ink.nInkIndex = 1;  // a repeated number, for the check
  series.aInkInfoList.append(ink);
  InkConfigInfo config;
  series.aInkConfigInfoList.append(config);
  ResolutionInfo resolution;
  series.aResolutionInfoList.append(resolution);
  ModeInfo mode;
  series.aModeInfoList.append(mode);
  SeparationInfo separation;
  separation.nSeparationIndex = 1;
  SeparationTable table;
  table.eType = kOutputTableCurveType;
  table.usOutputTable = rampTable();
  table.nInkIndex = 1;
  separation.aSeparationTableList.append(table);
  separation.anInputChannelInkIndexList.append(1);
  separation.anInputChannelInkIndexList.append(7);
  series.aSeparationInfoList.append(separation);
  series.aVControlPointList.append(VControlPoint{});
  series.aPatternInfoList.append(PatternInfo{});
  series.commandSet.strInitialize = "\x1b@\r\n?CUTFORCE?";
  series.commandSet.strCancel = std::string("\0\x7f<&>", 5);
  series.aMediaInfoList.append(sampleMedium("Vinyl"));
  series.aPrintChartFileInfoSetList.append(PrintChartFileInfoSet{});
  series.aInkVolumeInfoList.append(InkVolumeInfo{});
  series.strFirmwareDownloadURL[0] = "https://example.invalid/";
  return series;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: seed_maker OUTDIR\n";
    return 2;
  }
  const fs::path out = argv[1];
  try {
    win::ComScope com;
    if (!com.Ok() || !EnsureMsxmlAvailable()) throw std::runtime_error("no XML backend");

    DeviceSeries series = sampleSeries();
    DeviceSeriesIO2 seriesIo("");
    const std::string seriesText = seriesIo.CreateDocument(series)->saveToString();
    writeSeed(out / "device_series_fuzz", "series.dsr", seriesText);
    writeSeed(out / "dsr_check_fuzz", "series.dsr", seriesText);
    DeviceSeries empty;
    const std::string emptyText = seriesIo.CreateDocument(empty)->saveToString();
    writeSeed(out / "device_series_fuzz", "empty.dsr", emptyText);
    writeSeed(out / "dsr_check_fuzz", "empty.dsr", emptyText);

    MediaFile media;
    media.strSeriesName = "Pelagon";
    media.media.append(sampleMedium("Paper"));
    MediaInfo base = sampleMedium("Film");
    base.strBaseMediaName = base.strMediaName;
    media.media.append(base);
    const auto mediaDocument = MediaFileIO("").CreateDocument(media);
    writeSeed(out / "media_file_fuzz", "media.rmt", mediaDocument->saveToString(xml::SaveForm::Indented));
    writeSeed(out / "media_file_fuzz", "media_compact.rmt", mediaDocument->saveToString());

    PassmaskList passmasks;
    Passmask passmask;
    passmask.nPassmaskIndex = 1;
    passmask.strPassmaskName = "8 pass";
    passmask.strPassmaskMode = "1";
    passmask.strInkConsumptionRate = "1.0,1.0,0.5";
    passmask.nOverlapNozzleCount = 4;
    passmask.astrPassmaskCommand.append("4");
    passmask.astrPassmaskCommand.append("");
    passmasks.passmasks.append(passmask);
    passmask.strPassmaskMode = "M1";
    passmask.astrPassmaskCommand.clear();
    passmask.astrPassmaskCommand.append(std::string(kPassmaskPieceLength + 3, 'A'));
    passmasks.passmasks.append(passmask);
    writeSeed(out / "passmask_list_fuzz", "list.pmp",
              PassmaskListIO("").CreateDocument(passmasks)->saveToString(xml::SaveForm::Indented));

    // One record per document, each as the document element.
    const auto recordSeed = [&]<typename IO, typename Write, typename Record>(
                                const std::string& name, Write IO::*write, const Record& record) {
      auto document = xml::Document::Create();
      (IO().*write)(*document, document->node(), record);
      writeSeed(out / "records_fuzz", name, document->saveToString());
    };
    recordSeed("model.xml", &ModelInfoIO::Write, series.aModelInfoList[0]);
    recordSeed("media.xml", &MediaInfoIO::Write, series.aMediaInfoList[0]);
    recordSeed("separation.xml", &SeparationInfoIO::Write, series.aSeparationInfoList[0]);
    recordSeed("table.xml", &SeparationTableIO::Write,
               series.aSeparationInfoList[0].aSeparationTableList[0]);
    recordSeed("mode.xml", &ModeInfoIO::Write, series.aModeInfoList[0]);
    recordSeed("ink.xml", &InkInfoIO::Write, series.aInkInfoList[0]);
    recordSeed("inkconfig.xml", &InkConfigInfoIO::Write, series.aInkConfigInfoList[0]);

    writeSeed(out / "escaped_string_fuzz", "command.txt",
              encodeEscapedString(series.commandSet.strInitialize));
    writeSeed(out / "escaped_string_fuzz", "zero.txt", encodeEscapedString(series.commandSet.strCancel));
    writeSeed(out / "output_table_fuzz", "ramp.b64", encodeOutputTable(rampTable()));
    writeSeed(out / "output_table_fuzz", "flat.b64", encodeOutputTable(OutputTable{}));
  } catch (const std::exception& error) {
    std::cerr << "seed_maker: " << error.what() << '\n';
    return 1;
  } catch (...) {
    std::cerr << "seed_maker: failed\n";
    return 1;
  }
  return 0;
}
