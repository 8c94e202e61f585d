// pelagon-install run as a program against Wine-prefix-shaped folders.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
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

  InstallOutcome install(std::vector<std::string> args = {}) {
    if (args.empty()) args = {"--wine-prefix", prefix().string()};
    std::string command = quoted(PELAGON_INSTALL_PROGRAM);
    for (const std::string& arg : args) command.append(" ").append(quoted(arg));
    const std::string log = dir_.file("log.txt");
    fs::remove(log);
    command += " --log " + quoted(log);
    InstallOutcome run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    std::array<char, 4096> buffer{};
    std::size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) run.out.append(buffer.data(), n);
    const int raw = ::pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
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

  static std::size_t countFiles(const fs::path& root) {
    std::size_t n = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root)) n += entry.is_regular_file();
    return n;
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
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 101);
  EXPECT_NE(run.out.find("101  Chromalith\\Device\\Pelagon KD cmk.dsr  "), std::string::npos) << run.out;
  EXPECT_EQ(countFiles(installPath()), 0u);
  EXPECT_EQ(install({"--frobnicate"}).status, 2);
}

}  // namespace
}  // namespace pelagon::test
