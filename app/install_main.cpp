// pelagon-install: the silent installation run of the Pelagon KD device support.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "app/install_run.h"
#include "payload/payload_catalogue.h"
#include "payload/payload_resources.h"
#include "platform/debug_output.h"
#include "platform/registry.h"
#include "platform/resources.h"
#include "platform/windows_path.h"

#ifndef PELAGON_VERSION
#define PELAGON_VERSION "0.0.0"
#endif

namespace {

constexpr const char* kUsage =
    "Usage: pelagon-install [OPTION]...\n"
    "Install the Pelagon KD device support into Chromalith: find Chromalith through its\n"
    "registry keys and write the 96 payload files into its folders, one numbered line per\n"
    "file. Asks nothing; without Chromalith nothing is written.\n"
    "\n"
    "  --wine-prefix DIR   the Wine prefix Chromalith runs in: its registry and drives\n"
    "                      (default: WINEPREFIX, else ~/.wine when it exists)\n"
    "  --registry FILE     read the registry from a .reg export instead\n"
    "  --log FILE          append the numbered lines to FILE instead of standard error\n"
    "  --list              print the install manifest (step, path, size) and write nothing\n"
    "  -h, --help          show this help and exit\n"
    "      --version       show the version and exit\n"
    "\n"
    "The exit status is 0 whatever the run finds, as the installer reports nothing; 2 for\n"
    "bad usage.\n";

int usageError(const std::string& message) {
  std::cerr << "pelagon-install: " << message << "\nTry 'pelagon-install --help' for more information.\n";
  return 2;
}

void printManifest() {
  const auto resources = pelagon::payload::Resources();
  int step = 0;
  for (const pelagon::payload::ManifestEntry& entry : pelagon::payload::kInstallManifest) {
    ++step;
    const char* base =
        entry.base == pelagon::payload::PayloadBase::DeviceFolder ? "Chromalith\\Device\\" : "";
    std::size_t size = 0;
    for (const win::BinaryResource& resource : resources) {
      if (resource.id == entry.resourceId) size = resource.size;
    }
    if (entry.kind == pelagon::payload::PayloadKind::Folder) {
      std::printf("%3d  %s%s  (folder)\n", step, base, std::string(entry.relativePath).c_str());
    } else {
      std::printf("%3d  %s%s  %zu\n", step, base, std::string(entry.relativePath).c_str(), size);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  std::string prefix, regFile, logFile;
  bool list = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const auto value = [&](std::string& target) {
      if (i + 1 >= args.size()) return false;
      target = args[++i];
      return true;
    };
    if (arg == "-h" || arg == "--help") {
      std::cout << kUsage;
      return 0;
    } else if (arg == "--version") {
      std::cout << "pelagon-install " << PELAGON_VERSION << '\n';
      return 0;
    } else if (arg == "--list") {
      list = true;
    } else if (arg == "--wine-prefix") {
      if (!value(prefix)) return usageError("--wine-prefix needs a folder");
    } else if (arg == "--registry") {
      if (!value(regFile)) return usageError("--registry needs a file");
    } else if (arg == "--log") {
      if (!value(logFile)) return usageError("--log needs a file");
    } else {
      return usageError("unknown argument '" + arg + "'");
    }
  }

  win::SetProgramResources(pelagon::payload::Resources());
  if (list) {
    printManifest();
    return 0;
  }
  if (!logFile.empty() && !win::SetDebugOutputToFile(logFile)) {
    return usageError("cannot open the log file '" + logFile + "'");
  }

  // A registry that cannot be read is like a machine without Chromalith: nothing is
  // written. Why it could not be read is worth a line for whoever runs the program.
  win::RegistryLoadResult registry;
  if (!regFile.empty()) {
    registry = win::UseRegistryFromRegFile(regFile);
  } else if (!prefix.empty()) {
    registry = win::UseRegistryFromWinePrefix(prefix);
  } else {
    registry = win::UseRegistryFromDefaultPlaces();
  }
  if (!registry.ok) {
    win::UseNoRegistry();
    std::cerr << "pelagon-install: " << registry.error << '\n';
  }
  if (!prefix.empty()) {
    win::UseWinePrefixForDrives(prefix);
  } else {
    win::UseDefaultWinePrefixForDrives();
  }

  pelagon::InstallRun();
  return 0;
}
