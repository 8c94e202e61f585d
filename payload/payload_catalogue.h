#pragma once
// The one table of what the installer carries: every step of the installation run in its
// order, each payload file with its string-table id (the relative path), its base folder,
// its "BIN" resource id, its kind and the series it belongs to. The build-time generator
// makes the blocks from it, the installer walks it, and the tests check both against it.

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace pelagon::payload {

enum class PayloadBase {
  // The install path followed by "Chromalith\Device\".
  DeviceFolder,
  // The install path alone.
  InstallPath,
};

enum class PayloadKind {
  Bitmap,
  MediaFile,
  PassmaskList,
  // Not a file: a folder made when it is missing. It has no resource.
  Folder,
  IccProfile,
  DeviceSeries,
};

// The printer series a file is made for; an ICC profile belongs to the series whose
// separations it serves.
enum class Series {
  None,
  KdCmk,
  Kd,
  KdCmkw,
  KdTE,
  KdTM,
  KdUpdateTest,
};

inline constexpr std::array<Series, 6> kAllSeries = {Series::KdCmk, Series::Kd,   Series::KdCmkw,
                                                     Series::KdTE,  Series::KdTM, Series::KdUpdateTest};

struct ManifestEntry {
  unsigned stringId;
  // The string table's text: Windows separators, relative to the base.
  std::string_view relativePath;
  PayloadBase base;
  // 0 for a folder step.
  unsigned resourceId;
  PayloadKind kind;
  Series series;
};

inline constexpr std::size_t kPayloadFileCount = 96;

// In the order the installation run takes them: the device folder's bitmaps, media-setting
// and passmask files, the profile folders, the ICC profiles, and the device-series files,
// "Pelagon KD cmk.dsr" last.
// clang-format off
inline constexpr std::array<ManifestEntry, 101> kInstallManifest = {{
    {22, "Pelagon KD.bmp", PayloadBase::DeviceFolder, 132, PayloadKind::Bitmap, Series::Kd},
    {23, "KDUpdateTest.bmp", PayloadBase::DeviceFolder, 232, PayloadKind::Bitmap, Series::KdUpdateTest},
    {66, "Pelagon KD cmk.rmt", PayloadBase::DeviceFolder, 130, PayloadKind::MediaFile, Series::KdCmk},
    {67, "Pelagon KD.rmt", PayloadBase::DeviceFolder, 181, PayloadKind::MediaFile, Series::Kd},
    {68, "Pelagon KD cmkw.rmt", PayloadBase::DeviceFolder, 191, PayloadKind::MediaFile, Series::KdCmkw},
    {69, "Pelagon KD TE.rmt", PayloadBase::DeviceFolder, 196, PayloadKind::MediaFile, Series::KdTE},
    {70, "Pelagon KD TM.rmt", PayloadBase::DeviceFolder, 227, PayloadKind::MediaFile, Series::KdTM},
    {71, "KDUpdateTest.rmt", PayloadBase::DeviceFolder, 235, PayloadKind::MediaFile, Series::KdUpdateTest},
    {85, "Pelagon KD cmk.pmp", PayloadBase::DeviceFolder, 131, PayloadKind::PassmaskList, Series::KdCmk},
    {86, "Pelagon KD.pmp", PayloadBase::DeviceFolder, 177, PayloadKind::PassmaskList, Series::Kd},
    {87, "Pelagon KD cmkw.pmp", PayloadBase::DeviceFolder, 190, PayloadKind::PassmaskList, Series::KdCmkw},
    {88, "Pelagon KD TE.pmp", PayloadBase::DeviceFolder, 195, PayloadKind::PassmaskList, Series::KdTE},
    {89, "Pelagon KD TM.pmp", PayloadBase::DeviceFolder, 228, PayloadKind::PassmaskList, Series::KdTM},
    {90, "KDUpdateTest.pmp", PayloadBase::DeviceFolder, 234, PayloadKind::PassmaskList, Series::KdUpdateTest},
    {83, "Profiles\\Pelagon", PayloadBase::InstallPath, 0, PayloadKind::Folder, Series::None},
    {58, "Profiles\\Pelagon\\Pelagon CMYKLcLmLk", PayloadBase::InstallPath, 0, PayloadKind::Folder, Series::None},
    {59, "Profiles\\Pelagon\\Pelagon CMYK", PayloadBase::InstallPath, 0, PayloadKind::Folder, Series::None},
    {60, "Profiles\\Pelagon\\Pelagon Element CMYK", PayloadBase::InstallPath, 0, PayloadKind::Folder, Series::None},
    {61, "Profiles\\Pelagon\\Pelagon TM CMYK", PayloadBase::InstallPath, 0, PayloadKind::Folder, Series::None},
    {101, "Profiles\\Pelagon\\Pelagon CMYKLcLmLk\\KDTRLcmk_GenericBanner_600x600.icc", PayloadBase::InstallPath, 133, PayloadKind::IccProfile, Series::KdCmk},
    {102, "Profiles\\Pelagon\\Pelagon CMYKLcLmLk\\KDTRLcmk_GenericBanner_900x600.icc", PayloadBase::InstallPath, 134, PayloadKind::IccProfile, Series::KdCmk},
    {103, "Profiles\\Pelagon\\Pelagon CMYKLcLmLk\\KDTRLcmk_GenericBanner_900x900.icc", PayloadBase::InstallPath, 135, PayloadKind::IccProfile, Series::KdCmk},
    {104, "Profiles\\Pelagon\\Pelagon CMYKLcLmLk\\KDTRLcmk_GenericPaper_600x600.icc", PayloadBase::InstallPath, 136, PayloadKind::IccProfile, Series::KdCmk},
    {105, "Profiles\\Pelagon\\Pelagon CMYKLcLmLk\\KDTRLcmk_GenericPaper_900x600.icc", PayloadBase::InstallPath, 137, PayloadKind::IccProfile, Series::KdCmk},
    {106, "Profiles\\Pelagon\\Pelagon CMYKLcLmLk\\KDTRLcmk_GenericPaper_900x900.icc", PayloadBase::InstallPath, 138, PayloadKind::IccProfile, Series::KdCmk},
    {107, "Profiles\\Pelagon\\Pelagon CMYKLcLmLk\\KDTRLcmk_GenericPVC_600x600.icc", PayloadBase::InstallPath, 139, PayloadKind::IccProfile, Series::KdCmk},
    {108, "Profiles\\Pelagon\\Pelagon CMYKLcLmLk\\KDTRLcmk_GenericPVC_900x600.icc", PayloadBase::InstallPath, 140, PayloadKind::IccProfile, Series::KdCmk},
    {109, "Profiles\\Pelagon\\Pelagon CMYKLcLmLk\\KDTRLcmk_GenericPVC_900x900.icc", PayloadBase::InstallPath, 141, PayloadKind::IccProfile, Series::KdCmk},
    {110, "Profiles\\Pelagon\\Pelagon CMYKLcLmLk\\KDTRLcmk_GenericBacklit_900x600.icc", PayloadBase::InstallPath, 142, PayloadKind::IccProfile, Series::KdCmk},
    {111, "Profiles\\Pelagon\\Pelagon CMYKLcLmLk\\KDTRLcmk_GenericBacklit_900x900.icc", PayloadBase::InstallPath, 143, PayloadKind::IccProfile, Series::KdCmk},
    {112, "Profiles\\Pelagon\\Pelagon CMYKLcLmLk\\KDTRLcmk_GenericBanner2_600x600.icc", PayloadBase::InstallPath, 144, PayloadKind::IccProfile, Series::KdCmk},
    {113, "Profiles\\Pelagon\\Pelagon CMYKLcLmLk\\KDTRLcmk_GenericBanner2_900x600.icc", PayloadBase::InstallPath, 145, PayloadKind::IccProfile, Series::KdCmk},
    {114, "Profiles\\Pelagon\\Pelagon CMYKLcLmLk\\KDTRLcmk_GenericBanner2_900x900.icc", PayloadBase::InstallPath, 146, PayloadKind::IccProfile, Series::KdCmk},
    {115, "Profiles\\Pelagon\\Pelagon CMYKLcLmLk\\KDTRLcmk_GenericHeatTransferSheet_600x600.icc", PayloadBase::InstallPath, 147, PayloadKind::IccProfile, Series::KdCmk},
    {116, "Profiles\\Pelagon\\Pelagon CMYKLcLmLk\\KDTRLcmk_GenericHeatTransferSheet_900x600.icc", PayloadBase::InstallPath, 149, PayloadKind::IccProfile, Series::KdCmk},
    {117, "Profiles\\Pelagon\\Pelagon CMYKLcLmLk\\KDTRLcmk_GenericHeatTransferSheet_900x900.icc", PayloadBase::InstallPath, 150, PayloadKind::IccProfile, Series::KdCmk},
    {118, "Profiles\\Pelagon\\Pelagon CMYKLcLmLk\\KDTRLcmk_GenericPVC2_600x600.icc", PayloadBase::InstallPath, 152, PayloadKind::IccProfile, Series::KdCmk},
    {119, "Profiles\\Pelagon\\Pelagon CMYKLcLmLk\\KDTRLcmk_GenericPVC2_900x600.icc", PayloadBase::InstallPath, 153, PayloadKind::IccProfile, Series::KdCmk},
    {120, "Profiles\\Pelagon\\Pelagon CMYKLcLmLk\\KDTRLcmk_GenericPVC2_900x900.icc", PayloadBase::InstallPath, 154, PayloadKind::IccProfile, Series::KdCmk},
    {121, "Profiles\\Pelagon\\Pelagon CMYKLcLmLk\\KDTRLcmk_GenericClearFilm_900x600.icc", PayloadBase::InstallPath, 183, PayloadKind::IccProfile, Series::KdCmk},
    {122, "Profiles\\Pelagon\\Pelagon CMYKLcLmLk\\KDTRLcmk_GenericClearFilm_900x900.icc", PayloadBase::InstallPath, 184, PayloadKind::IccProfile, Series::KdCmk},
    {123, "Profiles\\Pelagon\\Pelagon CMYKLcLmLk\\KDTRLcmk_onW_GenericClearFilm_900x600.icc", PayloadBase::InstallPath, 185, PayloadKind::IccProfile, Series::KdCmkw},
    {124, "Profiles\\Pelagon\\Pelagon CMYKLcLmLk\\KDTRLcmk_onW_GenericClearFilm_900x900.icc", PayloadBase::InstallPath, 186, PayloadKind::IccProfile, Series::KdCmkw},
    {125, "Profiles\\Pelagon\\Pelagon CMYKLcLmLk\\KDTRLcmk_underW_GenericClearFilm_900x600.icc", PayloadBase::InstallPath, 187, PayloadKind::IccProfile, Series::KdCmkw},
    {126, "Profiles\\Pelagon\\Pelagon CMYKLcLmLk\\KDTRLcmk_underW_GenericClearFilm_900x900.icc", PayloadBase::InstallPath, 188, PayloadKind::IccProfile, Series::KdCmkw},
    {127, "Profiles\\Pelagon\\Pelagon CMYKLcLmLk\\KDTRLcmk_GenericClearFilm2_900x600.icc", PayloadBase::InstallPath, 193, PayloadKind::IccProfile, Series::KdCmk},
    {128, "Profiles\\Pelagon\\Pelagon TM CMYK\\KDTM_GenericBanner_600x600.icc", PayloadBase::InstallPath, 217, PayloadKind::IccProfile, Series::KdTM},
    {129, "Profiles\\Pelagon\\Pelagon TM CMYK\\KDTM_GenericBanner_900x600.icc", PayloadBase::InstallPath, 218, PayloadKind::IccProfile, Series::KdTM},
    {130, "Profiles\\Pelagon\\Pelagon TM CMYK\\KDTM_GenericBanner_900x900.icc", PayloadBase::InstallPath, 219, PayloadKind::IccProfile, Series::KdTM},
    {131, "Profiles\\Pelagon\\Pelagon TM CMYK\\KDTM_GenericHeatTransferSheet_600x600.icc", PayloadBase::InstallPath, 220, PayloadKind::IccProfile, Series::KdTM},
    {132, "Profiles\\Pelagon\\Pelagon TM CMYK\\KDTM_GenericHeatTransferSheet_900x600.icc", PayloadBase::InstallPath, 221, PayloadKind::IccProfile, Series::KdTM},
    {133, "Profiles\\Pelagon\\Pelagon TM CMYK\\KDTM_GenericHeatTransferSheet_900x900.icc", PayloadBase::InstallPath, 222, PayloadKind::IccProfile, Series::KdTM},
    {134, "Profiles\\Pelagon\\Pelagon TM CMYK\\KDTM_GenericPVC_600x600.icc", PayloadBase::InstallPath, 223, PayloadKind::IccProfile, Series::KdTM},
    {135, "Profiles\\Pelagon\\Pelagon TM CMYK\\KDTM_GenericPVC_900x600.icc", PayloadBase::InstallPath, 224, PayloadKind::IccProfile, Series::KdTM},
    {136, "Profiles\\Pelagon\\Pelagon TM CMYK\\KDTM_GenericPVC_900x900.icc", PayloadBase::InstallPath, 225, PayloadKind::IccProfile, Series::KdTM},
    {140, "Profiles\\Pelagon\\Pelagon CMYK\\KDTR_GenericBacklit_900x600.icc", PayloadBase::InstallPath, 155, PayloadKind::IccProfile, Series::Kd},
    {141, "Profiles\\Pelagon\\Pelagon CMYK\\KDTR_GenericBacklit_900x900.icc", PayloadBase::InstallPath, 156, PayloadKind::IccProfile, Series::Kd},
    {142, "Profiles\\Pelagon\\Pelagon CMYK\\KDTR_GenericBanner1_600x600.icc", PayloadBase::InstallPath, 157, PayloadKind::IccProfile, Series::Kd},
    {143, "Profiles\\Pelagon\\Pelagon CMYK\\KDTR_GenericBanner1_900x600.icc", PayloadBase::InstallPath, 158, PayloadKind::IccProfile, Series::Kd},
    {144, "Profiles\\Pelagon\\Pelagon CMYK\\KDTR_GenericBanner1_900x900.icc", PayloadBase::InstallPath, 159, PayloadKind::IccProfile, Series::Kd},
    {145, "Profiles\\Pelagon\\Pelagon CMYK\\KDTR_GenericBanner2_600x600.icc", PayloadBase::InstallPath, 160, PayloadKind::IccProfile, Series::Kd},
    {146, "Profiles\\Pelagon\\Pelagon CMYK\\KDTR_GenericBanner2_900x600.icc", PayloadBase::InstallPath, 161, PayloadKind::IccProfile, Series::Kd},
    {147, "Profiles\\Pelagon\\Pelagon CMYK\\KDTR_GenericBanner2_900x900.icc", PayloadBase::InstallPath, 162, PayloadKind::IccProfile, Series::Kd},
    {148, "Profiles\\Pelagon\\Pelagon CMYK\\KDTR_GenericHeatTransferSheet_600x600.icc", PayloadBase::InstallPath, 163, PayloadKind::IccProfile, Series::Kd},
    {149, "Profiles\\Pelagon\\Pelagon CMYK\\KDTR_GenericHeatTransferSheet_900x600.icc", PayloadBase::InstallPath, 164, PayloadKind::IccProfile, Series::Kd},
    {150, "Profiles\\Pelagon\\Pelagon CMYK\\KDTR_GenericHeatTransferSheet_900x900.icc", PayloadBase::InstallPath, 165, PayloadKind::IccProfile, Series::Kd},
    {151, "Profiles\\Pelagon\\Pelagon CMYK\\KDTR_GenericPaper_600x600.icc", PayloadBase::InstallPath, 166, PayloadKind::IccProfile, Series::Kd},
    {152, "Profiles\\Pelagon\\Pelagon CMYK\\KDTR_GenericPaper_900x600.icc", PayloadBase::InstallPath, 167, PayloadKind::IccProfile, Series::Kd},
    {153, "Profiles\\Pelagon\\Pelagon CMYK\\KDTR_GenericPaper_900x900.icc", PayloadBase::InstallPath, 168, PayloadKind::IccProfile, Series::Kd},
    {154, "Profiles\\Pelagon\\Pelagon CMYK\\KDTR_GenericPVC1_600x600.icc", PayloadBase::InstallPath, 169, PayloadKind::IccProfile, Series::Kd},
    {155, "Profiles\\Pelagon\\Pelagon CMYK\\KDTR_GenericPVC1_900x600.icc", PayloadBase::InstallPath, 170, PayloadKind::IccProfile, Series::Kd},
    {156, "Profiles\\Pelagon\\Pelagon CMYK\\KDTR_GenericPVC1_900x900.icc", PayloadBase::InstallPath, 171, PayloadKind::IccProfile, Series::Kd},
    {157, "Profiles\\Pelagon\\Pelagon CMYK\\KDTR_GenericPVC2_600x600.icc", PayloadBase::InstallPath, 172, PayloadKind::IccProfile, Series::Kd},
    {158, "Profiles\\Pelagon\\Pelagon CMYK\\KDTR_GenericPVC2_900x600.icc", PayloadBase::InstallPath, 173, PayloadKind::IccProfile, Series::Kd},
    {159, "Profiles\\Pelagon\\Pelagon CMYK\\KDTR_GenericPVC2_900x900.icc", PayloadBase::InstallPath, 174, PayloadKind::IccProfile, Series::Kd},
    {82, "Profiles\\Pelagon\\Pelagon Element CMYK\\KDTE_GenericBacklit_900x600.icc", PayloadBase::InstallPath, 197, PayloadKind::IccProfile, Series::KdTE},
    {160, "Profiles\\Pelagon\\Pelagon Element CMYK\\KDTE_GenericBacklit_900x900.icc", PayloadBase::InstallPath, 198, PayloadKind::IccProfile, Series::KdTE},
    {161, "Profiles\\Pelagon\\Pelagon Element CMYK\\KDTE_GenericBanner1_600x600.icc", PayloadBase::InstallPath, 199, PayloadKind::IccProfile, Series::KdTE},
    {162, "Profiles\\Pelagon\\Pelagon Element CMYK\\KDTE_GenericBanner1_900x600.icc", PayloadBase::InstallPath, 200, PayloadKind::IccProfile, Series::KdTE},
    {163, "Profiles\\Pelagon\\Pelagon Element CMYK\\KDTE_GenericBanner1_900x900.icc", PayloadBase::InstallPath, 201, PayloadKind::IccProfile, Series::KdTE},
    {164, "Profiles\\Pelagon\\Pelagon Element CMYK\\KDTE_GenericBanner2_600x600.icc", PayloadBase::InstallPath, 202, PayloadKind::IccProfile, Series::KdTE},
    {165, "Profiles\\Pelagon\\Pelagon Element CMYK\\KDTE_GenericBanner2_900x600.icc", PayloadBase::InstallPath, 203, PayloadKind::IccProfile, Series::KdTE},
    {166, "Profiles\\Pelagon\\Pelagon Element CMYK\\KDTE_GenericBanner2_900x900.icc", PayloadBase::InstallPath, 204, PayloadKind::IccProfile, Series::KdTE},
    {167, "Profiles\\Pelagon\\Pelagon Element CMYK\\KDTE_GenericHeatTransferSheet_600x600.icc", PayloadBase::InstallPath, 205, PayloadKind::IccProfile, Series::KdTE},
    {168, "Profiles\\Pelagon\\Pelagon Element CMYK\\KDTE_GenericHeatTransferSheet_900x600.icc", PayloadBase::InstallPath, 206, PayloadKind::IccProfile, Series::KdTE},
    {169, "Profiles\\Pelagon\\Pelagon Element CMYK\\KDTE_GenericHeatTransferSheet_900x900.icc", PayloadBase::InstallPath, 207, PayloadKind::IccProfile, Series::KdTE},
    {170, "Profiles\\Pelagon\\Pelagon Element CMYK\\KDTE_GenericPaper_600x600.icc", PayloadBase::InstallPath, 208, PayloadKind::IccProfile, Series::KdTE},
    {171, "Profiles\\Pelagon\\Pelagon Element CMYK\\KDTE_GenericPaper_900x600.icc", PayloadBase::InstallPath, 209, PayloadKind::IccProfile, Series::KdTE},
    {172, "Profiles\\Pelagon\\Pelagon Element CMYK\\KDTE_GenericPaper_900x900.icc", PayloadBase::InstallPath, 210, PayloadKind::IccProfile, Series::KdTE},
    {173, "Profiles\\Pelagon\\Pelagon Element CMYK\\KDTE_GenericPVC1_600x600.icc", PayloadBase::InstallPath, 211, PayloadKind::IccProfile, Series::KdTE},
    {174, "Profiles\\Pelagon\\Pelagon Element CMYK\\KDTE_GenericPVC1_900x600.icc", PayloadBase::InstallPath, 212, PayloadKind::IccProfile, Series::KdTE},
    {175, "Profiles\\Pelagon\\Pelagon Element CMYK\\KDTE_GenericPVC1_900x900.icc", PayloadBase::InstallPath, 213, PayloadKind::IccProfile, Series::KdTE},
    {176, "Profiles\\Pelagon\\Pelagon Element CMYK\\KDTE_GenericPVC2_600x600.icc", PayloadBase::InstallPath, 214, PayloadKind::IccProfile, Series::KdTE},
    {177, "Profiles\\Pelagon\\Pelagon Element CMYK\\KDTE_GenericPVC2_900x600.icc", PayloadBase::InstallPath, 215, PayloadKind::IccProfile, Series::KdTE},
    {178, "Profiles\\Pelagon\\Pelagon Element CMYK\\KDTE_GenericPVC2_900x900.icc", PayloadBase::InstallPath, 216, PayloadKind::IccProfile, Series::KdTE},
    {43, "Pelagon KD.dsr", PayloadBase::DeviceFolder, 176, PayloadKind::DeviceSeries, Series::Kd},
    {44, "Pelagon KD cmkw.dsr", PayloadBase::DeviceFolder, 189, PayloadKind::DeviceSeries, Series::KdCmkw},
    {45, "Pelagon KD TE.dsr", PayloadBase::DeviceFolder, 194, PayloadKind::DeviceSeries, Series::KdTE},
    {46, "Pelagon KD TM.dsr", PayloadBase::DeviceFolder, 226, PayloadKind::DeviceSeries, Series::KdTM},
    {47, "KDUpdateTest.dsr", PayloadBase::DeviceFolder, 233, PayloadKind::DeviceSeries, Series::KdUpdateTest},
    {42, "Pelagon KD cmk.dsr", PayloadBase::DeviceFolder, 129, PayloadKind::DeviceSeries, Series::KdCmk},
}};
// clang-format on

// The payload file with this resource id; nothing for an id the installer does not carry.
constexpr std::optional<ManifestEntry> FindPayloadFile(unsigned resourceId) {
  for (const ManifestEntry& entry : kInstallManifest) {
    if (entry.kind != PayloadKind::Folder && entry.resourceId == resourceId) return entry;
  }
  return std::nullopt;
}

// The base name the series' device-series, media-setting and passmask files share.
constexpr std::string_view SeriesBaseName(Series series) {
  switch (series) {
    case Series::KdCmk:
      return "Pelagon KD cmk";
    case Series::Kd:
      return "Pelagon KD";
    case Series::KdCmkw:
      return "Pelagon KD cmkw";
    case Series::KdTE:
      return "Pelagon KD TE";
    case Series::KdTM:
      return "Pelagon KD TM";
    case Series::KdUpdateTest:
      return "KDUpdateTest";
    case Series::None:
      break;
  }
  return {};
}

// The file name after the last separator of a relative path.
constexpr std::string_view FileNameOf(std::string_view relativePath) {
  const std::size_t separator = relativePath.find_last_of('\\');
  return separator == std::string_view::npos ? relativePath : relativePath.substr(separator + 1);
}

// The name the generator gives a block in its output folder: "bin-132.bmp".
inline std::string BlockFileName(const ManifestEntry& entry) {
  const std::string_view name = FileNameOf(entry.relativePath);
  const std::size_t dot = name.find_last_of('.');
  const std::string_view extension = dot == std::string_view::npos ? std::string_view{} : name.substr(dot);
  return "bin-" + std::to_string(entry.resourceId) + std::string(extension);
}

}  // namespace pelagon::payload
