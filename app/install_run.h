#pragma once
// The installation run: find Chromalith, then write every payload file of the install
// manifest into its folders, one numbered debug line per file.

namespace pelagon {

// Reads the User and Installer keys and, when both are there, walks the manifest. Returns
// true on every path, as the run reports nothing to its caller; its only output is the
// debug lines of the files it writes.
bool InstallRun();

}  // namespace pelagon
