// pelagon-install for Linux: the silent installation run over a Wine prefix or a registry
// export.
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

#include <pelagon/app/install_cli.h>
#include <pelagon/app/install_run.h>
#include <pelagon/host/registry_lookup.h>
#include <pelagon/payload/payload_resources.h>
#include <pelagon/platform/debug_output.h>
#include <pelagon/platform/linux/program_resources.h>
#include <pelagon/platform/linux/registry_store.h>
#include <pelagon/platform/linux/windows_path.h>

namespace {

namespace fs = std::filesystem;

// A message for whoever runs the program, on standard error, where all of them go.
void say(const std::string& text) { std::cerr << "pelagon-install: " << text << '\n'; }

int usageError(const std::string& message) {
  say(message);
  std::cerr << "Try 'pelagon-install --help' for more information.\n";
  return 2;
}

// --verbose: what the registry was read from, and the lines of its files that were skipped.
void describeRegistry(const win::RegistryLoadResult& registry) {
  if (!registry.ok) return;  // the reason has been said already
  say("registry: " + registry.source);
  for (const std::string& skipped : registry.skipped) say("registry line skipped: " + skipped);
  if (registry.skippedCount > registry.skipped.size()) {
    say("and " + std::to_string(registry.skippedCount - registry.skipped.size()) + " more lines skipped");
  }
}

// --verbose: a wineserver still running for the prefix may hold keys its files lack yet.
void describeWineServer(const std::string& prefix) {
  const char* state = nullptr;
  switch (win::WineServerStateOf(prefix)) {
    case win::WineServerState::NotRunning:
      return;
    case win::WineServerState::Running:
      state = "is running";
      break;
    case win::WineServerState::Unknown:
      state = "may be running (its lock cannot be tested)";
      break;
  }
  say(std::string("a wineserver ") + state + " for the Wine prefix " + prefix +
      ": its registry files may not hold the latest keys yet; 'WINEPREFIX=" + prefix +
      " wineserver -w' waits until it has ended and written them");
}

// --verbose: where the install path leads in the prefix, or why nowhere.
void describeInstallPath(const std::string& installPath) {
  const std::string text = "install path " + installPath;
  if (installPath.size() < 2 || installPath[1] != ':') {
    const auto posix = win::ResolveWindowsPath(installPath);
    say(text + (posix ? " is " + *posix : " names no place here"));
    return;
  }
  const std::string drive = installPath.substr(0, 2);
  const std::string prefix = win::DrivePrefix();
  if (prefix.empty()) {
    say(text + " is on drive " + drive +
        ", but no Wine prefix maps drives (no --wine-prefix, WINEPREFIX or ~/.wine)");
    return;
  }
  const auto folder = win::DriveFolder(installPath[0]);
  if (!folder) {
    const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(installPath[0])));
    say(text + " is on drive " + drive + ", which the Wine prefix " + prefix +
        " does not map (no folder dosdevices/" + letter + ":)");
    return;
  }
  say(text + " is " + win::ResolveWindowsPath(installPath).value_or(*folder));
  // Files are written only inside the prefix (platform/linux/windows_path.h says why).
  std::error_code error;
  const fs::path driveFolder = fs::canonical(*folder, error);
  const fs::path prefixFolder = error ? fs::path() : fs::canonical(prefix, error);
  if (!error && !win::IsWithinFolder(driveFolder.string(), prefixFolder.string())) {
    say("drive " + drive + " leads out of the Wine prefix, to " + driveFolder.string() +
        ": no file is written there");
  }
}

}  // namespace

int main(int argc, char** argv) {
  pelagon::InstallOptions options;
  const std::string error = pelagon::ParseInstallOptions(argc, argv, pelagon::InstallProgram::Linux, options);
  if (!error.empty()) return usageError(error);
  win::SetProgramResources(pelagon::payload::Resources());
  if (pelagon::WriteRequestedText(options, pelagon::InstallProgram::Linux, stdout)) {
    if (const std::string reason = pelagon::CloseOutput(stdout); !reason.empty()) {
      say("cannot write to standard output: " + reason);
      return 2;
    }
    return 0;
  }
  if (!options.logFile.empty() && !win::SetDebugOutputToFile(options.logFile)) {
    return usageError("cannot open the log file '" + options.logFile + "'");
  }

  // A registry that cannot be read is like a machine without Chromalith: nothing is
  // written. Why it could not be read is worth a line for whoever runs the program.
  win::RegistryLoadResult registry;
  if (!options.registryFile.empty()) {
    registry = win::UseRegistryFromRegFile(options.registryFile);
  } else if (!options.winePrefix.empty()) {
    registry = win::UseRegistryFromWinePrefix(options.winePrefix);
  } else {
    registry = win::UseRegistryFromDefaultPlaces();
  }
  if (!registry.ok) {
    win::UseNoRegistry();
    say(registry.error);
  }
  if (!options.winePrefix.empty()) {
    win::UseWinePrefixForDrives(options.winePrefix);
  } else {
    win::UseDefaultWinePrefixForDrives();
  }

  if (options.verbose) {
    describeRegistry(registry);
    if (const std::string prefix = win::DrivePrefix(); options.registryFile.empty() && !prefix.empty()) {
      describeWineServer(prefix);
    }
    pelagon::SetRegistryLookupNotes(say);
  }
  pelagon::InstallRun(options.verbose ? pelagon::InstallPathNote(describeInstallPath) : nullptr);

  // The run's own result is never the status; a log that did not reach its place is.
  int status = 0;
  if (const std::string reason = win::CloseDebugOutputFile(); !reason.empty()) {
    say("the log file '" + options.logFile + "' could not be written: " + reason);
    status = 2;
  }
  // Without --log the lines went to standard error: lost there, only the status can tell.
  if (std::fflush(stderr) != 0 || std::ferror(stderr) != 0) status = 2;
  return status;
}
