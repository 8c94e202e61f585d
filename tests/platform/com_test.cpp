// COM initialisation, the debug output sink and the application title.

#include <pelagon/platform/com.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include <pelagon/platform/app_title.h>
#include <pelagon/platform/debug_output.h>
#include <pelagon/platform/linux/com_testing.h>
#include "../support/test_support.h"

namespace pelagon::test {
namespace {

using win::CoInitialize;
using win::ComInitCount;
using win::ComScope;
using win::CoUninitialize;

class ComTest : public ::testing::Test {
protected:
  void TearDown() override {
    win::testing::ClearCoInitializeFailure();
    while (ComInitCount() > 0) CoUninitialize();
  }
};

TEST_F(ComTest, CountsInitialisationsPerThread) {
  EXPECT_EQ(CoInitialize(nullptr), win::S_OK);
  EXPECT_EQ(CoInitialize(nullptr), win::S_FALSE);
  EXPECT_EQ(CoInitialize(nullptr), win::S_FALSE);
  EXPECT_EQ(ComInitCount(), 3);

  int otherCount = -1;
  win::HRESULT otherFirst = win::E_FAIL;
  std::thread other([&] {
    otherCount = ComInitCount();
    otherFirst = CoInitialize(nullptr);
    CoUninitialize();
  });
  other.join();
  EXPECT_EQ(otherCount, 0);
  EXPECT_EQ(otherFirst, win::S_OK);
  EXPECT_EQ(ComInitCount(), 3);

  for (int i = 0; i < 3; ++i) CoUninitialize();
  EXPECT_EQ(ComInitCount(), 0);
  // An unbalanced call does not leave a debt for the next initialisation.
  CoUninitialize();
  EXPECT_EQ(CoInitialize(nullptr), win::S_OK);
}

TEST_F(ComTest, ScopesNestAndReleaseWhatTheyTook) {
  {
    ComScope outer;
    ComScope inner;
    EXPECT_EQ(outer.Result(), win::S_OK);
    EXPECT_EQ(inner.Result(), win::S_FALSE);
    EXPECT_TRUE(inner.Ok());
    EXPECT_EQ(ComInitCount(), 2);
  }
  EXPECT_EQ(ComInitCount(), 0);
}

TEST_F(ComTest, KeptScopeLeavesItsInitialisationAndTheLastChoiceCounts) {
  {
    ComScope kept;
    kept.Keep();
  }
  EXPECT_EQ(ComInitCount(), 1);
  {
    ComScope released;
    released.Keep();
    released.Keep(false);
  }
  EXPECT_EQ(ComInitCount(), 1);
}

TEST_F(ComTest, ForcedFailureInitialisesNothingOnThisThreadOnly) {
  ASSERT_EQ(CoInitialize(nullptr), win::S_OK);
  win::testing::FailCoInitialize(win::RPC_E_CHANGED_MODE);
  {
    ComScope failed;
    EXPECT_FALSE(failed.Ok());
    EXPECT_EQ(failed.Result(), win::RPC_E_CHANGED_MODE);
    EXPECT_EQ(ComInitCount(), 1);
  }
  // A failed scope must not undo the initialisation someone else holds.
  EXPECT_EQ(ComInitCount(), 1);

  win::HRESULT other = win::E_FAIL;
  std::thread([&] {
    other = CoInitialize(nullptr);
    CoUninitialize();
  }).join();
  EXPECT_EQ(other, win::S_OK);

  win::testing::ClearCoInitializeFailure();
  EXPECT_EQ(CoInitialize(nullptr), win::S_FALSE);
}

class DebugOutputTest : public ::testing::Test {
protected:
  void TearDown() override { win::SetDebugOutputToDefault(); }
};

TEST_F(DebugOutputTest, BufferCollectsTextAsWrittenUntilTaken) {
  win::SetDebugOutputToBuffer();
  win::OutputDebugStringA("stale");
  win::SetDebugOutputToBuffer();
  win::OutputDebugStringA("01 first\r\n");
  win::OutputDebugStringA(nullptr);
  win::OutputDebugStringA("02 second\r\n");
  EXPECT_EQ(win::TakeDebugOutput(), "01 first\r\n02 second\r\n");
  EXPECT_EQ(win::TakeDebugOutput(), "");
}

TEST_F(DebugOutputTest, FileIsAppendedToAndCurrentAfterEachCall) {
  TempDir dir;
  const std::string log = dir.file("install.log");
  writeFile(log, "earlier\r\n");
  ASSERT_TRUE(win::SetDebugOutputToFile(log));
  win::OutputDebugStringA("01 a\r\n");
  EXPECT_EQ(readFile(log), "earlier\r\n01 a\r\n");
  win::OutputDebugStringA("02 b\r\n");
  win::SetDebugOutputToDefault();
  ::testing::internal::CaptureStderr();
  win::OutputDebugStringA("to stderr\r\n");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "to stderr\r\n");
  EXPECT_EQ(readFile(log), "earlier\r\n01 a\r\n02 b\r\n");
}

TEST_F(DebugOutputTest, UnopenableFileLeavesTheSinkAsItWas) {
  TempDir dir;
  win::SetDebugOutputToBuffer();
  EXPECT_FALSE(win::SetDebugOutputToFile(dir.file("missing/install.log")));
  win::OutputDebugStringA("kept");
  EXPECT_EQ(win::TakeDebugOutput(), "kept");
}

TEST(AppTitleTest, HoldsWhatWasSet) {
  win::SetAppTitle("Pelagon KD Setup");
  const std::string& title = win::GetAppTitle();
  EXPECT_EQ(title, "Pelagon KD Setup");
  win::SetAppTitle({});
  EXPECT_EQ(title, "");
}

}  // namespace
}  // namespace pelagon::test
