#pragma once
// The command line of pelagon-install, shared by the Linux and the Windows program: the
// options, their help text, the manifest listing, and the program's outputs.

#include <cstdio>
#include <string>

namespace pelagon {

struct InstallOptions {
  std::string logFile;
  // Where the Linux program finds Chromalith's registry and drives.
  std::string winePrefix;
  std::string registryFile;
  bool verbose = false;
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
// install manifest, one line a step: a file numbered as its log line is ("[01]" to "[96]"),
// its path below the install path and the size of its block; a folder step unnumbered, with
// "(folder)". False when none of them was asked for.
bool WriteRequestedText(const InstallOptions& options, InstallProgram program, std::FILE* out);

// Flushes and closes a stream the program printed to. Empty when everything printed reached
// its place, else why not: output lost to a full disk or a closed pipe is no success.
std::string CloseOutput(std::FILE* out);

}  // namespace pelagon
