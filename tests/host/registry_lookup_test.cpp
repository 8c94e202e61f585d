#include <pelagon/host/registry_lookup.h>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <pelagon/platform/code_page.h>
#include <pelagon/platform/linux/reg_file_parser.h>
#include <pelagon/platform/linux/registry_store.h>
#include "../support/test_support.h"

namespace pelagon {
namespace {

using win::HKEY_CURRENT_USER;
using win::HKEY_LOCAL_MACHINE;
using win::RegistryStore;

constexpr const char* kVendor = "Software\\HaldenCo\\Chromalith";
const std::string kInstaller = std::string(kVendor) + "\\Installer";
const std::string kUser = std::string(kVendor) + "\\User";
// Where a 64-bit Windows keeps the keys of 32-bit programs.
const std::string kInstaller32 = "Software\\Wow6432Node\\HaldenCo\\Chromalith\\Installer";

RegistryStore& addInstaller(RegistryStore& store, win::HKEY hive, const std::string& key = kInstaller) {
  return store.SetString(hive, key, "CompanyName", "HaldenCo")
      .SetString(hive, key, "InstallPath", "C:\\Chromalith\\")
      .SetString(hive, key, "UserName", "Operator");
}

RegistryStore& addUser(RegistryStore& store, win::HKEY hive, const std::string& key = kUser) {
  return store.SetString(hive, key, "InkConfig", "CMYK")
      .SetString(hive, key, "Language", "English")
      .SetString(hive, key, "Model", "KD-1600");
}

// A UTF-16 string value of `units` characters, stored with or without its terminating zero.
std::vector<win::BYTE> utf16Text(std::size_t units, bool terminated) {
  std::u16string text(units, u'p');
  if (terminated) text += u'\0';
  return win::regfile::Utf16LeBytes(text);
}

class RegistryLookupTest : public ::testing::Test {
protected:
  void TearDown() override {
    // Every failure path must close what it opened.
    EXPECT_EQ(win::testing::OpenRegistryKeyCount(), 0u);
    win::testing::HideIsWow64Process(false);
    win::testing::FailIsWow64Process(false);
    win::UseNoRegistry();
    win::SetACP(win::CP_UTF8);
    SetRegistryLookupNotes({});
  }
};

TEST_F(RegistryLookupTest, BothKeysAreReadFromTheNativeViewOfA64BitSystem) {
  RegistryStore store(true);
  addUser(addInstaller(store, HKEY_LOCAL_MACHINE), HKEY_LOCAL_MACHINE);
  // A 32-bit leftover the lookup must not see.
  store.SetString(HKEY_LOCAL_MACHINE, kInstaller32, "InstallPath", "C:\\Stale\\");
  win::UseRegistry(std::move(store));

  bool wow64 = false;
  ASSERT_TRUE(IsWow64(wow64));
  EXPECT_TRUE(wow64);
  EXPECT_EQ(ProbeRegistryRoot(), RegistryRoot::LocalMachine);
  InstallerInfo installer;
  ASSERT_TRUE(ReadInstallerInfo(installer));
  EXPECT_EQ(installer,
            (InstallerInfo{RegistryRoot::LocalMachine, "HaldenCo", "C:\\Chromalith\\", "Operator"}));
  UserSettingsInfo user;
  ASSERT_TRUE(ReadUserSettings(user));
  EXPECT_EQ(user, (UserSettingsInfo{RegistryRoot::LocalMachine, "English", "KD-1600", "CMYK"}));
}

TEST_F(RegistryLookupTest, TheHiveIsChosenByTheVendorKeyAndMachineWins) {
  InstallerInfo installer;
  UserSettingsInfo user;
  EXPECT_EQ(ProbeRegistryRoot(), RegistryRoot::None);
  EXPECT_FALSE(ReadInstallerInfo(installer));
  EXPECT_FALSE(ReadUserSettings(user));
  EXPECT_EQ(user.root, RegistryRoot::None);

  RegistryStore userOnly(true);
  addUser(addInstaller(userOnly, HKEY_CURRENT_USER), HKEY_CURRENT_USER);
  win::UseRegistry(std::move(userOnly));
  EXPECT_EQ(ProbeRegistryRoot(), RegistryRoot::CurrentUser);
  ASSERT_TRUE(ReadInstallerInfo(installer));
  EXPECT_EQ(installer.root, RegistryRoot::CurrentUser);
  EXPECT_EQ(installer.InstallPath, "C:\\Chromalith\\");
  ASSERT_TRUE(ReadUserSettings(user));
  EXPECT_EQ(user.root, RegistryRoot::CurrentUser);

  // The vendor key alone under HKEY_LOCAL_MACHINE sends both readers there, where the
  // Installer and User keys are missing.
  RegistryStore both(true);
  addUser(addInstaller(both, HKEY_CURRENT_USER), HKEY_CURRENT_USER).AddKey(HKEY_LOCAL_MACHINE, kVendor);
  win::UseRegistry(std::move(both));
  EXPECT_EQ(ProbeRegistryRoot(), RegistryRoot::LocalMachine);
  EXPECT_FALSE(ReadInstallerInfo(installer));
  EXPECT_EQ(installer.root, RegistryRoot::LocalMachine);
  EXPECT_FALSE(ReadUserSettings(user));
}

TEST_F(RegistryLookupTest, KeysOnlyInThe32BitViewAreNotSeenUnderWow64) {
  RegistryStore store(true);
  addInstaller(store, HKEY_LOCAL_MACHINE, kInstaller32);
  win::UseRegistry(std::move(store));
  EXPECT_EQ(ProbeRegistryRoot(), RegistryRoot::None);
  InstallerInfo installer;
  EXPECT_FALSE(ReadInstallerInfo(installer));
}

TEST_F(RegistryLookupTest, OnA32BitSystemTheOneViewIsRead) {
  RegistryStore store(false);
  addUser(addInstaller(store, HKEY_LOCAL_MACHINE), HKEY_LOCAL_MACHINE);
  win::UseRegistry(std::move(store));
  bool wow64 = true;
  ASSERT_TRUE(IsWow64(wow64));
  EXPECT_FALSE(wow64);
  InstallerInfo installer;
  EXPECT_TRUE(ReadInstallerInfo(installer));
  UserSettingsInfo user;
  EXPECT_TRUE(ReadUserSettings(user));
}

TEST_F(RegistryLookupTest, WithoutAnAnswerFromIsWow64ProcessTheProbeUsesThe32BitViewAndTheReadersFail) {
  RegistryStore store(true);
  addInstaller(store, HKEY_LOCAL_MACHINE, kInstaller32);
  win::UseRegistry(std::move(store));
  for (int failure = 0; failure < 2; ++failure) {
    win::testing::HideIsWow64Process(failure == 0);
    win::testing::FailIsWow64Process(failure == 1);
    for (bool before : {false, true}) {
      bool wow64 = before;
      EXPECT_FALSE(IsWow64(wow64));
      EXPECT_EQ(wow64, before);
    }
    EXPECT_EQ(ProbeRegistryRoot(), RegistryRoot::LocalMachine);
    InstallerInfo installer;
    EXPECT_FALSE(ReadInstallerInfo(installer));
    EXPECT_EQ(installer.root, RegistryRoot::LocalMachine);
    EXPECT_EQ(installer.CompanyName, "");
  }
}

TEST_F(RegistryLookupTest, TheInstallerKeyTakesOnlyRegSzAndStopsAtTheFirstBadValue) {
  RegistryStore store(true);
  addInstaller(store, HKEY_LOCAL_MACHINE)
      .SetString(HKEY_LOCAL_MACHINE, kInstaller, "InstallPath", "%ProgramFiles%\\Chromalith\\",
                 win::REG_EXPAND_SZ)
      .SetString(HKEY_LOCAL_MACHINE, kInstaller, "UserName", "Later");
  win::UseRegistry(std::move(store));
  InstallerInfo installer;
  EXPECT_FALSE(ReadInstallerInfo(installer));
  EXPECT_EQ(installer.CompanyName, "HaldenCo");
  EXPECT_EQ(installer.InstallPath, "");
  EXPECT_EQ(installer.UserName, "");

  RegistryStore missing(true);
  missing.SetString(HKEY_LOCAL_MACHINE, kInstaller, "companyname", "HaldenCo")
      .SetString(HKEY_LOCAL_MACHINE, kInstaller, "INSTALLPATH", "C:\\Chromalith\\");
  win::UseRegistry(std::move(missing));
  EXPECT_FALSE(ReadInstallerInfo(installer));
  EXPECT_EQ(installer.InstallPath, "C:\\Chromalith\\");
}

TEST_F(RegistryLookupTest, TheUserKeyTakesAnyTypeAsTextUpToTheFirstZero) {
  const win::BYTE shortBinary[] = {'E', 'N'};
  RegistryStore store(true);
  store
      .SetString(HKEY_LOCAL_MACHINE, kUser, "InkConfig", "CMYKLcLmOrGrWhite")
      // Shorter than the value before it and without a zero: nothing of InkConfig may show.
      .SetBinary(HKEY_LOCAL_MACHINE, kUser, "Language", win::REG_BINARY, shortBinary)
      .SetDword(HKEY_LOCAL_MACHINE, kUser, "Model", 0x00004B44);
  win::UseRegistry(std::move(store));
  UserSettingsInfo user;
  ASSERT_TRUE(ReadUserSettings(user));
  EXPECT_EQ(user.InkConfig, "CMYKLcLmOrGrWhite");
  EXPECT_EQ(user.Language, "EN");
  EXPECT_EQ(user.Model, "DK");

  const win::BYTE embedded[] = {'a', 0, 'b', 0, 0, 0, 'c', 0, 0, 0};
  RegistryStore incomplete(true);
  incomplete.SetBinary(HKEY_LOCAL_MACHINE, kUser, "InkConfig", win::REG_SZ, embedded)
      .SetDword(HKEY_LOCAL_MACHINE, kUser, "Model", 0);
  win::UseRegistry(std::move(incomplete));
  UserSettingsInfo partial;
  EXPECT_FALSE(ReadUserSettings(partial));
  EXPECT_EQ(partial.InkConfig, "ab");
  EXPECT_EQ(partial.Language, "");
}

// The value buffer holds 1024 bytes and the text needs a zero after the data.
TEST_F(RegistryLookupTest, ValuesMustLeaveRoomForTheTerminatingZero) {
  struct Case {
    std::vector<win::BYTE> data;
    bool accepted;
    std::size_t length;
  };
  const Case cases[] = {
      {utf16Text(1022, true), true, 1022},   // 1023 bytes
      {utf16Text(1023, false), true, 1023},  // 1023 bytes, no zero of its own
      {utf16Text(1023, true), false, 0},     // 1024 bytes
      {utf16Text(1024, false), false, 0},    // 1024 bytes, no zero
      {utf16Text(1024, true), false, 0},     // 1025 bytes
      {utf16Text(5000, true), false, 0},
  };
  for (const Case& c : cases) {
    RegistryStore store(true);
    addInstaller(store, HKEY_LOCAL_MACHINE)
        .SetBinary(HKEY_LOCAL_MACHINE, kInstaller, "InstallPath", win::REG_SZ, c.data);
    win::UseRegistry(std::move(store));
    InstallerInfo installer;
    EXPECT_EQ(ReadInstallerInfo(installer), c.accepted) << c.data.size() / 2;
    if (c.accepted) {
      EXPECT_EQ(installer.InstallPath, std::string(c.length, 'p'));
    }
  }

  // The limit counts the bytes in the ANSI code page, not characters: 511 'é' are 1022
  // bytes in UTF-8, 512 are 1024.
  for (std::size_t count : {511u, 512u}) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) text += "\xC3\xA9";
    RegistryStore store(true);
    addInstaller(store, HKEY_LOCAL_MACHINE).SetString(HKEY_LOCAL_MACHINE, kInstaller, "UserName", text);
    win::UseRegistry(std::move(store));
    InstallerInfo installer;
    EXPECT_EQ(ReadInstallerInfo(installer), count == 511) << count;
  }
}

TEST_F(RegistryLookupTest, KeyAndValueNamesMatchRegardlessOfLetterCase) {
  RegistryStore store(true);
  store.SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\haldenco\\CHROMALITH\\installer", "companyNAME", "H")
      .SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\haldenco\\CHROMALITH\\installer", "INSTALLPATH", "C:\\")
      .SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\haldenco\\CHROMALITH\\installer", "username", "U");
  win::UseRegistry(std::move(store));
  InstallerInfo installer;
  ASSERT_TRUE(ReadInstallerInfo(installer));
  EXPECT_EQ(installer, (InstallerInfo{RegistryRoot::LocalMachine, "H", "C:\\", "U"}));
}

TEST_F(RegistryLookupTest, AWinePrefixAndARegExportAreReadEndToEnd) {
  const auto prefix = win::UseRegistryFromWinePrefix((test::dataDir() / "registry" / "wine64").string());
  ASSERT_TRUE(prefix) << prefix.error;
  InstallerInfo installer;
  ASSERT_TRUE(ReadInstallerInfo(installer));
  EXPECT_EQ(installer.InstallPath, "C:\\Program Files\\HaldenCo\\Chromalith 9\\");
  EXPECT_EQ(installer.UserName, "Caf\xC3\xA9 \"Atelier\"");
  UserSettingsInfo user;
  ASSERT_TRUE(ReadUserSettings(user));
  // user.reg holds other settings, but the machine's vendor key wins.
  EXPECT_EQ(user, (UserSettingsInfo{RegistryRoot::LocalMachine, "English", "KD-1600", "CMYKLcLm"}));

  ASSERT_TRUE(win::SetACP(1252));
  const auto exported =
      win::UseRegistryFromRegFile((test::dataDir() / "registry" / "chromalith_export_utf16.reg").string());
  ASSERT_TRUE(exported) << exported.error;
  ASSERT_TRUE(ReadInstallerInfo(installer));
  EXPECT_EQ(installer, (InstallerInfo{RegistryRoot::LocalMachine, "HaldenCo", "D:\\Chromalith\\",
                                      "Zo\xEB \xC5ngstr\xF6m"}));
  ASSERT_TRUE(ReadUserSettings(user));
  EXPECT_EQ(user, (UserSettingsInfo{RegistryRoot::LocalMachine, "Deutsch", "KD-1600", "CMYKOG"}));
}

TEST_F(RegistryLookupTest, NotesSayWhichHiveViewKeyAndValueWereTriedAndWhatEndedTheRead) {
  const std::string vendor64 = "HKEY_LOCAL_MACHINE\\Software\\HaldenCo\\Chromalith (64-bit view)";
  const std::string installer64 = "HKEY_LOCAL_MACHINE\\" + kInstaller + " (64-bit view)";
  // The installer key with an install path of `units` UTF-16 units.
  const auto installPathOf = [](std::size_t units, bool terminated) {
    return [=](RegistryStore& store) {
      addInstaller(store, HKEY_LOCAL_MACHINE)
          .SetBinary(HKEY_LOCAL_MACHINE, kInstaller, "InstallPath", win::REG_SZ,
                     utf16Text(units, terminated));
    };
  };
  struct Case {
    const char* name;
    std::function<void(RegistryStore&)> fill;
    std::vector<std::string> notes;
    bool read = false;
    bool user = false;  // ReadUserSettings, else ReadInstallerInfo
  };
  const Case cases[] = {
      {"no vendor key",
       [](RegistryStore&) {},
       {vendor64 + ": not there",
        "HKEY_CURRENT_USER\\Software\\HaldenCo\\Chromalith (64-bit view): not there"}},
      {"the user's hive of a 32-bit system",
       [](RegistryStore& store) { addInstaller(store, HKEY_CURRENT_USER).SetIs64BitSystem(false); },
       {"HKEY_LOCAL_MACHINE\\Software\\HaldenCo\\Chromalith (32-bit view): not there",
        "HKEY_CURRENT_USER\\Software\\HaldenCo\\Chromalith (32-bit view): found",
        "HKEY_CURRENT_USER\\" + kInstaller + " (32-bit view): read"},
       true},
      {"the vendor key alone",
       [](RegistryStore& store) { store.AddKey(HKEY_LOCAL_MACHINE, kVendor); },
       {vendor64 + ": found", installer64 + ": not there"}},
      {"a value of the wrong type",
       [](RegistryStore& store) {
         addInstaller(store, HKEY_LOCAL_MACHINE).SetDword(HKEY_LOCAL_MACHINE, kInstaller, "UserName", 7);
       },
       {vendor64 + ": found", installer64 + ": value \"UserName\" is REG_DWORD, not REG_SZ"}},
      {"a value filling the buffer",
       installPathOf(1024, false),
       {vendor64 + ": found",
        installer64 + ": value \"InstallPath\" holds 1024 bytes, more than the 1023 read"}},
      {"a value larger than the buffer",
       installPathOf(1999, true),
       {vendor64 + ": found",
        installer64 + ": value \"InstallPath\" holds 2000 bytes, more than the 1023 read"}},
      {"a missing value of the User key, which takes any type",
       [](RegistryStore& store) {
         store.SetDword(HKEY_LOCAL_MACHINE, kUser, "InkConfig", 1)
             .SetDword(HKEY_LOCAL_MACHINE, kUser, "Language", 2);
       },
       {vendor64 + ": found", "HKEY_LOCAL_MACHINE\\" + kUser + " (64-bit view): no value \"Model\""},
       false,
       true},
      // Last, as it stays hidden: the probe goes on in the 32-bit view, the readers stop.
      {"IsWow64Process not there",
       [](RegistryStore& store) {
         addInstaller(store, HKEY_LOCAL_MACHINE, kInstaller32);
         win::testing::HideIsWow64Process(true);
       },
       {"HKEY_LOCAL_MACHINE\\Software\\HaldenCo\\Chromalith (32-bit view): found",
        "IsWow64Process cannot be asked, so " + kInstaller + " is not read"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RegistryStore store(true);
    c.fill(store);
    win::UseRegistry(std::move(store));
    std::vector<std::string> notes;
    SetRegistryLookupNotes([&notes](const std::string& note) { notes.push_back(note); });
    InstallerInfo installer;
    UserSettingsInfo user;
    EXPECT_EQ(c.user ? ReadUserSettings(user) : ReadInstallerInfo(installer), c.read);
    EXPECT_EQ(notes, c.notes);
  }
}

// Fake server folders as a running wineserver keeps them, below a folder of the test's own:
// Wine's .wine-<uid>, and the wine-XXXXXX of Debian's Wine.
TEST(WineServerTest, TheServerFolderNamedForThePrefixTellsWhetherOneRuns) {
  namespace fs = std::filesystem;
  const test::TempDir dir;
  const fs::path prefix = dir.path() / "prefix";
  const fs::path other = dir.path() / "other";
  fs::create_directories(prefix);
  fs::create_directories(other);
  struct stat st {};
  ASSERT_EQ(::stat(prefix.c_str(), &st), 0);
  char name[64];
  std::snprintf(name, sizeof name, "server-%llx-%llx", static_cast<unsigned long long>(st.st_dev),
                static_cast<unsigned long long>(st.st_ino));
  const fs::path base = dir.path() / "tmp";
  const auto state = [&](const fs::path& of) { return win::WineServerStateOf(of.string(), base.string()); };

  for (const std::string& folder : {".wine-" + std::to_string(st.st_uid), std::string("wine-Ab3xYz")}) {
    SCOPED_TRACE(folder);
    fs::remove_all(base);
    EXPECT_EQ(state(prefix), win::WineServerState::NotRunning);
    const fs::path server = base / folder / name;
    fs::create_directories(server);
    test::writeFile(server / "socket", "");
    EXPECT_EQ(state(prefix), win::WineServerState::Unknown) << "a socket without a lock file";
    test::writeFile(server / "lock", "");
    EXPECT_EQ(state(prefix), win::WineServerState::NotRunning) << "a lock file nobody holds";

    const int fd = ::open((server / "lock").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_len = 1;
    ASSERT_EQ(::fcntl(fd, F_SETLK, &lock), 0);
    EXPECT_EQ(state(prefix), win::WineServerState::Running);
    EXPECT_EQ(state(other), win::WineServerState::NotRunning)
        << "another prefix has a server folder of its own";
    ::close(fd);
    EXPECT_EQ(state(prefix), win::WineServerState::NotRunning);
  }
}

}  // namespace
}  // namespace pelagon
