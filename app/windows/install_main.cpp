// pelagon-install.exe: the silent installation run as a Windows GUI-subsystem program. It
// opens no window and has no console; its lines go to the debugger, and with --log FILE
// also to FILE, where --help, --version and --list write too.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/install_cli.h"
#include "app/install_run.h"
#include "platform/debug_output.h"

#ifndef PELAGON_VERSION
#define PELAGON_VERSION "0.0.0"
#endif

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// The log file for what the program prints; null without --log, and then it prints nothing.
File openLog(const std::string& path) { return File(path.empty() ? nullptr : std::fopen(path.c_str(), "ab")); }

}  // namespace

int main(int argc, char** argv) {
  using pelagon::InstallProgram;
  pelagon::InstallOptions options;
  const std::string error =
      pelagon::ParseInstallOptions(std::vector<std::string>(argv + 1, argv + argc), InstallProgram::Windows, options);
  if (!error.empty() || options.help || options.version || options.list) {
    const File log = openLog(options.logFile);
    if (log) {
      if (!error.empty()) {
        std::fprintf(log.get(), "pelagon-install: %s\n", error.c_str());
      } else if (options.help) {
        std::fputs(pelagon::InstallUsage(InstallProgram::Windows).c_str(), log.get());
      } else if (options.version) {
        std::fputs("pelagon-install " PELAGON_VERSION "\n", log.get());
      } else {
        pelagon::WriteManifestList(log.get());
      }
    }
    return error.empty() ? 0 : 2;
  }
  if (!options.logFile.empty() && !win::SetDebugOutputToFile(options.logFile)) {
    win::OutputDebugStringA(("pelagon-install: cannot open the log file '" + options.logFile + "'\r\n").c_str());
    return 2;
  }

  pelagon::InstallRun();
  return 0;
}
