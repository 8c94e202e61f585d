#pragma once
// The command line of pelagon-install, shared by the Linux and the Windows program: the
// options, their help text and the manifest listing.

#include <cstdio>
#include <string>

namespace pelagon {

struct InstallOptions {
  std::string logFile;
  // Where the Linux program finds Chromalith's registry and drives.
  std::string winePrefix;
  std::string registryFile;
  bool list = false;
  bool help = false;
  bool version = false;

  // The options that print something instead of running.
  bool asksForText() const { return list || help || version; }
};

// Which program reads the command line: the Linux one also takes --wine-prefix and --registry.
enum class InstallProgram { Linux, Windows };

// Reads the arguments after the program's name into `options`; the text of the first usage
// error, or empty when there is none.
std::string ParseInstallOptions(int argc, char** argv, InstallProgram program, InstallOptions& options);

// Writes what --help, --version or --list asks for: the help text, the version, or the
// install manifest, one line a step (number, path relative to the install path, and the size
// of the embedded block or "(folder)"). False when none of them was asked for.
bool WriteRequestedText(const InstallOptions& options, InstallProgram program, std::FILE* out);

}  // namespace pelagon
