#pragma once
// A device series with every list filled and every field away from its default, shaped so
// that it survives a save and a load unchanged (the reader's normalisations have nothing to
// change in it).

#include <pelagon/model/device_series.h>

namespace pelagon::test {

// The list sizes of a shipped series (2 models, 10 inks, 1 ink configuration, 31
// resolutions, 50 modes, 7 separations, 327 V-control points, 8 FM patterns, 7 media, 2
// print-chart sets, 41 ink volumes), each multiplied by `scale`.
DeviceSeries makeSampleSeries(int scale = 1);

}  // namespace pelagon::test
