#pragma once
// The escaped form of the printer command strings, which hold escape and line-feed bytes:
// printable ASCII passes, every other byte (and " & ' < > \) becomes "\x" and two
// upper-case hex digits.

#include <string>
#include <string_view>

namespace pelagon {

std::string encodeEscapedString(std::string_view bytes);

// Raises std::runtime_error "decodeEscapedString(): invalid source string" for a backslash
// too close to the end, and "decodeEscapedString(): unrecognized escape sequence" for one
// not followed by a lower-case x. A decoded zero byte is kept.
std::string decodeEscapedString(std::string_view text);

}  // namespace pelagon
