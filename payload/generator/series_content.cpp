#include <pelagon/payload/generator/series_content.h>

#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <pelagon/payload/generator/deterministic_random.h>
#include <pelagon/values/record_fields.h>

namespace pelagon::payload {

namespace {

// ---- What differs between the series ----

enum class InkSet {
  // Four process inks.
  Cmyk,
  // Process inks with light cyan, light magenta and light black.
  CmykLight,
};

struct SeriesPlan {
  Series series;
  std::string_view modelSuffix;
  InkSet inkSet;
  std::string_view inkConfigName;
  std::string_view inkConfigFolder;
  std::array<std::int32_t, 8> headInks;
  std::string_view bitmap;
  // List sizes of the device-series file; the resolutions include the closing one.
  int resolutions;
  int modes;
  int separations;
  int vControlPoints;
  int media;
  int inkVolumes;
  int passmasks;
  // Medium presets of the media-setting file.
  int templates;
  std::string_view mediaFileVersion;
  std::string_view passmaskVersion;
  // Distinguishes the series' time stamps and generated texts.
  int seed;
};

constexpr std::int32_t kBlack = 4096;
constexpr std::int32_t kCyan = 4097;
constexpr std::int32_t kMagenta = 4098;
constexpr std::int32_t kYellow = 4099;
constexpr std::int32_t kLightCyan = 4100;
constexpr std::int32_t kLightMagenta = 4101;
constexpr std::int32_t kLightBlack = 4102;
constexpr std::int32_t kWhite = 4104;

constexpr std::array<std::int32_t, 8> kCmykHeads = {kBlack, kCyan, kMagenta, kYellow,
                                                    kBlack, kCyan, kMagenta, kYellow};
constexpr std::array<std::int32_t, 8> kLightHeads = {kBlack,     kCyan,         kMagenta,    kYellow,
                                                     kLightCyan, kLightMagenta, kLightBlack, kBlack};
constexpr std::array<std::int32_t, 8> kLightWhiteHeads = {kBlack,     kCyan,         kMagenta,    kYellow,
                                                          kLightCyan, kLightMagenta, kLightBlack, kWhite};

// The cmk series carries at least the list sizes of the shipped documents.
constexpr std::array<SeriesPlan, 6> kPlans = {{
    {.series = Series::KdCmk,
     .modelSuffix = "",
     .inkSet = InkSet::CmykLight,
     .inkConfigName = "Pelagon CMYKLcLmLk",
     .inkConfigFolder = "Pelagon CMYKLcLmLk",
     .headInks = kLightHeads,
     .bitmap = "Pelagon KD.bmp",
     .resolutions = 31,
     .modes = 50,
     .separations = 7,
     .vControlPoints = 327,
     .media = 7,
     .inkVolumes = 41,
     .passmasks = 52,
     .templates = 7,
     .mediaFileVersion = "5.0.0.0",
     .passmaskVersion = "1.0.0.0",
     .seed = 1},
    {.series = Series::Kd,
     .modelSuffix = "",
     .inkSet = InkSet::Cmyk,
     .inkConfigName = "Pelagon CMYK",
     .inkConfigFolder = "Pelagon CMYK",
     .headInks = kCmykHeads,
     .bitmap = "Pelagon KD.bmp",
     .resolutions = 24,
     .modes = 40,
     .separations = 5,
     .vControlPoints = 352,
     .media = 6,
     .inkVolumes = 30,
     .passmasks = 28,
     .templates = 6,
     .mediaFileVersion = "5.0.0.0",
     .passmaskVersion = "1.0.0.0",
     .seed = 2},
    {.series = Series::KdCmkw,
     .modelSuffix = "W",
     .inkSet = InkSet::CmykLight,
     .inkConfigName = "Pelagon CMYKLcLmLk + W",
     .inkConfigFolder = "Pelagon CMYKLcLmLk",
     .headInks = kLightWhiteHeads,
     .bitmap = "Pelagon KD.bmp",
     .resolutions = 31,
     .modes = 102,
     .separations = 11,
     .vControlPoints = 424,
     .media = 9,
     .inkVolumes = 41,
     .passmasks = 83,
     .templates = 9,
     .mediaFileVersion = "5.0.0.0",
     .passmaskVersion = "1.0.0.0",
     .seed = 3},
    {.series = Series::KdTE,
     .modelSuffix = "TE",
     .inkSet = InkSet::Cmyk,
     .inkConfigName = "Pelagon Element CMYK",
     .inkConfigFolder = "Pelagon Element CMYK",
     .headInks = kCmykHeads,
     .bitmap = "Pelagon KD.bmp",
     .resolutions = 20,
     .modes = 24,
     .separations = 4,
     .vControlPoints = 330,
     .media = 6,
     .inkVolumes = 20,
     .passmasks = 34,
     .templates = 6,
     .mediaFileVersion = "5.0.1.0",
     .passmaskVersion = "1.0.0.0",
     .seed = 4},
    {.series = Series::KdTM,
     .modelSuffix = "TM",
     .inkSet = InkSet::Cmyk,
     .inkConfigName = "Pelagon TM CMYK",
     .inkConfigFolder = "Pelagon TM CMYK",
     .headInks = kCmykHeads,
     .bitmap = "Pelagon KD.bmp",
     .resolutions = 20,
     .modes = 36,
     .separations = 6,
     .vControlPoints = 360,
     .media = 5,
     .inkVolumes = 24,
     .passmasks = 40,
     .templates = 5,
     .mediaFileVersion = "5.0.1.0",
     .passmaskVersion = "1.0.1.0",
     .seed = 5},
    {.series = Series::KdUpdateTest,
     .modelSuffix = "",
     .inkSet = InkSet::Cmyk,
     .inkConfigName = "Pelagon CMYK",
     .inkConfigFolder = "Pelagon CMYK",
     .headInks = kCmykHeads,
     .bitmap = "KDUpdateTest.bmp",
     .resolutions = 12,
     .modes = 11,
     .separations = 2,
     .vControlPoints = 327,
     .media = 3,
     .inkVolumes = 14,
     .passmasks = 30,
     .templates = 3,
     .mediaFileVersion = "5.0.1.0",
     .passmaskVersion = "1.0.0.0",
     .seed = 6},
}};

const SeriesPlan& planOf(Series series) {
  for (const SeriesPlan& plan : kPlans) {
    if (plan.series == series) return plan;
  }
  throw std::invalid_argument("no content for this series");
}

// ---- Small helpers ----

template <typename T, typename U>
void add(win::GrowableArray<T>& list, U&& item) {
  appendOrThrow(list, std::forward<U>(item));
}

// A value the three decimals of the files keep exactly.
double thousandths(int value) { return value / 1000.0; }

LocalizedText sameInEveryLanguage(std::string_view text) {
  LocalizedText result;
  result.fill(std::string(text));
  return result;
}

// Index order: English, Chinese_Simplified, Chinese_Traditional, French, German, Italian,
// Japanese, Korean, Portuguese, Spanish, Russian, Turkish, Arabic.
LocalizedText translated(const std::array<std::string_view, kLanguageCount>& texts) {
  LocalizedText result;
  for (std::size_t i = 0; i < texts.size(); ++i) result[i] = std::string(texts[i]);
  return result;
}

// English in the languages without a translation of their own, as a written text repeats it.
LocalizedText europeanAndJapanese(std::string_view english, std::string_view french, std::string_view german,
                                  std::string_view italian, std::string_view spanish,
                                  std::string_view japanese) {
  LocalizedText result = sameInEveryLanguage(english);
  result[3] = std::string(french);
  result[4] = std::string(german);
  result[5] = std::string(italian);
  result[6] = std::string(japanese);
  result[9] = std::string(spanish);
  return result;
}

// "12.34" from 1234.
std::string hundredthsText(int value) {
  const int fraction = value % 100;
  return std::to_string(value / 100) + (fraction < 10 ? ".0" : ".") + std::to_string(fraction);
}

std::string repeatedTo(std::string_view pattern, std::size_t length) {
  std::string result;
  result.reserve(length);
  while (result.size() < length) result += pattern;
  result.resize(length);
  return result;
}

// ---- Models ----

struct ModelPlan {
  std::string_view number;
  double maxWidth;
  std::string_view ppd;
};

constexpr std::array<ModelPlan, 2> kModels = {{{"640", 1600.0, "KD640.ppd"}, {"540", 1346.2, "KD540.ppd"}}};

ModelInfo makeModel(const SeriesPlan& plan, const ModelPlan& modelPlan, int modelNumber) {
  ModelInfo m;
  const std::string name = "KD-" + std::string(modelPlan.number) + std::string(plan.modelSuffix);
  m.strLongModelName = "Pelagon " + name;
  m.strMIBModelName = name;
  m.strFolderName = "Pelagon";
  m.dMaxWidth = modelPlan.maxWidth;
  m.nHeadNum = 8;
  m.nHeadPositionIndex.fill(-1);
  m.nDefaultInkIndex.fill(0);
  for (std::size_t slot = 0; slot < plan.headInks.size(); ++slot) {
    m.nHeadPositionIndex[slot] = static_cast<std::int32_t>(slot);
    m.nDefaultInkIndex[slot] = plan.headInks[slot];
  }
  m.bCutFeature = true;
  m.bHalfCutFeature = modelNumber == 0;
  m.nHeaterFeature = 2;
  m.nHeadHeightMask = 5;
  // Field letters of the host's status layouts, one per character of the printer's answer.
  m.strStaticStatus = repeatedTo("PPPPMMMMVVVVFFFFFFFFHHHHWWWWWWWWIIIIIIIIIIIIIIIINNNNCCCCTTTTSSSS", 173);
  m.strStaticExtraStatus.clear();
  m.strActiveStatus = repeatedTo("AAAABBBBEEEEEEEERRRRDDDDLLLLQQQQ", 64);
  m.strPPDFile = std::string(modelPlan.ppd);
  m.dCropMargin_mm = 5.0;
  m.dCropSize_mm = 2.0;
  m.dPageSpace_mm = 10.0;
  m.dHWLeftMargin_mm = 15.0;
  m.dHWRightMargin_mm = 15.0;
  m.dHWTopMargin_mm = 0.0;
  m.dHWBottomMargin_mm = 0.0;
  m.strBMPFileName = std::string(plan.bitmap);
  m.nMaxCutSpeed = 60;
  DeterministicRandom random(static_cast<std::uint64_t>(plan.seed) * 100 +
                             static_cast<std::uint64_t>(modelNumber));
  m.strExtension = random.text("0123456789ABCDEF", 260);
  m.nMinimumScanSpeed = 250;
  m.nMaximumScanSpeed = 1000;
  m.nMinimumFeedSpeed = 1;
  m.nMaximumFeedSpeed = 50;
  m.nMinimumPageInterval_mm = 0;
  m.nMaximumPageInterval_mm = 200;
  m.nMinimumPreHeaterTemperature = 35;
  m.nMaximumPreHeaterTemperature = 50;
  m.nMinimumHeaterTemperature = 35;
  m.nMaximumHeaterTemperature = 50;
  m.nMinimumDrierTemperature = 35;
  m.nMaximumDrierTemperature = 55;
  m.dMinimumFeedCalibration_mm = -2.0;
  m.dMaximumFeedCalibration_mm = 2.0;
  m.nMinimumCutForce = 30;
  m.nMaximumCutForce = 300;
  m.nMinimumHalfCutForce = 1;
  m.nMaximumHalfCutForce = 80;
  m.flMaximumCutOffset = 1.5F;
  m.nGetMethodType = 1;
  m.nScanSpeedType = 32;
  m.strRequiredFirmwareVersion = "0.00";
  m.strRecommendedFirmwareVersion = "1.20";
  m.nNozzleCountPerHeadColumn = 192;
  m.flNozzleResolution = 150.0F;
  m.nMinimumReturnScanSpeed = 1000;
  m.nMaximumReturnScanSpeed = 1000;
  m.dMaxLength = 0.0;
  return m;
}

// ---- Inks ----

InkColor rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) { return {r, g, b}; }

InkInfo makeInk(std::int32_t index, LocalizedText name, std::string_view shortName, InkColor light,
                InkColor dark) {
  InkInfo ink;
  ink.nInkIndex = index;
  ink.strLongInkName = std::move(name);
  ink.strShortInkName = std::string(shortName);
  ink.lightColor = light;
  ink.darkColor = dark;
  ink.flPrice = 0.0F;
  ink.nCapacity = 220;
  return ink;
}

void addInks(DeviceSeries& series) {
  auto& inks = series.aInkInfoList;
  add(inks, makeInk(kBlack, europeanAndJapanese("Black", "Noir", "Schwarz", "Nero", "Negro", "ブラック"), "K",
                    rgb(128, 128, 128), rgb(0, 0, 0)));
  add(inks, makeInk(kCyan, europeanAndJapanese("Cyan", "Cyan", "Cyan", "Ciano", "Cian", "シアン"), "C",
                    rgb(128, 255, 255), rgb(0, 160, 233)));
  add(inks, makeInk(kMagenta,
                    europeanAndJapanese("Magenta", "Magenta", "Magenta", "Magenta", "Magenta", "マゼンタ"),
                    "M", rgb(255, 128, 192), rgb(228, 0, 127)));
  add(inks, makeInk(kYellow, europeanAndJapanese("Yellow", "Jaune", "Gelb", "Giallo", "Amarillo", "イエロー"),
                    "Y", rgb(255, 255, 160), rgb(255, 241, 0)));
  add(inks, makeInk(kLightCyan,
                    europeanAndJapanese("Light Cyan", "Cyan clair", "Hell-Cyan", "Ciano chiaro", "Cian claro",
                                        "ライトシアン"),
                    "Lc", rgb(192, 255, 255), rgb(110, 200, 240)));
  add(inks, makeInk(kLightMagenta,
                    europeanAndJapanese("Light Magenta", "Magenta clair", "Hell-Magenta", "Magenta chiaro",
                                        "Magenta claro", "ライトマゼンタ"),
                    "Lm", rgb(255, 192, 224), rgb(240, 130, 180)));
  add(inks, makeInk(kLightBlack,
                    europeanAndJapanese("Light Black", "Noir clair", "Hell-Schwarz", "Nero chiaro",
                                        "Negro claro", "ライトブラック"),
                    "Lk", rgb(192, 192, 192), rgb(110, 110, 110)));
  add(inks, makeInk(4103,
                    europeanAndJapanese("Metallic Silver", "Argent métallique", "Metallic-Silber",
                                        "Argento metallizzato", "Plata metálica", "メタリックシルバー"),
                    "Mt", rgb(230, 230, 235), rgb(170, 170, 180)));
  add(inks, makeInk(kWhite, europeanAndJapanese("White", "Blanc", "Weiß", "Bianco", "Blanco", "ホワイト"),
                    "W", rgb(255, 255, 255), rgb(235, 235, 235)));
  add(inks,
      makeInk(4105,
              europeanAndJapanese("Clear", "Vernis", "Klarlack", "Trasparente", "Transparente", "クリア"),
              "Cl", rgb(250, 250, 250), rgb(220, 220, 220)));
}

void addInkConfig(DeviceSeries& series, const SeriesPlan& plan) {
  InkConfigInfo config;
  config.nInkConfigIndex = 0;
  config.strInkConfigName = sameInEveryLanguage(plan.inkConfigName);
  config.strFolderName = std::string(plan.inkConfigFolder);
  config.nInkIndexList.fill(-1);
  for (std::size_t slot = 0; slot < plan.headInks.size(); ++slot)
    config.nInkIndexList[slot] = plan.headInks[slot];
  add(series.aInkConfigInfoList, config);
}

// ---- Resolutions and FM patterns ----

struct ResolutionPlan {
  std::int32_t index;
  int scan;
  int feed;
  bool highSpeed;
};

// The ordinary resolutions, then the high-speed ones; a series takes as many as it needs.
constexpr std::array<ResolutionPlan, 30> kResolutions = {{
    {0, 600, 600, false},   {1, 600, 900, false},   {2, 900, 600, false},   {3, 900, 900, false},
    {4, 600, 1200, false},  {5, 900, 1200, false},  {6, 1200, 1200, false}, {7, 360, 720, false},
    {8, 720, 720, false},   {9, 720, 1080, false},  {10, 540, 720, false},  {11, 540, 1080, false},
    {12, 600, 450, false},  {13, 450, 600, false},  {14, 300, 600, false},  {15, 600, 300, false},
    {16, 1200, 600, false}, {17, 1200, 900, false}, {100, 600, 600, true},  {101, 600, 900, true},
    {102, 900, 600, true},  {103, 900, 900, true},  {104, 600, 1200, true}, {105, 900, 1200, true},
    {106, 360, 720, true},  {107, 720, 720, true},  {108, 720, 1080, true}, {109, 540, 720, true},
    {110, 540, 1080, true}, {111, 600, 450, true},
}};

ResolutionInfo makeResolution(std::int32_t index, int scan, int feed, std::string_view suffix) {
  ResolutionInfo r;
  r.nResolutionIndex = index;
  r.strResolutionName =
      sameInEveryLanguage(std::to_string(scan) + " x " + std::to_string(feed) + " dpi" + std::string(suffix));
  r.flScanResolution = static_cast<float>(scan);
  r.flFeedResolution = static_cast<float>(feed);
  return r;
}

// The list ends, as the shipped lists do, with the entry numbered by the smallest integer.
void addResolutions(DeviceSeries& series, const SeriesPlan& plan) {
  for (int i = 0; i + 1 < plan.resolutions; ++i) {
    const ResolutionPlan& r = kResolutions.at(static_cast<std::size_t>(i));
    add(series.aResolutionInfoList, makeResolution(r.index, r.scan, r.feed, r.highSpeed ? " HS" : ""));
  }
  ResolutionInfo last = makeResolution(INT_MIN, 600, 600, "");
  last.flScanResolution = 90.0F;
  last.flFeedResolution = 90.0F;
  add(series.aResolutionInfoList, last);
}

void addPatterns(DeviceSeries& series) {
  constexpr std::array<std::string_view, 8> kFiles = {"KD_FM_C1.dpf", "KD_FM_M1.dpf", "KD_FM_Y1.dpf",
                                                      "KD_FM_K1.dpf", "KD_FM_C2.dpf", "KD_FM_M2.dpf",
                                                      "KD_FM_Y2.dpf", "KD_FM_K2.dpf"};
  for (std::size_t i = 0; i < kFiles.size(); ++i) {
    PatternInfo p;
    p.nFMPatternIndex = static_cast<std::int32_t>(i);
    p.nScanPixelSize = 128;
    p.nFeedPixelSize = 128;
    p.strPatternFile = std::string(kFiles[i]);
    add(series.aPatternInfoList, p);
  }
}

// ---- Ink volumes ----

// The volume set numbers, a series takes the first ones it needs.
std::vector<std::int32_t> inkVolumeIndices(const SeriesPlan& plan) {
  std::vector<std::int32_t> all;
  for (int i = 1; i <= 7; ++i) all.push_back(i);
  for (int i = 9; i <= 12; ++i) all.push_back(i);
  for (int i = 20; i <= 22; ++i) all.push_back(i);
  for (int i = 101; i <= 115; ++i) all.push_back(i);
  for (int i = 1000; i <= 1011; ++i) all.push_back(i);
  all.resize(static_cast<std::size_t>(plan.inkVolumes));
  return all;
}

void addInkVolumes(DeviceSeries& series, const SeriesPlan& plan) {
  for (const std::int32_t index : inkVolumeIndices(plan)) {
    InkVolumeInfo volume;
    volume.nInkVolumeIndex = index;
    const int entries = index % 2 == 0 ? 6 : 4;
    for (int e = 0; e < entries; ++e) {
      // Small, medium and large drop in picolitres.
      const int small = 700 + (index * 37 + e * 11) % 500;
      const int medium = small * 2 - 27;
      const int large = small * 3 + 145;
      add(volume.astrInkVolumeList,
          hundredthsText(small) + "," + hundredthsText(medium) + "," + hundredthsText(large));
    }
    add(series.aInkVolumeInfoList, volume);
  }
}

// ---- Print modes ----

void addModes(DeviceSeries& series, const SeriesPlan& plan) {
  constexpr std::array<int, 8> kPasses = {1, 2, 3, 4, 6, 8, 12, 16};
  constexpr std::array<std::string_view, 4> kDots = {"S", "M", "L", "SML"};
  constexpr std::array<std::string_view, 4> kDotLetters = {"S", "M", "L", "V"};
  constexpr std::array<std::string_view, 3> kJobs = {"CMYK", "CMYKW", "W"};
  constexpr std::array<std::string_view, 3> kJobSuffixes = {"", "W", "WO"};
  const std::string_view planeOrder = plan.inkSet == InkSet::CmykLight ? "KCMYLcLmLkW" : "KCMYKCMYW";
  const std::vector<std::int32_t> volumes = inkVolumeIndices(plan);

  for (int i = 0; i < plan.modes; ++i) {
    const int passes = kPasses[static_cast<std::size_t>(i % 8)];
    const std::size_t dot = static_cast<std::size_t>((i / 8) % 4);
    const std::size_t job = static_cast<std::size_t>((i / 32) % 3);
    ModeInfo m;
    m.nModeIndex = i;
    m.strModeName = "DT" + std::to_string(passes) + std::string(kDotLetters[dot]) +
                    std::string(kJobSuffixes[job]) + (i >= 96 ? "-" + std::to_string(i / 96 + 1) : "");
    m.nInkNum = 8;
    m.nInkIndexList.fill(-1);
    const int slots = passes >= 8 ? 16 : 8;
    for (int s = 0; s < slots; ++s) m.nInkIndexList[static_cast<std::size_t>(s)] = s;
    m.nBitsPerPixel = dot == 3 ? 2 : 1;
    m.nDotType = dot == 3 ? 2 : 1;
    m.strDotSize = std::string(kDots[dot]);
    m.strNozzleMask = passes <= 2 ? "/ALL:/" : "/H1A:1-128/H1B:1-128/H2A:1-128/H2B:1-128/";
    // White and many-pass jobs tell the printer which head prints which plane.
    if (job != 0 || passes >= 12) m.strNozzleMask += "\n@PJL SET PLANEALLOCATION=" + std::string(planeOrder);
    m.nPassesPerLine = passes;
    m.strPJLOption = "SET JOBTYPE = " + std::string(kJobs[job]);
    m.flFeedResolutionPerPass = passes <= 4 ? 300.0F : 150.0F;
    m.nInkVolumeIndex = volumes[static_cast<std::size_t>(i) % volumes.size()];
    m.nNozzleMaskCount = passes > 2 ? 4 : 1;
    m.nEmptyPathLength = passes >= 8 ? 40 : 0;
    m.nAdditionalPrintingTime = dot == 3 ? passes * 5 : 0;
    add(series.aModeInfoList, m);
  }
}

// ---- Separations ----

struct SeparationPlan {
  std::string_view name;
  bool white;
  std::string_view inkLimitFile;
};

// White ones early, so that every series has separations with and without white.
constexpr std::array<SeparationPlan, 11> kSeparations = {{
    {"PVC Control", false, "KD PVC.ilt"},
    {"Clear Film on White", true, "KD Clear Film onW.ilt"},
    {"Banner HS Control", false, "KD Banner HS.ilt"},
    {"Banner Control", false, "KD Banner.ilt"},
    {"Paper Control", false, "KD Paper.ilt"},
    {"Backlit Control", false, "KD Backlit.ilt"},
    {"Clear Film under White", true, "KD Clear Film underW.ilt"},
    {"Heat Transfer Control", false, "KD Heat Transfer.ilt"},
    {"PVC HS Control", false, "KD PVC HS.ilt"},
    {"Clear Film Control", false, "KD Clear Film.ilt"},
    {"White Flood Control", true, "KD White Flood.ilt"},
}};

struct Channel {
  std::int32_t ink;
  std::int32_t inputChannel;
  bool light;
};

std::vector<Channel> outputChannels(InkSet inkSet, bool white) {
  std::vector<Channel> channels = {
      {kCyan, 0, false}, {kMagenta, 1, false}, {kYellow, 2, false}, {kBlack, 3, false}};
  if (inkSet == InkSet::CmykLight) {
    channels.push_back({kLightCyan, 0, true});
    channels.push_back({kLightMagenta, 1, true});
    channels.push_back({kLightBlack, 3, true});
  }
  if (white) channels.push_back({kWhite, 4, false});
  return channels;
}

SeparationTable makeTable(const Channel& channel, InkSet inkSet, int variant) {
  SeparationTable t;
  t.nInputChannelNum = channel.inputChannel;
  t.strInputChannel = channel.ink == kWhite ? "W" : std::to_string(channel.inputChannel);
  t.nInkIndex = channel.ink;
  t.nHeadCount = 1;
  if (inkSet == InkSet::Cmyk || channel.ink == kWhite) {
    t.eType = 0;
    t.dStart = 0.0;
    t.dPeak = 1.0;
    t.dMax = thousandths(1000 - 25 * variant);
    t.dEnd = 1.0;
    t.dEndMax = 1.0;
  } else if (channel.light) {
    // The light ink carries the highlights and hands over to the dark one.
    t.eType = 3;
    t.dStart = 0.0;
    t.dPeak = thousandths(400 + 10 * variant);
    t.dMax = thousandths(550 - 25 * variant);
    t.dEnd = 0.8;
    t.dEndMax = 0.9;
  } else {
    t.eType = 3;
    t.dStart = 0.25;
    t.dPeak = thousandths(650 + 10 * variant);
    t.dMax = thousandths(1000 - 25 * variant);
    t.dEnd = 1.0;
    t.dEndMax = 1.0;
  }
  return t;
}

void addSeparations(DeviceSeries& series, const SeriesPlan& plan) {
  for (int s = 0; s < plan.separations; ++s) {
    const SeparationPlan& sp = kSeparations.at(static_cast<std::size_t>(s));
    SeparationInfo info;
    info.nSeparationIndex = s;
    info.strSeparationName = sameInEveryLanguage(sp.name);
    const std::vector<Channel> channels = outputChannels(plan.inkSet, sp.white);
    info.nOutputChannel = static_cast<std::int32_t>(channels.size());
    for (const Channel& channel : channels)
      add(info.aSeparationTableList, makeTable(channel, plan.inkSet, s % 3));
    info.nPrintChartFileInfoIndex = sp.white ? 1 : 0;
    info.strInkLimitTableFile = std::string(sp.inkLimitFile);
    for (const std::int32_t ink : {kCyan, kMagenta, kYellow, kBlack})
      add(info.anInputChannelInkIndexList, ink);
    if (sp.white) add(info.anInputChannelInkIndexList, kWhite);
    add(series.aSeparationInfoList, info);
  }
}

// ---- V-control points ----

std::vector<std::int32_t> vControlIndices(const SeriesPlan& plan) {
  // Resolution group and mode step, 1010 being group 1 step 1; the largest series reaches
  // the high-speed groups 100 to 102.
  constexpr std::array<int, 24> kGroups = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10,  11,  12,
                                           13, 14, 15, 16, 17, 18, 19, 20, 21, 100, 101, 102};
  std::vector<std::int32_t> indices = {0, 1};
  for (std::size_t k = 0; indices.size() < static_cast<std::size_t>(plan.vControlPoints); ++k) {
    indices.push_back(kGroups.at(k / 18) * 1000 + static_cast<int>(k % 18 + 1) * 10);
  }
  return indices;
}

void addVControlPoints(DeviceSeries& series, const SeriesPlan& plan) {
  const std::vector<std::int32_t> indices = vControlIndices(plan);
  for (std::size_t j = 0; j < indices.size(); ++j) {
    VControlPoint p;
    p.nVControlIndex = indices[j];
    const int base = static_cast<int>((j * 37 + static_cast<std::size_t>(plan.seed) * 13) % 200);
    // Each dot size rises from its start to its end-max; larger dots start later.
    const auto dot = [base](int offset, double& start, double& peak, double& max, double& end,
                            double& endMax) {
      start = thousandths(base + offset);
      peak = thousandths(base + offset + 200);
      max = thousandths(base + offset + 300);
      end = thousandths(base + offset + 450);
      endMax = thousandths(base + offset + 500);
    };
    dot(0, p.dSmallStart, p.dSmallPeak, p.dSmallMax, p.dSmallEnd, p.dSmallEndMax);
    dot(100, p.dMediumStart, p.dMediumPeak, p.dMediumMax, p.dMediumEnd, p.dMediumEndMax);
    dot(250, p.dLargeStart, p.dLargePeak, p.dLargeMax, p.dLargeEnd, p.dLargeEndMax);
    add(series.aVControlPointList, p);
  }
}

// ---- Passmasks ----

std::vector<std::int32_t> passmaskIndices(const SeriesPlan& plan) {
  std::vector<std::int32_t> indices = {0, 1, 2, 4};
  std::int32_t next = 11;
  while (indices.size() < static_cast<std::size_t>(plan.passmasks)) {
    indices.push_back(next);
    next += 1 + static_cast<std::int32_t>(indices.size() % 3 == 0 ? 2 : 0);
  }
  return indices;
}

// ---- Media ----

struct MediaPlan {
  std::string_view name;
  std::string_view templateName;
  std::int32_t vacuum;
  std::int32_t preHeater;
  std::int32_t printHeater;
  std::int32_t dryHeater;
  std::int32_t cutForce;
  bool cutting;
};

constexpr std::array<MediaPlan, 10> kMedia = {{
    {"Generic Vinyl 1", "Generic Vinyl Template", 2, 40, 40, 45, 80, true},
    {"Generic Vinyl 2", "Generic Vinyl Glossy Template", 2, 40, 40, 45, 90, true},
    {"Generic Banner 1", "Generic Banner Dry Template", 3, 45, 45, 50, 120, false},
    {"Generic Banner 2", "Generic Banner Template", 3, 45, 45, 50, 120, false},
    {"Generic Paper", "Generic Paper Template", 1, 35, 38, 40, 60, false},
    {"Generic Backlit", "Generic Backlit Template", 2, 40, 42, 45, 100, false},
    {"Generic PVC", "Generic PVC Template", 2, 40, 40, 45, 80, true},
    {"Generic Clear Film", "Generic Clear Film Template", 1, 38, 40, 42, 70, true},
    // Sublimation paper must not be dried on the printer.
    {"Generic Heat Transfer Sheet", "Generic Heat Transfer Sheet Template", 1, 35, 35, 0, 60, false},
    {"Generic Canvas", "Generic Canvas Template", 3, 42, 42, 48, 150, false},
}};

enum class MediaLayout { DeviceSeries, CarriedMediaFile };

CalibrationInfo makeCalibration() {
  CalibrationInfo c;
  c.nOutputLimit = 100;
  for (std::size_t step = 0; step < kCalibrationStepCount; ++step) {
    const int k = static_cast<int>(step);
    c.density[step] = static_cast<float>((k + 1) / 10.0);
    c.lab[step] = {static_cast<float>(100 - 5 * k), 0.0F, 0.0F};
  }
  return c;
}

LocalizedText qualityName(int level) {
  switch (level) {
    case 0:
      return translated({"High Quality", "高质量", "高品質", "Haute qualité", "Hohe Qualität", "Alta qualità",
                         "高品質", "고품질", "Alta qualidade", "Alta calidad", "Высокое качество",
                         "Yüksek kalite", "جودة عالية"});
    case 1:
      return translated({"Standard", "标准", "標準", "Standard", "Standard", "Standard", "標準", "표준",
                         "Padrão", "Estándar", "Стандарт", "Standart", "قياسي"});
    default:
      return translated({"High Speed", "高速", "高速", "Grande vitesse", "Hohe Geschwindigkeit",
                         "Alta velocità", "高速", "고속", "Alta velocidade", "Alta velocidad",
                         "Высокая скорость", "Yüksek hız", "سرعة عالية"});
  }
}

MediaInfo makeMedia(const SeriesPlan& plan, const DeviceSeries& series, int m, MediaLayout layout) {
  const MediaPlan& mp = kMedia.at(static_cast<std::size_t>(m));
  const bool carried = layout == MediaLayout::CarriedMediaFile;
  MediaInfo media;
  media.strMediaName = sameInEveryLanguage(carried ? mp.templateName : mp.name);
  if (carried) media.strBaseMediaName = media.strMediaName;

  const std::vector<std::int32_t> passmasks = passmaskIndices(plan);
  const std::vector<std::int32_t> vControls = vControlIndices(plan);
  const int resolutionCount = series.aResolutionInfoList.size() - 1;
  const int permissionCount = 8 + 2 * (m % 3);
  for (int p = 0; p < permissionCount; ++p) {
    PermissionSet ps;
    ps.nPermissionIndex = p;
    add(ps.anInkConfigIndexList, 0);
    ps.nResolutionIndex = series.aResolutionInfoList[(m * 3 + p) % resolutionCount].nResolutionIndex;
    const ModeInfo& mode = series.aModeInfoList[(m * 7 + p * 3) % series.aModeInfoList.size()];
    ps.nModeIndex = mode.nModeIndex;
    // The first medium's last set names a passmask the list does not hold, as shipped media do.
    ps.nPassmaskIndex = m == 0 && p == permissionCount - 1
                            ? 999
                            : passmasks[static_cast<std::size_t>(m * 5 + p) % passmasks.size()];
    // Both directions permitted, bidirectional selected; the host's default screening.
    ps.eDirection = 131075;
    ps.eScreen = 65569;
    const int vCount = 4 + p % 5;
    for (int k = 0; k < vCount; ++k) {
      add(ps.anVControlIndexList, vControls[static_cast<std::size_t>(m * 11 + p * 4 + k) % vControls.size()]);
    }
    const SeparationInfo& separation =
        series.aSeparationInfoList[(m + p % 2) % series.aSeparationInfoList.size()];
    ps.nSeparationIndex = separation.nSeparationIndex;
    const int channels = separation.anInputChannelInkIndexList.size();
    for (int k = 0; k < channels; ++k) {
      add(ps.anFMPatternIndexList, (k + p) % 8);
      add(ps.aCalibrationInfoList, makeCalibration());
    }
    ps.nInkLimit = 400;
    ps.strPrinterProfile = "DefaultCMYKPrinter.icc";
    ps.nScanSpeed = mode.nPassesPerLine <= 2 ? 1000 : 750;
    ps.nFeedSpeed = mode.nPassesPerLine <= 2 ? 20 : 10;
    ps.bVisiblePermission = p % 4 != 3;
    ps.bRecommended = carried ? ps.bVisiblePermission : p % 3 == 0;
    ps.nRealPassCount = mode.nPassesPerLine;
    add(media.aPermissionSetList, ps);
  }
  for (int level = 0; level < 3; ++level) {
    QualityInfo quality;
    quality.nQualityLevel = level;
    quality.strQualityName = qualityName(level);
    for (int p = level; p < permissionCount; p += 3) add(quality.anPermissionIndexList, p);
    quality.bVisibleQuality = true;
    add(media.aQualityInfoList, quality);
  }
  media.nDefaultLevel = 1;
  media.nDryTime = 0;
  media.nVacuumPower = mp.vacuum;
  media.eHeadHeight = 1;
  for (int model = 0; model < series.aModelInfoList.size(); ++model) {
    add(media.aflFeedCalibration, static_cast<float>(thousandths(125 * ((m + model) % 3) - 125)));
  }
  media.nPreHeater = mp.preHeater;
  media.nPrintHeater = mp.printHeater;
  media.nDryHeater = mp.dryHeater;
  media.nCutCount = 1;
  media.nCutVelocity = 30;
  media.nCutForce = mp.cutForce;
  media.flCutOffset = 0.25F;
  media.TimeStamp =
      carried ? TimeStampValue{2015, 11, 30, 16, static_cast<std::uint8_t>(10 + m), 0, 0}
              : TimeStampValue{
                    2016, 3, 14, static_cast<std::uint8_t>(8 + plan.seed), static_cast<std::uint8_t>(5 * m),
                    0,    0};
  media.bVisibleMedia = true;
  media.bCuttingMedia = mp.cutting;
  media.bUpdateNeeded = false;
  media.nInputRoute = 0;
  media.bPreHeaterEnable = true;
  media.bPrinterHeaterEnable = true;
  media.bDrierEnable = mp.dryHeater != 0;
  media.nMediaAttribute = 1;
  media.bHideUnrecommendedMode = 1;
  media.flNormalCutForceRange = 0.5F;
  media.flDeepCutForceRange = 50.0F;
  media.nDeepCutForce = 170;
  // The carried media-setting files predate the half-cut force.
  media.nHalfCutForce = carried ? 0 : 40;
  media.nOverPrintCount = 1;
  media.bUseDensityCalibration = false;
  return media;
}

// ---- Commands, charts, firmware ----

CommandSet makeCommands() {
  // Printer job language framed by the universal exit sequence; the words between question
  // marks are filled in by the host when it sends the command.
  const std::string uel = "\x1B%-12345X";
  CommandSet c;
  c.strInitialize = uel +
                    "@PJL\n@PJL ENTER LANGUAGE=KDRASTER\n\x1B"
                    "E";
  c.strPrintHeader = uel + "@PJL SET MEDIATYPE=?MEDIATYPE?\n@PJL SET RESOLUTION=?RESOLUTION?\n\x1B*r1A";
  c.strPrintTailer = "\x1B*rC\x0C" + uel;
  c.strCutHeader =
      uel + "@PJL SET CUTFORCE=?CUTFORCE?\n@PJL SET CUTSPEED=?CUTSPEED?\n@PJL SET CUTOFFSET=?CUTOFFSET?\n";
  c.strCutTailer = uel;
  c.strPageFeed = "\x1B&l?FEEDLENGTH?F";
  c.strPageRewind = "\x1B&l-?FEEDLENGTH?F";
  c.strSheetCut = "\x1B&l1C";
  c.strCancel = uel + "@PJL CANCELJOB\n" + uel;
  return c;
}

void addPrintCharts(DeviceSeries& series) {
  add(series.aPrintChartFileInfoSetList,
      PrintChartFileInfoSet{0, "CMYK Calibration 84.ps", "CMYK Ink Limit 1.0.ps", "CMYK Test Print.ps"});
  add(series.aPrintChartFileInfoSetList,
      PrintChartFileInfoSet{1, "CMYKW Calibration 84.ps", "CMYKW Ink Limit 1.0.ps", "CMYKW Test Print.ps"});
}

LocalizedText firmwareAddress() {
  LocalizedText address = sameInEveryLanguage("https://www.halden.com/support/firmware/pelagon-kd/");
  address[6] = "https://www.halden.co.jp/support/firmware/pelagon-kd/";
  return address;
}

// ---- Passmask commands ----

std::string passmaskName(int k, int overlap) {
  switch (k % 4) {
    case 0:
      return std::to_string(8 + k % 9) + "+" + std::to_string(overlap);
    case 1:
      return "900x600 " + std::to_string(4 + k % 13) + "p";
    case 2:
      return "900x900 onWh " + std::to_string(8 + k % 9) + "+" + std::to_string(overlap);
    default:
      return "600x900 " + std::to_string(2 + k % 7) + "p";
  }
}

// Printer data: runs of the mask alphabet, segments joined by "~".
std::string passmaskCommand(DeterministicRandom& random, std::size_t length) {
  static constexpr std::string_view kBody =
      "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz/_";
  std::string command;
  command.reserve(length);
  while (command.size() < length) {
    if (!command.empty()) command += '~';
    command += random.text(kBody, 20 + random.below(120));
  }
  command.resize(length);
  return command;
}

}  // namespace

DeviceSeries MakeDeviceSeries(Series seriesId) {
  const SeriesPlan& plan = planOf(seriesId);
  DeviceSeries series;
  for (std::size_t i = 0; i < kModels.size(); ++i) {
    add(series.aModelInfoList, makeModel(plan, kModels[i], static_cast<int>(i)));
  }
  addInks(series);
  addInkConfig(series, plan);
  addResolutions(series, plan);
  addModes(series, plan);
  addSeparations(series, plan);
  addVControlPoints(series, plan);
  addPatterns(series);
  series.commandSet = makeCommands();
  for (int m = 0; m < plan.media; ++m)
    add(series.aMediaInfoList, makeMedia(plan, series, m, MediaLayout::DeviceSeries));
  addPrintCharts(series);
  addInkVolumes(series, plan);
  series.strFirmwareDownloadURL = firmwareAddress();
  // The screen angles as a load fits them to each separation.
  NormalizeDeviceSeries(series);
  return series;
}

MediaFile MakeMediaFile(Series seriesId) {
  const SeriesPlan& plan = planOf(seriesId);
  // The presets refer to the series' own resolutions, modes and separations.
  const DeviceSeries series = MakeDeviceSeries(seriesId);
  MediaFile file;
  file.version = VersionRecord::Parse(plan.mediaFileVersion);
  file.strSeriesName = "Pelagon";
  for (int m = 0; m < plan.templates; ++m)
    add(file.media, makeMedia(plan, series, m, MediaLayout::CarriedMediaFile));
  return file;
}

PassmaskList MakePassmaskList(Series seriesId) {
  const SeriesPlan& plan = planOf(seriesId);
  PassmaskList list;
  list.version = VersionRecord::Parse(plan.passmaskVersion);
  DeterministicRandom random(static_cast<std::uint64_t>(plan.seed) * 7919);
  const std::vector<std::int32_t> indices = passmaskIndices(plan);
  for (std::size_t i = 0; i < indices.size(); ++i) {
    const int k = static_cast<int>(i);
    Passmask p;
    p.nPassmaskIndex = indices[i];
    p.strInkConsumptionRate = "1.0,1.0,1.0,1.0";
    // The simple ones: the command is the overlap itself.
    if (k < 4 || k % 9 == 0) {
      constexpr std::array<std::int32_t, 4> kOverlaps = {0, 2, 4, 96};
      p.nOverlapNozzleCount = kOverlaps[static_cast<std::size_t>(k % 4)];
      p.strPassmaskName = "x" + std::to_string(k % 4 + 1);
      p.strPassmaskMode = "1";
      add(p.astrPassmaskCommand, std::to_string(p.nOverlapNozzleCount));
    } else {
      constexpr std::array<std::int32_t, 4> kBandOverlaps = {1, 2, 4, 4};
      p.nOverlapNozzleCount = kBandOverlaps[static_cast<std::size_t>(k % 4)];
      p.strPassmaskName = passmaskName(k, p.nOverlapNozzleCount);
      p.strPassmaskMode = "M1";
      const int commands = k % 29 == 17 ? 5 : k % 13 == 5 ? 2 : 1;
      for (int c = 0; c < commands; ++c) {
        // One command in each list fills two pieces and part of a third.
        const std::size_t length = k == 6 && c == 0 ? 9857 : 800 + random.below(9200);
        add(p.astrPassmaskCommand, passmaskCommand(random, length));
      }
    }
    add(list.passmasks, p);
  }
  return list;
}

}  // namespace pelagon::payload
