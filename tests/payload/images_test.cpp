// The ICC profiles and the bitmaps: what a colour engine and an image viewer need of them.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <set>
#include <string>
#include <string_view>

#include <pelagon/payload/generator/icc_profile.h>
#include <pelagon/payload/generator/lcms_handles.h>
#include "payload_blocks.h"

namespace pelagon::test {
namespace {

using payload::ManifestEntry;
using payload::PayloadKind;
namespace lcms = payload::lcms;

std::uint32_t bigEndian32(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) value = (value << 8U) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

std::uint32_t littleEndian(std::string_view bytes, std::size_t at, std::size_t width) {
  std::uint32_t value = 0;
  for (std::size_t i = width; i-- > 0;) value = (value << 8U) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

lcms::Profile open(std::string_view bytes) {
  return lcms::Profile(cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size())));
}

std::string description(cmsHPROFILE profile) {
  std::array<char, 256> text{};
  const cmsUInt32Number length =
      cmsGetProfileInfoASCII(profile, cmsInfoDescription, "en", "US", text.data(), text.size());
  return length == 0 ? std::string() : std::string(text.data());
}

TEST(PayloadProfiles, AreVersion42OutputProfilesForCmykAndLab) {
  const std::vector<ManifestEntry> profiles = payloadFiles(PayloadKind::IccProfile);
  ASSERT_EQ(profiles.size(), 76U);
  std::set<std::string> descriptions;
  for (const ManifestEntry& entry : profiles) {
    const std::string name(payload::FileNameOf(entry.relativePath));
    SCOPED_TRACE(name);
    const std::string_view bytes = payloadBlock(entry.resourceId);
    ASSERT_GE(bytes.size(), 128U);
    EXPECT_EQ(bigEndian32(bytes, 0), bytes.size());
    EXPECT_EQ(bytes.substr(36, 4), "acsp");

    const lcms::Profile profile = open(bytes);
    ASSERT_TRUE(profile);
    EXPECT_EQ(cmsGetEncodedICCversion(profile.get()), 0x04200000U);
    EXPECT_EQ(cmsGetDeviceClass(profile.get()), cmsSigOutputClass);
    EXPECT_EQ(cmsGetColorSpace(profile.get()), cmsSigCmykData);
    EXPECT_EQ(cmsGetPCS(profile.get()), cmsSigLabData);
    for (const cmsTagSignature tag :
         {cmsSigProfileDescriptionTag, cmsSigCopyrightTag, cmsSigMediaWhitePointTag, cmsSigAToB0Tag,
          cmsSigAToB1Tag, cmsSigAToB2Tag, cmsSigBToA0Tag, cmsSigBToA1Tag, cmsSigBToA2Tag, cmsSigGamutTag}) {
      EXPECT_TRUE(cmsIsTag(profile.get(), tag)) << std::hex << tag;
    }
    EXPECT_EQ(description(profile.get()), name.substr(0, name.size() - 4));
    descriptions.insert(description(profile.get()));
  }
  EXPECT_EQ(descriptions.size(), profiles.size());
}

// The profile ID a validator expects: the MD5 of the profile with its flags, rendering intent
// and ID zero. Not liblcms2's cmsMD5computeID, which zeroes the device attributes instead of
// the flags.
std::string profileId(std::string_view bytes) {
  std::string hashed(bytes);
  hashed.replace(44, 4, 4, '\0');
  hashed.replace(64, 4, 4, '\0');
  hashed.replace(84, 16, 16, '\0');
  lcms::Md5 md5(cmsMD5alloc(nullptr));
  if (!md5) return {};
  cmsMD5add(md5.get(), reinterpret_cast<const cmsUInt8Number*>(hashed.data()),
            static_cast<cmsUInt32Number>(hashed.size()));
  cmsProfileID id{};
  cmsMD5finish(&id, md5.release());
  return {std::begin(id.ID8), std::end(id.ID8)};
}

// A profile made twice must come out the same: no clock, and an ID that fits the bytes.
TEST(PayloadProfiles, CarryAFixedDateAndTheirOwnProfileId) {
  for (const ManifestEntry& entry : payloadFiles(PayloadKind::IccProfile)) {
    SCOPED_TRACE(std::string(entry.relativePath));
    const lcms::Profile profile = open(payloadBlock(entry.resourceId));
    ASSERT_TRUE(profile);
    struct tm created {};
    ASSERT_TRUE(cmsGetHeaderCreationDateTime(profile.get(), &created));
    EXPECT_EQ(created.tm_year + 1900, payload::kProfileCreationDate.year);
    EXPECT_EQ(created.tm_mon + 1, payload::kProfileCreationDate.month);
    EXPECT_EQ(created.tm_mday, payload::kProfileCreationDate.day);
    EXPECT_EQ(created.tm_hour, payload::kProfileCreationDate.hour);

    const std::string_view bytes = payloadBlock(entry.resourceId);
    const std::string_view stored = bytes.substr(84, 16);
    EXPECT_NE(stored, std::string(16, '\0'));
    EXPECT_EQ(stored, profileId(bytes));
  }
}

double deltaE(const cmsCIELab& a, const cmsCIELab& b) { return cmsDeltaE(&a, &b); }

// CMYK to Lab and back through the colorimetric tables: the Lab a device colour prints is
// printed again, whatever black the way back chooses. Solid inks sit on the gamut's edge,
// where the Lab grid's nodes outside the gamut pull the interpolation; they get more room.
TEST(PayloadProfiles, ConvertCmykToLabAndBack) {
  struct Sample {
    std::array<double, 4> cmyk;
    double tolerance;
  };
  const std::array<Sample, 10> samples = {{{{0, 0, 0, 0}, 3.0},
                                           {{100, 0, 0, 0}, 8.0},
                                           {{0, 100, 0, 0}, 8.0},
                                           {{0, 0, 100, 0}, 8.0},
                                           {{0, 0, 0, 100}, 3.0},
                                           {{50, 40, 40, 0}, 3.0},
                                           {{20, 60, 80, 10}, 3.0},
                                           {{70, 10, 30, 20}, 3.0},
                                           {{5, 5, 5, 0}, 3.0},
                                           {{30, 30, 30, 30}, 3.0}}};
  const lcms::Profile lab(cmsCreateLab4Profile(nullptr));
  ASSERT_TRUE(lab);
  for (const ManifestEntry& entry : payloadFiles(PayloadKind::IccProfile)) {
    SCOPED_TRACE(std::string(entry.relativePath));
    const lcms::Profile printer = open(payloadBlock(entry.resourceId));
    ASSERT_TRUE(printer);
    const lcms::Transform toLab(cmsCreateTransform(printer.get(), TYPE_CMYK_DBL, lab.get(), TYPE_Lab_DBL,
                                                   INTENT_RELATIVE_COLORIMETRIC, 0));
    const lcms::Transform toCmyk(cmsCreateTransform(lab.get(), TYPE_Lab_DBL, printer.get(), TYPE_CMYK_DBL,
                                                    INTENT_RELATIVE_COLORIMETRIC, 0));
    const lcms::Transform perceptual(
        cmsCreateTransform(lab.get(), TYPE_Lab_DBL, printer.get(), TYPE_CMYK_DBL, INTENT_PERCEPTUAL, 0));
    ASSERT_TRUE(toLab);
    ASSERT_TRUE(toCmyk);
    ASSERT_TRUE(perceptual);

    std::array<cmsCIELab, samples.size()> printed{};
    for (std::size_t i = 0; i < samples.size(); ++i) {
      cmsDoTransform(toLab.get(), samples[i].cmyk.data(), &printed[i], 1);
      std::array<double, 4> cmyk{};
      cmsDoTransform(toCmyk.get(), &printed[i], cmyk.data(), 1);
      for (const double channel : cmyk) {
        EXPECT_GE(channel, 0.0);
        EXPECT_LE(channel, 100.0);
      }
      cmsCIELab again{};
      cmsDoTransform(toLab.get(), cmyk.data(), &again, 1);
      EXPECT_LT(deltaE(printed[i], again), samples[i].tolerance) << "sample " << i;
    }
    // Tables relative to the medium: blank is white, black is dark and neutral, and each
    // colour ink lies where its hue belongs.
    EXPECT_NEAR(printed[0].L, 100.0, 1.0);
    EXPECT_NEAR(printed[0].a, 0.0, 1.0);
    EXPECT_LT(printed[4].L, 40.0);
    EXPECT_LT(std::hypot(printed[4].a, printed[4].b), 3.0);
    EXPECT_LT(printed[1].a, -10.0);
    EXPECT_LT(printed[1].b, -20.0);
    EXPECT_GT(printed[2].a, 40.0);
    EXPECT_GT(printed[3].b, 50.0);

    std::array<double, 4> cmyk{};
    const cmsCIELab red = {50.0, 70.0, 50.0};
    cmsDoTransform(perceptual.get(), &red, cmyk.data(), 1);
    EXPECT_GT(cmyk[1], cmyk[0] + 50.0);
    EXPECT_GT(cmyk[2], cmyk[0] + 50.0);
  }
}

// ---- Bitmaps ----

TEST(PayloadBitmaps, Are106By106PixelsOf24Bits) {
  const std::vector<ManifestEntry> bitmaps = payloadFiles(PayloadKind::Bitmap);
  ASSERT_EQ(bitmaps.size(), 2U);
  std::set<std::string_view> pictures;
  for (const ManifestEntry& entry : bitmaps) {
    SCOPED_TRACE(std::string(entry.relativePath));
    const std::string_view bytes = payloadBlock(entry.resourceId);
    constexpr std::size_t kRow = 320;
    ASSERT_EQ(bytes.size(), 54 + kRow * 106);
    EXPECT_EQ(bytes.substr(0, 2), "BM");
    EXPECT_EQ(littleEndian(bytes, 2, 4), bytes.size());
    EXPECT_EQ(littleEndian(bytes, 6, 4), 0U);
    EXPECT_EQ(littleEndian(bytes, 10, 4), 54U);
    EXPECT_EQ(littleEndian(bytes, 14, 4), 40U);
    EXPECT_EQ(littleEndian(bytes, 18, 4), 106U);
    EXPECT_EQ(littleEndian(bytes, 22, 4), 106U);
    EXPECT_EQ(littleEndian(bytes, 26, 2), 1U);
    EXPECT_EQ(littleEndian(bytes, 28, 2), 24U);
    EXPECT_EQ(littleEndian(bytes, 30, 4), 0U);
    EXPECT_EQ(littleEndian(bytes, 34, 4), kRow * 106);

    std::set<std::uint32_t> colours;
    for (std::size_t row = 0; row < 106; ++row) {
      const std::string_view line = bytes.substr(54 + row * kRow, kRow);
      EXPECT_EQ(line.substr(318), std::string_view("\0\0", 2)) << "row " << row;
      for (std::size_t x = 0; x < 106; ++x) colours.insert(littleEndian(line, 3 * x, 3));
    }
    // A picture, not a blank.
    EXPECT_GT(colours.size(), 20U);
    pictures.insert(bytes);
  }
  EXPECT_EQ(pictures.size(), 2U);
}

}  // namespace
}  // namespace pelagon::test
