#pragma once
// Installs an embedded device series over an installed one, keeping the user's media.

#include <string>

namespace pelagon {

// Merges the "BIN" block `resourceId` into the device-series file `target` (see
// MergeMediaUpdateFrom). True whenever it returns; a failing write of the merged document
// raises _com_error and leaves `target` as it was.
bool MergeMediaUpdate(const std::string& target, unsigned resourceId);

}  // namespace pelagon
