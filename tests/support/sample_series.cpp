#include "sample_series.h"

#include <string>

#include <pelagon/model/screen_option.h>

namespace pelagon::test {

namespace {

LocalizedText localized(const std::string& text) {
  LocalizedText result;
  for (std::size_t i = 0; i < result.size(); ++i) result[i] = text + " [" + std::to_string(i) + "]";
  return result;
}

// Multiples of 1/8 survive the three decimals of the written form exactly.
double eighths(int n) { return n / 8.0; }

ModelInfo model(int i) {
  ModelInfo m;
  m.strLongModelName = "Pelagon KD-" + std::to_string(640 + i);
  m.strMIBModelName = "KD-" + std::to_string(640 + i);
  m.strFolderName = "Pelagon";
  m.dMaxWidth = 1346.2 + i;
  m.nHeadNum = 8;
  for (int s = 0; s < 24; ++s) {
    m.nHeadPositionIndex[static_cast<std::size_t>(s)] = s < 8 ? s : -1;
    m.nDefaultInkIndex[static_cast<std::size_t>(s)] = s < 8 ? 4096 + s : 0;
  }
  m.bCutFeature = true;
  m.bHalfCutFeature = true;
  m.nHeaterFeature = 2;
  m.nHeadHeightMask = 5;
  m.strStaticStatus = std::string(173, 'S');
  m.strStaticExtraStatus = "extra & <status>";
  m.strActiveStatus = std::string(64, 'A');
  m.strPPDFile = "KD640.ppd";
  m.dCropMargin_mm = eighths(5);
  m.dCropSize_mm = eighths(6);
  m.dPageSpace_mm = eighths(7);
  m.dHWLeftMargin_mm = eighths(9);
  m.dHWRightMargin_mm = eighths(10);
  m.dHWTopMargin_mm = eighths(11);
  m.dHWBottomMargin_mm = eighths(12);
  m.strBMPFileName = "Pelagon KD.bmp";
  m.nMaxCutSpeed = 70 + i;
  m.strExtension = std::string(260, 'F');
  m.nMinimumScanSpeed = 251;
  m.nMaximumScanSpeed = 999;
  m.nMinimumFeedSpeed = 2;
  m.nMaximumFeedSpeed = 49;
  m.nMinimumPageInterval_mm = 1;
  m.nMaximumPageInterval_mm = 199;
  m.nMinimumPreHeaterTemperature = 36;
  m.nMaximumPreHeaterTemperature = 51;
  m.nMinimumHeaterTemperature = 37;
  m.nMaximumHeaterTemperature = 52;
  m.nMinimumDrierTemperature = 38;
  m.nMaximumDrierTemperature = 53;
  m.dMinimumFeedCalibration_mm = -2.5;
  m.dMaximumFeedCalibration_mm = 2.5;
  m.nMinimumCutForce = 31;
  m.nMaximumCutForce = 301;
  m.nMinimumHalfCutForce = 2;
  m.nMaximumHalfCutForce = 81;
  m.flMaximumCutOffset = 1.625F;
  m.nGetMethodType = 1;
  m.nScanSpeedType = 32;
  m.strDllName = "kd.dll";
  m.strDriverName = "KD driver";
  m.strRequiredFirmwareVersion = "0.00";
  m.strRecommendedFirmwareVersion = "1.20";
  m.nNozzleCountPerHeadColumn = 192;
  m.flNozzleResolution = 150.0F;
  m.nMinimumReturnScanSpeed = 900;
  m.nMaximumReturnScanSpeed = 1100;
  m.dMaxLength = 50000.0;
  m.bOverlapCutPerCutPath = true;
  m.nUVLampCount = 2;
  m.bHBridgeFeature = true;
  return m;
}

const char* const kShortInkNames[] = {"K", "C", "M", "Y", "Lc", "Lm", "Lk", "W", "Mt", "Or"};

InkInfo ink(int i) {
  InkInfo k;
  k.nInkIndex = 4096 + i;
  k.strLongInkName = localized("Ink " + std::to_string(i));
  k.strShortInkName = kShortInkNames[i % 10];
  k.lightColor = {static_cast<std::uint8_t>(i * 20), 92, 222};
  k.darkColor = {255, static_cast<std::uint8_t>(i), 0};
  k.flPrice = static_cast<float>(eighths(i));
  k.nCapacity = 220;
  return k;
}

InkConfigInfo inkConfig(int i) {
  InkConfigInfo c;
  c.nInkConfigIndex = i;
  c.strInkConfigName = localized("Pelagon CMYKLcLmLk");
  c.strFolderName = "Pelagon CMYKLcLmLk";
  c.nInkIndexList.fill(-1);
  for (int s = 0; s < 8; ++s) c.nInkIndexList[static_cast<std::size_t>(s)] = 4096 + s;
  return c;
}

ResolutionInfo resolution(int i) {
  ResolutionInfo r;
  r.nResolutionIndex = i == 30 ? -2147483647 - 1 : i;
  r.strResolutionName = localized("600 x " + std::to_string(300 * (i + 1)) + " dpi");
  r.flScanResolution = 600.0F;
  r.flFeedResolution = static_cast<float>(300 * (i + 1));
  return r;
}

ModeInfo mode(int i) {
  ModeInfo m;
  m.nModeIndex = i;
  m.strModeName = "Mode " + std::to_string(i);
  m.nInkNum = 8;
  m.nInkIndexList.fill(-1);
  for (int s = 0; s < 8; ++s) m.nInkIndexList[static_cast<std::size_t>(s)] = 4096 + s;
  m.nBitsPerPixel = 2;
  m.nDotType = 3;
  m.strDotSize = "S,M,L";
  m.strNozzleMask = "/1-192/1-192/\n@PJL SET";
  m.nPassesPerLine = 16;
  m.strPJLOption = "@PJL SET QUALITY=HIGH";
  m.flFeedResolutionPerPass = 90.0F;
  m.nInkVolumeIndex = i % 41;
  m.nNozzleMaskCount = 4;
  m.nEmptyPathLength = 7;
  m.nAdditionalPrintingTime = 12;
  if (i % 2 == 0) m.aUVLampPowerList[1].nBackwardPower = 80;
  return m;
}

OutputTable outputCurve(int seed) {
  // Expanded from samples, so that sampling and expanding again gives the same table.
  OutputTableSamples samples{};
  for (std::size_t j = 0; j < samples.size(); ++j) {
    samples[j] = static_cast<std::uint16_t>((j * 16 + static_cast<std::size_t>(seed) * 3) % 4096);
  }
  return expandOutputTable(samples);
}

SeparationInfo separation(int i) {
  SeparationInfo s;
  s.nSeparationIndex = i;
  s.strSeparationName = localized("Separation " + std::to_string(i));
  s.nOutputChannel = i % 2 == 0 ? 4 : 6;
  for (int t = 0; t < s.nOutputChannel; ++t) {
    SeparationTable table;
    table.nInputChannelNum = t;
    table.eType = t % 2;
    if (table.eType == 1) table.usOutputTable = outputCurve(i * 10 + t);
    table.dStart = eighths(t);
    table.dPeak = eighths(t + 1);
    table.dMax = eighths(t + 2);
    table.dEnd = eighths(t + 3);
    table.dEndMax = eighths(t + 4);
    table.strInputChannel = "CMYKOG"[t % 6];
    table.nInkIndex = 4096 + t;
    table.nHeadCount = 2;
    s.aSeparationTableList.append(table);
    s.anInputChannelInkIndexList.append(4096 + t);
  }
  s.nPrintChartFileInfoIndex = i % 2;
  s.strInkLimitTableFile = "limit" + std::to_string(i) + ".ilt";
  return s;
}

VControlPoint vControlPoint(int i) {
  VControlPoint p;
  p.nVControlIndex = i;
  double* values[] = {&p.dSmallStart,  &p.dSmallPeak,  &p.dSmallMax,  &p.dSmallEnd,  &p.dSmallEndMax,
                      &p.dMediumStart, &p.dMediumPeak, &p.dMediumMax, &p.dMediumEnd, &p.dMediumEndMax,
                      &p.dLargeStart,  &p.dLargePeak,  &p.dLargeMax,  &p.dLargeEnd,  &p.dLargeEndMax};
  int n = i;
  for (double* value : values) *value = eighths(n++ % 100);
  return p;
}

PatternInfo pattern(int i) {
  PatternInfo p;
  p.nFMPatternIndex = i;
  p.nScanPixelSize = 128;
  p.nFeedPixelSize = 128;
  p.strPatternFile = "fm" + std::to_string(i) + ".dpf";
  return p;
}

CalibrationInfo calibration(int i) {
  CalibrationInfo c;
  c.nOutputLimit = 90 + i;
  for (std::size_t step = 0; step < c.density.size(); ++step) {
    c.density[step] = static_cast<float>(eighths(static_cast<int>(step) + i));
    c.lab[step] = {static_cast<float>(eighths(static_cast<int>(step) * 8)), -0.125F, 2.5F};
  }
  return c;
}

PermissionSet permissionSet(int i, const SeparationInfo& separationOfSet) {
  PermissionSet p;
  p.nPermissionIndex = i;
  p.anInkConfigIndexList.append(0);
  p.nResolutionIndex = i % 31;
  p.nModeIndex = i % 50;
  p.nPassmaskIndex = i % 2 == 0 ? 999 : i;
  p.eDirection = 131075;
  p.eScreen = i % 2 == 0 ? 8 : 65569;
  const int channels = separationOfSet.anInputChannelInkIndexList.size();
  if (p.eScreen == 8) {
    p.screenOption.bUseCustomSetting = true;
    p.screenOption.nLineCount = 150;
    p.screenOption.eDotShape = 2;
  }
  // Angles as the reader would fit them, so that a load leaves them as they are.
  fitScreenAngles(p.screenOption, channels);
  p.anVControlIndexList.append(i);
  p.anVControlIndexList.append(i + 1);
  p.anFMPatternIndexList.append(i % 8);
  p.nSeparationIndex = separationOfSet.nSeparationIndex;
  for (int c = 0; c < channels; ++c) p.aCalibrationInfoList.append(calibration(c));
  p.nInkLimit = 250;
  p.strPrinterProfile = "Pelagon KD Vinyl " + std::to_string(i) + ".icc";
  p.nScanSpeed = 1000;
  p.nFeedSpeed = 20;
  p.bVisiblePermission = i % 3 != 0;
  p.bRecommended = i % 3 == 1;
  p.nRealPassCount = 8;
  p.strNextPermissionIndex = std::to_string(i + 1);
  return p;
}

MediaInfo media(int i, const DeviceSeries& series) {
  MediaInfo m;
  m.strMediaName = localized("Generic Vinyl " + std::to_string(i));
  m.strBaseMediaName = localized("Generic Vinyl");
  for (int p = 0; p < 6; ++p) {
    const SeparationInfo& separationOfSet = series.aSeparationInfoList[p % series.aSeparationInfoList.size()];
    m.aPermissionSetList.append(permissionSet(p, separationOfSet));
  }
  for (int q = 0; q < 3; ++q) {
    QualityInfo quality;
    quality.nQualityLevel = q;
    quality.strQualityName = localized(q == 0 ? "High Quality" : q == 1 ? "Standard" : "High Speed");
    quality.anPermissionIndexList.append(q);
    quality.anPermissionIndexList.append(q + 3);
    quality.bVisibleQuality = q != 2;
    m.aQualityInfoList.append(quality);
  }
  m.nDefaultLevel = 1;
  m.nDryTime = 3;
  m.nVacuumPower = 2;
  m.eHeadHeight = 1;
  for (int model = 0; model < series.aModelInfoList.size(); ++model)
    m.aflFeedCalibration.append(0.25F * model);
  m.nPreHeater = 40;
  m.nPrintHeater = 42;
  m.nDryHeater = 45;
  m.nCutCount = 1;
  m.nCutVelocity = 30;
  m.nCutForce = 100;
  m.flCutOffset = 0.375F;
  m.TimeStamp = {2015, 11, 30, 1, 2, 3, 999};
  m.bVisibleMedia = i % 2 == 0;
  m.bCuttingMedia = false;
  m.bUpdateNeeded = true;
  m.nInputRoute = 1;
  m.bPreHeaterEnable = false;
  m.bPrinterHeaterEnable = false;
  m.bDrierEnable = false;
  m.nMediaAttribute = 5;
  m.bHideUnrecommendedMode = 0;
  m.flNormalCutForceRange = 0.75F;
  m.flDeepCutForceRange = 40.0F;
  m.nDeepCutForce = 180;
  m.nHalfCutForce = 60;
  m.nOverPrintCount = 2;
  m.bUseDensityCalibration = true;
  return m;
}

}  // namespace

DeviceSeries makeSampleSeries(int scale) {
  DeviceSeries series;
  for (int i = 0; i < 2 * scale; ++i) series.aModelInfoList.append(model(i));
  for (int i = 0; i < 10 * scale; ++i) series.aInkInfoList.append(ink(i));
  for (int i = 0; i < 1 * scale; ++i) series.aInkConfigInfoList.append(inkConfig(i));
  for (int i = 0; i < 31 * scale; ++i) series.aResolutionInfoList.append(resolution(i % 31));
  for (int i = 0; i < 50 * scale; ++i) series.aModeInfoList.append(mode(i));
  for (int i = 0; i < 7 * scale; ++i) series.aSeparationInfoList.append(separation(i));
  for (int i = 0; i < 327 * scale; ++i) series.aVControlPointList.append(vControlPoint(i));
  for (int i = 0; i < 8 * scale; ++i) series.aPatternInfoList.append(pattern(i));
  series.commandSet = {
      "\x1B"
      "E\x1B%-12345X",
      "@PJL JOB\n",
      "@PJL EOJ\n",
      "?CUTFORCE?\x1B*c",
      "\x1B*e",
      "\x0C",
      "\x1B&r-1",
      "\x1B&s\"'<>&\\",
      ""};
  for (int i = 0; i < 7 * scale; ++i) series.aMediaInfoList.append(media(i, series));
  for (int i = 0; i < 2 * scale; ++i) {
    series.aPrintChartFileInfoSetList.append(
        {i, "CMYK Calibration 84.ps", "CMYK Ink Limit 1.0.ps", "Test " + std::to_string(i) + ".ps"});
  }
  for (int i = 0; i < 41 * scale; ++i) {
    InkVolumeInfo volume;
    volume.nInkVolumeIndex = i;
    for (int v = 0; v < 6; ++v) volume.astrInkVolumeList.append("10.81,21.35,38.94");
    series.aInkVolumeInfoList.append(volume);
  }
  series.strFirmwareDownloadURL = localized("https://firmware.example/kd");
  return series;
}

}  // namespace pelagon::test
