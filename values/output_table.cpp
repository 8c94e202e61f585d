#include "values/output_table.h"

#include <algorithm>
#include <stdexcept>

#include "values/base64.h"

namespace pelagon {

namespace {

constexpr double kFullScale = 65535.0;
constexpr std::uint32_t kLastEntry = kOutputTableSize - 1;

// Accumulated, not multiplied: the stored files were made with exactly these rounding steps.
constexpr std::array<std::size_t, kOutputTableSampleCount> makeSamplePositions() {
  constexpr double step = static_cast<double>(kLastEntry) / (kOutputTableSampleCount - 1);
  std::array<std::size_t, kOutputTableSampleCount> positions{};
  double x = 0.0;
  for (std::size_t& position : positions) {
    position = std::min(static_cast<std::size_t>(x + 0.5), std::size_t{kLastEntry});
    x += step;
  }
  return positions;
}

constexpr std::array<std::size_t, kOutputTableSampleCount> kSamplePositions = makeSamplePositions();

// Truncated towards zero and clamped to the 16-bit scale; NaN gives 0.
std::uint16_t toFullScale(double value) {
  if (!(value > 0.0)) {
    return 0;
  }
  if (value >= kFullScale) {
    return 0xFFFF;
  }
  return static_cast<std::uint16_t>(value);
}

}  // namespace

const std::array<std::size_t, kOutputTableSampleCount>& outputTableSamplePositions() {
  return kSamplePositions;
}

OutputTableSamples sampleOutputTable(const OutputTable& table) {
  OutputTableSamples samples{};
  for (std::size_t i = 0; i < samples.size(); ++i) {
    samples[i] = table[kSamplePositions[i]];
  }
  return samples;
}

OutputTable expandOutputTable(const OutputTableSamples& samples) {
  std::array<SplineKnot, kOutputTableSampleCount> knots{};
  for (std::size_t i = 0; i < knots.size(); ++i) {
    knots[i].x = static_cast<double>(i) / kOutputTableSampleCount * kFullScale;
    knots[i].y = static_cast<double>(samples[i]) / kOutputTableSize * kFullScale;
  }
  OutputTable table = resampleOutputCurve(NaturalCubicSpline(knots));
  // The spline's knots lie at i * 4096/256 on the entry scale, not at the sample
  // positions, so the samples themselves are put back.
  for (std::size_t j = 0; j < samples.size(); ++j) {
    table[kSamplePositions[j]] = samples[j];
  }
  return table;
}

StoredOutputTable packOutputTableSamples(const OutputTableSamples& samples) {
  StoredOutputTable stored{};
  for (std::size_t i = 0; i < samples.size(); ++i) {
    stored[2 * i] = static_cast<std::uint8_t>(samples[i] >> 8);
    stored[2 * i + 1] = static_cast<std::uint8_t>(samples[i] & 0xFF);
  }
  return stored;
}

OutputTableSamples unpackOutputTableSamples(const StoredOutputTable& stored) {
  OutputTableSamples samples{};
  for (std::size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<std::uint16_t>((stored[2 * i] << 8) | stored[2 * i + 1]);
  }
  return samples;
}

std::string encodeOutputTable(const OutputTable& table) {
  return CBase64::encode(packOutputTableSamples(sampleOutputTable(table)));
}

std::optional<OutputTable> decodeOutputTable(std::string_view text) {
  if (text.size() % 4 != 0) {
    return std::nullopt;
  }
  const std::vector<std::uint8_t> bytes = CBase64::decode(text);
  if (bytes.size() != kStoredOutputTableSize) {
    return std::nullopt;
  }
  StoredOutputTable stored{};
  std::copy(bytes.begin(), bytes.end(), stored.begin());
  return expandOutputTable(unpackOutputTableSamples(stored));
}

NaturalCubicSpline::NaturalCubicSpline(std::span<const SplineKnot> knots)
    : knots_(knots.begin(), knots.end()), secondDerivatives_(knots.size(), 0.0) {
  if (knots_.size() < 2) {
    throw std::invalid_argument("a spline needs at least two knots");
  }
  for (std::size_t i = 1; i < knots_.size(); ++i) {
    if (!(knots_[i].x > knots_[i - 1].x)) {
      throw std::invalid_argument("spline knots must have strictly increasing x");
    }
  }
  // Two knots: the second derivatives stay zero, which is the straight line between them.
  if (knots_.size() == 2) {
    return;
  }
  // Tridiagonal system for the second derivatives, zero at both ends: forward elimination
  // (the eliminated upper diagonal is kept in secondDerivatives_, the right-hand side in
  // rhs), then back substitution.
  const std::size_t n = knots_.size();
  std::vector<double> rhs(n, 0.0);
  for (std::size_t i = 1; i + 1 < n; ++i) {
    const SplineKnot& prev = knots_[i - 1];
    const SplineKnot& here = knots_[i];
    const SplineKnot& next = knots_[i + 1];
    const double sig = (here.x - prev.x) / (next.x - prev.x);
    const double pivot = sig * secondDerivatives_[i - 1] + 2.0;
    secondDerivatives_[i] = (sig - 1.0) / pivot;
    const double slopeChange = (next.y - here.y) / (next.x - here.x) - (here.y - prev.y) / (here.x - prev.x);
    rhs[i] = (6.0 * slopeChange / (next.x - prev.x) - sig * rhs[i - 1]) / pivot;
  }
  secondDerivatives_[n - 1] = 0.0;
  for (std::size_t k = n - 1; k-- > 0;) {
    secondDerivatives_[k] = secondDerivatives_[k] * secondDerivatives_[k + 1] + rhs[k];
  }
}

double NaturalCubicSpline::operator()(double x) const {
  x = std::clamp(x, knots_.front().x, knots_.back().x);
  std::size_t lo = 0;
  std::size_t hi = knots_.size() - 1;
  while (hi - lo > 1) {
    const std::size_t mid = (lo + hi) / 2;
    if (knots_[mid].x > x) {
      hi = mid;
    } else {
      lo = mid;
    }
  }
  return evaluate(x, lo);
}

double NaturalCubicSpline::ascending(double x, std::size_t& interval) const {
  x = std::clamp(x, knots_.front().x, knots_.back().x);
  // The same interval the search finds: the last knot at or below x, short of the last knot.
  if (interval + 1 >= knots_.size() || knots_[interval].x > x) interval = 0;
  while (interval + 2 < knots_.size() && knots_[interval + 1].x <= x) ++interval;
  return evaluate(x, interval);
}

double NaturalCubicSpline::evaluate(double x, std::size_t lo) const {
  const std::size_t hi = lo + 1;
  const double h = knots_[hi].x - knots_[lo].x;
  const double a = (knots_[hi].x - x) / h;
  const double b = (x - knots_[lo].x) / h;
  return a * knots_[lo].y + b * knots_[hi].y +
         ((a * a * a - a) * secondDerivatives_[lo] + (b * b * b - b) * secondDerivatives_[hi]) * (h * h) /
             6.0;
}

OutputTable resampleOutputCurve(const NaturalCubicSpline& curve) {
  OutputTable table{};
  // The positions only grow, so each interval search starts where the last one ended.
  std::size_t interval = 0;
  for (std::uint32_t l = 0; l < table.size(); ++l) {
    const std::uint32_t position = l * 0xFFFFu / kLastEntry;
    const double value = curve.ascending(static_cast<double>(position), interval);
    table[l] = static_cast<std::uint16_t>(toFullScale(value) >> 4);
  }
  return table;
}

}  // namespace pelagon
