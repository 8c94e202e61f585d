#include "test_support.h"

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <pelagon/platform/com.h>
#include <pelagon/xmlio/dom_creator.h>

namespace pelagon::test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "pelagon-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a temporary folder");
  path_ = pattern;
}

int RunWhereFolderRefusesNewFiles(const std::filesystem::path& folder, const std::function<int()>& body) {
  namespace fs = std::filesystem;
  const fs::perms before = fs::status(folder).permissions();
  // Open to everyone but for writing, so that nobody can reach the files.
  fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                              fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    constexpr uid_t kNobody = 65534;
    if (::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
      ::_exit(126);
    ::_exit(body());
  }
  int status = 0;
  const bool exited = child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status);
  fs::permissions(folder, before);
  return exited ? WEXITSTATUS(status) : -1;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path dataDir() {
  if (const char* env = std::getenv("PELAGON_TEST_DATA")) return env;
  return std::filesystem::path(__FILE__).parent_path().parent_path() / "data";
}

void dropComInitialisations() {
  while (win::ComInitCount() > 0) win::CoUninitialize();
}

std::filesystem::path schemaDir() {
  if (const char* env = std::getenv("PELAGON_SCHEMAS")) return env;
  return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "schemas";
}

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::size_t countFiles(const std::filesystem::path& root) {
  std::size_t n = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) n += entry.is_regular_file();
  return n;
}

CommandOutput runCommand(const std::string& command) {
  CommandOutput result;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  std::array<char, 4096> buffer{};
  std::size_t n = 0;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) result.out.append(buffer.data(), n);
  const int raw = ::pclose(pipe);
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  return result;
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

void DomFixture::SetUp() {
  ASSERT_TRUE(com_.Ok());
  ASSERT_TRUE(EnsureMsxmlAvailable());
  document_ = xml::Document::Create();
}

void DomFixture::TearDown() { dropComInitialisations(); }

xml::Node DomFixture::parse(std::string_view text) {
  EXPECT_TRUE(document_->loadFromMemory(text).ok) << text;
  return document_->documentElement();
}

}  // namespace pelagon::test
