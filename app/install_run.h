#pragma once
// The installation run: find Chromalith, then write every payload file of the install
// manifest into its folders, one numbered debug line per file.

#include <functional>
#include <string>

namespace pelagon {

// Told the install path once the Installer key has given it, before anything is written; for
// a program's --verbose. What it does changes nothing in the run.
using InstallPathNote = std::function<void(const std::string& installPath)>;

// Reads the User and Installer keys and, when both are there, walks the manifest. Returns
// true on every path, as the run reports nothing to its caller; its only output is the
// debug lines of the files it writes.
bool InstallRun(const InstallPathNote& installPathFound = {});

}  // namespace pelagon
