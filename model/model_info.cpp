#include <pelagon/model/model_info.h>

#include <array>
#include <cmath>
#include <limits>
#include <string_view>

#include <pelagon/model/record_document.h>
#include <pelagon/values/record_fields.h>
#include <pelagon/xmlio/number_text.h>

namespace pelagon {

namespace {

constexpr std::string_view kElementName = "ModelInfo";

// The 21 leading fields, read by position.
constexpr std::array<std::string_view, 21> kHead{
    "strLongModelName",   "strMIBModelName",      "strFolderName",    "dMaxWidth",         "nHeadNum",
    "nHeadPositionIndex", "nDefaultInkIndex",     "bCutFeature",      "nHeaterFeature",    "nHeadHeightMask",
    "strStaticStatus",    "strStaticExtraStatus", "strActiveStatus",  "strPPDFile",        "dCropMargin_mm",
    "dCropSize_mm",       "dPageSpace_mm",        "dHWLeftMargin_mm", "dHWRightMargin_mm", "dHWTopMargin_mm",
    "dHWBottomMargin_mm"};

// Everything after the 21 leading fields, found by exact name in any order.
const NamedFields<ModelInfo>& namedTail() {
  static const NamedFields<ModelInfo> table{
      field<&ModelInfo::strBMPFileName>("strBMPFileName"),
      field<&ModelInfo::nMaxCutSpeed>("nMaxCutSpeed"),
      field<&ModelInfo::strExtension>("strExtension"),
      field<&ModelInfo::nMinimumPageInterval_mm>("nMinimumPageInterval_mm"),
      field<&ModelInfo::nMaximumPageInterval_mm>("nMaximumPageInterval_mm"),
      field<&ModelInfo::nMinimumScanSpeed>("nMinimumScanSpeed"),
      field<&ModelInfo::nMaximumScanSpeed>("nMaximumScanSpeed"),
      field<&ModelInfo::nMinimumFeedSpeed>("nMinimumFeedSpeed"),
      field<&ModelInfo::nMaximumFeedSpeed>("nMaximumFeedSpeed"),
      field<&ModelInfo::nMinimumPreHeaterTemperature>("nMinimumPreHeaterTemperature"),
      field<&ModelInfo::nMaximumPreHeaterTemperature>("nMaximumPreHeaterTemperature"),
      field<&ModelInfo::nMinimumHeaterTemperature>("nMinimumHeaterTemperature"),
      field<&ModelInfo::nMaximumHeaterTemperature>("nMaximumHeaterTemperature"),
      field<&ModelInfo::nMinimumDrierTemperature>("nMinimumDrierTemperature"),
      field<&ModelInfo::nMaximumDrierTemperature>("nMaximumDrierTemperature"),
      field<&ModelInfo::dMinimumFeedCalibration_mm>("dMinimumFeedCalibration_mm"),
      field<&ModelInfo::dMaximumFeedCalibration_mm>("dMaximumFeedCalibration_mm"),
      field<&ModelInfo::nMinimumCutForce>("nMinimumCutForce"),
      field<&ModelInfo::nMaximumCutForce>("nMaximumCutForce"),
      field<&ModelInfo::flMaximumCutOffset>("flMaximumCutOffset"),
      field<&ModelInfo::nGetMethodType>("nGetMethodType"),
      field<&ModelInfo::nScanSpeedType>("nScanSpeedType"),
      field<&ModelInfo::strDllName>("strDllName"),
      field<&ModelInfo::strDriverName>("strDriverName"),
      field<&ModelInfo::strRequiredFirmwareVersion>("strRequiredFirmwareVersion"),
      field<&ModelInfo::strRecommendedFirmwareVersion>("strRecommendedFirmwareVersion"),
      field<&ModelInfo::nNozzleCountPerHeadColumn>("nNozzleCountPerHeadColumn"),
      field<&ModelInfo::flNozzleResolution>("flNozzleResolution"),
      field<&ModelInfo::nMinimumReturnScanSpeed>("nMinimumReturnScanSpeed"),
      field<&ModelInfo::nMaximumReturnScanSpeed>("nMaximumReturnScanSpeed"),
      field<&ModelInfo::dMaxLength>("dMaxLength"),
      field<&ModelInfo::bOverlapCutPerCutPath>("bOverlapCutPerCutPath"),
      field<&ModelInfo::nUVLampCount>("nUVLampCount"),
      field<&ModelInfo::bHBridgeFeature>("bHBridgeFeature"),
      field<&ModelInfo::bHalfCutFeature>("bHalfCutFeature"),
      field<&ModelInfo::nMinimumHalfCutForce>("nMinimumHalfCutForce"),
      field<&ModelInfo::nMaximumHalfCutForce>("nMaximumHalfCutForce"),
  };
  return table;
}

}  // namespace

xml::Node ModelInfoIO::WriteModelInfo(xml::Document& document, xml::Node parent,
                                      const ModelInfo& model) const {
  xml::Node element = parent.appendChild(document.createElement(kElementName));
  const auto add = [&element](std::string_view name, const auto& value) {
    appendValue(element, name, value);
  };
  add("strLongModelName", model.strLongModelName);
  add("strMIBModelName", model.strMIBModelName);
  add("strFolderName", model.strFolderName);
  add("dMaxWidth", model.dMaxWidth);
  add("nHeadNum", model.nHeadNum);
  element.appendChild(writeFixedArray(document, "nHeadPositionIndex", model.nHeadPositionIndex));
  element.appendChild(writeFixedArray(document, "nDefaultInkIndex", model.nDefaultInkIndex));
  add("bCutFeature", model.bCutFeature);
  add("nHeaterFeature", model.nHeaterFeature);
  add("nHeadHeightMask", model.nHeadHeightMask);
  add("strStaticStatus", model.strStaticStatus);
  add("strStaticExtraStatus", model.strStaticExtraStatus);
  add("strActiveStatus", model.strActiveStatus);
  add("strPPDFile", model.strPPDFile);
  add("dCropMargin_mm", model.dCropMargin_mm);
  add("dCropSize_mm", model.dCropSize_mm);
  add("dPageSpace_mm", model.dPageSpace_mm);
  add("dHWLeftMargin_mm", model.dHWLeftMargin_mm);
  add("dHWRightMargin_mm", model.dHWRightMargin_mm);
  add("dHWTopMargin_mm", model.dHWTopMargin_mm);
  add("dHWBottomMargin_mm", model.dHWBottomMargin_mm);
  add("strBMPFileName", model.strBMPFileName);
  add("nMaxCutSpeed", model.nMaxCutSpeed);
  add("strExtension", model.strExtension);
  add("nMinimumPageInterval_mm", model.nMinimumPageInterval_mm);
  add("nMaximumPageInterval_mm", model.nMaximumPageInterval_mm);
  add("nMinimumScanSpeed", model.nMinimumScanSpeed);
  add("nMaximumScanSpeed", model.nMaximumScanSpeed);
  add("nMinimumFeedSpeed", model.nMinimumFeedSpeed);
  add("nMaximumFeedSpeed", model.nMaximumFeedSpeed);
  add("nMinimumPreHeaterTemperature", model.nMinimumPreHeaterTemperature);
  add("nMaximumPreHeaterTemperature", model.nMaximumPreHeaterTemperature);
  add("nMinimumHeaterTemperature", model.nMinimumHeaterTemperature);
  add("nMaximumHeaterTemperature", model.nMaximumHeaterTemperature);
  add("nMinimumDrierTemperature", model.nMinimumDrierTemperature);
  add("nMaximumDrierTemperature", model.nMaximumDrierTemperature);
  add("dMinimumFeedCalibration_mm", model.dMinimumFeedCalibration_mm);
  add("dMaximumFeedCalibration_mm", model.dMaximumFeedCalibration_mm);
  add("nMinimumCutForce", model.nMinimumCutForce);
  add("nMaximumCutForce", model.nMaximumCutForce);
  add("flMaximumCutOffset", model.flMaximumCutOffset);
  add("nGetMethodType", model.nGetMethodType);
  add("nScanSpeedType", model.nScanSpeedType);
  add("strDllName", model.strDllName);
  add("strDriverName", model.strDriverName);
  add("strRequiredFirmwareVersion", model.strRequiredFirmwareVersion);
  add("strRecommendedFirmwareVersion", model.strRecommendedFirmwareVersion);
  add("nNozzleCountPerHeadColumn", model.nNozzleCountPerHeadColumn);
  add("flNozzleResolution", model.flNozzleResolution);
  add("nMinimumReturnScanSpeed", model.nMinimumReturnScanSpeed);
  add("nMaximumReturnScanSpeed", model.nMaximumReturnScanSpeed);
  add("dMaxLength", model.dMaxLength);
  add("bOverlapCutPerCutPath", model.bOverlapCutPerCutPath);
  add("nUVLampCount", model.nUVLampCount);
  add("bHBridgeFeature", model.bHBridgeFeature);
  add("bHalfCutFeature", model.bHalfCutFeature);
  add("nMinimumHalfCutForce", model.nMinimumHalfCutForce);
  add("nMaximumHalfCutForce", model.nMaximumHalfCutForce);
  return element;
}

void ModelInfoIO::ReadModelInfo(xml::Node element, ModelInfo& model) const {
  // The leading fields go by position alone: stored files are matched on order, not names.
  PositionalFields head(element, kHead);
  head.read(model.strLongModelName);
  head.read(model.strMIBModelName);
  head.read(model.strFolderName);
  head.read(model.dMaxWidth);
  head.read(model.nHeadNum);
  head.take([&model](xml::Node slots) { readFixedArray(slots, model.nHeadPositionIndex); });
  head.take([&model](xml::Node slots) { readFixedArray(slots, model.nDefaultInkIndex); });
  head.read(model.bCutFeature);
  // Written as an integer, but read as a real, so "2.9" gives 2.
  model.nHeaterFeature = truncateToInt32(head.read<double>());
  head.read(model.nHeadHeightMask);
  head.read(model.strStaticStatus);
  head.read(model.strStaticExtraStatus);
  head.read(model.strActiveStatus);
  head.read(model.strPPDFile);
  head.read(model.dCropMargin_mm);
  head.read(model.dCropSize_mm);
  head.read(model.dPageSpace_mm);
  head.read(model.dHWLeftMargin_mm);
  head.read(model.dHWRightMargin_mm);
  head.read(model.dHWTopMargin_mm);
  head.read(model.dHWBottomMargin_mm);

  // What older files lack reads as these, whatever the target held; every other absent
  // by-name field keeps the target's value.
  model.nMaxCutSpeed = 60;
  model.strRequiredFirmwareVersion.clear();
  model.strRecommendedFirmwareVersion.clear();
  model.nMinimumReturnScanSpeed = 1000;
  model.nMaximumReturnScanSpeed = 1000;
  model.nHostReserved1 = 0;

  namedTail().read(head.rest(), model);
}

bool ModelInfoIO::WriteRecordFile(const std::string& path, const ModelInfo& model) const {
  return pelagon::WriteSingleRecordFile(
      path, model, [this](xml::Document& document, xml::Node parent, const ModelInfo& value) {
        return WriteModelInfo(document, parent, value);
      });
}

bool ModelInfoIO::ReadRecordFile(const std::string& path, ModelInfo& model) const {
  return pelagon::ReadSingleRecordFile(
      path, kElementName, model,
      [this](xml::Node element, ModelInfo& value) { ReadModelInfo(element, value); });
}

}  // namespace pelagon
