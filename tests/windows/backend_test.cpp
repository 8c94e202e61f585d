// The Windows backend of the platform layer, run under Wine: each call gives the results the
// system's code relies on, from the real registry, resources, files and debugger output.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <string>

#include <pelagon/platform/code_page.h>
#include <pelagon/platform/files.h>
#include <pelagon/platform/registry.h>
#include <pelagon/platform/resources.h>

namespace {

// A fresh folder under the prefix's temporary folder, with a Windows path; a new one on every
// run, as the prefix outlives the run.
class WindowsFiles : public ::testing::Test {
protected:
  void SetUp() override {
    const char* temp = std::getenv("TEMP");
    ASSERT_NE(temp, nullptr);
    const auto run = std::chrono::steady_clock::now().time_since_epoch().count();
    folder_ = std::string(temp) + "\\pelagon-backend-" + std::to_string(run);
    ASSERT_TRUE(win::CreateDirectoryA(folder_.c_str(), nullptr));
  }
  std::string path(const std::string& name) const { return folder_ + "\\" + name; }

  static win::HANDLE create(const std::string& file, win::DWORD share = 0) {
    return win::CreateFileA(file.c_str(), win::GENERIC_WRITE, share, nullptr, win::CREATE_ALWAYS,
                            win::FILE_ATTRIBUTE_NORMAL, nullptr);
  }

  std::string folder_;
};

TEST(WindowsRegistry, OpensReadsAndClosesTheSystemsKeys) {
  win::HKEY key = nullptr;
  // Every Windows has this key, in both views.
  ASSERT_EQ(win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion", 0,
                               win::KEY_READ | win::KEY_WOW64_64KEY, &key),
            win::ERROR_SUCCESS);
  std::array<char, 1024> buffer{};
  win::DWORD type = win::REG_NONE;
  win::DWORD size = buffer.size();
  EXPECT_EQ(win::RegQueryValueExA(key, "CurrentVersion", nullptr, &type, reinterpret_cast<win::BYTE*>(buffer.data()),
                                  &size),
            win::ERROR_SUCCESS);
  EXPECT_EQ(type, win::REG_SZ);
  EXPECT_EQ(size, std::string(buffer.data()).size() + 1);

  // Too small a buffer: the size needed, and ERROR_MORE_DATA.
  win::DWORD small = 1;
  EXPECT_EQ(win::RegQueryValueExA(key, "CurrentVersion", nullptr, &type, reinterpret_cast<win::BYTE*>(buffer.data()),
                                  &small),
            win::ERROR_MORE_DATA);
  EXPECT_EQ(small, size);
  EXPECT_EQ(win::RegQueryValueExA(key, "NoSuchValue", nullptr, &type, nullptr, &size), win::ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(win::RegCloseKey(key), win::ERROR_SUCCESS);

  EXPECT_EQ(win::RegOpenKeyExA(win::HKEY_CURRENT_USER, "Software\\NoSuchVendor\\NoSuchKey", 0, win::KEY_READ, &key),
            win::ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
}

TEST(WindowsRegistry, ThisProgramRunsUnderWow64AndFindsIsWow64ProcessInKernel32) {
  const win::FARPROC entry = win::GetProcAddress(win::GetModuleHandleA("kernel32"), "IsWow64Process");
  ASSERT_NE(entry, nullptr);
  const auto isWow64Process = reinterpret_cast<win::IsWow64ProcessFunction>(entry);
  win::BOOL wow64 = win::FALSE;
  ASSERT_NE(isWow64Process(win::GetCurrentProcess(), &wow64), 0);
  // A 32-bit program on the 64-bit prefix the tests use.
  EXPECT_NE(wow64, 0);
  EXPECT_EQ(win::GetProcAddress(win::GetModuleHandleA("kernel32"), "NoSuchFunction"), nullptr);
}

TEST(WindowsResources, BlocksAreFoundByTypeAndIdAndToldApart) {
  const win::HRSRC block = win::FindResourceA(nullptr, 501, win::RT_BIN);
  ASSERT_NE(block, nullptr);
  const win::HGLOBAL data = win::LoadResource(nullptr, block);
  ASSERT_NE(data, nullptr);
  ASSERT_EQ(win::SizeofResource(nullptr, block), 11u);
  EXPECT_EQ(std::string(static_cast<const char*>(win::LockResource(data)), 11), "BIN block\r\n");

  const win::HRSRC html = win::FindResourceA(nullptr, 501, win::RT_HTML);
  ASSERT_NE(html, nullptr);
  EXPECT_EQ(win::SizeofResource(nullptr, html), 14u);

  const win::HRSRC empty = win::FindResourceA(nullptr, 502, win::RT_BIN);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(win::SizeofResource(nullptr, empty), 0u);

  EXPECT_EQ(win::FindResourceA(nullptr, 503, win::RT_BIN), nullptr);
  EXPECT_EQ(win::FindResourceA(nullptr, 502, win::RT_HTML), nullptr);
}

TEST(WindowsResources, StringsComeFromTheTableInTheAnsiCodePage) {
  std::array<char, 64> buffer{};
  EXPECT_EQ(win::LoadStringA(13, buffer.data(), buffer.size()), 18);
  EXPECT_STREQ(buffer.data(), "Chromalith\\Device\\");
  EXPECT_EQ(win::LoadStringResource(13), "Chromalith\\Device\\");
  // Cut to the room given, with its terminating zero.
  EXPECT_EQ(win::LoadStringA(13, buffer.data(), 6), 5);
  EXPECT_STREQ(buffer.data(), "Chrom");
  EXPECT_EQ(win::LoadStringA(9999, buffer.data(), buffer.size()), 0);
  EXPECT_EQ(win::LoadStringResource(9999), std::nullopt);
  // A text beyond ASCII, stored as UTF-16: UTF-8 for the library, the code page for LoadStringA.
  EXPECT_EQ(win::LoadStringResource(600), "Caf\xc3\xa9");
  ASSERT_EQ(win::LoadStringA(600, buffer.data(), buffer.size()), 4);
  EXPECT_EQ(std::string(buffer.data()), win::Utf8ToAnsi("Caf\xc3\xa9"));
}

TEST(WindowsCodePage, ConvertsThroughTheSystemsCodePage) {
  const std::uint32_t codePage = win::GetACP();
  EXPECT_TRUE(win::SetACP(codePage));
  EXPECT_FALSE(win::SetACP(codePage == 932 ? 1252 : 932));
  EXPECT_EQ(win::AnsiToUtf8(win::Utf8ToAnsi("plain text")), "plain text");
  // Nothing outside the code page survives: a CJK character becomes '?' under 1252.
  if (codePage == 1252) {
    EXPECT_EQ(win::Utf8ToAnsi("Caf\xc3\xa9 \xe4\xb8\xad"), "Caf\xe9 ?");
    EXPECT_EQ(win::AnsiToUtf8("Caf\xe9"), "Caf\xc3\xa9");
  }
}

TEST_F(WindowsFiles, WritesReplacesAndDeletes) {
  const std::string file = path("a.bin");
  win::HANDLE handle = create(file);
  ASSERT_NE(handle, win::INVALID_HANDLE_VALUE);
  win::DWORD written = 0;
  ASSERT_TRUE(win::WriteFile(handle, "0123456789", 10, &written, nullptr));
  EXPECT_EQ(written, 10u);
  ASSERT_TRUE(win::CloseHandle(handle));

  // CREATE_ALWAYS truncates what is there.
  handle = create(file);
  ASSERT_NE(handle, win::INVALID_HANDLE_VALUE);
  EXPECT_EQ(win::GetLastError(), win::ERROR_ALREADY_EXISTS);
  ASSERT_TRUE(win::WriteFile(handle, "xy", 2, &written, nullptr));
  win::CloseHandle(handle);
  handle = win::CreateFileA(file.c_str(), win::GENERIC_READ, 0, nullptr, win::OPEN_EXISTING, 0, nullptr);
  std::array<char, 16> bytes{};
  win::DWORD read = 0;
  ASSERT_TRUE(win::ReadFile(handle, bytes.data(), bytes.size(), &read, nullptr));
  win::CloseHandle(handle);
  EXPECT_EQ(std::string(bytes.data(), read), "xy");

  EXPECT_NE(win::GetFileAttributesA(file.c_str()) & win::FILE_ATTRIBUTE_ARCHIVE, 0u);
  EXPECT_TRUE(win::DeleteFileA(file.c_str()));
  EXPECT_EQ(win::GetFileAttributesA(file.c_str()), win::INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(win::GetLastError(), win::ERROR_FILE_NOT_FOUND);
}

TEST_F(WindowsFiles, RefusalsKeepTheOldFileAndSayWhy) {
  // A file held open without sharing cannot be opened again, and keeps its bytes.
  const std::string held = path("held.bin");
  const win::HANDLE holder = create(held);
  ASSERT_NE(holder, win::INVALID_HANDLE_VALUE);
  win::DWORD written = 0;
  win::WriteFile(holder, "old", 3, &written, nullptr);
  EXPECT_EQ(create(held), win::INVALID_HANDLE_VALUE);
  EXPECT_EQ(win::GetLastError(), win::ERROR_SHARING_VIOLATION);
  win::CloseHandle(holder);

  // A missing folder.
  EXPECT_EQ(create(path("missing\\a.bin")), win::INVALID_HANDLE_VALUE);
  EXPECT_EQ(win::GetLastError(), win::ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(win::GetFileAttributesA(path("missing\\a.bin").c_str()), win::INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(win::GetLastError(), win::ERROR_PATH_NOT_FOUND);

  // Folders: only the last component is made, and one that is there is not made again.
  EXPECT_FALSE(win::CreateDirectoryA(path("missing\\deeper").c_str(), nullptr));
  EXPECT_EQ(win::GetLastError(), win::ERROR_PATH_NOT_FOUND);
  EXPECT_TRUE(win::CreateDirectoryA(path("made").c_str(), nullptr));
  EXPECT_EQ(win::GetFileAttributesA(path("made").c_str()) & win::FILE_ATTRIBUTE_DIRECTORY,
            win::FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_FALSE(win::CreateDirectoryA(path("made").c_str(), nullptr));
  EXPECT_EQ(win::GetLastError(), win::ERROR_ALREADY_EXISTS);
  EXPECT_EQ(create(path("made")), win::INVALID_HANDLE_VALUE);
  EXPECT_EQ(win::GetLastError(), win::ERROR_ACCESS_DENIED);
}

}  // namespace
