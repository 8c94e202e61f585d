#include <pelagon/app/install_cli.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <utility>
#include <vector>

#include <pelagon/payload/payload_catalogue.h>
#include <pelagon/platform/resources.h>
#include <pelagon/version.h>

namespace pelagon {

namespace {

std::string usage(InstallProgram program) {
  std::string text =
      "Usage: pelagon-install [OPTION]...\n"
      "Install the Pelagon KD device support into Chromalith: find Chromalith through its\n"
      "registry keys and write the 96 payload files into its folders, one numbered line per\n"
      "file. Asks nothing; without Chromalith nothing is written.\n"
      "\n";
  if (program == InstallProgram::Linux) {
    text +=
        "  --wine-prefix DIR   the Wine prefix Chromalith runs in: its registry and drives\n"
        "                      (default: WINEPREFIX, else ~/.wine when it exists)\n"
        "  --registry FILE     read the registry from a .reg export instead\n"
        "  --log FILE          append the numbered lines to FILE instead of standard error\n"
        "  --verbose           say on standard error where Chromalith was looked for and what\n"
        "                      stood in the way: registry hive, view, key and value, a drive\n"
        "                      the prefix does not map, a wineserver still running\n";
  } else {
    text +=
        "  --log FILE          append the numbered lines to FILE besides the debugger output;\n"
        "                      what the options below print goes there too\n"
        "  --verbose           say on the debugger output where Chromalith was looked for and\n"
        "                      what stood in the way: registry hive, view, key and value, a\n"
        "                      drive that is not there\n";
  }
  text +=
      "  --list              print the install manifest (files numbered as their lines are,\n"
      "                      path, size; folder steps unnumbered) and write nothing\n"
      "  -h, --help          show this help and exit\n"
      "      --version       show the version and exit\n"
      "\n"
      "The exit status is 0 whatever the run finds, as the installer reports nothing; 2 for\n"
      "bad usage, or when the log or the printed text cannot be written.\n";
  return text;
}

void writeManifestList(std::FILE* out) {
  // Files are numbered as the run's lines number them; the folder steps between them take
  // no number, and their paths line up with the files' paths.
  int file = 0;
  for (const payload::ManifestEntry& entry : payload::kInstallManifest) {
    const char* base = entry.base == payload::PayloadBase::DeviceFolder ? "Chromalith\\Device\\" : "";
    const std::string path = std::string(base) + std::string(entry.relativePath);
    if (entry.kind == payload::PayloadKind::Folder) {
      std::fprintf(out, "      %s  (folder)\n", path.c_str());
      continue;
    }
    const win::HRSRC resource = win::FindResourceA(nullptr, entry.resourceId, win::RT_BIN);
    std::fprintf(out, "[%02d]  %s  %lu\n", ++file, path.c_str(),
                 static_cast<unsigned long>(win::SizeofResource(nullptr, resource)));
  }
}

}  // namespace

std::string ParseInstallOptions(int argc, char** argv, InstallProgram program, InstallOptions& options) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const bool wineOptions = program == InstallProgram::Linux;
  // Every argument is read, so that --log is known even after a mistake before it.
  std::string error;
  const auto fail = [&error](std::string message) {
    if (error.empty()) error = std::move(message);
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const auto value = [&](std::string& target) {
      if (i + 1 >= args.size()) return false;
      target = args[++i];
      return true;
    };
    if (arg == "-h" || arg == "--help") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "--verbose") {
      options.verbose = true;
    } else if (arg == "--list") {
      options.list = true;
    } else if (arg == "--log") {
      if (!value(options.logFile)) fail("--log needs a file");
    } else if (wineOptions && arg == "--wine-prefix") {
      if (!value(options.winePrefix)) fail("--wine-prefix needs a folder");
    } else if (wineOptions && arg == "--registry") {
      if (!value(options.registryFile)) fail("--registry needs a file");
    } else {
      fail("unknown argument '" + arg + "'");
    }
  }
  return error;
}

bool WriteRequestedText(const InstallOptions& options, InstallProgram program, std::FILE* out) {
  if (options.help) {
    std::fputs(usage(program).c_str(), out);
  } else if (options.version) {
    std::fputs("pelagon-install " PELAGON_VERSION "\n", out);
  } else if (options.list) {
    writeManifestList(out);
  } else {
    return false;
  }
  return true;
}

std::string CloseOutput(std::FILE* out) {
  errno = 0;
  const bool flushed = std::fflush(out) == 0;
  const int flushError = errno;
  const bool clean = std::ferror(out) == 0;
  errno = 0;
  const bool closed = std::fclose(out) == 0;
  const int closeError = errno;
  if (flushed && clean && closed) return {};
  // A write that failed inside an earlier print left only the error flag, not its cause.
  const int cause = !flushed ? flushError : !closed ? closeError : 0;
  return cause != 0 ? std::strerror(cause) : "a write failed";
}

}  // namespace pelagon
