#include <pelagon/platform/hresult.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <exception>
#include <string>

namespace pelagon::test {
namespace {

using namespace win;

std::string messageOf(std::uint32_t code) { return _com_error(MakeHresult(code)).ErrorMessage(); }

TEST(ComErrorTest, GivesTheSystemText) {
  EXPECT_EQ(_com_error(E_POINTER).ErrorMessage(), "Invalid pointer");
  EXPECT_EQ(_com_error(E_FAIL).ErrorMessage(), "Unspecified error");
  EXPECT_EQ(_com_error(E_OUTOFMEMORY).ErrorMessage(),
            "Not enough memory resources are available to complete this operation.");
  EXPECT_EQ(_com_error(E_INVALIDARG).ErrorMessage(), "The parameter is incorrect.");
  EXPECT_EQ(_com_error(E_ACCESSDENIED).ErrorMessage(), "Access is denied.");
  EXPECT_EQ(_com_error(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)).ErrorMessage(),
            "The system cannot find the file specified.");
  EXPECT_EQ(_com_error(REGDB_E_CLASSNOTREG).ErrorMessage(), "Class not registered");
}

TEST(ComErrorTest, NumbersTheIDispatchRangeAndCallsTheRestUnknown) {
  EXPECT_EQ(messageOf(0x80040201u), "IDispatch error #1");
  EXPECT_EQ(messageOf(0x80040300u), "IDispatch error #256");
  EXPECT_EQ(messageOf(0x8004FFFFu), "IDispatch error #65023");

  EXPECT_EQ(messageOf(0x80040200u), "Unknown error 0x80040200");
  EXPECT_EQ(messageOf(0x800401FFu), "Unknown error 0x800401FF");
  EXPECT_EQ(messageOf(0x80050000u), "Unknown error 0x80050000");
  EXPECT_EQ(messageOf(0x12345u), "Unknown error 0x12345");
  EXPECT_EQ(messageOf(0xFFFFFFFFu), "Unknown error 0xFFFFFFFF");
}

TEST(ComErrorTest, CarriesItsCodeAndDescription) {
  const _com_error plain(E_FAIL);
  EXPECT_EQ(plain.Error(), E_FAIL);
  EXPECT_FALSE(plain.HasDescription());
  const _com_error described(E_POINTER, "no document");
  EXPECT_TRUE(described.HasDescription());
  EXPECT_EQ(described.Description(), "no document");
  EXPECT_EQ(described.ErrorMessage(), "Invalid pointer");
}

TEST(ComErrorTest, PassesThroughAHandlerForStdException) {
  bool caughtAsStd = false;
  try {
    try {
      throw _com_error(E_POINTER);
    } catch (const std::exception&) {
      caughtAsStd = true;
    }
  } catch (const _com_error& error) {
    EXPECT_EQ(error.Error(), E_POINTER);
  }
  EXPECT_FALSE(caughtAsStd);
}

TEST(HresultTest, WrapsWin32CodesAndPassesHresultsThrough) {
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_SUCCESS), S_OK);
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), E_ACCESSDENIED);
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_OUTOFMEMORY), E_OUTOFMEMORY);
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER), E_INVALIDARG);
  EXPECT_TRUE(FAILED(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)));
  EXPECT_TRUE(SUCCEEDED(S_FALSE));
  // A value that already is a failure code stays as it is.
  EXPECT_EQ(HRESULT_FROM_WIN32(static_cast<DWORD>(E_FAIL)), E_FAIL);
}

TEST(HresultTest, MapsErrnoToTheWin32Code) {
  EXPECT_EQ(Win32ErrorFromErrno(0), ERROR_SUCCESS);
  EXPECT_EQ(Win32ErrorFromErrno(EACCES), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Win32ErrorFromErrno(EEXIST), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(Win32ErrorFromErrno(ENOSPC), ERROR_DISK_FULL);
  EXPECT_EQ(Win32ErrorFromErrno(ENAMETOOLONG), ERROR_FILENAME_EXCED_RANGE);
}

}  // namespace
}  // namespace pelagon::test
