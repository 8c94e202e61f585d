#pragma once
// What the tests of the Linux stand-in can make the file system do.

#include <cstddef>
#include <optional>

namespace win::testing {

// A disk with this many bytes of room left for WriteFile (all files together), or no limit.
void LimitWrittenBytes(std::optional<std::size_t> bytes);

}  // namespace win::testing
