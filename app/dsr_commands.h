#pragma once
// pelagon-dsr: inspect, check, validate, convert and merge the device files of Chromalith.

#include <ostream>
#include <string>
#include <vector>

namespace pelagon::dsr {

inline constexpr int kExitSuccess = 0;
// The file was read but has problems: not a device file, not valid, broken references.
inline constexpr int kExitProblems = 1;
// Bad usage, or input that cannot be read at all.
inline constexpr int kExitUsage = 2;

// Runs the tool on its arguments (without the program name), writing results to `out` and
// messages to `err`; gives the exit status. Never throws.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace pelagon::dsr
