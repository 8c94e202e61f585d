#include <pelagon/platform/linux/registry_store.h>

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <optional>
#include <string>

#include <pelagon/platform/code_page.h>
#include <pelagon/platform/linux/reg_file_parser.h>
#include "../support/test_support.h"

namespace win {
namespace {

using namespace std::string_literals;

using pelagon::test::TempDir;
using pelagon::test::writeFile;

struct Query {
  LSTATUS status = 0;
  DWORD type = REG_NONE;
  std::string data;
};

LSTATUS openStatus(HKEY root, const char* path, REGSAM desired = KEY_READ) {
  UniqueHKey key;
  return RegOpenKeyExA(root, path, 0, desired, key.put());
}

// Opens the key, asks for the size, then reads the value into a buffer of exactly that size.
Query query(HKEY root, const char* path, const char* name, REGSAM desired = KEY_READ) {
  UniqueHKey key;
  Query result;
  result.status = RegOpenKeyExA(root, path, 0, desired, key.put());
  if (result.status != ERROR_SUCCESS) return result;
  DWORD size = 0;
  result.status = RegQueryValueExA(key.get(), name, nullptr, &result.type, nullptr, &size);
  if (result.status != ERROR_SUCCESS) return result;
  result.data.assign(size, '\x7f');
  result.status = RegQueryValueExA(key.get(), name, nullptr, &result.type,
                                   reinterpret_cast<BYTE*>(result.data.data()), &size);
  result.data.resize(size);
  return result;
}

// Text as a string value holds it, with its terminating zero.
std::string withZero(std::string_view text) { return std::string(text) + '\0'; }

std::string utf16le(std::u16string_view text) {
  const auto bytes = regfile::Utf16LeBytes(text);
  return "\xFF\xFE" + std::string(bytes.begin(), bytes.end());
}

// Sets or clears an environment variable for a scope.
class ScopedEnv {
public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
  const char* name_;
  std::optional<std::string> old_;
};

class RegistryTest : public ::testing::Test {
protected:
  void TearDown() override {
    EXPECT_EQ(testing::OpenRegistryKeyCount(), 0u) << "a key was left open";
    testing::HideIsWow64Process(false);
    testing::FailIsWow64Process(false);
    UseNoRegistry();
    SetACP(CP_UTF8);
  }
};

// ---- Keys, values and sizes ----

TEST_F(RegistryTest, NamesMatchRegardlessOfLetterCase) {
  UseRegistry(std::move(RegistryStore(false)
                            .SetString(HKEY_CURRENT_USER, "Software\\Caf\xC3\xA9\\Inks", "Model", "KD")
                            .SetString(HKEY_CURRENT_USER, "Software\\Caf\xC3\xA9\\Inks", "", "default")));
  EXPECT_EQ(query(HKEY_CURRENT_USER, "SOFTWARE\\CAF\xC3\x89\\inks", "mODEL").data, std::string("KD\0", 3));
  EXPECT_EQ(query(HKEY_CURRENT_USER, "software\\caf\xC3\xA9\\INKS\\", nullptr).data,
            std::string("default\0", 8));
  EXPECT_EQ(query(HKEY_CURRENT_USER, "Software\\Cafe\\Inks", "Model").status, LSTATUS(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(query(HKEY_CURRENT_USER, "Software\\Caf\xC3\xA9\\Inks", "Modell").status,
            LSTATUS(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(openStatus(HKEY_CURRENT_USER, "Software\\\\Inks"), LSTATUS(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(openStatus(HKEY_CURRENT_USER, "\\Software"), LSTATUS(ERROR_BAD_PATHNAME));
}

TEST_F(RegistryTest, QueryReportsTheSizeNeededAndLeavesASmallBufferAlone) {
  UseRegistry(std::move(RegistryStore()
                            .SetString(HKEY_CURRENT_USER, "K", "V", "abcd")
                            .SetDword(HKEY_CURRENT_USER, "K", "D", 0x01020304)));
  UniqueHKey key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "K", 0, KEY_READ, key.put()), LSTATUS(ERROR_SUCCESS));

  char buffer[8] = "xxxxxxx";
  DWORD type = 0, size = 4;
  EXPECT_EQ(RegQueryValueExA(key.get(), "V", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
            LSTATUS(ERROR_MORE_DATA));
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_STREQ(buffer, "xxxxxxx");

  size = 5;
  EXPECT_EQ(RegQueryValueExA(key.get(), "V", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
            LSTATUS(ERROR_SUCCESS));
  EXPECT_EQ(size, 5u);
  EXPECT_STREQ(buffer, "abcd");

  size = sizeof buffer;
  EXPECT_EQ(RegQueryValueExA(key.get(), "D", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
            LSTATUS(ERROR_SUCCESS));
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(std::string(buffer, size), "\x04\x03\x02\x01");

  DWORD reserved = 0;
  EXPECT_EQ(RegQueryValueExA(key.get(), "V", &reserved, nullptr, nullptr, nullptr),
            LSTATUS(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(RegQueryValueExA(key.get(), "V", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), nullptr),
            LSTATUS(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(RegQueryValueExA(key.get(), "V", nullptr, nullptr, nullptr, nullptr), LSTATUS(ERROR_SUCCESS));
}

TEST_F(RegistryTest, StringsComeInTheAnsiCodePageAndOtherTypesAsBytes) {
  const BYTE multi[] = {'a', 0, 0, 0, 0xE9, 0, 0, 0, 0, 0};
  const BYTE loneSurrogate[] = {'x', 0, 0x00, 0xD8, 0, 0};
  UseRegistry(std::move(RegistryStore()
                            .SetString(HKEY_CURRENT_USER, "K", "S", "Caf\xC3\xA9")
                            .SetBinary(HKEY_CURRENT_USER, "K", "M", REG_MULTI_SZ, multi)
                            .SetBinary(HKEY_CURRENT_USER, "K", "Bin", REG_BINARY, multi)
                            .SetBinary(HKEY_CURRENT_USER, "K", "Bad", REG_SZ, loneSurrogate)));
  EXPECT_EQ(query(HKEY_CURRENT_USER, "K", "S").data, std::string("Caf\xC3\xA9\0", 6));
  EXPECT_EQ(query(HKEY_CURRENT_USER, "K", "Bin").data, std::string(reinterpret_cast<const char*>(multi), 10));
  ASSERT_TRUE(SetACP(1252));
  EXPECT_EQ(query(HKEY_CURRENT_USER, "K", "S").data, std::string("Caf\xE9\0", 5));
  EXPECT_EQ(query(HKEY_CURRENT_USER, "K", "M").data, std::string("a\0\xE9\0\0", 5));
  EXPECT_EQ(query(HKEY_CURRENT_USER, "K", "Bad").data, std::string("x?\0", 3));
}

TEST_F(RegistryTest, HandlesAreCheckedAndTheStoreIsReadOnly) {
  UseRegistry(std::move(RegistryStore().SetString(HKEY_CURRENT_USER, "A\\B", "V", "v")));
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "A", 0, KEY_READ, nullptr), LSTATUS(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(openStatus(HKEY_CURRENT_USER, "A", KEY_ALL_ACCESS), LSTATUS(ERROR_ACCESS_DENIED));
  EXPECT_EQ(openStatus(HKEY_CURRENT_USER, "A", KEY_READ | KEY_SET_VALUE), LSTATUS(ERROR_ACCESS_DENIED));
  EXPECT_EQ(openStatus(HKEY_CURRENT_USER, "Missing", KEY_WRITE), LSTATUS(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(query(HKEY_CURRENT_USER, "A\\B", "V", 0).status, LSTATUS(ERROR_ACCESS_DENIED));
  EXPECT_EQ(query(HKEY_CURRENT_USER, "A\\B", "V", GENERIC_READ).status, LSTATUS(ERROR_SUCCESS));

  HKEY a = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "a", 0, KEY_READ, &a), LSTATUS(ERROR_SUCCESS));
  EXPECT_EQ(query(a, "b", "v").data, std::string("v\0", 2));
  // A key stays readable while open, even after the process chooses another store.
  UseNoRegistry();
  EXPECT_EQ(query(a, "b", "v").data, std::string("v\0", 2));
  EXPECT_EQ(query(HKEY_CURRENT_USER, "A\\B", "V").status, LSTATUS(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(RegCloseKey(a), LSTATUS(ERROR_SUCCESS));
  EXPECT_EQ(RegCloseKey(a), LSTATUS(ERROR_INVALID_HANDLE));
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(a, "v", nullptr, nullptr, nullptr, &size), LSTATUS(ERROR_INVALID_HANDLE));
  EXPECT_EQ(openStatus(a, "b"), LSTATUS(ERROR_INVALID_HANDLE));
  EXPECT_EQ(RegCloseKey(nullptr), LSTATUS(ERROR_INVALID_HANDLE));
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), LSTATUS(ERROR_SUCCESS));
}

TEST_F(RegistryTest, TheBuilderRefusesWhatTheRegistryCannotHold) {
  RegistryStore store;
  EXPECT_THROW(store.AddKey(HKEY_CURRENT_USER, "A\\\\B"), std::invalid_argument);
  EXPECT_THROW(store.AddKey(HKEY_CURRENT_USER, std::string(256, 'k')), std::invalid_argument);
  EXPECT_THROW(store.AddKey(nullptr, "A"), std::invalid_argument);
  EXPECT_THROW(store.SetDword(HKEY_CURRENT_USER, "A", std::string("a\0b", 3), 1), std::invalid_argument);
  EXPECT_NO_THROW(store.AddKey(HKEY_CURRENT_USER, std::string(255, 'k')));
}

// ---- Views ----

TEST_F(RegistryTest, AProcessUnderWow64SeesWow6432NodeUnlessItAsksForTheNativeView) {
  UseRegistry(std::move(RegistryStore(true)
                            .SetString(HKEY_LOCAL_MACHINE, "Software\\Native", "V", "64")
                            .SetString(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Old", "V", "32")
                            .SetString(HKEY_LOCAL_MACHINE, "System\\Setup", "V", "sys")
                            .SetString(HKEY_CURRENT_USER, "Software\\Shared", "V", "cu")));
  BOOL wow64 = 0;
  ASSERT_NE(IsWow64Process(GetCurrentProcess(), &wow64), 0);
  EXPECT_NE(wow64, 0);

  constexpr REGSAM k64 = KEY_READ | KEY_WOW64_64KEY, k32 = KEY_READ | KEY_WOW64_32KEY;
  const struct {
    HKEY root;
    const char* path;
    REGSAM desired;
    LSTATUS status;
  } opens[] = {
      {HKEY_LOCAL_MACHINE, "Software\\Native", KEY_READ, ERROR_FILE_NOT_FOUND},
      {HKEY_LOCAL_MACHINE, "Software\\Native", k64, ERROR_SUCCESS},
      {HKEY_LOCAL_MACHINE, "Software\\Old", KEY_READ, ERROR_SUCCESS},
      {HKEY_LOCAL_MACHINE, "Software\\Old", k32, ERROR_SUCCESS},
      {HKEY_LOCAL_MACHINE, "Software\\Old", k64, ERROR_FILE_NOT_FOUND},
      {HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Old", k64, ERROR_SUCCESS},
      {HKEY_LOCAL_MACHINE, "System\\Setup", KEY_READ, ERROR_SUCCESS},
      {HKEY_CURRENT_USER, "Software\\Shared", k32, ERROR_SUCCESS},
      {HKEY_CURRENT_USER, "Software\\Shared", k64, ERROR_SUCCESS},
      {HKEY_CURRENT_USER, "Software\\Shared", k64 | KEY_WOW64_32KEY, ERROR_INVALID_PARAMETER},
  };
  for (const auto& entry : opens) {
    EXPECT_EQ(openStatus(entry.root, entry.path, entry.desired), entry.status)
        << entry.path << " " << entry.desired;
  }

  // The view applies to the whole path, also when opening below an open key.
  UniqueHKey software;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ | KEY_WOW64_64KEY, software.put()),
            LSTATUS(ERROR_SUCCESS));
  EXPECT_EQ(openStatus(software.get(), "Native", KEY_READ | KEY_WOW64_64KEY), LSTATUS(ERROR_SUCCESS));
  EXPECT_EQ(openStatus(software.get(), "Old"), LSTATUS(ERROR_SUCCESS));
}

TEST_F(RegistryTest, OnA32BitSystemThereIsOneViewAndBothFlagsAreIgnored) {
  UseRegistry(std::move(RegistryStore(false)
                            .SetString(HKEY_LOCAL_MACHINE, "Software\\App", "V", "x")
                            .AddKey(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Old")));
  BOOL wow64 = 1;
  ASSERT_NE(IsWow64Process(GetCurrentProcess(), &wow64), 0);
  EXPECT_EQ(wow64, 0);
  for (REGSAM view : {REGSAM{0}, KEY_WOW64_32KEY, KEY_WOW64_64KEY, KEY_WOW64_32KEY | KEY_WOW64_64KEY}) {
    EXPECT_EQ(openStatus(HKEY_LOCAL_MACHINE, "Software\\App", KEY_READ | view), LSTATUS(ERROR_SUCCESS));
    EXPECT_EQ(openStatus(HKEY_LOCAL_MACHINE, "Software\\Old", KEY_READ | view),
              LSTATUS(ERROR_FILE_NOT_FOUND));
  }
}

TEST_F(RegistryTest, ClassesRootIsTheMachinesClassesWithTheComKeysRedirected) {
  const char* server = "CLSID\\{88d969c0-f192-11d4-a65f-0040963251e5}\\InProcServer32";
  UseRegistry(
      std::move(RegistryStore(true)
                    .SetString(HKEY_CLASSES_ROOT, server, "", "C:\\x64\\core.dll")
                    // Windows' other spelling of Classes\Wow6432Node
                    .SetString(HKEY_LOCAL_MACHINE, std::string("Software\\Wow6432Node\\Classes\\") + server,
                               "", "%SystemRoot%\\core.dll", REG_EXPAND_SZ)
                    .SetString(HKEY_LOCAL_MACHINE, "Software\\Classes\\.dsr", "", "DeviceSeries")));
  const Query redirected = query(HKEY_CLASSES_ROOT, server, "");
  EXPECT_EQ(redirected.type, REG_EXPAND_SZ);
  EXPECT_EQ(redirected.data, std::string("%SystemRoot%\\core.dll\0", 22));
  EXPECT_EQ(query(HKEY_CLASSES_ROOT, server, "", KEY_READ | KEY_WOW64_64KEY).data,
            std::string("C:\\x64\\core.dll\0", 16));
  EXPECT_EQ(query(HKEY_LOCAL_MACHINE, (std::string("Software\\Classes\\") + server).c_str(), "").type,
            REG_EXPAND_SZ);
  EXPECT_EQ(query(HKEY_CLASSES_ROOT, ".dsr", nullptr).data, std::string("DeviceSeries\0", 13));
}

TEST_F(RegistryTest, IsWow64ProcessIsFoundInKernel32Only) {
  EXPECT_NE(GetModuleHandleA("KERNEL32.DLL"), nullptr);
  EXPECT_NE(GetModuleHandleA(nullptr), nullptr);
  EXPECT_EQ(GetModuleHandleA("user32"), nullptr);
  EXPECT_EQ(GetProcAddress(GetModuleHandleA("user32"), "IsWow64Process"), nullptr);
  EXPECT_EQ(GetProcAddress(GetModuleHandleA(nullptr), "IsWow64Process"), nullptr);
  EXPECT_EQ(GetProcAddress(GetModuleHandleA("kernel32"), "isWow64Process"), nullptr);
  EXPECT_NE(GetProcAddress(GetModuleHandleA("kernel32"), "IsWow64Process"), nullptr);
  EXPECT_EQ(GetProcAddress(GetModuleHandleA("kernel32"), reinterpret_cast<const char*>(std::uintptr_t{5})),
            nullptr);

  testing::HideIsWow64Process(true);
  EXPECT_EQ(GetProcAddress(GetModuleHandleA("kernel32"), "IsWow64Process"), nullptr);
  testing::HideIsWow64Process(false);

  BOOL wow64 = 7;
  EXPECT_EQ(IsWow64Process(nullptr, &wow64), 0);
  EXPECT_EQ(IsWow64Process(GetCurrentProcess(), nullptr), 0);
  testing::FailIsWow64Process(true);
  EXPECT_EQ(IsWow64Process(GetCurrentProcess(), &wow64), 0);
  EXPECT_EQ(wow64, 7);
}

// ---- Wine prefixes ----

TEST_F(RegistryTest, AWin64PrefixIsReadWithItsEscapesViewsAndLinks) {
  const auto result = UseRegistryFromWinePrefix((pelagon::test::dataDir() / "registry" / "wine64").string());
  ASSERT_TRUE(result) << result.error;
  EXPECT_EQ(result.skippedCount, 0u) << (result.skipped.empty() ? "" : result.skipped.front());
  BOOL wow64 = 0;
  ASSERT_NE(IsWow64Process(GetCurrentProcess(), &wow64), 0);
  EXPECT_NE(wow64, 0);

  const REGSAM native = KEY_READ | KEY_WOW64_64KEY;
  const char* installer = "Software\\HaldenCo\\Chromalith\\Installer";
  EXPECT_EQ(query(HKEY_LOCAL_MACHINE, installer, "InstallPath", native).data,
            std::string("C:\\Program Files\\HaldenCo\\Chromalith 9\\\0", 40));
  EXPECT_EQ(query(HKEY_LOCAL_MACHINE, installer, "UserName", native).data,
            withZero("Caf\xC3\xA9 \"Atelier\""));
  EXPECT_EQ(query(HKEY_LOCAL_MACHINE, installer, "InstallPath").data,
            std::string("C:\\Program Files (x86)\\HaldenCo\\Stale\\\0", 39));
  const char* user = "Software\\HaldenCo\\Chromalith\\User";
  const Query notes = query(HKEY_LOCAL_MACHINE, user, "Notes", native);
  EXPECT_EQ(notes.type, REG_BINARY);
  ASSERT_EQ(notes.data.size(), 27u);
  EXPECT_EQ(notes.data[26], '\x1a');
  EXPECT_EQ(query(HKEY_LOCAL_MACHINE, user, "Recent", native).data, std::string("a\0b\0\0", 5));
  EXPECT_EQ(query(HKEY_CURRENT_USER, user, "Language").data, std::string("Fran\xC3\xA7"
                                                                         "ais\0",
                                                                         10));

  const char* server = "CLSID\\{88d969c0-f192-11d4-a65f-0040963251e5}\\InProcServer32";
  EXPECT_EQ(query(HKEY_CLASSES_ROOT, server, nullptr).type, REG_EXPAND_SZ);
  EXPECT_EQ(query(HKEY_CLASSES_ROOT, server, "ThreadingModel", native).data, std::string("Both\0", 5));
  // Link keys carry no values of their own, and the store keeps none but its own path rule.
  EXPECT_EQ(query(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Classes", "SymbolicLinkValue", native).status,
            LSTATUS(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(openStatus(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet"), LSTATUS(ERROR_FILE_NOT_FOUND));
}

TEST_F(RegistryTest, PrefixArchitectureAndRefusals) {
  TempDir dir;
  const std::string header = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n";
  writeFile(dir.path() / "system.reg", header + "#arch=win32\n\n[Software\\\\App] 1\n\"V\"=\"x\"\n");
  ASSERT_TRUE(UseRegistryFromWinePrefix(dir.path().string()));
  BOOL wow64 = 1;
  ASSERT_NE(IsWow64Process(GetCurrentProcess(), &wow64), 0);
  EXPECT_EQ(wow64, 0);
  EXPECT_EQ(openStatus(HKEY_LOCAL_MACHINE, "Software\\App"), LSTATUS(ERROR_SUCCESS));

  // Each refusal names the problem and keeps the store in use.
  const auto refused = [&](const std::string& systemReg, const std::string& userReg,
                           const std::string& expected) {
    TempDir prefix;
    if (!systemReg.empty()) writeFile(prefix.path() / "system.reg", systemReg);
    if (!userReg.empty()) writeFile(prefix.path() / "user.reg", userReg);
    const auto result = UseRegistryFromWinePrefix(prefix.path().string());
    EXPECT_FALSE(result);
    EXPECT_NE(result.error.find(expected), std::string::npos) << result.error;
    EXPECT_EQ(openStatus(HKEY_LOCAL_MACHINE, "Software\\App"), LSTATUS(ERROR_SUCCESS));
  };
  refused("", "", "neither system.reg nor user.reg");
  refused("REGEDIT4\n", "", "WINE REGISTRY Version 2");
  refused(header + "#arch=arm64\n", "", "unknown architecture");
  refused(header + "#arch=win64\n", header + "#arch=win32\n",
          "system.reg says #arch=win64 but user.reg says #arch=win32");
  EXPECT_FALSE(UseRegistryFromWinePrefix((dir.path() / "missing").string()));

  // A prefix with only user.reg has an empty machine hive.
  TempDir userOnly;
  writeFile(userOnly.path() / "user.reg", header + "#arch=win64\n[Software\\\\App] 1\n");
  ASSERT_TRUE(UseRegistryFromWinePrefix(userOnly.path().string()));
  EXPECT_EQ(openStatus(HKEY_CURRENT_USER, "Software\\App"), LSTATUS(ERROR_SUCCESS));
  EXPECT_EQ(openStatus(HKEY_LOCAL_MACHINE, "Software", KEY_READ | KEY_WOW64_64KEY),
            LSTATUS(ERROR_FILE_NOT_FOUND));
}

TEST_F(RegistryTest, MalformedWineLinesAreSkippedWithoutLeakingIntoOtherKeys) {
  TempDir dir;
  writeFile(dir.path() / "system.reg",
            "WINE REGISTRY Version 2\n"
            "\"Early\"=\"x\"\n"  // 2: before any key
            "[Software\\\\Good] 1\n"
            "\"A\"=\"ok\"\n"
            "[Software\\\\Broken\n"                  // 5: no closing bracket
            "\"Stray\"=\"must not land in Good\"\n"  // dropped with its key
            "[Software\\\\Good2] 1\n"
            "\"Cut\"=\"no end\n"         // 8
            "\"Odd\"=hex:1,02\n"         // 9
            "\"Big\"=dword:123456789\n"  // 10
            "\"Esc\"=\"\\x41\\102\\x\\q\\\\\"\n"
            "\"Hex\"=hex:01,\\\n"  // 12: cut off by the next entry
            "\"After\"=\"kept\"\n"
            "garbage\n"                     // 14
            "\"Tail\"=hex(2):41,00,\\\n");  // 15: cut off by the end
  const auto result = UseRegistryFromWinePrefix(dir.path().string());
  ASSERT_TRUE(result) << result.error;
  EXPECT_EQ(result.skippedCount, 8u);
  ASSERT_EQ(result.skipped.size(), 8u);
  const std::string prefix = (dir.path() / "system.reg").string() + ":";
  EXPECT_EQ(result.skipped[0], prefix + "2: value before the first key; line skipped");
  EXPECT_EQ(result.skipped[1], prefix + "5: key line without its closing ']'; line skipped");
  for (const char* line : {"8:", "9:", "10:", "12:", "14:", "15:"}) {
    bool found = false;
    for (const auto& message : result.skipped) found = found || message.rfind(prefix + line, 0) == 0;
    EXPECT_TRUE(found) << line;
  }
  EXPECT_EQ(query(HKEY_LOCAL_MACHINE, "Software\\Good", "Stray").status, LSTATUS(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(query(HKEY_LOCAL_MACHINE, "Software\\Good", "A").data, std::string("ok\0", 3));
  EXPECT_EQ(query(HKEY_LOCAL_MACHINE, "Software\\Good2", "Esc").data, std::string("ABxq\\\0", 6));
  EXPECT_EQ(query(HKEY_LOCAL_MACHINE, "Software\\Good2", "After").data, std::string("kept\0", 5));
}

TEST_F(RegistryTest, TheStoreComesFromWineprefixElseTheHomeWineFolderElseNowhere) {
  TempDir home;
  const auto prefix = home.path() / ".wine";
  std::filesystem::create_directory(prefix);
  writeFile(prefix / "user.reg", "WINE REGISTRY Version 2\n[Software\\\\Home] 1\n");
  TempDir other;
  writeFile(other.path() / "user.reg", "WINE REGISTRY Version 2\n[Software\\\\Other] 1\n");
  ScopedEnv homeEnv("HOME", home.path().c_str());
  {
    ScopedEnv prefixEnv("WINEPREFIX", other.path().c_str());
    const auto result = UseRegistryFromDefaultPlaces();
    ASSERT_TRUE(result);
    EXPECT_EQ(result.source, "Wine prefix " + other.path().string() + " (win32)");
    EXPECT_EQ(openStatus(HKEY_CURRENT_USER, "Software\\Other"), LSTATUS(ERROR_SUCCESS));
  }
  ScopedEnv noPrefix("WINEPREFIX", nullptr);
  ASSERT_TRUE(UseRegistryFromDefaultPlaces());
  EXPECT_EQ(openStatus(HKEY_CURRENT_USER, "Software\\Home"), LSTATUS(ERROR_SUCCESS));
  std::filesystem::remove_all(prefix);
  EXPECT_EQ(UseRegistryFromDefaultPlaces().source, "no registry (neither WINEPREFIX nor ~/.wine)");
  EXPECT_EQ(openStatus(HKEY_CURRENT_USER, "Software\\Home"), LSTATUS(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(openStatus(HKEY_CURRENT_USER, ""), LSTATUS(ERROR_SUCCESS));
}

// ---- regedit export files ----

TEST_F(RegistryTest, AUtf16ExportDescribesA64BitWindows) {
  const auto result = UseRegistryFromRegFile(
      (pelagon::test::dataDir() / "registry" / "chromalith_export_utf16.reg").string());
  ASSERT_TRUE(result) << result.error;
  EXPECT_EQ(result.skippedCount, 0u);
  const REGSAM native = KEY_READ | KEY_WOW64_64KEY;
  const char* installer = "Software\\HaldenCo\\Chromalith\\Installer";
  EXPECT_EQ(query(HKEY_LOCAL_MACHINE, installer, "InstallPath", native).data,
            std::string("D:\\Chromalith\\\0", 15));
  EXPECT_EQ(query(HKEY_LOCAL_MACHINE, installer, "UserName", native).data,
            std::string("Zo\xC3\xAB \xC3\x85ngstr\xC3\xB6m\0", 16));
  EXPECT_EQ(query(HKEY_LOCAL_MACHINE, installer, "Build", native).data, std::string("\x07\x09\0\0", 4));
  EXPECT_EQ(query(HKEY_LOCAL_MACHINE, installer, "InstallPath").data, std::string("C:\\Old\\\0", 8));
  const char* user = "Software\\HaldenCo\\Chromalith\\User";
  EXPECT_EQ(query(HKEY_LOCAL_MACHINE, user, "Folders", native).data, std::string("D:\\\0E:\\\0\0", 9));
  const Query spool = query(HKEY_LOCAL_MACHINE, user, "Spool", native);
  EXPECT_EQ(spool.type, REG_EXPAND_SZ);
  EXPECT_EQ(spool.data, std::string("%TEMP%\\kd\0", 10));
  const Query jobs = query(HKEY_LOCAL_MACHINE, user, "Jobs", native);
  EXPECT_EQ(jobs.type, REG_QWORD);
  EXPECT_EQ(jobs.data, std::string("\x10\x27\0\0\0\0\0\0", 8));
  EXPECT_EQ(
      query(HKEY_CLASSES_ROOT, "CLSID\\{88D969C0-F192-11D4-A65F-0040963251E5}\\InProcServer32", "").data,
      std::string("C:\\Windows\\SysWOW64\\xmlcore.dll\0", 32));
}

TEST_F(RegistryTest, Regedit4IsInTheAnsiCodePageAndVersion5MayBeUtf8) {
  ASSERT_TRUE(SetACP(1252));
  TempDir dir;
  writeFile(dir.path() / "four.reg",
            "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Caf\xE9]\r\n\"N\xE9\"=\"\xE9t\xE9\"\r\n"
            "\"X\"=hex(2):25,e9,25,00\r\n\"D\"=dword:0000002a\r\n");
  writeFile(dir.path() / "five.reg",
            "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\Software\\Five]\n"
            "\"S\"=\"\xC3\xA9\"\n\"Gone\"=\"x\"\n\"Gone\"=-\n[HKEY_CURRENT_USER\\Software\\Drop]\n"
            "[-HKEY_CURRENT_USER\\Software\\Drop]\n[HKEY_USERS\\.DEFAULT\\Software]\n\"Quiet\"=\"x\"\n");
  const std::string files[] = {(dir.path() / "four.reg").string(), (dir.path() / "five.reg").string()};
  const auto result = UseRegistryFromRegFiles(files);
  ASSERT_TRUE(result) << result.error;
  EXPECT_EQ(result.skippedCount, 0u);
  EXPECT_EQ(query(HKEY_CURRENT_USER, "Software\\CAF\xC9", "n\xC9").data, std::string("\xE9t\xE9\0", 4));
  EXPECT_EQ(query(HKEY_CURRENT_USER, "Software\\Caf\xE9", "X").data, std::string("%\xE9%\0", 4));
  EXPECT_EQ(query(HKEY_CURRENT_USER, "Software\\Five", "S").data, std::string("\xE9\0", 2));
  EXPECT_EQ(query(HKEY_CURRENT_USER, "Software\\Five", "Gone").status, LSTATUS(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(openStatus(HKEY_CURRENT_USER, "Software\\Drop"), LSTATUS(ERROR_FILE_NOT_FOUND));
}

TEST_F(RegistryTest, HostileExportFilesAreRefusedOrSkippedLineByLine) {
  TempDir dir;
  const auto load = [&](const std::string& bytes) {
    writeFile(dir.path() / "x.reg", bytes);
    return UseRegistryFromRegFile((dir.path() / "x.reg").string());
  };
  EXPECT_NE(load("\xFE\xFF").error.find("big-endian"), std::string::npos);
  EXPECT_NE(load("Windows Registry Editor Version 4.00\n").error.find("not a registry export file"),
            std::string::npos);
  EXPECT_NE(load(utf16le(u"REGEDIT5\r\n")).error.find("not a registry export file"), std::string::npos);
  EXPECT_FALSE(load(""));
  EXPECT_FALSE(UseRegistryFromRegFile(dir.path().string()));
  EXPECT_FALSE(UseRegistryFromRegFile((dir.path() / "none.reg").string()));

  // Lone surrogates are kept as Windows keeps them; an odd last byte is dropped.
  const std::u16string text =
      u"Windows Registry Editor Version "
      u"5.00\r\n[HKEY_CURRENT_USER\\K]\r\n\"n\"=\"a\xDC00\"\r\n\"\xD800\"=\"x\"\r\n";
  const auto odd = load(utf16le(text) + "\x41");
  ASSERT_TRUE(odd) << odd.error;
  EXPECT_EQ(odd.skippedCount, 1u);
  ASSERT_TRUE(SetACP(1252));
  EXPECT_EQ(query(HKEY_CURRENT_USER, "K", "n").data, withZero("a?"));
  ASSERT_TRUE(SetACP(CP_UTF8));

  const std::string deep = [] {
    std::string path = "[HKEY_CURRENT_USER";
    for (int i = 0; i < 600; ++i) path += "\\k";
    return path + "]\n";
  }();
  const std::string huge(1024 * 1024, 'z');
  std::string hugeHex = "\"H\"=hex:";
  for (int i = 0; i < 100000; ++i) hugeHex += (i % 20 == 19) ? "ff,\\\n  " : "ff,";
  hugeHex += "00\n";
  const auto hostile =
      load("Windows Registry Editor Version 5.00\n" + deep + "\"InDeep\"=\"x\"\n" + "[HKEY_CURRENT_USER\\" +
           std::string(256, 'n') + "]\n" +
           "[HKEY_BOGUS\\X]\n[HKEY_CURRENT_USER\\Ok]\n"
           "\"Zero\"=\"a\0b\"\n"s +  // a zero inside the data is data
           "\"" +
           std::string(16384, 'v') + "\"=\"long name\"\n" + "\"Huge\"=\"" + huge + "\"\n" + hugeHex +
           "\"Odd\"=hex:0,1\n\"Bad\"=hex:0g\n\"Gap\"=hex:01,,02\n\"Dw\"=dword:\n\"Junk\"=\"a\" b\n"
           "\"Unknown\"=qword:1\n\"NoEq\" \"x\"\n@=\"default\"\n"
           "\"Tail\"=hex:01,\\\n");
  ASSERT_TRUE(hostile) << hostile.error;
  EXPECT_EQ(hostile.skippedCount, 12u);
  EXPECT_EQ(query(HKEY_CURRENT_USER, "Ok", "Zero").data, std::string("a\0b\0", 4));
  EXPECT_EQ(query(HKEY_CURRENT_USER, "Ok", "Huge").data.size(), huge.size() + 1);
  EXPECT_EQ(query(HKEY_CURRENT_USER, "Ok", "H").data.size(), 100001u);
  EXPECT_EQ(query(HKEY_CURRENT_USER, "Ok", "").data, std::string("default\0", 8));
  EXPECT_EQ(query(HKEY_CURRENT_USER, "Ok", "Tail").status, LSTATUS(ERROR_FILE_NOT_FOUND));

  std::string many = "REGEDIT4\n";
  for (int i = 0; i < 120; ++i) many += "nonsense\n";
  const auto capped = load(many);
  EXPECT_EQ(capped.skippedCount, 120u);
  EXPECT_EQ(capped.skipped.size(), regfile::kMaxSkippedMessages);
}

// Random damage to valid files must end in a refusal or skipped lines, never in a crash; run
// under AddressSanitizer this also finds reads past a line's end.
TEST_F(RegistryTest, DamagedFilesNeverCrashTheReaders) {
  const std::string wine =
      pelagon::test::readFile(pelagon::test::dataDir() / "registry" / "wine64" / "system.reg");
  const std::string export16 =
      pelagon::test::readFile(pelagon::test::dataDir() / "registry" / "chromalith_export_utf16.reg");
  std::uint32_t seed = 12345;
  const auto next = [&seed] {
    seed ^= seed << 13;
    seed ^= seed >> 17;
    seed ^= seed << 5;
    return seed;
  };
  const char interesting[] = {'\\', '"', '[', ']', '\n', ',', ':', '(', ')', '@', '=', '\0', '\xFF', '\xD8'};
  for (int round = 0; round < 400; ++round) {
    std::string bytes = round % 2 == 0 ? wine : export16;
    const int edits = 1 + static_cast<int>(next() % 8);
    for (int e = 0; e < edits && !bytes.empty(); ++e) {
      const std::size_t at = next() % bytes.size();
      switch (next() % 3) {
        case 0:
          bytes[at] = interesting[next() % sizeof interesting];
          break;
        case 1:
          bytes.erase(at, 1 + next() % 16);
          break;
        default:
          bytes.resize(at);
          break;
      }
    }
    RegistryStore store;
    RegistryLoadResult result;
    regfile::WineArch arch = regfile::WineArch::Unspecified;
    const bool taken = round % 2 == 0 ? regfile::ReadWineRegistryFile(
                                            bytes, "fuzz", RegistryHive::LocalMachine, store, arch, result)
                                      : regfile::ReadRegExportFile(bytes, "fuzz", store, result);
    EXPECT_EQ(taken, result.error.empty()) << round;
  }
}

}  // namespace
}  // namespace win
