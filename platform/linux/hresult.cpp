#include <pelagon/platform/hresult.h>

#include <cerrno>
#include <cstdio>
#include <utility>

namespace win {

namespace {

struct MessageEntry {
  HRESULT code;
  const char* text;
};

// The texts Windows gives for the codes this system raises.
constexpr MessageEntry kMessages[] = {
    {S_OK, "The operation completed successfully."},
    {S_FALSE, "Incorrect function."},
    {E_NOTIMPL, "Not implemented"},
    {E_NOINTERFACE, "No such interface supported"},
    {E_POINTER, "Invalid pointer"},
    {E_FAIL, "Unspecified error"},
    {E_UNEXPECTED, "Catastrophic failure"},
    {REGDB_E_CLASSNOTREG, "Class not registered"},
    {CO_E_NOTINITIALIZED, "CoInitialize has not been called."},
    {RPC_E_CHANGED_MODE, "Cannot change thread mode after it is set."},
    {HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), "The system cannot find the file specified."},
    {HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), "The system cannot find the path specified."},
    {E_ACCESSDENIED, "Access is denied."},
    {HRESULT_FROM_WIN32(ERROR_INVALID_DATA), "The data is invalid."},
    {E_OUTOFMEMORY, "Not enough memory resources are available to complete this operation."},
    {HRESULT_FROM_WIN32(ERROR_WRITE_FAULT), "The system cannot write to the specified device."},
    {HRESULT_FROM_WIN32(ERROR_READ_FAULT), "The system cannot read from the specified device."},
    {HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION),
     "The process cannot access the file because it is being used by another process."},
    {HRESULT_FROM_WIN32(ERROR_FILE_EXISTS), "The file exists."},
    {E_INVALIDARG, "The parameter is incorrect."},
    {HRESULT_FROM_WIN32(ERROR_DISK_FULL), "There is not enough space on the disk."},
    {HRESULT_FROM_WIN32(ERROR_INVALID_NAME),
     "The filename, directory name, or volume label syntax is incorrect."},
    {HRESULT_FROM_WIN32(ERROR_DIR_NOT_EMPTY), "The directory is not empty."},
    {HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS), "Cannot create a file when that file already exists."},
    {HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE), "The filename or extension is too long."},
    {HRESULT_FROM_WIN32(ERROR_MORE_DATA), "More data is available."},
};

}  // namespace

DWORD Win32ErrorFromErrno(int errnoValue) {
  switch (errnoValue) {
    case 0:
      return ERROR_SUCCESS;
    // The callers create or write files, where a missing name means a missing folder.
    case ENOENT:
      return ERROR_PATH_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return ERROR_ACCESS_DENIED;
    case EEXIST:
      return ERROR_ALREADY_EXISTS;
    case ENOSPC:
    case EDQUOT:
      return ERROR_DISK_FULL;
    case ENOMEM:
      return ERROR_OUTOFMEMORY;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    case EINVAL:
      return ERROR_INVALID_PARAMETER;
    case ENOTEMPTY:
      return ERROR_DIR_NOT_EMPTY;
    case EBUSY:
    case ETXTBSY:
      return ERROR_SHARING_VIOLATION;
    default:
      return ERROR_WRITE_FAULT;
  }
}

_com_error::_com_error(HRESULT hr, std::string description) noexcept
    : hr_(hr), description_(std::move(description)) {}

std::string SystemMessage(HRESULT hr) {
  for (const auto& entry : kMessages) {
    if (entry.code == hr) return entry.text;
  }
  return {};
}

std::string _com_error::ErrorMessage() const {
  std::string text = SystemMessage(hr_);
  if (!text.empty()) return text;
  const auto code = static_cast<std::uint32_t>(hr_);
  char buffer[48];
  if (code > 0x80040200u && code <= 0x8004FFFFu) {
    std::snprintf(buffer, sizeof buffer, "IDispatch error #%d", static_cast<int>(code - 0x80040200u));
  } else {
    std::snprintf(buffer, sizeof buffer, "Unknown error 0x%0lX", static_cast<unsigned long>(code));
  }
  return buffer;
}

}  // namespace win
