#pragma once
// Result codes and the COM error object, as the Windows headers define them.

#include <cstdint>
#include <string>

// The calling convention of the system's entry points: __stdcall on 32-bit Windows, where a
// function reached through GetProcAddress must be called as such; nothing elsewhere.
#if defined(_WIN32) && defined(__i386__)
#define WINAPI __stdcall
#else
#define WINAPI
#endif

namespace win {

using HRESULT = std::int32_t;
using DWORD = std::uint32_t;
using BOOL = int;
constexpr BOOL FALSE = 0;
constexpr BOOL TRUE = 1;
// An open file, search or process; what it stands for is released by its own close call.
using HANDLE = void*;
using HMODULE = const void*;

constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;

constexpr HRESULT MakeHresult(std::uint32_t bits) { return static_cast<HRESULT>(bits); }

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = MakeHresult(0x80004001u);
constexpr HRESULT E_NOINTERFACE = MakeHresult(0x80004002u);
constexpr HRESULT E_POINTER = MakeHresult(0x80004003u);
constexpr HRESULT E_FAIL = MakeHresult(0x80004005u);
constexpr HRESULT E_UNEXPECTED = MakeHresult(0x8000FFFFu);
constexpr HRESULT E_ACCESSDENIED = MakeHresult(0x80070005u);
constexpr HRESULT E_OUTOFMEMORY = MakeHresult(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = MakeHresult(0x80070057u);
constexpr HRESULT REGDB_E_CLASSNOTREG = MakeHresult(0x80040154u);
constexpr HRESULT CO_E_NOTINITIALIZED = MakeHresult(0x800401F0u);
constexpr HRESULT RPC_E_CHANGED_MODE = MakeHresult(0x80010106u);

// Win32 error codes the library and its stand-ins produce.
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_INVALID_DATA = 13;
constexpr DWORD ERROR_OUTOFMEMORY = 14;
constexpr DWORD ERROR_WRITE_FAULT = 29;
constexpr DWORD ERROR_READ_FAULT = 30;
constexpr DWORD ERROR_NOT_SAME_DEVICE = 17;
constexpr DWORD ERROR_SHARING_VIOLATION = 32;
constexpr DWORD ERROR_FILE_EXISTS = 80;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_INVALID_NAME = 123;
constexpr DWORD ERROR_BAD_PATHNAME = 161;
constexpr DWORD ERROR_DIR_NOT_EMPTY = 145;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;
constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;
constexpr DWORD ERROR_MORE_DATA = 234;
constexpr DWORD ERROR_NO_MORE_FILES = 18;

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

// As the Windows macro: a value that is already an HRESULT (zero or negative) passes through.
constexpr HRESULT HRESULT_FROM_WIN32(DWORD code) {
  return MakeHresult(code) <= 0 ? MakeHresult(code) : MakeHresult((code & 0xFFFFu) | 0x80070000u);
}

// The Win32 error code that an errno value stands for on Windows.
DWORD Win32ErrorFromErrno(int errnoValue);

// The COM error object. It is deliberately not a std::exception: code that catches
// std::exception lets it pass, as on Windows.
class _com_error {
public:
  explicit _com_error(HRESULT hr, std::string description = {}) noexcept;

  HRESULT Error() const noexcept { return hr_; }
  // The error object's description, empty when the error carries none.
  const std::string& Description() const noexcept { return description_; }
  bool HasDescription() const noexcept { return !description_.empty(); }
  // The system text for the code, without a trailing line end; the fixed fallbacks otherwise.
  std::string ErrorMessage() const;

private:
  HRESULT hr_;
  std::string description_;
};

// The system's message text for a code, or empty when the system has none.
std::string SystemMessage(HRESULT hr);

}  // namespace win
