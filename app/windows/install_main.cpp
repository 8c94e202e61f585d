// pelagon-install.exe: the silent installation run as a Windows GUI-subsystem program. It
// opens no window and has no console; its lines go to the debugger, and with --log FILE
// also to FILE, where --help, --version and --list write too.
#include <cstdio>
#include <string>

#include <pelagon/app/install_cli.h>
#include <pelagon/app/install_run.h>
#include <pelagon/host/registry_lookup.h>
#include <pelagon/platform/debug_output.h>
#include <pelagon/platform/files.h>

namespace {

// A message for whoever runs the program goes where its lines go: to the debugger, and to the
// --log file while it is open.
void say(const std::string& text) { win::OutputDebugStringA(("pelagon-install: " + text + "\r\n").c_str()); }

std::string logNotWritten(const std::string& path, const std::string& reason) {
  return "the log file '" + path + "' could not be written: " + reason;
}

// --verbose: the install path, and a drive of it that is not there.
void describeInstallPath(const std::string& installPath) {
  say("install path " + installPath);
  if (installPath.size() < 2 || installPath[1] != ':') return;
  const std::string root = installPath.substr(0, 2) + "\\";
  if (win::GetFileAttributesA(root.c_str()) == win::INVALID_FILE_ATTRIBUTES) {
    say("drive " + installPath.substr(0, 2) + " of the install path is not there");
  }
}

}  // namespace

int main(int argc, char** argv) {
  pelagon::InstallOptions options;
  const std::string error =
      pelagon::ParseInstallOptions(argc, argv, pelagon::InstallProgram::Windows, options);
  if (!error.empty() || options.asksForText()) {
    const int status = error.empty() ? 0 : 2;
    // Without a console, the text has no place but the log file.
    if (options.logFile.empty()) return status;
    std::FILE* log = std::fopen(options.logFile.c_str(), "ab");
    if (log == nullptr) {
      say("cannot open the log file '" + options.logFile + "'");
      return 2;
    }
    if (error.empty()) {
      pelagon::WriteRequestedText(options, pelagon::InstallProgram::Windows, log);
    } else {
      std::fprintf(log, "pelagon-install: %s\n", error.c_str());
    }
    if (const std::string reason = pelagon::CloseOutput(log); !reason.empty()) {
      say(logNotWritten(options.logFile, reason));
      return 2;
    }
    return status;
  }
  if (!options.logFile.empty() && !win::SetDebugOutputToFile(options.logFile)) {
    say("cannot open the log file '" + options.logFile + "'");
    return 2;
  }

  if (options.verbose) pelagon::SetRegistryLookupNotes(say);
  pelagon::InstallRun(options.verbose ? pelagon::InstallPathNote(describeInstallPath) : nullptr);
  if (const std::string reason = win::CloseDebugOutputFile(); !reason.empty()) {
    say(logNotWritten(options.logFile, reason));
    return 2;
  }
  return 0;
}
