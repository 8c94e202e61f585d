#pragma once
// Number texts, read the way C's atoi and atof read them and written as "%d" and "%.*f"
// write them, without their undefined behaviour and whatever the C locale says: the decimal
// separator is always ".".

#include <cstdint>
#include <string>
#include <string_view>

namespace pelagon {

// A blank as C's isspace takes it in the C locale: space, tab, line feed, vertical tab, form
// feed, carriage return.
constexpr bool isCSpace(char c) noexcept { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Leading blanks, an optional sign, then decimal digits up to the first other character; no
// digits give 0. A value beyond the 32-bit range is clamped to the nearest 32-bit value.
std::int32_t parseCInt(std::string_view text);

// Leading blanks, an optional sign, digits with an optional "." and fraction, an optional
// exponent; the longest such prefix is read, and none gives 0.0. Too large a value gives an
// infinity, too small a one 0 or a subnormal, as strtod does.
double parseCReal(std::string_view text);

// Truncation toward zero with a defined result for every input: NaN gives 0, values beyond
// the 32-bit range the nearest 32-bit value.
std::int32_t truncateToInt32(double value);

// A 64-bit real narrowed to 32 bits, rounded to nearest (ties to even) as C converts it:
// values past the largest float round to it while less than half a unit in its last place
// above it, and become infinities from there.
float narrowToFloat(double value);

std::string formatInt(std::int32_t value);
// Fixed notation with `precision` decimals ("%.*f"); the precision is clamped to 0..40. An
// infinity is written as the largest double of its sign, which reads back.
std::string formatReal(double value, int precision);

}  // namespace pelagon
