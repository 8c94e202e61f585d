#include <pelagon/values/output_table.h>

#include <algorithm>
#include <limits>
#include <stdexcept>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <pelagon/values/base64.h>

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

// Where entry l is taken on the 16-bit scale: trunc(l * 65535 / 4095). The infinity after
// the last position ends every scan for the positions below a knot.
constexpr std::array<double, kOutputTableSize + 1> makeEntryPositions() {
  std::array<double, kOutputTableSize + 1> positions{};
  for (std::uint32_t l = 0; l < kOutputTableSize; ++l) {
    positions[l] = static_cast<double>(l * 0xFFFFu / kLastEntry);
  }
  positions[kOutputTableSize] = std::numeric_limits<double>::infinity();
  return positions;
}

constexpr std::array<double, kOutputTableSize + 1> kEntryPositions = makeEntryPositions();

// Truncated towards zero, clamped to the 16-bit scale (NaN gives 0) and taken to 12 bits.
std::uint16_t entryFromValue(double value) {
  if (!(value > 0.0)) {
    return 0;
  }
  if (value >= kFullScale) {
    return 0xFFFF >> 4;
  }
  return static_cast<std::uint16_t>(static_cast<std::uint16_t>(value) >> 4);
}

#if defined(__SSE2__)
// entryFromValue for two values at once: max and min give what it gives, NaN and everything
// up to 0 becoming 0.
inline void storeEntryPair(__m128d values, std::uint16_t* out) {
  const __m128d clamped = _mm_min_pd(_mm_max_pd(values, _mm_setzero_pd()), _mm_set1_pd(kFullScale));
  const __m128i entries = _mm_srli_epi32(_mm_cvttpd_epi32(clamped), 4);
  out[0] = static_cast<std::uint16_t>(_mm_extract_epi16(entries, 0));
  out[1] = static_cast<std::uint16_t>(_mm_extract_epi16(entries, 2));
}
#endif

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

// An interval's constants, gathered once so that a run of entries in it is evaluated from
// registers. operator() and resampleOutputCurve both evaluate through it, so they give the
// same bits.
struct NaturalCubicSpline::Piece {
  double xLo;
  double xHi;
  double yLo;
  double yHi;
  double mLo;
  double mHi;
  double h;
  double hSquared;

  // For one x, or for a vector of them lane by lane.
  template <typename Real>
  Real operator()(Real x) const {
    return at((xHi - x) / h, (x - xLo) / h);
  }

  // From the weights of the two knots at x: a = (xHi - x) / h and b = (x - xLo) / h.
  template <typename Real>
  Real at(Real a, Real b) const {
    return a * yLo + b * yHi + ((a * a * a - a) * mLo + (b * b * b - b) * mHi) * hSquared / 6.0;
  }
};

inline NaturalCubicSpline::Piece NaturalCubicSpline::piece(std::size_t lo) const {
  const SplineKnot& low = knots_[lo];
  const SplineKnot& high = knots_[lo + 1];
  const double h = high.x - low.x;
  return {low.x, high.x, low.y, high.y, secondDerivatives_[lo], secondDerivatives_[lo + 1], h, h * h};
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
  return piece(lo)(x);
}

OutputTable resampleOutputCurve(const NaturalCubicSpline& curve) {
  const std::vector<SplineKnot>& knots = curve.knots_;
  const std::size_t lastPiece = knots.size() - 2;
  // The positions only grow, so the intervals are taken in turn, each for the entries below
  // its upper knot: the interval operator() finds for each. Outside the knots operator()
  // evaluates at the nearest end knot, the same value for every entry there.
  OutputTable table{};
  std::size_t l = 0;
  const std::uint16_t beforeFirst = entryFromValue(curve.piece(0)(knots.front().x));
  for (; kEntryPositions[l] < knots.front().x; ++l) {
    table[l] = beforeFirst;
  }
  for (std::size_t lo = 0; lo <= lastPiece && l < table.size(); ++lo) {
    const NaturalCubicSpline::Piece piece = curve.piece(lo);
#if defined(__SSE2__)
    // Two entries at once, each lane with the same operations as an entry alone.
    for (; l + 1 < table.size() && kEntryPositions[l + 1] < piece.xHi; l += 2) {
      storeEntryPair(piece(_mm_loadu_pd(&kEntryPositions[l])), &table[l]);
    }
#endif
    for (; kEntryPositions[l] < piece.xHi; ++l) {
      table[l] = entryFromValue(piece(kEntryPositions[l]));
    }
  }
  const std::uint16_t fromLast = entryFromValue(curve.piece(lastPiece)(knots.back().x));
  for (; l < table.size(); ++l) {
    table[l] = fromLast;
  }
  return table;
}

namespace {

std::array<SplineKnot, kOutputTableSampleCount> readerKnots(const OutputTableSamples& samples) {
  std::array<SplineKnot, kOutputTableSampleCount> knots{};
  for (std::size_t i = 0; i < knots.size(); ++i) {
    knots[i].x = static_cast<double>(i) / kOutputTableSampleCount * kFullScale;
    knots[i].y = static_cast<double>(samples[i]) / kOutputTableSize * kFullScale;
  }
  return knots;
}

// The reader's knots lie at the same x for every table, so the interval each entry falls in
// and the entry's weights there are the same for every table too.
struct ReaderKnotPlan {
  std::array<double, kOutputTableSize> a{};
  std::array<double, kOutputTableSize> b{};
  std::array<std::uint8_t, kOutputTableSize> piece{};
  std::size_t beforeLast = 0;  // entries below the last knot; the others take its value
};

}  // namespace

OutputTable expandOutputTable(const OutputTableSamples& samples) {
  // Worked out once with the very operations a piece evaluates x with, which leaves one
  // division per entry of the three.
  static const ReaderKnotPlan plan = [] {
    const NaturalCubicSpline layout(readerKnots(OutputTableSamples{}));
    ReaderKnotPlan made;
    std::size_t l = 0;
    for (std::size_t lo = 0; lo + 1 < kOutputTableSampleCount; ++lo) {
      const NaturalCubicSpline::Piece piece = layout.piece(lo);
      for (; kEntryPositions[l] < piece.xHi; ++l) {
        made.a[l] = (piece.xHi - kEntryPositions[l]) / piece.h;
        made.b[l] = (kEntryPositions[l] - piece.xLo) / piece.h;
        made.piece[l] = static_cast<std::uint8_t>(lo);
      }
    }
    made.beforeLast = l;
    return made;
  }();
  static_assert(kOutputTableSampleCount - 1 <= 256, "a piece's number must fit a byte");

  const NaturalCubicSpline curve(readerKnots(samples));
  OutputTable table{};
  std::size_t l = 0;
  while (l < plan.beforeLast) {
    const std::uint8_t lo = plan.piece[l];
    const NaturalCubicSpline::Piece piece = curve.piece(lo);
#if defined(__SSE2__)
    for (; l + 1 < plan.beforeLast && plan.piece[l + 1] == lo; l += 2) {
      storeEntryPair(piece.at(_mm_loadu_pd(&plan.a[l]), _mm_loadu_pd(&plan.b[l])), &table[l]);
    }
#endif
    for (; l < plan.beforeLast && plan.piece[l] == lo; ++l) {
      table[l] = entryFromValue(piece.at(plan.a[l], plan.b[l]));
    }
  }
  const std::uint16_t fromLast = entryFromValue(curve.piece(kOutputTableSampleCount - 2)(curve.knots_.back().x));
  for (; l < table.size(); ++l) {
    table[l] = fromLast;
  }
  // The spline's knots lie at i * 4096/256 on the entry scale, not at the sample
  // positions, so the samples themselves are put back.
  for (std::size_t j = 0; j < samples.size(); ++j) {
    table[kSamplePositions[j]] = samples[j];
  }
  return table;
}

}  // namespace pelagon
