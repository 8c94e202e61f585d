#pragma once
// The cross-reference check of a device series: every index number that one record uses to
// name another (an ink, an ink configuration, a resolution, a print mode, a passmask, ...)
// is looked up, since the library itself never resolves them on reading.

#include <string>
#include <vector>

#include <pelagon/model/device_series.h>
#include <pelagon/model/passmask_list.h>

namespace pelagon::dsr {

// Every broken cross-reference of the series, one line each, in document order; empty when
// all of them resolve. Without `passmasks`, the permission sets' passmask numbers are not
// checked.
//
// A line names the record by its path of lists and positions, its English name where it
// has one and its own index number, then the field, the value and what is wrong:
//   aMediaInfoList[2] "Generic Vinyl 1" aPermissionSetList[5] (nPermissionIndex 12): nModeIndex 77 matches no
//   print mode aInkInfoList[4] "Cyan" (nInkIndex 4097): nInkIndex 4097 is already used by aInkInfoList[1]
//   aMediaInfoList[0] "Vinyl" aPermissionSetList[1] (nPermissionIndex 1): aCalibrationInfoList has 3 entries
//   but separation 2 has 4 input channels
// Names are quoted with '"' and '\' escaped and control bytes written as \xHH, so a line
// stays one line whatever the file holds.
//
// Values that mean "no reference" and are never looked up: 0 and -1 in a model's
// nDefaultInkIndex, -1 in an ink configuration's nInkIndexList, in a mode's nInkVolumeIndex
// and in a separation table's nInkIndex (a table read without that element holds -1). A
// medium without quality levels has no default level to check. Where a number occurs twice
// in a list, the later record is reported and references resolve to the first, as the
// library's own lookups do. A mode's nInkIndexList holds slot codes whose meaning belongs
// to the host, so it is not checked.
std::vector<std::string> CheckDeviceSeries(const DeviceSeries& series, const PassmaskList* passmasks);

}  // namespace pelagon::dsr
