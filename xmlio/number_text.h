#pragma once
// Number texts read the way C's atoi reads them, without its undefined behaviour.

#include <cstdint>
#include <string_view>

namespace pelagon {

// Leading blanks, an optional sign, then decimal digits up to the first other character; no
// digits give 0. A value beyond the 32-bit range is clamped to the nearest 32-bit value.
std::int32_t parseCInt(std::string_view text);

}  // namespace pelagon
