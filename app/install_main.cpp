// pelagon-install for Linux: the silent installation run over a Wine prefix or a registry
// export.
#include <cstdio>
#include <iostream>
#include <string>

#include <pelagon/app/install_cli.h>
#include <pelagon/app/install_run.h>
#include <pelagon/payload/payload_resources.h>
#include <pelagon/platform/debug_output.h>
#include <pelagon/platform/linux/program_resources.h>
#include <pelagon/platform/linux/registry_store.h>
#include <pelagon/platform/linux/windows_path.h>

namespace {

int usageError(const std::string& message) {
  std::cerr << "pelagon-install: " << message << "\nTry 'pelagon-install --help' for more information.\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  pelagon::InstallOptions options;
  const std::string error = pelagon::ParseInstallOptions(argc, argv, pelagon::InstallProgram::Linux, options);
  if (!error.empty()) return usageError(error);
  win::SetProgramResources(pelagon::payload::Resources());
  if (pelagon::WriteRequestedText(options, pelagon::InstallProgram::Linux, stdout)) return 0;
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
    std::cerr << "pelagon-install: " << registry.error << '\n';
  }
  if (!options.winePrefix.empty()) {
    win::UseWinePrefixForDrives(options.winePrefix);
  } else {
    win::UseDefaultWinePrefixForDrives();
  }

  pelagon::InstallRun();
  return 0;
}
