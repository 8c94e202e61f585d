#include <pelagon/model/media_info.h>

#include <array>
#include <string_view>

#include <pelagon/values/record_fields.h>

namespace pelagon {
namespace {


constexpr RecordEntries<PermissionSet> kPermissionSetEntries{"PermissionSet", EntryMatch::AnyChild, nullptr,
                                                             appendPermissionSet, readPermissionSet};
constexpr RecordEntries<QualityInfo> kQualityEntries{
    "QualityInfo", EntryMatch::AnyChild,
    [](const QualityInfo& quality) -> std::string_view { return quality.strQualityName[0]; }, appendQualityInfo,
    readQualityInfo};

void readVacuumPower(xml::Node element, MediaInfo& media) {
  media.nVacuumPower = readValue<std::int32_t>(element);
  if (media.nVacuumPower == -1) media.nVacuumPower = 0;
}

void writeTimeStamp(xml::Node parent, std::string_view name, const MediaInfo& media) {
  AppendTimeStampElement(parent, media.TimeStamp, name);
}
void readTimeStamp(xml::Node element, MediaInfo& media) { ReadTimeStampElement(element, media.TimeStamp); }

// Kept as an integer, stored as a boolean.
void writeHideUnrecommended(xml::Node parent, std::string_view name, const MediaInfo& media) {
  appendValue(parent, name, media.bHideUnrecommendedMode != 0);
}
void readHideUnrecommended(xml::Node element, MediaInfo& media) {
  media.bHideUnrecommendedMode = readValue<bool>(element) ? 1 : 0;
}

// Stored files carry the cut forces in the real form; the integer reader stops at the
// decimal point.
template <std::int32_t MediaInfo::*Force>
void writeCutForce(xml::Node parent, std::string_view name, const MediaInfo& media) {
  appendValue(parent, name, static_cast<double>(media.*Force));
}
template <std::int32_t MediaInfo::*Force>
void readCutForce(xml::Node element, MediaInfo& media) {
  media.*Force = readValue<std::int32_t>(element);
}
template <std::int32_t MediaInfo::*Force>
constexpr RecordField<MediaInfo> cutForce(std::string_view name) {
  return customField<MediaInfo, writeCutForce<Force>, readCutForce<Force>>(name);
}

// The first 17 by position, the rest by name in any order.
constexpr std::size_t kHeadCount = 17;
constexpr std::array kFields{
    field<&MediaInfo::strMediaName>("strMediaName"),
    field<&MediaInfo::strBaseMediaName>("strBaseMediaName"),
    recordListField<&MediaInfo::aPermissionSetList, kPermissionSetEntries>("aPermissionSetList"),
    recordListField<&MediaInfo::aQualityInfoList, kQualityEntries>("aQualityInfoList"),
    field<&MediaInfo::nDefaultLevel>("nDefaultLevel"),
    field<&MediaInfo::nDryTime>("nDryTime"),
    fieldReadBy<&MediaInfo::nVacuumPower, readVacuumPower>("nVacuumPower"),
    field<&MediaInfo::eHeadHeight>("eHeadHeight"),
    listField<&MediaInfo::aflFeedCalibration>("aflFeedCalibration", "value"),
    field<&MediaInfo::nPreHeater>("nPreHeater"),
    field<&MediaInfo::nPrintHeater>("nPrintHeater"),
    field<&MediaInfo::nDryHeater>("nDryHeater"),
    field<&MediaInfo::nCutCount>("nCutCount"),
    field<&MediaInfo::nCutVelocity>("nCutVelocity"),
    field<&MediaInfo::nCutForce>("nCutForce"),
    field<&MediaInfo::flCutOffset>("flCutOffset"),
    customField<MediaInfo, writeTimeStamp, readTimeStamp>("TimeStamp"),
    field<&MediaInfo::bVisibleMedia>("bVisibleMedia"),
    field<&MediaInfo::bCuttingMedia>("bCuttingMedia"),
    field<&MediaInfo::bUpdateNeeded>("bUpdateNeeded"),
    field<&MediaInfo::nInputRoute>("nInputRoute"),
    field<&MediaInfo::bPreHeaterEnable>("bPreHeaterEnable"),
    field<&MediaInfo::bPrinterHeaterEnable>("bPrinterHeaterEnable"),
    field<&MediaInfo::bDrierEnable>("bDrierEnable"),
    field<&MediaInfo::nMediaAttribute>("nMediaAttribute"),
    customField<MediaInfo, writeHideUnrecommended, readHideUnrecommended>("bHideUnrecommendedMode"),
    field<&MediaInfo::flNormalCutForceRange>("flNormalCutForceRange"),
    field<&MediaInfo::flDeepCutForceRange>("flDeepCutForceRange"),
    cutForce<&MediaInfo::nDeepCutForce>("nDeepCutForce"),
    cutForce<&MediaInfo::nHalfCutForce>("nHalfCutForce"),
    field<&MediaInfo::nOverPrintCount>("nOverPrintCount"),
    field<&MediaInfo::bUseDensityCalibration>("bUseDensityCalibration"),
};

constexpr auto layout = layoutOf<MediaInfoIO::kName, kFields, kHeadCount>;

}  // namespace

xml::Node appendMediaInfo(xml::Node parent, const MediaInfo& media) { return layout().append(parent, media); }

void readMediaInfo(xml::Node element, MediaInfo& media) {
  PositionalFields head = layout().readHead(element, media);
  // Files without a bDrierEnable element take a dryer temperature of 0 as "off".
  if (media.nDryHeater == 0) media.bDrierEnable = false;
  layout().readTail(head, media);
}

}  // namespace pelagon
