#include <pelagon/payload/generator/icc_profile.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <iterator>
#include <stdexcept>
#include <string>

#include <pelagon/payload/generator/lcms_handles.h>
#include <pelagon/payload/payload_catalogue.h>

namespace pelagon::payload {

namespace {

// ---- The printer model ----
//
// Optical densities add up: each colour ink has a density in its own band (cyan the red
// band, magenta the green, yellow the blue) and smaller unwanted ones in the other two, in
// fixed proportions; black is equally dense in all three. An ink's density at printed
// coverage e is -ln(1 - d e), d the fraction of light full coverage absorbs, and dot gain
// makes the printed coverage e = 1 - (1 - x)^gain of the requested x. The bands' reflectances
// become XYZ through the sRGB primaries adapted to D50, so the blank medium is the connection
// space's white: the tables are media-relative and the medium's own colour is the media white
// point. With additive densities the way back is a 3 x 3 linear solve.

struct Look {
  // The blank medium, absolute.
  double paperL, paperA, paperB;
  // The fraction of light full coverage absorbs: cyan, magenta, yellow, black.
  std::array<double, 4> density;
  double gain;
  bool transparent;
  bool matte;
};

struct MediumLook {
  std::string_view token;
  Look look;
};

constexpr std::array<MediumLook, 11> kMedia = {{
    {"GenericBanner", {92.5, 0.4, -1.8, {0.87, 0.86, 0.89, 0.970}, 1.50, false, true}},
    {"GenericBanner1", {93.0, 0.3, -2.2, {0.88, 0.86, 0.90, 0.972}, 1.45, false, true}},
    {"GenericBanner2", {91.8, 0.5, -1.2, {0.86, 0.85, 0.88, 0.965}, 1.55, false, true}},
    {"GenericPaper", {95.0, 0.8, -4.5, {0.92, 0.90, 0.93, 0.980}, 1.35, false, true}},
    {"GenericPVC", {94.2, 0.2, -1.5, {0.90, 0.89, 0.91, 0.978}, 1.40, false, false}},
    {"GenericPVC1", {94.5, 0.1, -1.8, {0.90, 0.89, 0.92, 0.978}, 1.38, false, false}},
    {"GenericPVC2", {93.6, 0.3, -1.0, {0.89, 0.88, 0.91, 0.975}, 1.42, false, false}},
    {"GenericBacklit", {90.0, -0.4, 1.0, {0.84, 0.83, 0.86, 0.960}, 1.60, true, true}},
    {"GenericHeatTransferSheet", {91.0, 0.0, 3.0, {0.80, 0.80, 0.83, 0.950}, 1.70, false, true}},
    {"GenericClearFilm", {96.0, -0.2, 0.6, {0.82, 0.81, 0.84, 0.955}, 1.30, true, false}},
    {"GenericClearFilm2", {95.5, -0.3, 0.9, {0.83, 0.82, 0.85, 0.958}, 1.32, true, false}},
}};

constexpr double kGrayComponentReplacement = 0.7;

// The sRGB primaries adapted to D50 (Bradford): band reflectances to XYZ, and back.
constexpr std::array<std::array<double, 3>, 3> kBandsToXyz = {{
    {0.4360747, 0.3850649, 0.1430804},
    {0.2225045, 0.7168786, 0.0606169},
    {0.0139322, 0.0971045, 0.7141733},
}};
constexpr std::array<std::array<double, 3>, 3> kXyzToBands = {{
    {3.1338561, -1.6168667, -0.4906146},
    {-0.9787684, 1.9161415, 0.0334540},
    {0.0719453, -0.2289914, 1.4052427},
}};

// Per colour ink (cyan, magenta, yellow), its density in the red, green and blue band as a
// share of its density in its own band.
constexpr std::array<std::array<double, 3>, 3> kUnwantedDensity = {{
    {1.00, 0.35, 0.10},
    {0.10, 1.00, 0.30},
    {0.02, 0.10, 1.00},
}};

using Vector3 = std::array<double, 3>;
using Matrix3 = std::array<Vector3, 3>;

Vector3 multiply(const Matrix3& m, const Vector3& v) {
  Vector3 out{};
  for (std::size_t r = 0; r < 3; ++r) out[r] = m[r][0] * v[0] + m[r][1] * v[1] + m[r][2] * v[2];
  return out;
}

Matrix3 inverse(const Matrix3& m) {
  const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                     m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                     m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
  Matrix3 out{};
  for (std::size_t r = 0; r < 3; ++r) {
    for (std::size_t c = 0; c < 3; ++c) {
      const std::size_t r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
      out[r][c] = (m[r1][c1] * m[r2][c2] - m[r1][c2] * m[r2][c1]) / det;
    }
  }
  return out;
}

// Band densities from ink densities: the transpose of the unwanted-density table.
constexpr Matrix3 kInkToBandDensity = {{
    {kUnwantedDensity[0][0], kUnwantedDensity[1][0], kUnwantedDensity[2][0]},
    {kUnwantedDensity[0][1], kUnwantedDensity[1][1], kUnwantedDensity[2][1]},
    {kUnwantedDensity[0][2], kUnwantedDensity[1][2], kUnwantedDensity[2][2]},
}};

std::string_view stemOf(std::string_view relativePath) {
  std::string_view name = FileNameOf(relativePath);
  constexpr std::string_view kExtension = ".icc";
  if (name.size() <= kExtension.size() || name.substr(name.size() - kExtension.size()) != kExtension) {
    throw std::invalid_argument("not an ICC profile name: " + std::string(relativePath));
  }
  return name.substr(0, name.size() - kExtension.size());
}

// Reads "<ink set>_<medium>_<scan>x<feed>" into the model.
Look lookOf(std::string_view stem) {
  const std::size_t lastSeparator = stem.rfind('_');
  if (lastSeparator == std::string_view::npos || lastSeparator == 0) {
    throw std::invalid_argument("profile name without a resolution: " + std::string(stem));
  }
  const std::size_t mediumSeparator = stem.rfind('_', lastSeparator - 1);
  if (mediumSeparator == std::string_view::npos) {
    throw std::invalid_argument("profile name without a medium: " + std::string(stem));
  }
  const std::string_view inkSet = stem.substr(0, mediumSeparator);
  const std::string_view medium = stem.substr(mediumSeparator + 1, lastSeparator - mediumSeparator - 1);
  const std::string_view resolution = stem.substr(lastSeparator + 1);

  const auto found = std::find_if(kMedia.begin(), kMedia.end(),
                                  [medium](const MediumLook& entry) { return entry.token == medium; });
  if (found == kMedia.end())
    throw std::invalid_argument("unknown medium in profile name: " + std::string(stem));
  Look look = found->look;

  double densityScale = 1.0;
  if (inkSet == "KDTRLcmk") {
    // Light inks smooth the highlights: less visible dot gain.
  } else if (inkSet == "KDTRLcmk_onW") {
    // Printed on a white underlayer: the underlayer is the medium.
    look.paperL = 91.5;
    look.paperA = -0.3;
    look.paperB = 0.8;
  } else if (inkSet == "KDTRLcmk_underW") {
    // Seen through the film in front of a white backing layer.
    look.paperL = 89.0;
    look.paperA = -0.5;
    look.paperB = 1.5;
    densityScale = 0.97;
  } else if (inkSet == "KDTR") {
    look.gain += 0.15;
  } else if (inkSet == "KDTE") {
    look.gain += 0.10;
    densityScale = 0.98;
  } else if (inkSet == "KDTM") {
    look.gain += 0.20;
    densityScale = 1.01;
  } else {
    throw std::invalid_argument("unknown ink set in profile name: " + std::string(stem));
  }

  if (resolution == "600x600") {
    densityScale *= 0.97;
    look.gain -= 0.10;
  } else if (resolution == "900x900") {
    densityScale *= 1.02;
    look.gain += 0.12;
  } else if (resolution != "900x600") {
    throw std::invalid_argument("unknown resolution in profile name: " + std::string(stem));
  }
  for (double& d : look.density) d = std::min(d * densityScale, 0.985);
  return look;
}

class PrinterModel {
public:
  explicit PrinterModel(const Look& look) : look_(look), bandToInkDensity_(inverse(kInkToBandDensity)) {
    // The ink densities that a density of 1 in every band takes: what black replaces.
    greyPerBlack_ = multiply(bandToInkDensity_, {1.0, 1.0, 1.0});
  }

  double coverage(double requested) const {
    return 1.0 - std::pow(1.0 - std::clamp(requested, 0.0, 1.0), look_.gain);
  }
  double requested(double coverage) const {
    return 1.0 - std::pow(1.0 - std::clamp(coverage, 0.0, 1.0), 1.0 / look_.gain);
  }

  // Media-relative Lab of the printed coverages (cyan, magenta, yellow, black).
  cmsCIELab labOfCoverage(const std::array<double, 4>& e) const {
    const Vector3 inks = {density(0, e[0]), density(1, e[1]), density(2, e[2])};
    const Vector3 bandDensity = multiply(kInkToBandDensity, inks);
    const double black = density(3, e[3]);
    Vector3 bands{};
    for (std::size_t b = 0; b < 3; ++b) bands[b] = std::exp(-(bandDensity[b] + black));
    const Vector3 xyz = multiply(kBandsToXyz, bands);
    const cmsCIEXYZ value = {xyz[0], xyz[1], xyz[2]};
    cmsCIELab lab;
    cmsXYZ2Lab(cmsD50_XYZ(), &lab, &value);
    return lab;
  }

  // The coverages that print `lab`, or near ones the inks reach: black takes its share of
  // the grey component, and more when no colour ink alone can get that grey dark enough. A
  // colour too saturated for the inks is clipped ink by ink; black would only darken it.
  std::array<double, 4> coverageOfLab(const cmsCIELab& lab) const {
    cmsCIEXYZ xyz;
    cmsLab2XYZ(cmsD50_XYZ(), &xyz, &lab);
    const Vector3 bands = multiply(kXyzToBands, {xyz.X, xyz.Y, xyz.Z});
    Vector3 bandDensity{};
    for (std::size_t b = 0; b < 3; ++b) bandDensity[b] = -std::log(std::clamp(bands[b], 1e-4, 1.0));
    const Vector3 inks = multiply(bandToInkDensity_, bandDensity);

    const Vector3 excess = {inks[0] - density(0, 1.0), inks[1] - density(1, 1.0), inks[2] - density(2, 1.0)};
    const double black = std::clamp(std::max(kGrayComponentReplacement * greyShare(inks), greyShare(excess)),
                                    0.0, density(3, 1.0));
    std::array<double, 4> e{};
    for (std::size_t i = 0; i < 3; ++i) e[i] = coverageOfDensity(i, inks[i] - black * greyPerBlack_[i]);
    e[3] = coverageOfDensity(3, black);
    return e;
  }

  double darkestL() const { return labOfCoverage({1.0, 1.0, 1.0, 1.0}).L; }
  const Look& look() const { return look_; }

private:
  double density(std::size_t ink, double e) const { return -std::log(1.0 - look_.density[ink] * e); }
  double coverageOfDensity(std::size_t ink, double d) const {
    return std::clamp((1.0 - std::exp(-std::max(d, 0.0))) / look_.density[ink], 0.0, 1.0);
  }
  // How much black density the colour inks' densities hold as grey.
  double greyShare(const Vector3& inks) const {
    double share = inks[0] / greyPerBlack_[0];
    for (std::size_t i = 1; i < 3; ++i) share = std::min(share, inks[i] / greyPerBlack_[i]);
    return share;
  }

  Look look_;
  Matrix3 bandToInkDensity_;
  Vector3 greyPerBlack_{};
};

// ---- Building the tags ----

void check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string("liblcms2: ") + what);
}

template <typename T>
T checked(T value, const char* what) {
  check(value != nullptr, what);
  return value;
}

void insert(cmsPipeline* pipeline, lcms::Stage stage) {
  check(cmsPipelineInsertStage(pipeline, cmsAT_END, stage.get()) != 0, "cannot insert a stage");
  // The pipeline owns it now.
  static_cast<void>(stage.release());
}

lcms::Stage identityCurves(std::size_t channels) {
  return lcms::Stage(
      checked(cmsStageAllocToneCurves(nullptr, static_cast<cmsUInt32Number>(channels), nullptr), "curves"));
}

// The same tabulated curve on every channel.
template <typename Curve>
lcms::Stage tabulatedCurves(std::size_t channels, Curve&& curve) {
  constexpr std::size_t kEntries = 256;
  std::array<cmsUInt16Number, kEntries> table{};
  for (std::size_t i = 0; i < kEntries; ++i) {
    const double y = curve(static_cast<double>(i) / (kEntries - 1));
    table[i] = static_cast<cmsUInt16Number>(std::lround(std::clamp(y, 0.0, 1.0) * 65535.0));
  }
  const lcms::ToneCurve tone(
      checked(cmsBuildTabulatedToneCurve16(nullptr, kEntries, table.data()), "tone curve"));
  std::array<cmsToneCurve*, 4> curves{};
  for (std::size_t c = 0; c < channels && c < curves.size(); ++c) curves[c] = tone.get();
  return lcms::Stage(
      checked(cmsStageAllocToneCurves(nullptr, static_cast<cmsUInt32Number>(channels), curves.data()),
              "tone curves"));
}

double unit(cmsUInt16Number value) { return value / 65535.0; }
cmsUInt16Number word(double value) {
  return static_cast<cmsUInt16Number>(std::lround(std::clamp(value, 0.0, 1.0) * 65535.0));
}

struct SamplerCargo {
  const PrinterModel* model;
  bool perceptual;
};

// Device to connection space: the A curves apply the dot gain, so the grid holds the
// smooth part of the model.
int sampleDeviceToLab(const cmsUInt16Number in[], cmsUInt16Number out[], void* cargo) {
  const PrinterModel* model = static_cast<const SamplerCargo*>(cargo)->model;
  const cmsCIELab lab = model->labOfCoverage({unit(in[0]), unit(in[1]), unit(in[2]), unit(in[3])});
  cmsFloat2LabEncoded(out, &lab);
  return 1;
}

// The perceptual intent compresses lightness onto the medium's black and softens chroma;
// the colorimetric one clips to the nearest reachable colour.
cmsCIELab intentAdjusted(const PrinterModel& model, cmsCIELab lab, bool perceptual) {
  if (perceptual) {
    const double black = model.darkestL();
    lab.L = black + lab.L * (100.0 - black) / 100.0;
    lab.a *= 0.92;
    lab.b *= 0.92;
  }
  return lab;
}

int sampleLabToDevice(const cmsUInt16Number in[], cmsUInt16Number out[], void* cargo) {
  const auto* c = static_cast<const SamplerCargo*>(cargo);
  cmsCIELab lab;
  cmsLabEncoded2Float(&lab, in);
  const std::array<double, 4> e = c->model->coverageOfLab(intentAdjusted(*c->model, lab, c->perceptual));
  for (std::size_t i = 0; i < 4; ++i) out[i] = word(e[i]);
  return 1;
}

// 0 inside the gamut, growing with the distance the nearest printable colour is away.
int sampleGamut(const cmsUInt16Number in[], cmsUInt16Number out[], void* cargo) {
  const PrinterModel* model = static_cast<const SamplerCargo*>(cargo)->model;
  cmsCIELab lab;
  cmsLabEncoded2Float(&lab, in);
  const cmsCIELab printed = model->labOfCoverage(model->coverageOfLab(lab));
  const double distance = cmsDeltaE(&lab, &printed);
  out[0] = distance < 2.0 ? 0 : static_cast<cmsUInt16Number>(std::min(65535.0, distance * 655.35));
  return 1;
}

constexpr cmsUInt32Number kDeviceGridPoints = 9;
constexpr cmsUInt32Number kLabGridPoints = 17;

// A grid of `points` a side from `inputs` channels to `outputs`, each node filled by `sampler`
// from the model.
lcms::Stage sampledGrid(cmsUInt32Number points, cmsUInt32Number inputs, cmsUInt32Number outputs,
                        cmsSAMPLER16 sampler, SamplerCargo cargo, const char* failure) {
  lcms::Stage grid(checked(cmsStageAllocCLut16bit(nullptr, points, inputs, outputs, nullptr), "grid"));
  check(cmsStageSampleCLut16bit(grid.get(), sampler, &cargo, 0) != 0, failure);
  return grid;
}

lcms::Pipeline deviceToLab(const PrinterModel& model) {
  lcms::Pipeline pipeline(checked(cmsPipelineAlloc(nullptr, 4, 3), "pipeline"));
  insert(pipeline.get(), tabulatedCurves(4, [&model](double x) { return model.coverage(x); }));
  insert(pipeline.get(), sampledGrid(kDeviceGridPoints, 4, 3, sampleDeviceToLab, {&model, false},
                                     "cannot sample the device grid"));
  insert(pipeline.get(), identityCurves(3));
  return pipeline;
}

lcms::Pipeline labToDevice(const PrinterModel& model, bool perceptual) {
  lcms::Pipeline pipeline(checked(cmsPipelineAlloc(nullptr, 3, 4), "pipeline"));
  insert(pipeline.get(), identityCurves(3));
  insert(pipeline.get(), sampledGrid(kLabGridPoints, 3, 4, sampleLabToDevice, {&model, perceptual},
                                     "cannot sample the Lab grid"));
  insert(pipeline.get(), tabulatedCurves(4, [&model](double e) { return model.requested(e); }));
  return pipeline;
}

lcms::Pipeline gamut(const PrinterModel& model) {
  lcms::Pipeline pipeline(checked(cmsPipelineAlloc(nullptr, 3, 1), "pipeline"));
  insert(pipeline.get(), identityCurves(3));
  insert(pipeline.get(),
         sampledGrid(kLabGridPoints, 3, 1, sampleGamut, {&model, false}, "cannot sample the gamut"));
  insert(pipeline.get(), identityCurves(1));
  return pipeline;
}

void writeText(cmsHPROFILE profile, cmsTagSignature tag, const std::string& text) {
  const lcms::Mlu mlu(checked(cmsMLUalloc(nullptr, 1), "text"));
  check(cmsMLUsetASCII(mlu.get(), "en", "US", text.c_str()) != 0, "cannot set a text");
  check(cmsWriteTag(profile, tag, mlu.get()) != 0, "cannot write a text tag");
}

std::vector<unsigned char> save(cmsHPROFILE profile) {
  cmsUInt32Number size = 0;
  check(cmsSaveProfileToMem(profile, nullptr, &size) != 0 && size > 0, "cannot size the profile");
  std::vector<unsigned char> bytes(size);
  check(cmsSaveProfileToMem(profile, bytes.data(), &size) != 0 && size == bytes.size(),
        "cannot save the profile");
  return bytes;
}

constexpr std::size_t kDateOffset = 24;

void putDate(std::vector<unsigned char>& bytes, const ProfileDate& date) {
  const std::array<std::uint16_t, 6> fields = {date.year, date.month,  date.day,
                                               date.hour, date.minute, date.second};
  check(bytes.size() >= kDateOffset + 2 * fields.size(), "profile too short for its header");
  for (std::size_t i = 0; i < fields.size(); ++i) {
    bytes[kDateOffset + 2 * i] = static_cast<unsigned char>(fields[i] >> 8U);
    bytes[kDateOffset + 2 * i + 1] = static_cast<unsigned char>(fields[i] & 0xFFU);
  }
}

// The header fields the profile ID leaves out, besides the ID itself.
constexpr std::size_t kFlagsOffset = 44;
constexpr std::size_t kRenderingIntentOffset = 64;
constexpr std::size_t kProfileIdOffset = 84;

// The profile ID is the MD5 of the whole profile with its flags, rendering intent and ID
// zero. liblcms2's cmsMD5computeID zeroes the device attributes in place of the flags, which
// gives every matte or transparent medium's profile an ID that validators reject, so the
// digest is taken here, over the bytes as they are written.
void putProfileId(std::vector<unsigned char>& bytes) {
  cmsProfileID id{};
  check(bytes.size() >= kProfileIdOffset + sizeof(id.ID8), "profile too short for its header");
  std::vector<unsigned char> hashed = bytes;
  std::fill_n(hashed.data() + kFlagsOffset, 4, 0);
  std::fill_n(hashed.data() + kRenderingIntentOffset, 4, 0);
  std::fill_n(hashed.data() + kProfileIdOffset, sizeof(id.ID8), 0);
  lcms::Md5 md5(checked(cmsMD5alloc(nullptr), "cannot start the profile ID"));
  cmsMD5add(md5.get(), hashed.data(), static_cast<cmsUInt32Number>(hashed.size()));
  cmsMD5finish(&id, md5.release());
  std::copy(std::begin(id.ID8), std::end(id.ID8), bytes.data() + kProfileIdOffset);
}

// liblcms2 stamps a new profile with the time it was made: the fixed date goes in first, and
// the ID is taken over the dated bytes.
std::vector<unsigned char> finished(std::vector<unsigned char> bytes) {
  putDate(bytes, kProfileCreationDate);
  putProfileId(bytes);
  return bytes;
}

}  // namespace

std::vector<unsigned char> MakeIccProfile(std::string_view relativePath) {
  const std::string_view stem = stemOf(relativePath);
  const PrinterModel model(lookOf(stem));
  const Look& look = model.look();

  const lcms::Profile profile(checked(cmsCreateProfilePlaceholder(nullptr), "cannot create a profile"));
  cmsHPROFILE h = profile.get();
  cmsSetProfileVersion(h, 4.2);
  cmsSetDeviceClass(h, cmsSigOutputClass);
  cmsSetColorSpace(h, cmsSigCmykData);
  cmsSetPCS(h, cmsSigLabData);
  cmsSetHeaderRenderingIntent(h, INTENT_PERCEPTUAL);
  // "HLDN", "PLKD"
  cmsSetHeaderManufacturer(h, 0x484C444EU);
  cmsSetHeaderModel(h, 0x504C4B44U);
  cmsSetHeaderAttributes(
      h, (look.transparent ? cmsTransparency : cmsReflective) | (look.matte ? cmsMatte : cmsGlossy));

  writeText(h, cmsSigProfileDescriptionTag, std::string(stem));
  writeText(h, cmsSigCopyrightTag,
            "Copyright Halden Co. Made for the Pelagon KD series; no restrictions on use.");

  const cmsCIELab paper = {look.paperL, look.paperA, look.paperB};
  cmsCIEXYZ white;
  cmsLab2XYZ(cmsD50_XYZ(), &white, &paper);
  check(cmsWriteTag(h, cmsSigMediaWhitePointTag, &white) != 0, "cannot write the media white point");

  // One device-to-Lab table serves all three intents; the way back differs per intent.
  const lcms::Pipeline forward = deviceToLab(model);
  check(cmsWriteTag(h, cmsSigAToB0Tag, forward.get()) != 0, "cannot write A2B0");
  check(cmsLinkTag(h, cmsSigAToB1Tag, cmsSigAToB0Tag) != 0, "cannot link A2B1");
  check(cmsLinkTag(h, cmsSigAToB2Tag, cmsSigAToB0Tag) != 0, "cannot link A2B2");
  const lcms::Pipeline perceptual = labToDevice(model, true);
  check(cmsWriteTag(h, cmsSigBToA0Tag, perceptual.get()) != 0, "cannot write B2A0");
  const lcms::Pipeline colorimetric = labToDevice(model, false);
  check(cmsWriteTag(h, cmsSigBToA1Tag, colorimetric.get()) != 0, "cannot write B2A1");
  check(cmsLinkTag(h, cmsSigBToA2Tag, cmsSigBToA0Tag) != 0, "cannot link B2A2");
  const lcms::Pipeline gamutCheck = gamut(model);
  check(cmsWriteTag(h, cmsSigGamutTag, gamutCheck.get()) != 0, "cannot write the gamut tag");

  return finished(save(h));
}

}  // namespace pelagon::payload
