// pelagon-install run as a program against Wine-prefix-shaped folders.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <map>
#include <sstream>

#include <pelagon/payload/payload_catalogue.h>
#include <pelagon/payload/payload_resources.h>
#include "../support/test_support.h"

#ifndef PELAGON_INSTALL_PROGRAM
#error "PELAGON_INSTALL_PROGRAM must name the built program"
#endif

namespace pelagon::test {
namespace {

namespace fs = std::filesystem;

struct InstallOutcome {
  int status = -1;
  std::string out;
  std::string errors;
  std::vector<std::string> lines;  // the numbered lines, without their CR LF
};

std::string quoted(const std::string& arg) {
  std::string text = "'";
  for (char c : arg) text += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return text + "'";
}

constexpr const char* kInstallerKey =
    "[Software\\\\HaldenCo\\\\Chromalith\\\\Installer] 1700000000\n"
    "\"CompanyName\"=\"HaldenCo\"\n\"InstallPath\"=\"C:\\\\Program Files\\\\HaldenCo\\\\\"\n"
    "\"UserName\"=\"Print Room\"\n\n";
constexpr const char* kUserKey =
    "[Software\\\\HaldenCo\\\\Chromalith\\\\User] 1700000000\n"
    "\"InkConfig\"=\"CMYK\"\n\"Language\"=\"English\"\n\"Model\"=\"KD-640\"\n\n";

class InstallProgramTest : public ::testing::Test {
protected:
  // A 64-bit prefix whose machine hive holds `machineKeys`, with Chromalith's folders.
  void makePrefix(const std::string& machineKeys, const std::string& userKeys = "") {
    fs::create_directories(prefix() / "dosdevices");
    fs::create_directories(installPath() / "Chromalith" / "Device");
    fs::create_directories(installPath() / "Profiles");
    fs::create_directory_symlink("../drive_c", prefix() / "dosdevices" / "c:");
    writeFile(
        prefix() / "system.reg",
        "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n" + machineKeys);
    writeFile(prefix() / "user.reg",
              "WINE REGISTRY Version 2\n;; All keys relative to "
              "\\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n\n" +
                  userKeys);
  }

  fs::path prefix() const { return dir_.path() / "prefix"; }
  fs::path installPath() const { return prefix() / "drive_c" / "Program Files" / "HaldenCo"; }
  fs::path deviceFolder() const { return installPath() / "Chromalith" / "Device"; }

  // Runs the program with its lines in a log file of the test's own, unless `args` name one;
  // standard output is kept, or sent to `outputTo`.
  InstallOutcome install(std::vector<std::string> args = {}, const std::string& outputTo = "") {
    if (args.empty()) args = {"--wine-prefix", prefix().string()};
    std::string command = quoted(PELAGON_INSTALL_PROGRAM);
    for (const std::string& arg : args) command.append(" ").append(quoted(arg));
    const std::string log = dir_.file("log.txt");
    fs::remove(log);
    if (std::find(args.begin(), args.end(), "--log") == args.end()) command += " --log " + quoted(log);
    const std::string errors = dir_.file("stderr.txt");
    command += " 2>" + quoted(errors);
    if (!outputTo.empty()) command += " >" + quoted(outputTo);
    const CommandOutput output = runCommand(command);
    if (output.status < 0) return {};
    InstallOutcome run{output.status, output.out, readFile(errors), {}};
    if (fs::exists(log)) {
      const std::string text = readFile(log);
      std::size_t start = 0;
      for (std::size_t end = text.find("\r\n"); end != std::string::npos; end = text.find("\r\n", start)) {
        run.lines.push_back(text.substr(start, end - start));
        start = end + 2;
      }
      EXPECT_EQ(start, text.size()) << "every line ends with CR LF";
    }
    return run;
  }

  static std::size_t count(const InstallOutcome& run, const std::string& part) {
    std::size_t n = 0;
    for (const std::string& line : run.lines) n += line.find(part) != std::string::npos;
    return n;
  }

  // Every entry below `root` with the bytes of the files, to tell whether anything changed.
  static std::map<std::string, std::string> entriesBelow(const fs::path& root) {
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      entries[entry.path().string()] = entry.is_regular_file() ? readFile(entry.path()) : "(folder)";
    }
    return entries;
  }

  TempDir dir_;
};

TEST_F(InstallProgramTest, AFullRunWritesEveryPayloadFileByteForByte) {
  makePrefix(std::string(kInstallerKey) + kUserKey);
  const InstallOutcome run = install();
  EXPECT_EQ(run.status, 0);
  ASSERT_EQ(run.lines.size(), 96u);
  for (std::size_t i = 0; i < run.lines.size(); ++i) {
    char number[32];
    std::snprintf(number, sizeof number, "[%02zu] ", i + 1);
    EXPECT_EQ(run.lines[i].rfind(number, 0), 0u) << run.lines[i];
    EXPECT_NE(run.lines[i].find(" Bytes ) successfly updated!"), std::string::npos) << run.lines[i];
  }
  EXPECT_EQ(run.lines.back().rfind(
                "[96] C:\\Program Files\\HaldenCo\\Chromalith\\Device\\Pelagon KD cmk.dsr ( ", 0),
            0u);

  // Each file holds exactly its block.
  const auto resources = payload::Resources();
  for (const payload::ManifestEntry& entry : payload::kInstallManifest) {
    if (entry.kind == payload::PayloadKind::Folder) continue;
    std::string relative(entry.relativePath);
    std::replace(relative.begin(), relative.end(), '\\', '/');
    const fs::path file =
        (entry.base == payload::PayloadBase::DeviceFolder ? deviceFolder() : installPath()) / relative;
    const auto block = std::find_if(resources.begin(), resources.end(),
                                    [&](const win::BinaryResource& r) { return r.id == entry.resourceId; });
    ASSERT_NE(block, resources.end());
    EXPECT_EQ(readFile(file), std::string(reinterpret_cast<const char*>(block->data), block->size)) << file;
  }
  EXPECT_EQ(countFiles(installPath() / "Profiles" / "Pelagon"), 76u);

  // Again: every file is rewritten, numbered from 01 again in the new process.
  writeFile(deviceFolder() / "Pelagon KD.bmp", "changed by hand");
  const InstallOutcome again = install();
  EXPECT_EQ(again.lines.size(), 96u);
  EXPECT_EQ(again.lines.front().rfind("[01] ", 0), 0u);
  EXPECT_NE(readFile(deviceFolder() / "Pelagon KD.bmp"), "changed by hand");
}

TEST_F(InstallProgramTest, WithoutBothKeysNothingIsWrittenAndNothingLogged) {
  const std::string incompleteUser =
      "[Software\\\\HaldenCo\\\\Chromalith\\\\User] "
      "1700000000\n\"InkConfig\"=\"CMYK\"\n\"Language\"=\"English\"\n\n";
  const std::string keysIn32BitView =
      "[Software\\\\Wow6432Node\\\\HaldenCo\\\\Chromalith\\\\Installer] 1700000000\n"
      "\"CompanyName\"=\"HaldenCo\"\n\"InstallPath\"=\"C:\\\\Program "
      "Files\\\\HaldenCo\\\\\"\n\"UserName\"=\"x\"\n\n"
      "[Software\\\\Wow6432Node\\\\HaldenCo\\\\Chromalith\\\\User] 1700000000\n"
      "\"InkConfig\"=\"CMYK\"\n\"Language\"=\"English\"\n\"Model\"=\"KD-640\"\n\n";
  const std::string expandedPath =
      "[Software\\\\HaldenCo\\\\Chromalith\\\\Installer] 1700000000\n\"CompanyName\"=\"HaldenCo\"\n"
      "\"InstallPath\"=str(2):\"C:\\\\Program Files\\\\HaldenCo\\\\\"\n\"UserName\"=\"x\"\n\n";
  const std::string longPath =
      "[Software\\\\HaldenCo\\\\Chromalith\\\\Installer] 1700000000\n"
      "\"CompanyName\"=\"HaldenCo\"\n\"InstallPath\"=\"" +
      std::string(1024, 'x') + "\"\n\"UserName\"=\"x\"\n\n";
  for (const std::string& keys : {std::string(), kInstallerKey + incompleteUser, keysIn32BitView,
                                  expandedPath + kUserKey, longPath + kUserKey}) {
    fs::remove_all(prefix());
    makePrefix(keys);
    const InstallOutcome run = install();
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.lines.empty()) << keys << "\n" << (run.lines.empty() ? "" : run.lines[0]);
    EXPECT_EQ(countFiles(installPath()), 0u) << keys;
  }
}

TEST_F(InstallProgramTest, OddUserValuesStillLetTheRunGoOn) {
  // The User key's values are not used, only read: a number for Model does not stop the run.
  makePrefix(std::string(kInstallerKey) +
             "[Software\\\\HaldenCo\\\\Chromalith\\\\User] 1700000000\n\"InkConfig\"=\"CMYK\"\n"
             "\"Language\"=\"English\"\n\"Model\"=dword:00004b44\n\n");
  EXPECT_EQ(install().lines.size(), 96u);

  // The keys in the user's hive alone are found too.
  fs::remove_all(prefix());
  makePrefix("", std::string(kInstallerKey) + kUserKey);
  const InstallOutcome userHive = install();
  EXPECT_EQ(count(userHive, "successfly updated!"), 96u);
}

TEST_F(InstallProgramTest, ProfileFoldersThatCannotBeMadeFailOnlyTheirProfiles) {
  makePrefix(std::string(kInstallerKey) + kUserKey);
  writeFile(installPath() / "Profiles" / "Pelagon", "a plain file");
  const InstallOutcome plainFile = install();
  ASSERT_EQ(plainFile.lines.size(), 96u);
  EXPECT_EQ(count(plainFile, "error: file cannot opened."), 76u);
  EXPECT_EQ(count(plainFile, "successfly updated!"), 20u);
  EXPECT_NE(plainFile.lines.back().find("Pelagon KD cmk.dsr ( "), std::string::npos);
  EXPECT_EQ(readFile(installPath() / "Profiles" / "Pelagon"), "a plain file");

  fs::remove_all(installPath() / "Profiles");
  const InstallOutcome noProfiles = install();
  EXPECT_EQ(count(noProfiles, "error: file cannot opened."), 76u);
  EXPECT_EQ(count(noProfiles, "successfly updated!"), 20u);
  EXPECT_FALSE(fs::exists(installPath() / "Profiles")) << "only the last component of a folder step is made";
}

TEST_F(InstallProgramTest, AReadOnlyFileKeepsItsContent) {
  makePrefix(std::string(kInstallerKey) + kUserKey);
  const fs::path locked = deviceFolder() / "Pelagon KD.rmt";
  writeFile(locked, "the user's own");
  ::chmod(locked.c_str(), 0444);
  const InstallOutcome run = install();
  EXPECT_EQ(count(run, "Pelagon KD.rmt error: file cannot opened."), 1u);
  EXPECT_EQ(count(run, "successfly updated!"), 95u);
  EXPECT_EQ(readFile(locked), "the user's own");
}

TEST_F(InstallProgramTest, ARegistryExportCanStandInForThePrefixRegistry) {
  makePrefix("");
  const std::string exported =
      std::string("Windows Registry Editor Version 5.00\r\n\r\n") +
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\HaldenCo\\Chromalith\\Installer]\r\n"
      "\"CompanyName\"=\"HaldenCo\"\r\n"
      "\"InstallPath\"=\"C:\\\\Program Files\\\\HaldenCo\\\\\"\r\n\"UserName\"=\"x\"\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\HaldenCo\\Chromalith\\User]\r\n"
      "\"InkConfig\"=\"CMYK\"\r\n\"Language\"=\"English\"\r\n\"Model\"=\"KD\"\r\n";
  writeFile(dir_.file("chromalith.reg"), exported);
  const InstallOutcome run =
      install({"--wine-prefix", prefix().string(), "--registry", dir_.file("chromalith.reg")});
  EXPECT_EQ(count(run, "successfly updated!"), 96u);
}

TEST_F(InstallProgramTest, ListShowsTheManifestAndWritesNothing) {
  makePrefix(std::string(kInstallerKey) + kUserKey);
  const InstallOutcome run = install({"--wine-prefix", prefix().string(), "--list"});
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(run.lines.empty());
  std::istringstream listed(run.out);
  std::vector<std::string> files, folders;
  for (std::string line; std::getline(listed, line);)
    (line.starts_with("[") ? files : folders).push_back(line);
  // Files numbered as the log numbers them, the folder steps between them unnumbered.
  ASSERT_EQ(files.size(), 96u);
  EXPECT_EQ(files.front().rfind("[01]  Chromalith\\Device\\Pelagon KD.bmp  ", 0), 0u) << files.front();
  EXPECT_EQ(files[14].rfind("[15]  Profiles\\Pelagon\\Pelagon CMYKLcLmLk\\", 0), 0u) << files[14];
  EXPECT_EQ(files.back().rfind("[96]  Chromalith\\Device\\Pelagon KD cmk.dsr  ", 0), 0u) << files.back();
  ASSERT_EQ(folders.size(), 5u);
  EXPECT_EQ(folders.front(), "      Profiles\\Pelagon  (folder)");
  EXPECT_NE(
      run.out.find("[14]  Chromalith\\Device\\KDUpdateTest.pmp  184524\n      Profiles\\Pelagon  (folder)\n"),
      std::string::npos);
  EXPECT_EQ(countFiles(installPath()), 0u);
  EXPECT_EQ(install({"--frobnicate"}).status, 2);
}

TEST_F(InstallProgramTest, OutputThatCannotBeWrittenIsReportedWithStatusTwo) {
  makePrefix(std::string(kInstallerKey) + kUserKey);
  for (const char* option : {"--list", "--help", "--version"}) {
    const InstallOutcome printed = install({option}, "/dev/full");
    EXPECT_EQ(printed.status, 2) << option;
    EXPECT_EQ(printed.errors, "pelagon-install: cannot write to standard output: No space left on device\n")
        << option;
  }

  // The files are written all the same; only their lines are lost, and that is said.
  const InstallOutcome run = install({"--wine-prefix", prefix().string(), "--log", "/dev/full"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.errors,
            "pelagon-install: the log file '/dev/full' could not be written: No space left on device\n");
  EXPECT_EQ(countFiles(installPath()), 96u);

  const InstallOutcome fine = install();
  EXPECT_EQ(fine.status, 0);
  EXPECT_EQ(fine.errors, "");
}

TEST_F(InstallProgramTest, VerboseSaysWhatWasTriedWithoutChangingTheLines) {
  // The registry's notes are the lookup's (tests/host); here they reach standard error, and
  // the install path is followed into the prefix.
  const std::string onDriveD =
      "[Software\\\\HaldenCo\\\\Chromalith\\\\Installer] 1700000000\n\"CompanyName\"=\"HaldenCo\"\n"
      "\"InstallPath\"=\"D:\\\\Chromalith\\\\\"\n\"UserName\"=\"x\"\n\n";
  const std::string vendor = "HKEY_LOCAL_MACHINE\\Software\\HaldenCo\\Chromalith";
  struct Case {
    std::string keys;
    std::vector<std::string> notes;
  };
  const Case cases[] = {
      {"",
       {vendor + " (64-bit view): not there",
        "HKEY_CURRENT_USER\\Software\\HaldenCo\\Chromalith (64-bit view): not there"}},
      {onDriveD + kUserKey,
       {"install path D:\\Chromalith\\ is on drive D:, which the Wine prefix " + prefix().string() +
        " does not map (no folder dosdevices/d:)"}},
      {std::string(kInstallerKey) + kUserKey,
       {"registry: Wine prefix " + prefix().string() + " (win64)", vendor + " (64-bit view): found",
        vendor + "\\Installer (64-bit view): read",
        "install path C:\\Program Files\\HaldenCo\\ is " + prefix().string() +
            "/dosdevices/c:/Program Files/HaldenCo/"}},
  };
  for (const Case& c : cases) {
    fs::remove_all(prefix());
    makePrefix(c.keys);
    const InstallOutcome quiet = install();
    EXPECT_EQ(quiet.errors, "") << c.keys;
    const InstallOutcome verbose = install({"--wine-prefix", prefix().string(), "--verbose"});
    EXPECT_EQ(verbose.status, 0);
    for (const std::string& note : c.notes) {
      EXPECT_NE(verbose.errors.find("pelagon-install: " + note + "\n"), std::string::npos) << verbose.errors;
    }
    EXPECT_EQ(verbose.lines, quiet.lines) << c.keys;
  }
}

// Whoever may write into the prefix can plant links in it; a run with more rights than theirs
// must not write through one to a file outside.
TEST_F(InstallProgramTest, LinksOutOfThePrefixAreNotWrittenThrough) {
  const fs::path outside = dir_.path() / "outside";
  struct Case {
    const char* name;
    std::function<void()> plant;
    std::size_t refused;
    std::string note = "";  // what --verbose says of it
  };
  const Case cases[] = {
      {"a payload file linked to a file outside",
       [&] { fs::create_symlink(outside / "passwd", deviceFolder() / "Pelagon KD.dsr"); }, 1},
      {"the profile folder linked to a folder outside",
       [&] { fs::create_directory_symlink(outside, installPath() / "Profiles" / "Pelagon"); }, 76},
      {"drive C: itself led outside",
       [&] {
         fs::copy(prefix() / "drive_c", outside / "drive_c", fs::copy_options::recursive);
         fs::remove(prefix() / "dosdevices" / "c:");
         fs::create_directory_symlink(outside / "drive_c", prefix() / "dosdevices" / "c:");
       },
       96, "drive C: leads out of the Wine prefix, to " + (outside / "drive_c").string()},
      {"a payload file linked inside the prefix, which is followed",
       [&] {
         writeFile(installPath() / "Pelagon KD.dsr", "old");
         fs::create_symlink("../../Pelagon KD.dsr", deviceFolder() / "Pelagon KD.dsr");
       },
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(prefix());
    fs::remove_all(outside);
    makePrefix(std::string(kInstallerKey) + kUserKey);
    fs::create_directories(outside);
    writeFile(outside / "passwd", "root:x:0:0::/root:/bin/sh\n");
    c.plant();
    const auto before = entriesBelow(outside);

    const InstallOutcome run = install({"--wine-prefix", prefix().string(), "--verbose"});
    ASSERT_EQ(run.lines.size(), 96u);
    EXPECT_EQ(count(run, " error: file cannot opened."), c.refused);
    EXPECT_EQ(count(run, " successfly updated!"), 96 - c.refused);
    EXPECT_EQ(entriesBelow(outside), before) << "something outside the prefix was written";
    EXPECT_NE(run.errors.find(c.note), std::string::npos) << run.errors;
  }
  EXPECT_NE(readFile(installPath() / "Pelagon KD.dsr"), "old") << "the link inside is written through";
}

}  // namespace
}  // namespace pelagon::test
