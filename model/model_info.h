#pragma once
// One printer model of a device series: names, width, head arrangement, default inks,
// features, status layouts, margins, the ranges the host offers, firmware and nozzles.
// A device-series document holds one "ModelInfo" element per model.

#include <array>
#include <cstdint>
#include <string>

#include <pelagon/model/record_document.h>
#include <pelagon/platform/growable_array.h>
#include <pelagon/xmlio/dom.h>

namespace pelagon {

// Members are declared in the record's memory order, which is not the element order of the
// files. The "HostReserved" members are not carried by the files: the host owns their
// meaning; they are kept and copied with the record, but never written or read.
struct ModelInfo {
  std::string strLongModelName;
  std::string strMIBModelName;
  std::string strFolderName;
  double dMaxWidth = 0.0;
  std::int32_t nHeadNum = 0;
  // Per head slot; an empty slot holds -1.
  std::array<std::int32_t, 24> nHeadPositionIndex{};
  // Per head slot, the nInkIndex of an ink; an empty slot holds 0.
  std::array<std::int32_t, 24> nDefaultInkIndex{};
  bool bCutFeature = false;
  bool bHalfCutFeature = false;
  std::int32_t nHeaterFeature = 0;
  std::int32_t nHeadHeightMask = 0;
  std::string strStaticStatus;
  std::string strStaticExtraStatus;
  std::string strActiveStatus;
  std::string strPPDFile;
  double dCropMargin_mm = 0.0;
  double dCropSize_mm = 0.0;
  double dPageSpace_mm = 0.0;
  double dHWLeftMargin_mm = 0.0;
  double dHWRightMargin_mm = 0.0;
  double dHWTopMargin_mm = 0.0;
  double dHWBottomMargin_mm = 0.0;
  std::string strBMPFileName;
  // 0 in a fresh record; a read sets 60 before the by-name fields.
  std::int32_t nMaxCutSpeed = 0;
  // Opaque hexadecimal digits, carried unchanged.
  std::string strExtension;
  // Reset to 0 by every read.
  std::int32_t nHostReserved1 = 0;
  std::int32_t nHostReserved2 = 0;
  bool bHostReserved1 = false;
  bool bHostReserved2 = false;
  std::int32_t nMinimumScanSpeed = 250;
  std::int32_t nMaximumScanSpeed = 1000;
  std::int32_t nMinimumFeedSpeed = 1;
  std::int32_t nMaximumFeedSpeed = 50;
  std::int32_t nMinimumPageInterval_mm = 0;
  std::int32_t nMaximumPageInterval_mm = 200;
  std::int32_t nMinimumPreHeaterTemperature = 35;
  std::int32_t nMaximumPreHeaterTemperature = 50;
  std::int32_t nMinimumHeaterTemperature = 35;
  std::int32_t nMaximumHeaterTemperature = 50;
  std::int32_t nMinimumDrierTemperature = 35;
  std::int32_t nMaximumDrierTemperature = 50;
  double dMinimumFeedCalibration_mm = -2.0;
  double dMaximumFeedCalibration_mm = 2.0;
  std::int32_t nMinimumCutForce = 30;
  std::int32_t nMaximumCutForce = 300;
  std::int32_t nMinimumHalfCutForce = 1;
  std::int32_t nMaximumHalfCutForce = 80;
  float flMaximumCutOffset = 1.5f;
  // Their entry type is the host's; integers keep whatever it stores.
  win::GrowableArray<std::int32_t> anHostReserved1;
  win::GrowableArray<std::int32_t> anHostReserved2;
  std::int32_t nGetMethodType = 1;
  std::int32_t nScanSpeedType = 0;
  std::string strDllName;
  std::string strDriverName;
  // A read empties both before the by-name fields.
  std::string strRequiredFirmwareVersion;
  std::string strRecommendedFirmwareVersion;
  std::int32_t nHostReserved3 = 3;
  std::int32_t nHostReserved4 = 0;
  bool bHostReserved3 = false;
  // Like dMaxLength, a read without their elements leaves them as they were (0 when fresh).
  std::int32_t nNozzleCountPerHeadColumn = 0;
  float flNozzleResolution = 0.0f;
  std::int32_t nHostReserved5 = 0;
  // 0 in a fresh record; a read sets 1000 before the by-name fields.
  std::int32_t nMinimumReturnScanSpeed = 0;
  std::int32_t nMaximumReturnScanSpeed = 0;
  double dMaxLength = 0.0;
  bool bOverlapCutPerCutPath = false;
  std::int32_t nUVLampCount = 0;
  bool bHBridgeFeature = false;

  friend bool operator==(const ModelInfo&, const ModelInfo&) = default;
};

// Appends a "ModelInfo" element under `parent`, fills it with every field and returns it.
xml::Node appendModelInfo(xml::Node parent, const ModelInfo& model);
// Reads the element's children into `model`; the element's own name is not compared.
// Fewer than 21 leading children, or fewer than 24 in an array, raise E_POINTER.
void readModelInfo(xml::Node element, ModelInfo& model);

// A file holding one "ModelInfo" element as its document element (strict pair: a failed
// save and the reader's _com_error reach the caller).
using ModelInfoIO = RecordIO<ModelInfo, appendModelInfo, readModelInfo, "ModelInfo", RecordFileRules::Strict>;

}  // namespace pelagon
