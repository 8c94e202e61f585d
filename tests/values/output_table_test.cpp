#include <pelagon/values/output_table.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "../support/test_support.h"
#include <pelagon/values/base64.h>

namespace pelagon {
namespace {

OutputTableSamples randomSamples(unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> entry(0, 4095);
  OutputTableSamples samples{};
  for (std::uint16_t& sample : samples) {
    sample = static_cast<std::uint16_t>(entry(random));
  }
  return samples;
}

// The knots the reader builds from stored samples, on the 16-bit scale of both axes.
std::vector<SplineKnot> knotsOf(const OutputTableSamples& samples) {
  std::vector<SplineKnot> knots;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    knots.push_back({i / 256.0 * 65535.0, samples[i] / 4096.0 * 65535.0});
  }
  return knots;
}

TEST(OutputTableTest, SamplePositionsAreTheRoundedStepsOf4095Over255) {
  const auto& positions = outputTableSamplePositions();
  for (std::size_t j = 0; j < positions.size(); ++j) {
    EXPECT_EQ(positions[j], static_cast<std::size_t>(std::lround(j * 4095.0 / 255.0))) << j;
  }
  EXPECT_EQ(positions.front(), 0u);
  EXPECT_EQ(positions[1], 16u);
  EXPECT_EQ(positions.back(), 4095u);
}

TEST(OutputTableTest, WritesTheSampledEntriesHighByteFirstAs684Characters) {
  OutputTable table{};
  for (std::size_t l = 0; l < table.size(); ++l) {
    table[l] = static_cast<std::uint16_t>(4095 - l);
  }
  const OutputTableSamples samples = sampleOutputTable(table);
  const auto& positions = outputTableSamplePositions();
  for (std::size_t j = 0; j < samples.size(); ++j) {
    EXPECT_EQ(samples[j], table[positions[j]]);
  }
  EXPECT_EQ(samples.front(), 4095);
  EXPECT_EQ(samples.back(), 0);

  const StoredOutputTable stored = packOutputTableSamples(samples);
  EXPECT_EQ(stored[0], 0x0F);
  EXPECT_EQ(stored[1], 0xFF);
  EXPECT_EQ(unpackOutputTableSamples(stored), samples);

  const std::string text = encodeOutputTable(table);
  ASSERT_EQ(text.size(), kOutputTableTextLength);
  EXPECT_EQ(text.size(), 684u);
  EXPECT_EQ(text.substr(682), "A=");  // last sample 0x0000
  EXPECT_EQ(CBase64::decode(text), std::vector<std::uint8_t>(stored.begin(), stored.end()));
}

TEST(OutputTableTest, ReadingRestoresTheStoredSamplesAtTheirPositions) {
  for (unsigned seed : {1u, 2u, 3u}) {
    const OutputTableSamples samples = randomSamples(seed);
    const OutputTable table = expandOutputTable(samples);
    EXPECT_EQ(sampleOutputTable(table), samples) << seed;

    const std::optional<OutputTable> reread = decodeOutputTable(encodeOutputTable(table));
    ASSERT_TRUE(reread.has_value());
    EXPECT_EQ(sampleOutputTable(*reread), samples);
  }
}

TEST(OutputTableTest, ExpandedEntriesStayOnTheTwelveBitScale) {
  OutputTableSamples zero{};
  const OutputTable flat = expandOutputTable(zero);
  EXPECT_EQ(flat, OutputTable{});

  // Jumps between the ends of the scale make the spline overshoot on both sides.
  OutputTableSamples jumps{};
  for (std::size_t i = 0; i < jumps.size(); ++i) {
    jumps[i] = i % 2 == 0 ? 0 : 4095;
  }
  for (std::uint16_t entry : expandOutputTable(jumps)) {
    EXPECT_LE(entry, 4095);
  }
}

// Reference values from SciPy's natural cubic spline; see tests/data/output_table/README.txt.
struct ReferenceCurve {
  std::string name;
  OutputTableSamples samples{};
  std::vector<double> positions;
  std::vector<double> values;
  std::vector<int> entries;
};

std::vector<ReferenceCurve> readReferenceCurves() {
  std::ifstream in(test::dataDir() / "output_table" / "spline_natural.txt");
  EXPECT_TRUE(in) << "cannot open spline_natural.txt";
  std::vector<ReferenceCurve> curves;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string first;
    fields >> first;
    if (first.empty() || first[0] == '#') {
      continue;
    }
    if (first == "curve") {
      curves.emplace_back();
      fields >> curves.back().name;
    } else if (first == "samples") {
      for (std::uint16_t& sample : curves.back().samples) {
        fields >> sample;
      }
    } else {
      double position = 0;
      double value = 0;
      int entry = 0;
      fields >> position >> value >> entry;
      curves.back().positions.push_back(position);
      curves.back().values.push_back(value);
      curves.back().entries.push_back(entry);
    }
    EXPECT_FALSE(fields.fail()) << line;
  }
  return curves;
}

TEST(OutputTableTest, AgreesWithAnIndependentNaturalCubicSpline) {
  const std::vector<ReferenceCurve> curves = readReferenceCurves();
  ASSERT_EQ(curves.size(), 2u);
  for (const ReferenceCurve& curve : curves) {
    SCOPED_TRACE(curve.name);
    ASSERT_EQ(curve.entries.size(), kOutputTableSize);
    const NaturalCubicSpline spline(knotsOf(curve.samples));
    const OutputTable table = expandOutputTable(curve.samples);

    std::vector<bool> isSamplePosition(kOutputTableSize, false);
    for (std::size_t j = 0; j < kOutputTableSampleCount; ++j) {
      const std::size_t at = outputTableSamplePositions()[j];
      isSamplePosition[at] = true;
      EXPECT_EQ(table[at], curve.samples[j]) << "sample " << j;
    }
    for (std::size_t l = 0; l < kOutputTableSize; ++l) {
      const double reference = curve.values[l];
      // Both solve the same system in a different order of operations, so the values
      // agree to rounding error, far below one step of the 16-bit scale.
      EXPECT_NEAR(spline(curve.positions[l]), reference, 1e-6 * (1.0 + std::abs(reference))) << "entry " << l;
      if (isSamplePosition[l]) {
        continue;
      }
      // Truncation may still fall on either side of a 12-bit step (a multiple of 16 on
      // the 16-bit scale) when the exact value lies within that rounding error of it;
      // then the entries may differ by one. Everywhere else they are equal.
      const double step = std::round(reference / 16.0) * 16.0;
      const bool nearStep = std::abs(reference - step) < 1e-6 * (1.0 + std::abs(reference));
      if (nearStep) {
        EXPECT_NEAR(table[l], curve.entries[l], 1) << "entry " << l;
      } else {
        EXPECT_EQ(table[l], curve.entries[l]) << "entry " << l;
      }
    }
  }
}

// The spline through `knots` at each x of `points` gives its y.
void expectSplinePoints(const std::vector<SplineKnot>& knots,
                        const std::vector<std::pair<double, double>>& points) {
  const NaturalCubicSpline spline(knots);
  for (const auto& [x, y] : points) EXPECT_DOUBLE_EQ(spline(x), y) << "x = " << x;
}

TEST(OutputTableTest, NaturalSplineThroughThreeKnots) {
  // Through (0,0), (1,1), (2,0) the natural spline is -x^3/2 + 3x/2 on [0,1], mirrored;
  // outside the knots the curve holds its end values.
  expectSplinePoints(
      {{0, 0}, {1, 1}, {2, 0}},
      {{0.0, 0.0}, {0.5, 0.6875}, {1.0, 1.0}, {1.5, 0.6875}, {2.0, 0.0}, {-3.0, 0.0}, {9.0, 0.0}});
}

TEST(OutputTableTest, TwoKnotsGiveTheStraightLine) {
  expectSplinePoints({{10, 20}, {30, 60}},
                     {{10.0, 20.0}, {15.0, 30.0}, {25.0, 50.0}, {30.0, 60.0}, {0.0, 20.0}, {100.0, 60.0}});

  // Slope 2 from 100.25 up to x = 40000: clamped at 65535 on the way, and beyond the last
  // knot the position is clamped to it. The quarter keeps every value clear of a step.
  const std::vector<SplineKnot> steep{{0, 100.25}, {40000, 80100.25}};
  const OutputTable table = resampleOutputCurve(NaturalCubicSpline(steep));
  for (std::uint32_t l = 0; l < kOutputTableSize; ++l) {
    const std::uint32_t position = std::min(l * 65535u / 4095u, 40000u);
    const std::uint32_t value = 2 * position + 100;
    const int expected = value >= 65535 ? 4095 : static_cast<int>(value >> 4);
    EXPECT_EQ(table[l], expected) << "entry " << l;
  }
  EXPECT_EQ(table[0], 6);
  EXPECT_EQ(table[4095], 4095);
}

TEST(OutputTableTest, SplineNeedsTwoKnotsInIncreasingOrder) {
  const std::vector<SplineKnot> one{{0, 1}};
  const std::vector<SplineKnot> repeated{{0, 1}, {1, 2}, {1, 3}};
  const std::vector<SplineKnot> falling{{2, 1}, {1, 2}};
  EXPECT_THROW(NaturalCubicSpline{std::span<const SplineKnot>{}}, std::invalid_argument);
  EXPECT_THROW(NaturalCubicSpline{one}, std::invalid_argument);
  EXPECT_THROW(NaturalCubicSpline{repeated}, std::invalid_argument);
  EXPECT_THROW(NaturalCubicSpline{falling}, std::invalid_argument);
}

TEST(OutputTableTest, TextsThatAreNotA512ByteTableReadAsAbsent) {
  const std::string valid = encodeOutputTable(expandOutputTable(randomSamples(4)));
  ASSERT_TRUE(decodeOutputTable(valid).has_value());

  EXPECT_FALSE(decodeOutputTable("").has_value());
  EXPECT_FALSE(decodeOutputTable("====").has_value());
  EXPECT_FALSE(decodeOutputTable(valid.substr(0, 683)).has_value());
  EXPECT_FALSE(decodeOutputTable(valid + "A").has_value());
  EXPECT_FALSE(decodeOutputTable(valid.substr(0, 680)).has_value());
  EXPECT_FALSE(decodeOutputTable(valid.substr(0, 682) + "==").has_value());
  EXPECT_FALSE(decodeOutputTable(valid.substr(0, 683) + "A").has_value());  // 513 bytes
  EXPECT_FALSE(decodeOutputTable(valid + "AAAA").has_value());

  // Characters outside the alphabet are not rejected: they read as zero bits, here the
  // first 18 bits, so the first sample reads as 0.
  std::string foreign = valid;
  foreign[0] = '\xFF';
  foreign[1] = '*';
  foreign[2] = '.';
  const std::optional<OutputTable> table = decodeOutputTable(foreign);
  ASSERT_TRUE(table.has_value());
  EXPECT_EQ((*table)[0], 0);
}

// Reading works the weights of the fixed knots out once; every entry must still be what the
// spline gives at its position, bit for bit.
TEST(OutputTableTest, ExpandingGivesTheSplineAtEveryEntry) {
  std::vector<OutputTableSamples> cases;
  for (unsigned seed = 1; seed <= 20; ++seed) cases.push_back(randomSamples(seed));
  OutputTableSamples jumps{};
  OutputTableSamples ramp{};
  OutputTableSamples full{};
  for (std::size_t i = 0; i < jumps.size(); ++i) {
    jumps[i] = i % 2 == 0 ? 0 : 4095;
    ramp[i] = static_cast<std::uint16_t>(i * 16 + (i % 7) * 3);
    full[i] = 0xFFFF;
  }
  cases.insert(cases.end(), {jumps, ramp, full, OutputTableSamples{}});
  for (const OutputTableSamples& samples : cases) {
    const std::vector<SplineKnot> knots = knotsOf(samples);
    OutputTable expected = resampleOutputCurve(NaturalCubicSpline(knots));
    for (std::size_t j = 0; j < samples.size(); ++j) expected[outputTableSamplePositions()[j]] = samples[j];
    EXPECT_EQ(expandOutputTable(samples), expected) << "first sample " << samples[0];
  }
}

TEST(OutputTableTest, StoredSamplesAboveTheScaleAreKeptAtTheirPositions) {
  // A hostile file may store any 16-bit value; the spline clamps, the samples go back as
  // they were stored.
  OutputTableSamples samples{};
  samples.fill(0xFFFF);
  const OutputTable table = expandOutputTable(samples);
  const auto& positions = outputTableSamplePositions();
  for (std::size_t l = 0; l < table.size(); ++l) {
    const bool isSample = std::find(positions.begin(), positions.end(), l) != positions.end();
    EXPECT_EQ(table[l], isSample ? 0xFFFF : 4095) << "entry " << l;
  }
}

TEST(NaturalCubicSplineTest, ResamplingTakesEachEntryFromTheSplineAtItsPosition) {
  // Knots from above 0 to below 65535, some closer together than two entries, values past
  // both ends of the scale: runs of every length, and entries clamped to either end knot.
  std::vector<SplineKnot> knots;
  double x = 1000.5;
  for (int i = 0; i < 300; ++i) {
    knots.push_back({x, (i * 7919 % 101) * 900.0 - 10000.0});
    x += i % 5 == 0 ? 3.0 : 150.0 + (i % 7) * 33.0;
  }
  ASSERT_LT(knots.back().x, 65535.0);
  const NaturalCubicSpline spline(knots);
  const OutputTable table = resampleOutputCurve(spline);
  for (std::uint32_t l = 0; l < kOutputTableSize; ++l) {
    const double value = spline(l * 65535u / 4095u);
    const int expected = !(value > 0.0) ? 0 : value >= 65535.0 ? 4095 : static_cast<int>(value) >> 4;
    EXPECT_EQ(table[l], expected) << "entry " << l;
  }
}

}  // namespace
}  // namespace pelagon
