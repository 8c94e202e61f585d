#pragma once
// The command line of pelagon-install, shared by the Linux and the Windows program: the
// options, their help text and the manifest listing.

#include <cstdio>
#include <string>
#include <vector>

namespace pelagon {

struct InstallOptions {
  std::string logFile;
  // Where the Linux program finds Chromalith's registry and drives.
  std::string winePrefix;
  std::string registryFile;
  bool list = false;
  bool help = false;
  bool version = false;
};

// Which program reads the command line: the Linux one also takes --wine-prefix and --registry.
enum class InstallProgram { Linux, Windows };

// Reads the arguments after the program's name into `options`; the text of the first usage
// error, or empty when there is none.
std::string ParseInstallOptions(const std::vector<std::string>& args, InstallProgram program,
                                InstallOptions& options);

std::string InstallUsage(InstallProgram program);

// The install manifest, one line a step: number, path relative to the install path, and
// the size of the embedded block (or "(folder)"). False when the text could not be written.
bool WriteManifestList(std::FILE* out);

}  // namespace pelagon
