#pragma once
// Writing one embedded block to a file, with its numbered line on the debug output.

#include <string>

namespace pelagon {

// Writes the "BIN" block `resourceId` to `path` (complete, in the ANSI code page), replacing
// any file there, and logs one line numbered by a process-wide counter whatever happens.
// True only when the whole block was written; a failed write leaves no file behind, a
// failed open leaves the old file as it was. Never throws.
bool ExtractResourceToFile(const std::string& path, unsigned resourceId);

// The same for blocks of the standard type 23, numbered by a counter of their own.
bool ExtractHtmlResourceToFile(const std::string& path, unsigned resourceId);

}  // namespace pelagon
