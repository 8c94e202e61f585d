#pragma once
// pelagon-dsr plot: the calibration of a medium or the output curves of a separation, drawn
// as SVG, PNG or PDF.

#include <string>
#include <vector>

namespace pelagon::dsr {

// Runs `plot` on the arguments after the command; gives the exit status, throws Failure.
int plot(const std::vector<std::string>& args);

}  // namespace pelagon::dsr
