#pragma once
// What the tests share: a temporary folder per test, the fixture folder, file helpers.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include <pelagon/platform/com.h>
#include <pelagon/xmlio/dom.h>

namespace pelagon::test {

// A fresh folder, removed with its contents when the object goes.
class TempDir {
public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  // A path inside the folder, as a string for the library's narrow-path calls.
  std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
  std::filesystem::path path_;
};

// tests/data, or the folder PELAGON_TEST_DATA names.
std::filesystem::path dataDir();
// The shipped XSD schemas: schemas/, or the folder PELAGON_SCHEMAS names.
std::filesystem::path schemaDir();

// Undoes every COM initialisation left on this thread: creators that end without a
// document keep theirs, and the next test should start from none.
void dropComInitialisations();

// Runs `body` in a child process for which `folder` refuses new files: the folder loses its
// write permission for the run (everyone may read it), and a test run as root runs the child
// as the user nobody, whom permissions bind. Gives what `body` returns, -1 when the child did
// not exit. Files the child must write need write permission for others.
int RunWhereFolderRefusesNewFiles(const std::filesystem::path& folder, const std::function<int()>& body);

std::string readFile(const std::filesystem::path& path);
// How many regular files lie below `root`, at any depth.
std::size_t countFiles(const std::filesystem::path& root);

// What `command`, run by the shell, wrote to standard output, and its exit status (128 + the
// signal that ended it; -1 when it could not be started).
struct CommandOutput {
  int status = -1;
  std::string out;
};
CommandOutput runCommand(const std::string& command);
void writeFile(const std::filesystem::path& path, const std::string& bytes);

// A test that reads elements from XML text: COM up, the XML backend checked, one document
// to parse into, and a temporary folder.
class DomFixture : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;
  // The document element of `text`, which must load.
  xml::Node parse(std::string_view text);

  win::ComScope com_;
  xml::DocumentPtr document_;
  TempDir dir_;
};

}  // namespace pelagon::test
