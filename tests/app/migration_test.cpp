#include <pelagon/app/migration.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <pelagon/platform/linux/registry_store.h>
#include <pelagon/platform/linux/windows_path.h>
#include "../support/test_support.h"

namespace pelagon::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kInstallerKey = "Software\\HaldenCo\\Chromalith\\Installer";
constexpr const char* kInstallPath = "C:\\Program Files\\HaldenCo\\";
// A string id the program's table does not hold.
constexpr unsigned kMissingStringId = 65000;

// A fake Wine prefix (dosdevices/c: -> ../drive_c) holding Chromalith's folders, and a
// registry whose Installer key leads there.
class MigrationTest : public ::testing::Test {
protected:
  void SetUp() override {
    fs::create_directories(prefix() / "dosdevices");
    fs::create_directories(install() / "Profiles");
    fs::create_directories(install() / "Chromalith 1.0" / "Network" / "profiles");
    fs::create_directories(install() / "Chromalith" / "Network");
    fs::create_directory_symlink("../drive_c", prefix() / "dosdevices" / "c:");
    win::UseWinePrefixForDrives(prefix().string());
    useInstallerKey();
  }
  void TearDown() override {
    win::UseNoRegistry();
    win::UseDefaultWinePrefixForDrives();
  }

  static void useInstallerKey() {
    win::RegistryStore store(true);
    store.SetString(win::HKEY_LOCAL_MACHINE, kInstallerKey, "CompanyName", "HaldenCo")
        .SetString(win::HKEY_LOCAL_MACHINE, kInstallerKey, "InstallPath", kInstallPath)
        .SetString(win::HKEY_LOCAL_MACHINE, kInstallerKey, "UserName", "Print Room");
    win::UseRegistry(std::move(store));
  }

  fs::path prefix() const { return dir_.path() / "prefix"; }
  fs::path install() const { return prefix() / "drive_c" / "Program Files" / "HaldenCo"; }
  fs::path profiles() const { return install() / "Profiles"; }
  fs::path oldProfiles() const { return install() / "Chromalith 1.0" / "Network" / "profiles"; }
  fs::path network() const { return install() / "Chromalith" / "Network"; }
  // The Windows path of a folder below the install path.
  static std::string windowsPath(const std::string& relative) { return kInstallPath + relative; }

  static void put(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    writeFile(path, bytes);
  }

  TempDir dir_;
};

TEST(MigrationTextTest, TheTextSplitsAtTheFirstColon) {
  EXPECT_EQ(SplitMigrationText("new.icc:old.icc"), (MigrationText{"new.icc", "old.icc"}));
  EXPECT_EQ(SplitMigrationText("a:b:c"), (MigrationText{"a", "b:c"}));
  EXPECT_EQ(SplitMigrationText("old.icc"), (MigrationText{"", "old.icc"}));
  EXPECT_EQ(SplitMigrationText(":old.icc"), (MigrationText{"", "old.icc"}));
  EXPECT_EQ(SplitMigrationText("new.icc:"), (MigrationText{"new.icc", ""}));
  EXPECT_EQ(SplitMigrationText(""), (MigrationText{"", ""}));
}

TEST_F(MigrationTest, AProfileIsFilledInOnlyWhenMissingAndProfilesWinsOverTheOldFolder) {
  // Already there: left as it is, although both sources exist.
  put(profiles() / "Current.icc", "current");
  put(profiles() / "Moved.icc", "from Profiles");
  put(oldProfiles() / "Moved.icc", "from the old folder");
  MigrateProfileFile("Current.icc:Moved.icc");
  EXPECT_EQ(readFile(profiles() / "Current.icc"), "current");

  MigrateProfileFile("Pelagon\\Both.icc:Moved.icc");
  EXPECT_FALSE(fs::exists(profiles() / "Pelagon" / "Both.icc")) << "a missing folder is not created";
  fs::create_directories(profiles() / "Pelagon");
  MigrateProfileFile("Pelagon\\Both.icc:Moved.icc");
  EXPECT_EQ(readFile(profiles() / "Pelagon" / "Both.icc"), "from Profiles");

  put(oldProfiles() / "OldOnly.icc", "only in the old folder");
  MigrateProfileFile("Taken.icc:OldOnly.icc");
  EXPECT_EQ(readFile(profiles() / "Taken.icc"), "only in the old folder");
  // The source stays where it was.
  EXPECT_EQ(readFile(oldProfiles() / "OldOnly.icc"), "only in the old folder");

  MigrateProfileFile("Nowhere.icc:Absent.icc");
  EXPECT_FALSE(fs::exists(profiles() / "Nowhere.icc"));
  // Without a ':' the target is "Profiles\" itself, which exists.
  MigrateProfileFile("Moved.icc");
  EXPECT_EQ(countFiles(profiles()), 4u);
}

TEST_F(MigrationTest, MigrateNetworkFolderCopiesTheNamedTreeBelowTheInstallPath) {
  put(network() / "Shared" / "README", "no extension");
  put(network() / "Shared" / "queue.xml", "queue");
  put(network() / "Shared" / "Hot Folders" / "in.tif", "image");
  put(network() / "Other" / "unrelated.txt", "other");
  fs::create_directories(install() / "Migrated");
  MigrateNetworkFolder("Migrated:Shared");
  EXPECT_EQ(readFile(install() / "Migrated" / "README"), "no extension");
  EXPECT_EQ(readFile(install() / "Migrated" / "queue.xml"), "queue");
  EXPECT_EQ(readFile(install() / "Migrated" / "Hot Folders" / "in.tif"), "image");
  EXPECT_EQ(countFiles(install() / "Migrated"), 3u);
}

TEST_F(MigrationTest, NothingHappensWithoutTheInstallerKeyOrWithAnUnknownStringId) {
  put(oldProfiles() / "Old.icc", "old");
  put(network() / "Shared" / "queue.xml", "queue");
  fs::create_directories(install() / "Migrated");

  MigrateProfileFile(kMissingStringId);
  MigrateNetworkFolder(kMissingStringId);
  EXPECT_FALSE(fs::exists(install() / "Shared"))
      << "the network folder must not be spread over the install path";
  EXPECT_FALSE(fs::exists(install() / "queue.xml"));

  win::UseNoRegistry();
  MigrateProfileFile("New.icc:Old.icc");
  MigrateNetworkFolder("Migrated:Shared");
  EXPECT_FALSE(fs::exists(profiles() / "New.icc"));
  EXPECT_TRUE(fs::is_empty(install() / "Migrated"));

  // A text without ':' has an empty target: the tree lands in the install folder itself. This
  // is what an unknown id would have done, had it been taken as an empty text.
  useInstallerKey();
  MigrateNetworkFolder("");
  EXPECT_EQ(readFile(install() / "Shared" / "queue.xml"), "queue");
}

TEST_F(MigrationTest, CopyFolderTreeRecreatesEveryLevelAndOverwritesPastFailures) {
  const fs::path source = install() / "Source";
  const fs::path target = install() / "Target";
  put(source / "top.txt", "top");
  put(source / "ro.txt", "new read-only");
  put(source / "Level1" / "one.txt", "one");
  put(source / "Level1" / "Level2" / "two.txt", "two");
  put(target / "top.txt", "stale top");
  put(target / "Level1" / "one.txt", "stale one");
  put(target / "kept.txt", "kept");
  put(target / "ro.txt", "old read-only");
  fs::permissions(target / "ro.txt",
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);

  CopyFolderTree(windowsPath("Source"), windowsPath("Target"), "*");
  EXPECT_EQ(readFile(target / "top.txt"), "top");
  EXPECT_EQ(readFile(target / "Level1" / "one.txt"), "one");
  EXPECT_EQ(readFile(target / "Level1" / "Level2" / "two.txt"), "two");
  EXPECT_EQ(readFile(target / "kept.txt"), "kept");
  // A refused copy is passed over.
  EXPECT_EQ(readFile(target / "ro.txt"), "old read-only");

  // A missing source finds nothing.
  CopyFolderTree(windowsPath("Absent"), windowsPath("Target"), "*");
  EXPECT_EQ(countFiles(target), 5u);
}

TEST_F(MigrationTest, ThePatternChoosesFilesButEverySubfolderIsVisited) {
  const fs::path source = install() / "Source";
  put(source / "a.icc", "a");
  put(source / "a.txt", "no");
  put(source / "docs" / "b.ICC", "b");
  put(source / "docs" / "b.txt", "no");
  put(source / "docs" / "deeper" / "c.txt", "no");
  fs::create_directories(install() / "Target");

  CopyFolderTree(windowsPath("Source"), windowsPath("Target"), "*.icc");
  EXPECT_EQ(readFile(install() / "Target" / "a.icc"), "a");
  EXPECT_EQ(readFile(install() / "Target" / "docs" / "b.ICC"), "b");
  EXPECT_TRUE(fs::is_directory(install() / "Target" / "docs" / "deeper"));
  EXPECT_EQ(countFiles(install() / "Target"), 2u);
}

TEST_F(MigrationTest, AFolderFilesAreCopiedBeforeItsSubfoldersAreVisited) {
  // The target's "sub" leads back to the target, so "sub\same.txt" lands on "same.txt": the
  // copy made last is the one that stays.
  put(install() / "Source" / "same.txt", "from the folder");
  put(install() / "Source" / "sub" / "same.txt", "from the subfolder");
  fs::create_directories(install() / "Target");
  fs::create_directory_symlink(".", install() / "Target" / "sub");

  CopyFolderTree(windowsPath("Source"), windowsPath("Target"), "*");
  EXPECT_EQ(readFile(install() / "Target" / "same.txt"), "from the subfolder");
}

TEST_F(MigrationTest, LinkedFoldersAreNeverEnteredSoALoopEnds) {
  const fs::path source = install() / "Source";
  put(source / "top.txt", "top");
  put(source / "inner" / "file.txt", "file");
  fs::create_directory_symlink("..", source / "inner" / "back");
  fs::create_directory_symlink("../Elsewhere", source / "away");
  put(install() / "Elsewhere" / "outside.txt", "outside");
  // A linked file is copied as the file it leads to.
  fs::create_symlink("top.txt", source / "alias.txt");
  fs::create_directories(install() / "Target");

  CopyFolderTree(windowsPath("Source"), windowsPath("Target"), "*");
  const fs::path target = install() / "Target";
  EXPECT_EQ(readFile(target / "inner" / "file.txt"), "file");
  EXPECT_EQ(readFile(target / "alias.txt"), "top");
  EXPECT_FALSE(fs::is_symlink(target / "alias.txt"));
  EXPECT_FALSE(fs::exists(target / "inner" / "back"));
  EXPECT_FALSE(fs::exists(target / "away"));
  EXPECT_EQ(countFiles(target), 3u);
}

TEST_F(MigrationTest, ATargetInsideTheSourceIsNotCopiedIntoItself) {
  const fs::path source = install() / "Source";
  put(source / "top.txt", "top");
  put(source / "inner" / "file.txt", "file");
  fs::create_directories(source / "Copy");

  CopyFolderTree(windowsPath("Source"), windowsPath("Source\\Copy"), "*");
  EXPECT_EQ(readFile(source / "Copy" / "top.txt"), "top");
  EXPECT_EQ(readFile(source / "Copy" / "inner" / "file.txt"), "file");
  EXPECT_FALSE(fs::exists(source / "Copy" / "Copy"));
  EXPECT_EQ(countFiles(source), 4u);
}

TEST_F(MigrationTest, TheWalkStopsAtTheDepthBound) {
  fs::path deepest = install() / "Source";
  for (std::size_t level = 0; level <= kMaxCopyFolderDepth + 1; ++level) {
    put(deepest / "f", std::to_string(level));
    deepest /= "d";
  }
  fs::create_directories(install() / "Target");

  CopyFolderTree(windowsPath("Source"), windowsPath("Target"), "*");
  fs::path level = install() / "Target";
  for (std::size_t i = 0; i < kMaxCopyFolderDepth; ++i) level /= "d";
  EXPECT_EQ(readFile(level / "f"), std::to_string(kMaxCopyFolderDepth));
  EXPECT_FALSE(fs::exists(level / "d"));
}

}  // namespace
}  // namespace pelagon::test
