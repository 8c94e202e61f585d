#include <pelagon/xmlio/number_text.h>

#include <locale.h>

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>

namespace pelagon {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The C locale, for the rare number from_chars cannot represent.
locale_t cLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", locale_t{});
  return locale;
}

#if defined(FLT_EVAL_METHOD) && FLT_EVAL_METHOD == 0
// The form "%.3f" writes, read without from_chars: digits, a point and decimals, no exponent.
// Up to 19 digits fit 64 bits as one integer, up to 2^53 that integer is exact as a double,
// and so is 10^k for each of the at most 19 decimals; the one rounding, the division's, then
// gives the correctly rounded value from_chars gives. That needs double operations rounded
// to double, not to the x87's wider registers. False for anything else, an exponent included.
bool readPlainDecimal(const char* p, const char* end, double& value) {
  constexpr std::ptrdiff_t kMaxDigits = 19;
  static constexpr double kPowersOfTen[kMaxDigits + 1] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,
                                                          1e7,  1e8,  1e9,  1e10, 1e11, 1e12, 1e13,
                                                          1e14, 1e15, 1e16, 1e17, 1e18, 1e19};
  // Wraps past 19 digits, which are then refused.
  std::uint64_t digits = 0;
  const auto readDigits = [&] {
    for (; p != end; ++p) {
      const unsigned digit = static_cast<unsigned char>(*p) - unsigned{'0'};
      if (digit > 9) break;
      digits = digits * 10 + digit;
    }
  };
  const char* const integral = p;
  readDigits();
  std::ptrdiff_t digitCount = p - integral;
  std::ptrdiff_t decimals = 0;
  if (p != end && *p == '.') {
    const char* const fraction = ++p;
    readDigits();
    decimals = p - fraction;
    digitCount += decimals;
  }
  if (digitCount > kMaxDigits || digits > std::uint64_t{1} << 53) return false;
  if (p != end && (*p == 'e' || *p == 'E')) return false;
  value = static_cast<double>(static_cast<std::int64_t>(digits)) / kPowersOfTen[decimals];
  return true;
}
#endif

}  // namespace

std::int32_t parseCInt(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && isCSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // Stop accumulating once past the 32-bit range; the clamp below decides.
  constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 2;
  std::int64_t magnitude = 0;
  for (; i < text.size() && isDigit(text[i]); ++i) {
    if (magnitude < kLimit) magnitude = magnitude * 10 + (text[i] - '0');
  }
  const std::int64_t value = negative ? -magnitude : magnitude;
  if (value > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
  if (value < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

double parseCReal(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && isCSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // Only decimal numbers: no "inf", "nan" or hexadecimal forms.
  const bool startsNumber =
      i < text.size() && (isDigit(text[i]) || (text[i] == '.' && i + 1 < text.size() && isDigit(text[i + 1])));
  if (!startsNumber) return 0.0;

  const char* first = text.data() + i;
  const char* last = text.data() + text.size();
  double value = 0.0;
#if defined(FLT_EVAL_METHOD) && FLT_EVAL_METHOD == 0
  if (readPlainDecimal(first, last, value)) return negative ? -value : value;
#endif
  const auto [end, error] = std::from_chars(first, last, value, std::chars_format::general);
  if (error == std::errc::result_out_of_range) {
    const std::string copy(first, end);
    value = strtod_l(copy.c_str(), nullptr, cLocale());
  } else if (error != std::errc()) {
    value = 0.0;
  }
  return negative ? -value : value;
}

std::int32_t truncateToInt32(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 0x1p31) return std::numeric_limits<std::int32_t>::max();
  if (value <= -0x1p31) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

float narrowToFloat(double value) {
  // Past the largest float, a value still rounds to it while it is less than half a unit in
  // the last place above it. From that halfway point on it overflows, the tie included: the
  // largest float's significand is odd, so the tie goes to the even neighbour, the infinity.
  // Settled here because converting an out-of-range double is undefined.
  constexpr double kMax = std::numeric_limits<float>::max();
  constexpr double kHalfwayPastMax = 0x1.ffffffp+127;
  const double magnitude = std::fabs(value);
  if (magnitude > kMax) {
    const float rounded = magnitude >= kHalfwayPastMax ? std::numeric_limits<float>::infinity()
                                                       : std::numeric_limits<float>::max();
    return value < 0 ? -rounded : rounded;
  }
  return static_cast<float>(value);
}

std::string formatInt(std::int32_t value) {
  char buffer[16];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string formatReal(double value, int precision) {
  if (precision < 0) precision = 0;
  if (precision > 40) precision = 40;
  // Up to 309 integral digits, the sign, the point and the decimals.
  char buffer[360];
  // "%f" writes an infinity as "inf", which a reader of these files takes for 0. The largest
  // double reads back as itself, and as infinity again where it is narrowed to a single.
  if (std::isinf(value)) value = std::copysign(std::numeric_limits<double>::max(), value);
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, precision);
  return std::string(buffer, result.ptr);
}

}  // namespace pelagon
