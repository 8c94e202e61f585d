#pragma once
// The output curve of a separation table: 4096 entries in memory, stored as 256 samples
// (512 bytes, high byte first, in base64) and rebuilt by a natural cubic spline on reading.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pelagon {

inline constexpr std::size_t kOutputTableSize = 4096;
inline constexpr std::size_t kOutputTableSampleCount = 256;
inline constexpr std::size_t kStoredOutputTableSize = 2 * kOutputTableSampleCount;
inline constexpr std::size_t kOutputTableTextLength = (kStoredOutputTableSize + 2) / 3 * 4;

// Entries on the 12-bit scale (0 to 4095).
using OutputTable = std::array<std::uint16_t, kOutputTableSize>;
using OutputTableSamples = std::array<std::uint16_t, kOutputTableSampleCount>;
// The samples as stored: two bytes each, high byte first.
using StoredOutputTable = std::array<std::uint8_t, kStoredOutputTableSize>;

// The entry index each sample is taken from and put back at: j * 4095/255 accumulated by
// repeated addition, plus 0.5, truncated.
const std::array<std::size_t, kOutputTableSampleCount>& outputTableSamplePositions();

OutputTableSamples sampleOutputTable(const OutputTable& table);
OutputTable expandOutputTable(const OutputTableSamples& samples);

StoredOutputTable packOutputTableSamples(const OutputTableSamples& samples);
OutputTableSamples unpackOutputTableSamples(const StoredOutputTable& stored);

// The 684-character text of a table's samples.
std::string encodeOutputTable(const OutputTable& table);
// Nothing when the text's length is not a multiple of four or it does not decode to
// exactly 512 bytes; stored tables are always 684 characters long.
std::optional<OutputTable> decodeOutputTable(std::string_view text);

struct SplineKnot {
  double x = 0.0;
  double y = 0.0;
};

// Natural cubic spline (second derivative zero at both ends) through two or more knots
// with strictly increasing x; through exactly two it is the straight line between them.
class NaturalCubicSpline {
public:
  // Throws std::invalid_argument for fewer than two knots or x not strictly increasing.
  explicit NaturalCubicSpline(std::span<const SplineKnot> knots);

  // Outside the knots' range x is clamped to the first or last knot.
  double operator()(double x) const;

private:
  // The constants of the interval from knot lo to knot lo + 1.
  struct Piece;
  Piece piece(std::size_t lo) const;

  // Walks the intervals once instead of searching one for every entry.
  friend OutputTable resampleOutputCurve(const NaturalCubicSpline& curve);
  // Evaluates at the reader's fixed knots with weights worked out once.
  friend OutputTable expandOutputTable(const OutputTableSamples& samples);

  std::vector<SplineKnot> knots_;
  std::vector<double> secondDerivatives_;
};

// The 4096 entries of a curve given on the 16-bit scale of both axes: entry l is the curve
// at trunc(l * 65535 / 4095), truncated, clamped to 0..65535 and shifted right by 4.
OutputTable resampleOutputCurve(const NaturalCubicSpline& curve);

}  // namespace pelagon
