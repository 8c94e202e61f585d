// The installation run, in this process, against a disk that runs out of room part way.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <pelagon/app/install_run.h>
#include <pelagon/payload/payload_catalogue.h>
#include <pelagon/payload/payload_resources.h>
#include <pelagon/platform/debug_output.h>
#include <pelagon/platform/files.h>
#include <pelagon/platform/linux/files_testing.h>
#include <pelagon/platform/linux/registry_store.h>
#include <pelagon/platform/linux/program_resources.h>
#include <pelagon/platform/linux/windows_path.h>
#include "../support/test_support.h"

namespace pelagon::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kInstallerKey = "Software\\HaldenCo\\Chromalith\\Installer";
constexpr const char* kUserKey = "Software\\HaldenCo\\Chromalith\\User";
constexpr const char* kInstallPath = "C:\\Program Files\\HaldenCo\\";

// One payload file as the run takes it.
struct PayloadFile {
  std::string windowsPath;
  fs::path posixPath;
  std::string bytes;
};

class InstallFaultTest : public ::testing::Test {
protected:
  void SetUp() override {
    fs::create_directories(prefix() / "dosdevices");
    fs::create_directories(installPath() / "Chromalith" / "Device");
    fs::create_directories(installPath() / "Profiles");
    fs::create_directory_symlink("../drive_c", prefix() / "dosdevices" / "c:");
    win::UseWinePrefixForDrives(prefix().string());
    win::RegistryStore store(true);
    store.SetString(win::HKEY_LOCAL_MACHINE, kInstallerKey, "CompanyName", "HaldenCo")
        .SetString(win::HKEY_LOCAL_MACHINE, kInstallerKey, "InstallPath", kInstallPath)
        .SetString(win::HKEY_LOCAL_MACHINE, kInstallerKey, "UserName", "Print Room")
        .SetString(win::HKEY_LOCAL_MACHINE, kUserKey, "InkConfig", "CMYK")
        .SetString(win::HKEY_LOCAL_MACHINE, kUserKey, "Language", "English")
        .SetString(win::HKEY_LOCAL_MACHINE, kUserKey, "Model", "KD-640");
    win::UseRegistry(std::move(store));
    win::SetProgramResources(payload::Resources());
    win::SetDebugOutputToBuffer();
    files_ = payloadFiles();
  }

  void TearDown() override {
    win::testing::LimitWrittenBytes(std::nullopt);
    win::SetDebugOutputToDefault();
    win::SetProgramResources({});
    win::UseNoRegistry();
    win::UseDefaultWinePrefixForDrives();
  }

  fs::path prefix() const { return dir_.path() / "prefix"; }
  fs::path installPath() const { return prefix() / "drive_c" / "Program Files" / "HaldenCo"; }

  // The files of the manifest, in the run's order, with the bytes each should receive.
  std::vector<PayloadFile> payloadFiles() const {
    const auto resources = payload::Resources();
    std::vector<PayloadFile> files;
    for (const payload::ManifestEntry& entry : payload::kInstallManifest) {
      if (entry.kind == payload::PayloadKind::Folder) continue;
      const bool inDevice = entry.base == payload::PayloadBase::DeviceFolder;
      std::string relative(entry.relativePath);
      PayloadFile file;
      file.windowsPath = std::string(kInstallPath) + (inDevice ? "Chromalith\\Device\\" : "") + relative;
      std::replace(relative.begin(), relative.end(), '\\', '/');
      file.posixPath = (inDevice ? installPath() / "Chromalith" / "Device" : installPath()) / relative;
      const auto block = std::find_if(resources.begin(), resources.end(),
                                      [&](const win::BinaryResource& r) { return r.id == entry.resourceId; });
      if (block != resources.end())
        file.bytes.assign(reinterpret_cast<const char*>(block->data), block->size);
      files.push_back(std::move(file));
    }
    return files;
  }

  // The run's lines without their CR LF.
  static std::vector<std::string> runWithRoomFor(std::size_t bytes) {
    win::TakeDebugOutput();
    win::testing::LimitWrittenBytes(bytes);
    EXPECT_TRUE(InstallRun());
    win::testing::LimitWrittenBytes(std::nullopt);
    const std::string text = win::TakeDebugOutput();
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end = text.find("\r\n"); end != std::string::npos; end = text.find("\r\n", start)) {
      lines.push_back(text.substr(start, end - start));
      start = end + 2;
    }
    EXPECT_EQ(start, text.size()) << "every line ends with CR LF";
    return lines;
  }

  TempDir dir_;
  std::vector<PayloadFile> files_;
};

// The line number is process-wide, so only its steps of one are checked.
int numberOf(const std::string& line) {
  if (line.size() < 4 || line[0] != '[') return -1;
  return std::stoi(line.substr(1, line.find(']') - 1));
}

TEST_F(InstallFaultTest, EveryFileBeforeTheFullDiskIsWrittenAndEveryLaterOneFailsWithoutATrace) {
  ASSERT_EQ(files_.size(), payload::kPayloadFileCount);
  std::vector<std::size_t> endOf;  // the room taken once each file is written
  std::size_t total = 0;
  for (const PayloadFile& file : files_) {
    ASSERT_FALSE(file.bytes.empty()) << file.windowsPath;
    total += file.bytes.size();
    endOf.push_back(total);
  }

  // No room; room for one byte; exactly the first file, then a byte more; half way into the
  // eleventh, whose part written must not stay; exactly up to a profile in the middle; all
  // but the last byte; exactly all.
  const std::vector<std::size_t> budgets = {
      0, 1, endOf[0], endOf[0] + 1, endOf[9] + files_[10].bytes.size() / 2, endOf[40], total - 1, total};
  for (const std::size_t budget : budgets) {
    SCOPED_TRACE("room for " + std::to_string(budget) + " bytes");
    // Older, longer content at every place, so a failed file cannot pass for a fresh one.
    for (const PayloadFile& file : files_) {
      fs::create_directories(file.posixPath.parent_path());
      writeFile(file.posixPath, std::string(file.bytes.size() + 100, 'o'));
    }
    const std::vector<std::string> lines = runWithRoomFor(budget);
    ASSERT_EQ(lines.size(), files_.size());
    const int first = numberOf(lines[0]);
    for (std::size_t i = 0; i < files_.size(); ++i) {
      const PayloadFile& file = files_[i];
      char number[32];
      std::snprintf(number, sizeof number, "[%02d] ", first + static_cast<int>(i));
      if (endOf[i] <= budget) {
        EXPECT_EQ(lines[i], number + file.windowsPath + " ( " + std::to_string(file.bytes.size()) +
                                " Bytes ) successfly updated!");
        EXPECT_TRUE(fs::exists(file.posixPath) && readFile(file.posixPath) == file.bytes) << file.windowsPath;
      } else {
        EXPECT_EQ(lines[i], number + std::string("error: ") + file.windowsPath + " file io failed.");
        EXPECT_FALSE(fs::exists(file.posixPath)) << "a half-written file stays: " << file.windowsPath;
      }
    }
  }
}

TEST_F(InstallFaultTest, ARunAfterTheDiskHasRoomAgainWritesEverything) {
  runWithRoomFor(files_[0].bytes.size() + 1);
  const std::vector<std::string> lines = runWithRoomFor(SIZE_MAX);
  ASSERT_EQ(lines.size(), files_.size());
  for (std::size_t i = 0; i < files_.size(); ++i) {
    EXPECT_NE(lines[i].find(" successfly updated!"), std::string::npos) << lines[i];
    EXPECT_EQ(readFile(files_[i].posixPath), files_[i].bytes) << files_[i].windowsPath;
  }
}

}  // namespace
}  // namespace pelagon::test
