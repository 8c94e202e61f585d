#include <pelagon/model/model_info.h>

#include <array>
#include <cmath>
#include <limits>
#include <string_view>

#include <pelagon/values/record_fields.h>
#include <pelagon/xmlio/number_text.h>

namespace pelagon {

namespace {


// Written as an integer, but read as a real, so "2.9" gives 2.
void readHeaterFeature(xml::Node element, ModelInfo& model) {
  model.nHeaterFeature = truncateToInt32(readValue<double>(element));
}

// The first 21 are read by position, everything after them by exact name in any order.
constexpr std::size_t kHeadCount = 21;
constexpr std::array kFields{
    field<&ModelInfo::strLongModelName>("strLongModelName"),
    field<&ModelInfo::strMIBModelName>("strMIBModelName"),
    field<&ModelInfo::strFolderName>("strFolderName"),
    field<&ModelInfo::dMaxWidth>("dMaxWidth"),
    field<&ModelInfo::nHeadNum>("nHeadNum"),
    fixedArrayField<&ModelInfo::nHeadPositionIndex>("nHeadPositionIndex"),
    fixedArrayField<&ModelInfo::nDefaultInkIndex>("nDefaultInkIndex"),
    field<&ModelInfo::bCutFeature>("bCutFeature"),
    fieldReadBy<&ModelInfo::nHeaterFeature, readHeaterFeature>("nHeaterFeature"),
    field<&ModelInfo::nHeadHeightMask>("nHeadHeightMask"),
    field<&ModelInfo::strStaticStatus>("strStaticStatus"),
    field<&ModelInfo::strStaticExtraStatus>("strStaticExtraStatus"),
    field<&ModelInfo::strActiveStatus>("strActiveStatus"),
    field<&ModelInfo::strPPDFile>("strPPDFile"),
    field<&ModelInfo::dCropMargin_mm>("dCropMargin_mm"),
    field<&ModelInfo::dCropSize_mm>("dCropSize_mm"),
    field<&ModelInfo::dPageSpace_mm>("dPageSpace_mm"),
    field<&ModelInfo::dHWLeftMargin_mm>("dHWLeftMargin_mm"),
    field<&ModelInfo::dHWRightMargin_mm>("dHWRightMargin_mm"),
    field<&ModelInfo::dHWTopMargin_mm>("dHWTopMargin_mm"),
    field<&ModelInfo::dHWBottomMargin_mm>("dHWBottomMargin_mm"),
    // The by-name tail.
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
constexpr auto layout = layoutOf<ModelInfoIO::kName, kFields, kHeadCount>;

}  // namespace

xml::Node appendModelInfo(xml::Node parent, const ModelInfo& model) { return layout().append(parent, model); }

void readModelInfo(xml::Node element, ModelInfo& model) {
  PositionalFields head = layout().readHead(element, model);
  // What older files lack reads as these, whatever the target held; every other absent
  // by-name field keeps the target's value.
  model.nMaxCutSpeed = 60;
  model.strRequiredFirmwareVersion.clear();
  model.strRecommendedFirmwareVersion.clear();
  model.nMinimumReturnScanSpeed = 1000;
  model.nMaximumReturnScanSpeed = 1000;
  model.nHostReserved1 = 0;
  layout().readTail(head, model);
}

}  // namespace pelagon
