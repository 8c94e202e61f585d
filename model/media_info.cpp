#include <pelagon/model/media_info.h>

#include <array>
#include <string_view>

#include <pelagon/model/record_document.h>
#include <pelagon/values/record_fields.h>

namespace pelagon {
namespace {

constexpr std::string_view kMediaInfo = "MediaInfo";

constexpr std::array<std::string_view, 17> kMediaInfoHead{
    "strMediaName", "strBaseMediaName", "aPermissionSetList", "aQualityInfoList",   "nDefaultLevel",
    "nDryTime",     "nVacuumPower",     "eHeadHeight",        "aflFeedCalibration", "nPreHeater",
    "nPrintHeater", "nDryHeater",       "nCutCount",          "nCutVelocity",       "nCutForce",
    "flCutOffset",  "TimeStamp"};

constexpr RecordEntries<PermissionSet> kPermissionSetEntries{"PermissionSet"};
constexpr RecordEntries<QualityInfo> kQualityEntries{
    "QualityInfo", EntryMatch::AnyChild,
    [](const QualityInfo& quality) -> std::string_view { return quality.strQualityName[0]; }};

const NamedFields<MediaInfo>& mediaInfoTail() {
  static const NamedFields<MediaInfo> fields{
      field<&MediaInfo::bVisibleMedia>("bVisibleMedia"),
      field<&MediaInfo::bCuttingMedia>("bCuttingMedia"),
      field<&MediaInfo::bUpdateNeeded>("bUpdateNeeded"),
      field<&MediaInfo::nInputRoute>("nInputRoute"),
      field<&MediaInfo::bPreHeaterEnable>("bPreHeaterEnable"),
      field<&MediaInfo::bPrinterHeaterEnable>("bPrinterHeaterEnable"),
      field<&MediaInfo::bDrierEnable>("bDrierEnable"),
      field<&MediaInfo::nMediaAttribute>("nMediaAttribute"),
      {"bHideUnrecommendedMode",
       +[](xml::Node element, MediaInfo& media) {
         media.bHideUnrecommendedMode = readBoolElement(element) ? 1 : 0;
       }},
      field<&MediaInfo::flNormalCutForceRange>("flNormalCutForceRange"),
      field<&MediaInfo::flDeepCutForceRange>("flDeepCutForceRange"),
      // Stored as reals; the integer reader stops at the decimal point.
      field<&MediaInfo::nDeepCutForce>("nDeepCutForce"),
      field<&MediaInfo::nHalfCutForce>("nHalfCutForce"),
      field<&MediaInfo::nOverPrintCount>("nOverPrintCount"),
      field<&MediaInfo::bUseDensityCalibration>("bUseDensityCalibration"),
  };
  return fields;
}

}  // namespace

xml::Node MediaInfoIO::WriteMediaInfo(xml::Document& document, xml::Node parent,
                                      const MediaInfo& media) const {
  xml::Node element = parent.appendChild(document.createElement(kMediaInfo));
  const auto add = [&element](std::string_view name, const auto& value) {
    appendValue(element, name, value);
  };
  add("strMediaName", media.strMediaName);
  add("strBaseMediaName", media.strBaseMediaName);
  xml::Node permissions = element.appendElement("aPermissionSetList");
  for (const PermissionSet& permission : media.aPermissionSetList) {
    writePermissionSet(document, permissions, permission);
  }
  xml::Node qualities = element.appendElement("aQualityInfoList");
  for (const QualityInfo& quality : media.aQualityInfoList) writeQualityInfo(document, qualities, quality);
  add("nDefaultLevel", media.nDefaultLevel);
  add("nDryTime", media.nDryTime);
  add("nVacuumPower", media.nVacuumPower);
  add("eHeadHeight", media.eHeadHeight);
  element.appendChild(writeScalarList(document, "aflFeedCalibration", "value", media.aflFeedCalibration));
  add("nPreHeater", media.nPreHeater);
  add("nPrintHeater", media.nPrintHeater);
  add("nDryHeater", media.nDryHeater);
  add("nCutCount", media.nCutCount);
  add("nCutVelocity", media.nCutVelocity);
  add("nCutForce", media.nCutForce);
  add("flCutOffset", media.flCutOffset);
  element.appendChild(WriteTimeStampElement(document, media.TimeStamp, "TimeStamp"));
  add("bVisibleMedia", media.bVisibleMedia);
  add("bCuttingMedia", media.bCuttingMedia);
  add("bUpdateNeeded", media.bUpdateNeeded);
  add("nInputRoute", media.nInputRoute);
  add("bPreHeaterEnable", media.bPreHeaterEnable);
  add("bPrinterHeaterEnable", media.bPrinterHeaterEnable);
  add("bDrierEnable", media.bDrierEnable);
  add("nMediaAttribute", media.nMediaAttribute);
  add("bHideUnrecommendedMode", media.bHideUnrecommendedMode != 0);
  add("flNormalCutForceRange", media.flNormalCutForceRange);
  add("flDeepCutForceRange", media.flDeepCutForceRange);
  // Stored files carry the cut forces in the real form.
  add("nDeepCutForce", static_cast<double>(media.nDeepCutForce));
  add("nHalfCutForce", static_cast<double>(media.nHalfCutForce));
  add("nOverPrintCount", media.nOverPrintCount);
  add("bUseDensityCalibration", media.bUseDensityCalibration);
  return element;
}

void MediaInfoIO::ReadMediaInfo(xml::Node element, MediaInfo& media) const {
  // Stored files are matched on the order of these 17 children, not on their names.
  PositionalFields head(element, kMediaInfoHead);
  head.read(media.strMediaName);
  head.read(media.strBaseMediaName);
  head.take([&media](xml::Node list) {
    readRecordList(list, media.aPermissionSetList, kPermissionSetEntries, readPermissionSet);
  });
  head.take([&media](xml::Node list) {
    readRecordList(list, media.aQualityInfoList, kQualityEntries, readQualityInfo);
  });
  head.read(media.nDefaultLevel);
  head.read(media.nDryTime);
  head.read(media.nVacuumPower);
  if (media.nVacuumPower == -1) media.nVacuumPower = 0;
  head.read(media.eHeadHeight);
  head.take([&media](xml::Node list) { readScalarList(list, media.aflFeedCalibration); });
  head.read(media.nPreHeater);
  head.read(media.nPrintHeater);
  head.read(media.nDryHeater);
  head.read(media.nCutCount);
  head.read(media.nCutVelocity);
  head.read(media.nCutForce);
  head.read(media.flCutOffset);
  head.take([&media](xml::Node stamp) { ReadTimeStampElement(stamp, media.TimeStamp); });

  // Files without a bDrierEnable element take a dryer temperature of 0 as "off".
  if (media.nDryHeater == 0) media.bDrierEnable = false;
  mediaInfoTail().read(head.rest(), media);
}

bool MediaInfoIO::WriteRecordFile(const std::string& path, const MediaInfo& media) const {
  return pelagon::WriteSingleRecordFile(
      path, media, [this](xml::Document& document, xml::Node parent, const MediaInfo& value) {
        return WriteMediaInfo(document, parent, value);
      });
}

bool MediaInfoIO::ReadRecordFile(const std::string& path, MediaInfo& media) const {
  return pelagon::ReadSingleRecordFile(path, kMediaInfo, media, [this](xml::Node element, MediaInfo& value) {
    ReadMediaInfo(element, value);
  });
}

}  // namespace pelagon
