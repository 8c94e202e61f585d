// pelagon-install.exe: the silent installation run as a Windows GUI-subsystem program. It
// opens no window and has no console; its lines go to the debugger, and with --log FILE
// also to FILE, where --help, --version and --list write too.
#include <cstdio>
#include <memory>
#include <string>

#include <pelagon/app/install_cli.h>
#include <pelagon/app/install_run.h>
#include <pelagon/platform/debug_output.h>

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// The log file for what the program prints; null without --log, and then it prints nothing.
File openLog(const std::string& path) {
  return File(path.empty() ? nullptr : std::fopen(path.c_str(), "ab"));
}

}  // namespace

int main(int argc, char** argv) {
  pelagon::InstallOptions options;
  const std::string error =
      pelagon::ParseInstallOptions(argc, argv, pelagon::InstallProgram::Windows, options);
  if (!error.empty() || options.asksForText()) {
    if (const File log = openLog(options.logFile)) {
      if (error.empty()) {
        pelagon::WriteRequestedText(options, pelagon::InstallProgram::Windows, log.get());
      } else {
        std::fprintf(log.get(), "pelagon-install: %s\n", error.c_str());
      }
    }
    return error.empty() ? 0 : 2;
  }
  if (!options.logFile.empty() && !win::SetDebugOutputToFile(options.logFile)) {
    win::OutputDebugStringA(
        ("pelagon-install: cannot open the log file '" + options.logFile + "'\r\n").c_str());
    return 2;
  }

  pelagon::InstallRun();
  return 0;
}
