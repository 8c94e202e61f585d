// pelagon-install.exe in a real Wine prefix, as its users run it: the keys in the registry
// with Wine's own reg.exe, the numbered lines read from the debugger channel (Wine prints
// every OutputDebugStringA call when WINEDEBUG has +debugstr), the files from the prefix's
// drive. Each case is compared with the Linux program run on the same keys and folders: the
// same lines, byte for byte, and the same files.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "../support/test_support.h"

namespace fs = std::filesystem;
using pelagon::test::readFile;
using pelagon::test::writeFile;

namespace {

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') throw std::runtime_error(std::string(name) + " is not set");
  return value;
}

std::string shellQuoted(const std::string& text) {
  std::string out = "'";
  for (const char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

struct Result {
  int status = -1;
  std::string errors;
};

// Runs a shell command; its standard error is kept, its standard output goes to `output`.
Result run(const std::string& command, const fs::path& scratch, const std::string& output = "/dev/null") {
  const fs::path errors = scratch / "stderr.txt";
  const int raw =
      std::system((command + " >" + shellQuoted(output) + " 2>" + shellQuoted(errors.string())).c_str());
  Result result;
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  result.errors = readFile(errors);
  return result;
}

// The OutputDebugStringA texts of Wine's +debugstr channel, with Wine's escapes undone.
std::vector<std::string> debugLines(const std::string& wineErrors) {
  static const std::string kMarker = ":warn:debugstr:OutputDebugStringA \"";
  std::vector<std::string> lines;
  std::size_t at = 0;
  while ((at = wineErrors.find(kMarker, at)) != std::string::npos) {
    std::string text;
    std::size_t i = at + kMarker.size();
    for (; i < wineErrors.size() && wineErrors[i] != '"'; ++i) {
      if (wineErrors[i] != '\\' || i + 1 >= wineErrors.size()) {
        text += wineErrors[i];
        continue;
      }
      const char escaped = wineErrors[++i];
      if (escaped == 'x') {
        text += static_cast<char>(std::stoi(wineErrors.substr(i + 1, 2), nullptr, 16));
        i += 2;
        continue;
      }
      text += escaped == 'r' ? '\r' : escaped == 'n' ? '\n' : escaped == 't' ? '\t' : escaped;
    }
    // Wine cuts a long text and marks it; no line of ours may be that long.
    if (wineErrors.compare(i, 4, "\"...") == 0) {
      throw std::runtime_error("Wine cut a debug line: " + text);
    }
    lines.push_back(text);
    at = i;
  }
  return lines;
}

// Every file below `root` with its bytes, by relative path.
std::map<std::string, std::string> filesBelow(const fs::path& root) {
  std::map<std::string, std::string> files;
  if (!fs::exists(root)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) files[fs::relative(entry.path(), root).string()] = readFile(entry.path());
  }
  return files;
}

// What differs between two trees: one line a file.
std::vector<std::string> differences(const std::map<std::string, std::string>& windows,
                                     const std::map<std::string, std::string>& fromLinux) {
  std::vector<std::string> found;
  for (const auto& [name, bytes] : windows) {
    const auto other = fromLinux.find(name);
    if (other == fromLinux.end())
      found.push_back("only from Windows: " + name);
    else if (other->second != bytes)
      found.push_back("other bytes: " + name);
  }
  for (const auto& entry : fromLinux) {
    if (!windows.count(entry.first)) found.push_back("only from Linux: " + entry.first);
  }
  return found;
}

std::size_t countContaining(const std::vector<std::string>& lines, const std::string& text) {
  return std::count_if(lines.begin(), lines.end(),
                       [&](const std::string& line) { return line.find(text) != std::string::npos; });
}

// A .reg file that first takes away every Chromalith key a case before may have left.
std::string regFile(const std::string& keys) {
  return "REGEDIT4\r\n\r\n"
         "[-HKEY_LOCAL_MACHINE\\Software\\HaldenCo]\r\n\r\n"
         "[-HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\HaldenCo]\r\n\r\n"
         "[-HKEY_CURRENT_USER\\Software\\HaldenCo]\r\n\r\n" +
         keys;
}

// Chromalith's two keys under `root` ("HKEY_LOCAL_MACHINE\Software", ...), installed in
// C:\<folder>\ (folder in the ANSI code page 1252).
std::string chromalithKeys(const std::string& root, const std::string& folder = "Program Files\\HaldenCo") {
  std::string escapedFolder;
  for (const char c : folder) escapedFolder += c == '\\' ? std::string("\\\\") : std::string(1, c);
  const std::string key = "[" + root + "\\HaldenCo\\Chromalith";
  return key + "]\r\n\r\n" + key +
         "\\Installer]\r\n\"CompanyName\"=\"HaldenCo\"\r\n\"InstallPath\"=\"C:\\\\" + escapedFolder +
         "\\\\\"\r\n\"UserName\"=\"Print Room\"\r\n\r\n" + key +
         "\\User]\r\n\"InkConfig\"=\"Pelagon CMYKLcLmLk\"\r\n\"Language\"=\"English\"\r\n"
         "\"Model\"=\"Pelagon KD-640\"\r\n\r\n";
}

constexpr const char* kMachine = "HKEY_LOCAL_MACHINE\\Software";
constexpr const char* kUser = "HKEY_CURRENT_USER\\Software";
// "C:\Program Files\Café" in code page 1252, and as the drive's UTF-8 folder name.
const std::string kCafe1252 = "Program Files\\Caf\xe9";
const std::string kCafeUtf8 = "Program Files/Caf\xc3\xa9";
const std::string kHaldenCo = "Program Files/HaldenCo";

struct Case {
  const char* name;
  std::string keys;
  // The debug lines, and the files written.
  std::size_t lines;
  std::size_t written;
  bool profilesFolder = true;
  // A payload file of the device folder that is there, read-only, before the run.
  const char* readOnlyFile = nullptr;
  // The Chromalith installation made before the run, below drive C: (UTF-8).
  std::string installFolder = kHaldenCo;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class WineInstall : public ::testing::TestWithParam<Case> {
protected:
  static void SetUpTestSuite() {
    exe_ = environment("PELAGON_INSTALL_EXE");
    linuxInstall_ = environment("PELAGON_LINUX_INSTALL");
    wineRun_ = environment("PELAGON_WINE_RUN");
    prefix_ = environment("PELAGON_WINE_PREFIX");
  }

  // Runs wine-run as the tests' Wine user; `loader` is "wine" or the 64-bit one.
  Result wine(const std::string& arguments, const std::string& environmentPrefix = "",
              const std::string& loader = "/usr/lib/wine/wine64") {
    return run(environmentPrefix + " PELAGON_WINE=" + shellQuoted(loader) + " LANG=de_DE.UTF-8 " +
                   shellQuoted(wineRun_) + " " + arguments,
               scratch_.path());
  }

  // Chromalith's folders below a drive C:, as the case wants them.
  void makeInstallation(const fs::path& driveC, const Case& c, bool wineSide) {
    // Only what the cases make: the prefix's own Program Files stays.
    for (const std::string& folder : {kHaldenCo, kCafeUtf8, std::string("Program Files/Other")}) {
      fs::remove_all(driveC / folder);
    }
    const fs::path install = driveC / c.installFolder;
    fs::create_directories(install / "Chromalith" / "Device");
    if (c.profilesFolder) fs::create_directories(install / "Profiles");
    if (c.readOnlyFile != nullptr) writeFile(install / "Chromalith" / "Device" / c.readOnlyFile, "old");
    if (wineSide && ::geteuid() == 0) {
      const passwd* user = ::getpwnam("pelagon-wine");
      ASSERT_NE(user, nullptr) << "scripts/install-deps --windows makes the user pelagon-wine";
      for (const auto& entry : fs::recursive_directory_iterator(install)) {
        ASSERT_EQ(::chown(entry.path().c_str(), user->pw_uid, user->pw_gid), 0);
      }
      ASSERT_EQ(::chown(install.c_str(), user->pw_uid, user->pw_gid), 0);
    }
  }

  pelagon::test::TempDir scratch_;
  static inline std::string exe_, linuxInstall_, wineRun_, prefix_;
};

TEST_P(WineInstall, WritesWhatTheLinuxProgramWrites) {
  const Case& c = GetParam();
  // The .reg file must be readable by the tests' Wine user.
  ::chmod(scratch_.path().c_str(), 0755);
  const fs::path keys = scratch_.path() / "keys.reg";
  writeFile(keys, regFile(c.keys));
  ::chmod(keys.c_str(), 0644);

  // The prefix exists once wine-run has run anything in it.
  ASSERT_EQ(wine("reg import " + shellQuoted("Z:" + keys.string()) + " /reg:64").status, 0);
  const fs::path wineDrive = fs::path(prefix_) / "drive_c";
  ASSERT_NO_FATAL_FAILURE(makeInstallation(wineDrive, c, true));
  if (c.readOnlyFile != nullptr) {
    const std::string file =
        "C:\\" + std::string("Program Files\\HaldenCo\\Chromalith\\Device\\") + c.readOnlyFile;
    ASSERT_EQ(wine("cmd /c attrib +r " + shellQuoted(file)).status, 0);
  }

  // --log copies the lines to a file besides the debugger.
  const fs::path log = fs::path(prefix_) / "drive_c" / "pelagon-install.log";
  fs::remove(log);
  const Result windows =
      wine(shellQuoted(exe_) + " --log 'C:\\pelagon-install.log'", "WINEDEBUG=-all,+debugstr", "wine");
  ASSERT_EQ(windows.status, 0) << windows.errors;
  const std::vector<std::string> windowsLines = debugLines(windows.errors);
  std::string joined;
  for (const std::string& line : windowsLines) joined += line;
  EXPECT_EQ(readFile(log), joined);

  // The Linux program on a copy of the same installation, with the same keys.
  const fs::path linuxPrefix = scratch_.path() / "linux-prefix";
  fs::create_directories(linuxPrefix / "dosdevices");
  fs::create_directory_symlink("../drive_c", linuxPrefix / "dosdevices" / "c:");
  ASSERT_NO_FATAL_FAILURE(makeInstallation(linuxPrefix / "drive_c", c, false));
  if (c.readOnlyFile != nullptr) {
    fs::permissions(linuxPrefix / "drive_c" / c.installFolder / "Chromalith" / "Device" / c.readOnlyFile,
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  }
  const fs::path linuxLog = scratch_.path() / "linux.log";
  const Result linuxRun = run("PELAGON_ACP=1252 " + shellQuoted(linuxInstall_) + " --wine-prefix " +
                                  shellQuoted(linuxPrefix.string()) + " --registry " +
                                  shellQuoted(keys.string()) + " --log " + shellQuoted(linuxLog.string()),
                              scratch_.path());
  ASSERT_EQ(linuxRun.status, 0) << linuxRun.errors;
  EXPECT_EQ(joined, fs::exists(linuxLog) ? readFile(linuxLog) : "");
  EXPECT_EQ(windowsLines.size(), c.lines);
  EXPECT_EQ(countContaining(windowsLines, " successfly updated!\r\n"), c.written);
  if (!windowsLines.empty()) {
    EXPECT_EQ(windowsLines.back().substr(0, 4), "[" + std::to_string(c.lines) + "]");
  }

  const auto windowsFiles = filesBelow(wineDrive / c.installFolder);
  EXPECT_EQ(differences(windowsFiles, filesBelow(linuxPrefix / "drive_c" / c.installFolder)),
            std::vector<std::string>{});
  EXPECT_EQ(windowsFiles.size(), c.written + (c.readOnlyFile != nullptr ? 1 : 0));
  if (c.readOnlyFile != nullptr) {
    const auto kept = windowsFiles.find((fs::path("Chromalith") / "Device" / c.readOnlyFile).string());
    ASSERT_NE(kept, windowsFiles.end());
    EXPECT_EQ(kept->second, "old");
    EXPECT_EQ(countContaining(windowsLines, std::string(c.readOnlyFile) + " error: file cannot opened.\r\n"),
              1u);
  }
}

using WineInstallOptions = WineInstall;

// Without a console, what the options print goes to the --log file.
TEST_F(WineInstallOptions, PrintToTheLogFileAsTheLinuxProgramPrints) {
  const fs::path linuxList = scratch_.path() / "list.txt";
  ASSERT_EQ(run(shellQuoted(linuxInstall_) + " --list", scratch_.path(), linuxList.string()).status, 0);
  const fs::path log = fs::path(prefix_) / "drive_c" / "pelagon-options.log";
  fs::remove(log);
  ASSERT_EQ(wine(shellQuoted(exe_) + " --list --log 'C:\\pelagon-options.log'", "", "wine").status, 0);
  EXPECT_EQ(readFile(log), readFile(linuxList));

  fs::remove(log);
  EXPECT_EQ(wine(shellQuoted(exe_) + " --wine-prefix x --log 'C:\\pelagon-options.log'", "", "wine").status,
            2);
  EXPECT_EQ(readFile(log), "pelagon-install: unknown argument '--wine-prefix'\n");
}

// --verbose says on the debugger where the keys were looked for: here, in a registry without
// them, both hives of the 64-bit view, and then nothing more, as the run ends there.
TEST_F(WineInstallOptions, VerboseSaysOnTheDebuggerWhereTheKeysWereLookedFor) {
  ::chmod(scratch_.path().c_str(), 0755);
  const fs::path keys = scratch_.path() / "keys.reg";
  writeFile(keys, regFile(""));
  ::chmod(keys.c_str(), 0644);
  ASSERT_EQ(wine("reg import " + shellQuoted("Z:" + keys.string()) + " /reg:64").status, 0);
  const Result windows = wine(shellQuoted(exe_) + " --verbose", "WINEDEBUG=-all,+debugstr", "wine");
  ASSERT_EQ(windows.status, 0) << windows.errors;
  const std::string vendor = "\\Software\\HaldenCo\\Chromalith (64-bit view): not there\r\n";
  EXPECT_EQ(debugLines(windows.errors),
            (std::vector<std::string>{"pelagon-install: HKEY_LOCAL_MACHINE" + vendor,
                                      "pelagon-install: HKEY_CURRENT_USER" + vendor}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WineInstall,
    ::testing::Values(
        Case{"MachineKeysInTheNativeView", chromalithKeys(kMachine), 96, 96},
        // A 32-bit program sees these by default; the installer asks for the 64-bit view.
        Case{"MachineKeysOnlyInTheThirtyTwoBitView",
             chromalithKeys("HKEY_LOCAL_MACHINE\\Software\\Wow6432Node"), 0, 0},
        Case{"UserKeysOnly", chromalithKeys(kUser), 96, 96},
        // The machine's vendor key wins, and its Installer and User keys are not there.
        Case{"VendorKeyInBothHivesFullKeysOnlyForTheUser",
             "[HKEY_LOCAL_MACHINE\\Software\\HaldenCo\\Chromalith]\r\n\r\n" + chromalithKeys(kUser), 0, 0},
        Case{"BothHivesTheMachineWins",
             chromalithKeys(kMachine) + chromalithKeys(kUser, "Program Files\\Other"), 96, 96},
        Case{"NoKeys", "", 0, 0},
        Case{"ReadOnlyPayloadFile", chromalithKeys(kMachine), 96, 95, true, "Pelagon KD.rmt"},
        Case{"ProfilesFolderMissing", chromalithKeys(kMachine), 96, 20, false},
        Case{"InstallPathBeyondAsciiInCodePage1252", chromalithKeys(kMachine, kCafe1252), 96, 96, true,
             nullptr, kCafeUtf8}),
    [](const ::testing::TestParamInfo<Case>& param) { return std::string(param.param.name); });

}  // namespace
