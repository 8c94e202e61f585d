#include <pelagon/platform/files.h>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <pelagon/platform/code_page.h>
#include <pelagon/platform/linux/windows_path.h>
#include "../support/test_support.h"

namespace pelagon::test {
namespace {

namespace fs = std::filesystem;
using namespace win;

// Every test works in a fake Wine prefix of its own: drive_c and dosdevices/c: -> ../drive_c.
class FilesTest : public ::testing::Test {
protected:
  void SetUp() override {
    fs::create_directories(prefix() / "drive_c");
    fs::create_directories(prefix() / "dosdevices");
    fs::create_directory_symlink("../drive_c", prefix() / "dosdevices" / "c:");
    UseWinePrefixForDrives(prefix().string());
    SetLastError(ERROR_SUCCESS);
  }
  void TearDown() override {
    UseDefaultWinePrefixForDrives();
    SetACP(CP_UTF8);
  }

  fs::path prefix() const { return temp_.path() / "prefix"; }
  fs::path driveC() const { return prefix() / "drive_c"; }
  // "C:\" as the mapping spells it.
  std::string root() const { return (prefix() / "dosdevices" / "c:").string(); }

  static void put(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    writeFile(path, bytes);
  }
  static void makeReadOnly(const fs::path& path) {
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
  }
  // The file writing the installer does: create, one write, close.
  static bool writeWhole(const std::string& path, const std::string& bytes) {
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    EXPECT_TRUE(CloseHandle(file));
    return ok && written == bytes.size();
  }
  // Names and attributes a search lists, in its order; empty when it finds nothing.
  static std::vector<std::pair<std::string, DWORD>> list(const std::string& pattern) {
    std::vector<std::pair<std::string, DWORD>> entries;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return entries;
    do {
      entries.emplace_back(data.cFileName, data.dwFileAttributes);
    } while (FindNextFileA(find, &data));
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    EXPECT_TRUE(FindClose(find));
    return entries;
  }
  static std::vector<std::string> names(const std::string& pattern) {
    std::vector<std::string> result;
    for (const auto& [name, attributes] : list(pattern)) result.push_back(name);
    return result;
  }

  TempDir temp_;
};

// ---- Path mapping ----

TEST_F(FilesTest, DrivePathsMapThroughDosdevicesWithBothSeparatorsAndAnyLetterCase) {
  fs::create_directories(driveC() / "Program Files" / "Chromalith" / "Device");
  const std::string expected = root() + "/Program Files/Chromalith/Device/New KD.dsr";
  EXPECT_EQ(ResolveWindowsPath("C:\\Program Files\\Chromalith\\Device\\New KD.dsr"), expected);
  EXPECT_EQ(ResolveWindowsPath("c:/PROGRAM FILES\\chromalith//DEVICE\\.\\New KD.dsr"), expected);
  // Components after the first missing one are kept as written.
  EXPECT_EQ(ResolveWindowsPath("C:\\program files\\New\\Sub"), root() + "/Program Files/New/Sub");
  EXPECT_EQ(ResolveWindowsPath("C:\\Program Files\\"), root() + "/Program Files/");
  EXPECT_EQ(ResolveWindowsPath("C:"), root() + "/");
  // A drive-relative name: the process's own folder is never on a drive, so the root is.
  EXPECT_EQ(ResolveWindowsPath("C:program files"), root() + "/Program Files");
}

TEST_F(FilesTest, ExactNameWinsAndOtherCasesChooseTheSameEntryEveryTime) {
  fs::create_directories(driveC() / "data");
  fs::create_directories(driveC() / "DATA");
  EXPECT_EQ(ResolveWindowsPath("C:\\data"), root() + "/data");
  EXPECT_EQ(ResolveWindowsPath("C:\\DATA"), root() + "/DATA");
  EXPECT_EQ(ResolveWindowsPath("C:\\Data"), root() + "/DATA");
}

TEST_F(FilesTest, NonAsciiNamesMatchWithoutLetterCaseInTheAnsiCodePage) {
  fs::create_directories(driveC() / "\xC3\x84rger");  // "Ärger" in UTF-8
  EXPECT_EQ(ResolveWindowsPath("C:\\\xC3\xA4RGER"), root() + "/\xC3\x84rger");
  if (!SetACP(1252)) GTEST_SKIP() << "code page 1252 is not available";
  EXPECT_EQ(ResolveWindowsPath("C:\\\xE4rger"), root() + "/\xC3\x84rger");
}

TEST_F(FilesTest, DotDotStaysOnTheDriveAndPosixPathsPassThrough) {
  fs::create_directories(driveC() / "a");
  EXPECT_EQ(ResolveWindowsPath("C:\\a\\..\\..\\..\\dosdevices"), root() + "/dosdevices");
  const std::string posix = (driveC() / "a").string();
  EXPECT_EQ(ResolveWindowsPath(posix), posix);
  std::string backslashed = posix;
  std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
  EXPECT_EQ(ResolveWindowsPath(backslashed), posix);
  EXPECT_EQ(ResolveWindowsPath("rel\\x\\..\\y"), "rel/y");
}

TEST_F(FilesTest, PathsThatNameNoPlaceHereResolveToNothing) {
  const auto errorOf = [](std::string_view path) {
    const auto resolution = ResolveWindowsPathDetailed(path);
    EXPECT_FALSE(resolution.posixPath) << path;
    return resolution.error;
  };
  EXPECT_EQ(errorOf(""), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(errorOf("D:\\x"), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(errorOf("\\\\server\\share\\x"), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(errorOf("C:\\a*b"), ERROR_INVALID_NAME);
  EXPECT_EQ(errorOf("C:\\a|b"), ERROR_INVALID_NAME);
  EXPECT_EQ(errorOf(std::string_view("C:\\a\0b", 6)), ERROR_INVALID_NAME);
  UseWinePrefixForDrives("");
  EXPECT_EQ(errorOf("C:\\x"), ERROR_PATH_NOT_FOUND);
}

TEST(FileNameMatchesTest, WindowsWildcards) {
  EXPECT_TRUE(FileNameMatches("*", "name"));
  EXPECT_TRUE(FileNameMatches("*.*", "name"));
  EXPECT_TRUE(FileNameMatches("*.*", "a.b.c"));
  EXPECT_TRUE(FileNameMatches("*.icc", "X.ICC"));
  EXPECT_FALSE(FileNameMatches("*.icc", "x.icm"));
  EXPECT_TRUE(FileNameMatches("profile.*", "Profile"));
  EXPECT_TRUE(FileNameMatches("a?c", "abc"));
  EXPECT_FALSE(FileNameMatches("a?c", "ac"));
  EXPECT_TRUE(FileNameMatches("a*b*c", "aXbYbZc"));
  EXPECT_FALSE(FileNameMatches("a*b*c", "aXbYc d"));
  EXPECT_TRUE(FileNamesEqual("\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89"));
}

// ---- CreateFileA, WriteFile, ReadFile, CloseHandle ----

TEST_F(FilesTest, CreateAlwaysCreatesOrTruncatesAndSaysWhich) {
  fs::create_directories(driveC() / "Dev");
  HANDLE file =
      CreateFileA("C:\\dev\\a.bin", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  const std::string bytes("long\0content\r\n", 14);
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
  EXPECT_EQ(written, bytes.size());
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_EQ(readFile(driveC() / "Dev" / "a.bin"), bytes);

  file =
      CreateFileA("C:\\DEV\\A.BIN", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_TRUE(WriteFile(file, "ab", 2, &written, nullptr));
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_EQ(readFile(driveC() / "Dev" / "a.bin"), "ab");
  EXPECT_EQ(names("C:\\Dev\\*.bin"), std::vector<std::string>{"a.bin"});
}

TEST_F(FilesTest, RefusedOpensLeaveTheFileAsItWas) {
  put(driveC() / "ro.bin", "old");
  makeReadOnly(driveC() / "ro.bin");
  fs::create_directories(driveC() / "folder");
  const auto refused = [](const char* path) {
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr),
              INVALID_HANDLE_VALUE)
        << path;
    return GetLastError();
  };
  // Read-only by its permission bits, for root as for anyone.
  EXPECT_EQ(refused("C:\\ro.bin"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(readFile(driveC() / "ro.bin"), "old");
  EXPECT_EQ(refused("C:\\folder"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(refused("C:\\missing\\x.bin"), ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(fs::exists(driveC() / "missing"));
  EXPECT_EQ(refused("E:\\x.bin"), ERROR_PATH_NOT_FOUND);

  // A FIFO must neither hang the call nor be taken for a file.
  ASSERT_EQ(::mkfifo((driveC() / "pipe").c_str(), 0666), 0);
  EXPECT_EQ(refused("C:\\pipe"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(CreateFileA("C:\\pipe", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
}

TEST_F(FilesTest, HandlesOfThisProcessShareAsOnWindows) {
  put(driveC() / "held.bin", "old");
  HANDLE held =
      CreateFileA("C:\\held.bin", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(held, "new", 3, &written, nullptr));
  EXPECT_EQ(CreateFileA("C:\\held.bin", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_FALSE(DeleteFileA("C:\\held.bin"));
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_FALSE(CopyFileA("C:\\held.bin", "C:\\copy.bin", FALSE));
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(readFile(driveC() / "held.bin"), "new");
  ASSERT_TRUE(CloseHandle(held));
  EXPECT_TRUE(DeleteFileA("C:\\held.bin"));

  // Handles that share with each other coexist.
  put(driveC() / "shared.bin", "abc");
  HANDLE a = CreateFileA("C:\\shared.bin", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  HANDLE b = CreateFileA("C:\\shared.bin", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(a, INVALID_HANDLE_VALUE);
  EXPECT_NE(b, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(CloseHandle(a));
  EXPECT_TRUE(CloseHandle(b));
}

TEST_F(FilesTest, ReadHandlesReadAndRefuseWrites) {
  put(driveC() / "in.bin", "0123456789");
  HANDLE file = CreateFileA("C:\\IN.BIN", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  char buffer[16] = {};
  DWORD read = 0;
  EXPECT_TRUE(ReadFile(file, buffer, 4, &read, nullptr));
  EXPECT_EQ(std::string(buffer, read), "0123");
  EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &read, nullptr));
  EXPECT_EQ(std::string(buffer, read), "456789");
  EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &read, nullptr));
  EXPECT_EQ(read, 0u);
  DWORD written = 7;
  EXPECT_FALSE(WriteFile(file, "x", 1, &written, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(written, 0u);
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_EQ(CreateFileA("C:\\none.bin", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(CreateFileA("C:\\none.bin", GENERIC_WRITE, 0, nullptr, 1 /* CREATE_NEW */, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(FilesTest, FailedWritesAreReportedWithTheCountThatArrived) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  HANDLE full =
      CreateFileA("/dev/full", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(full, INVALID_HANDLE_VALUE);
  DWORD written = 99;
  EXPECT_FALSE(WriteFile(full, "abc", 3, &written, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
  EXPECT_EQ(written, 0u);
  EXPECT_TRUE(CloseHandle(full));
}

TEST_F(FilesTest, HandlesAreReleasedAndStaleOnesRefused) {
  put(driveC() / "f.bin", "x");
  const auto openDescriptors = [] {
    return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator{});
  };
  const auto before = openDescriptors();
  HANDLE last = INVALID_HANDLE_VALUE;
  for (int i = 0; i < 50; ++i) {
    last = CreateFileA("C:\\f.bin", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(last, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(CloseHandle(last));
  }
  EXPECT_EQ(openDescriptors(), before);

  EXPECT_FALSE(CloseHandle(last));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  DWORD written = 0;
  EXPECT_FALSE(WriteFile(last, "x", 1, &written, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
  EXPECT_FALSE(CloseHandle(nullptr));

  // A search handle is not a file handle, and the other way round.
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA("C:\\*", &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(CloseHandle(find));
  EXPECT_TRUE(FindClose(find));
  EXPECT_FALSE(FindClose(find));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(FilesTest, LastErrorBelongsToTheThread) {
  SetLastError(ERROR_ACCESS_DENIED);
  DWORD seen = 1;
  std::thread([&] {
    seen = GetLastError();
    SetLastError(ERROR_DISK_FULL);
  }).join();
  EXPECT_EQ(seen, ERROR_SUCCESS);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

// ---- Attributes, folders, deletion ----

TEST_F(FilesTest, AttributesDescribeFilesFoldersAndLinks) {
  put(driveC() / "Profiles" / "Pelagon", "a plain file where a folder is expected");
  put(driveC() / "ro.icc", "x");
  makeReadOnly(driveC() / "ro.icc");
  fs::create_directory_symlink(driveC() / "Profiles", driveC() / "linked");
  EXPECT_EQ(GetFileAttributesA("C:\\"), FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(GetFileAttributesA("C:\\profiles"), FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(GetFileAttributesA("C:\\Profiles\\Pelagon"), FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(GetFileAttributesA("C:\\RO.ICC"), FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(GetFileAttributesA("C:\\linked"), FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);

  EXPECT_EQ(GetFileAttributesA("C:\\Profiles\\none"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(GetFileAttributesA("C:\\none\\none"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(GetFileAttributesA("C:\\Profiles\\Pelagon\\Pelagon CMYK"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST_F(FilesTest, CreateDirectoryMakesOnlyTheLastComponent) {
  fs::create_directories(driveC() / "Profiles");
  put(driveC() / "file", "x");
  EXPECT_TRUE(CreateDirectoryA("C:\\PROFILES\\Pelagon", nullptr));
  EXPECT_TRUE(fs::is_directory(driveC() / "Profiles" / "Pelagon"));

  EXPECT_FALSE(CreateDirectoryA("C:\\Profiles\\Other\\Deeper", nullptr));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(fs::exists(driveC() / "Profiles" / "Other"));
  // An entry of any kind, in any letter case, is already there.
  EXPECT_FALSE(CreateDirectoryA("C:\\profiles\\pelagon", nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_FALSE(CreateDirectoryA("C:\\FILE", nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(names("C:\\Profiles\\*"), (std::vector<std::string>{".", "..", "Pelagon"}));
}

TEST_F(FilesTest, DeleteRemovesFilesAndLinksButNoFoldersOrReadOnlyFiles) {
  put(driveC() / "a.tmp", "x");
  put(driveC() / "ro.tmp", "x");
  makeReadOnly(driveC() / "ro.tmp");
  fs::create_directories(driveC() / "dir");
  put(driveC() / "dir" / "keep", "kept");
  fs::create_directory_symlink(driveC() / "dir", driveC() / "dirlink");
  fs::create_symlink(driveC() / "dir" / "keep", driveC() / "filelink");

  EXPECT_TRUE(DeleteFileA("C:\\A.TMP"));
  EXPECT_FALSE(fs::exists(driveC() / "a.tmp"));
  EXPECT_FALSE(DeleteFileA("C:\\a.tmp"));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(DeleteFileA("C:\\nodir\\a.tmp"));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  for (const char* refused : {"C:\\ro.tmp", "C:\\dir", "C:\\dirlink"}) {
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(DeleteFileA(refused)) << refused;
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED) << refused;
  }
  EXPECT_TRUE(fs::exists(driveC() / "ro.tmp"));
  EXPECT_TRUE(DeleteFileA("C:\\filelink"));
  EXPECT_EQ(readFile(driveC() / "dir" / "keep"), "kept");
}

// ---- CopyFileA ----

TEST_F(FilesTest, CopyCopiesEveryByteAndOverwrites) {
  std::string big(200 * 1024 + 7, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 31 % 251);
  put(driveC() / "src" / "big.icc", big);
  put(driveC() / "dst" / "BIG.ICC", std::string(300 * 1024, 'x'));
  EXPECT_TRUE(CopyFileA("C:\\src\\big.icc", "C:\\dst\\big.icc", FALSE));
  EXPECT_EQ(readFile(driveC() / "dst" / "BIG.ICC"), big);
  EXPECT_TRUE(CopyFileA("C:\\src\\big.icc", "C:\\dst\\new.icc", FALSE));
  EXPECT_EQ(readFile(driveC() / "dst" / "new.icc"), big);

  EXPECT_FALSE(CopyFileA("C:\\src\\big.icc", "C:\\dst\\new.icc", TRUE));
  EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);

  // The read-only state travels with the copy, and then protects it.
  put(driveC() / "src" / "ro.icc", "ro");
  makeReadOnly(driveC() / "src" / "ro.icc");
  EXPECT_TRUE(CopyFileA("C:\\src\\ro.icc", "C:\\dst\\ro.icc", FALSE));
  EXPECT_EQ(GetFileAttributesA("C:\\dst\\ro.icc") & FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(CopyFileA("C:\\src\\big.icc", "C:\\dst\\ro.icc", FALSE));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(readFile(driveC() / "dst" / "ro.icc"), "ro");
}

TEST_F(FilesTest, CopyRefusalsKeepBothFiles) {
  put(driveC() / "src" / "a.icc", "source");
  fs::create_directories(driveC() / "dst" / "a.icc");
  // Onto itself, under another letter case: truncating the target would lose the source.
  EXPECT_FALSE(CopyFileA("C:\\src\\a.icc", "C:\\SRC\\A.ICC", FALSE));
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(readFile(driveC() / "src" / "a.icc"), "source");
  EXPECT_FALSE(CopyFileA("C:\\src\\a.icc", "C:\\dst\\a.icc", FALSE));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(CopyFileA("C:\\src", "C:\\copy", FALSE));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(CopyFileA("C:\\src\\none.icc", "C:\\dst\\none.icc", FALSE));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(CopyFileA("C:\\src\\a.icc", "C:\\nodir\\a.icc", FALSE));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

// ---- MoveFileExA ----

TEST_F(FilesTest, MoveReplacesTheTargetInOneRename) {
  put(driveC() / "Device" / "KD.dsr", "old");
  put(driveC() / "Device" / "KD.dsr.out", "new");
  struct stat before {};
  ASSERT_EQ(::stat((driveC() / "Device" / "KD.dsr.out").c_str(), &before), 0);
  // A reader of the old file keeps reading the old bytes: the name moved, no byte was rewritten.
  std::ifstream oldReader(driveC() / "Device" / "KD.dsr", std::ios::binary);

  EXPECT_TRUE(MoveFileExA("C:\\device\\kd.dsr.out", "C:\\Device\\KD.dsr", MOVEFILE_REPLACE_EXISTING));
  struct stat after {};
  ASSERT_EQ(::stat((driveC() / "Device" / "KD.dsr").c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(readFile(driveC() / "Device" / "KD.dsr"), "new");
  std::string oldBytes;
  oldReader >> oldBytes;
  EXPECT_EQ(oldBytes, "old");
  EXPECT_EQ(names("C:\\Device\\*"), (std::vector<std::string>{".", "..", "KD.dsr"}));
}

TEST_F(FilesTest, MoveRefusalsKeepBothFiles) {
  put(driveC() / "a.txt", "a");
  put(driveC() / "b.txt", "b");
  put(driveC() / "ro.txt", "ro");
  makeReadOnly(driveC() / "ro.txt");
  fs::create_directories(driveC() / "dir");
  const auto refused = [](const char* to, DWORD flags) {
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(MoveFileExA("C:\\a.txt", to, flags)) << to;
    return GetLastError();
  };
  EXPECT_EQ(refused("C:\\B.TXT", 0), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(refused("C:\\ro.txt", MOVEFILE_REPLACE_EXISTING), ERROR_ACCESS_DENIED);
  EXPECT_EQ(refused("C:\\dir", MOVEFILE_REPLACE_EXISTING), ERROR_ACCESS_DENIED);
  EXPECT_EQ(refused("C:\\b.txt", 0x2 /* MOVEFILE_COPY_ALLOWED */), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(refused("C:\\nodir\\a.txt", 0), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(readFile(driveC() / "a.txt"), "a");
  EXPECT_EQ(readFile(driveC() / "b.txt"), "b");
  EXPECT_EQ(readFile(driveC() / "ro.txt"), "ro");
  EXPECT_FALSE(MoveFileExA("C:\\none.txt", "C:\\c.txt", 0));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(FilesTest, MoveRenamesFoldersLetterCaseAndLinksOfOneFile) {
  put(driveC() / "dir" / "f", "f");
  EXPECT_TRUE(MoveFileExA("C:\\dir", "C:\\moved", 0));
  EXPECT_EQ(readFile(driveC() / "moved" / "f"), "f");
  // The new name finds the file itself: only the spelling changes.
  EXPECT_TRUE(MoveFileExA("C:\\moved\\f", "C:\\MOVED\\F", MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(names("C:\\moved\\*"), (std::vector<std::string>{".", "..", "F"}));
  // Two names of one file: the source name goes, as on Windows.
  fs::create_hard_link(driveC() / "moved" / "F", driveC() / "moved" / "g");
  EXPECT_TRUE(MoveFileExA("C:\\moved\\g", "C:\\moved\\F", MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(names("C:\\moved\\*"), (std::vector<std::string>{".", "..", "F"}));
}

// ---- FindFirstFileA / FindNextFileA ----

TEST_F(FilesTest, SearchListsDotsFirstThenNamesInWindowsOrder) {
  put(driveC() / "Net" / "b.icc", "12345");
  put(driveC() / "Net" / "A.ICC", "");
  put(driveC() / "Net" / "README", "");
  fs::create_directories(driveC() / "Net" / "sub");
  fs::create_directory_symlink(driveC() / "Net", driveC() / "Net" / "loop");

  const auto entries = list("C:\\net\\*");
  const std::vector<std::pair<std::string, DWORD>> expected = {
      {".", FILE_ATTRIBUTE_DIRECTORY},
      {"..", FILE_ATTRIBUTE_DIRECTORY},
      {"A.ICC", FILE_ATTRIBUTE_ARCHIVE},
      {"b.icc", FILE_ATTRIBUTE_ARCHIVE},
      // A walker that skips reparse points does not go round this loop.
      {"loop", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT},
      {"README", FILE_ATTRIBUTE_ARCHIVE},
      {"sub", FILE_ATTRIBUTE_DIRECTORY},
  };
  EXPECT_EQ(entries, expected);
  EXPECT_EQ(list("C:/Net/*.*"), expected);
  EXPECT_EQ(names("C:\\Net\\*.ICC"), (std::vector<std::string>{"A.ICC", "b.icc"}));

  // A plain name finds the entry with its own spelling, and its size.
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA("C:\\NET\\B.ICC", &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  EXPECT_STREQ(data.cFileName, "b.icc");
  EXPECT_EQ(data.nFileSizeLow, 5u);
  EXPECT_EQ(data.nFileSizeHigh, 0u);
  EXPECT_FALSE(FindNextFileA(find, &data));
  EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
  EXPECT_TRUE(FindClose(find));
}

TEST_F(FilesTest, SearchOfADriveRootHasNoDotsAndFailuresSayWhy) {
  fs::create_directories(driveC() / "Empty");
  EXPECT_EQ(names("C:\\*"), std::vector<std::string>{"Empty"});
  EXPECT_EQ(names("C:*"), std::vector<std::string>{"Empty"});
  EXPECT_EQ(names("C:\\Empty\\*"), (std::vector<std::string>{".", ".."}));

  WIN32_FIND_DATAA data;
  const auto failure = [&](const char* pattern) {
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(FindFirstFileA(pattern, &data), INVALID_HANDLE_VALUE) << pattern;
    return GetLastError();
  };
  EXPECT_EQ(failure("C:\\Empty\\*.icc"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(failure("C:\\Empty\\"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(failure("C:\\None\\*"), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(failure("C:\\Em*\\*"), ERROR_INVALID_NAME);
}

TEST_F(FilesTest, SearchGivesNamesInTheAnsiCodePageAndSkipsOnesThatDoNotFit) {
  if (!SetACP(1252)) GTEST_SKIP() << "code page 1252 is not available";
  put(driveC() / "Net" / "caf\xC3\xA9.icc", "");
  put(driveC() / "Net" / "\xE2\x82\xAC\xE2\x88\x9E.icc", "");  // "€∞": 1252 has € but not ∞
  EXPECT_EQ(names("C:\\Net\\*.icc"), (std::vector<std::string>{"caf\xE9.icc", "\x80?.icc"}));
  EXPECT_TRUE(CopyFileA("C:\\Net\\CAF\xC9.icc", "C:\\Net\\copy.icc", FALSE));

  // A name Linux holds in 255 bytes can need more than MAX_PATH in a multi-byte code page.
  if (!SetACP(54936)) GTEST_SKIP() << "code page 54936 is not available";
  std::string longName;
  for (int i = 0; i < 120; ++i) longName += "\xC3\x80";  // U+00C0, four bytes in GB18030
  if (Utf8ToAnsi(longName).size() < MAX_PATH) GTEST_SKIP() << "the name fits after all";
  put(driveC() / "Long" / longName, "");
  put(driveC() / "Long" / "short", "");
  EXPECT_EQ(names("C:\\Long\\*"), (std::vector<std::string>{".", "..", "short"}));
}

}  // namespace
}  // namespace pelagon::test
