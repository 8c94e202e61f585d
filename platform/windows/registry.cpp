// The registry and the process calls over advapi32 and kernel32 themselves.
#include <pelagon/platform/registry.h>

namespace {
// The interface's predefined keys, named before <windows.h> turns these names into macros.
const win::HKEY kClassesRoot = win::HKEY_CLASSES_ROOT;
const win::HKEY kCurrentUser = win::HKEY_CURRENT_USER;
const win::HKEY kLocalMachine = win::HKEY_LOCAL_MACHINE;
}  // namespace

#include <windows.h>

namespace {

// Outside namespace win, where the system's macros name the system's own types.
HKEY native(win::HKEY key) {
  if (key == kClassesRoot) return HKEY_CLASSES_ROOT;
  if (key == kCurrentUser) return HKEY_CURRENT_USER;
  if (key == kLocalMachine) return HKEY_LOCAL_MACHINE;
  return reinterpret_cast<HKEY>(key);
}

}  // namespace

namespace win {

LSTATUS RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM desired, HKEY* result) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  ::HKEY opened = nullptr;
  const LSTATUS status = ::RegOpenKeyExA(native(key), subKey, options, desired, &opened);
  *result = status == ERROR_SUCCESS ? reinterpret_cast<HKEY>(opened) : nullptr;
  return status;
}

LSTATUS RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                         DWORD* size) {
  if (reserved != nullptr) return ERROR_INVALID_PARAMETER;
  ::DWORD nativeType = 0;
  ::DWORD nativeSize = size != nullptr ? *size : 0;
  const LSTATUS status = ::RegQueryValueExA(native(key), valueName, nullptr, type != nullptr ? &nativeType : nullptr,
                                            data, size != nullptr ? &nativeSize : nullptr);
  if (type != nullptr) *type = nativeType;
  if (size != nullptr) *size = nativeSize;
  return status;
}

LSTATUS RegCloseKey(HKEY key) { return ::RegCloseKey(native(key)); }

HANDLE GetCurrentProcess() { return ::GetCurrentProcess(); }

HMODULE GetModuleHandleA(const char* moduleName) { return ::GetModuleHandleA(moduleName); }

FARPROC GetProcAddress(HMODULE module, const char* procName) {
  // Handed on as the generic function pointer; the caller converts it back to its own type.
  return reinterpret_cast<FARPROC>(::GetProcAddress(static_cast<::HMODULE>(const_cast<void*>(module)), procName));
}

BOOL WINAPI IsWow64Process(HANDLE process, BOOL* wow64) { return ::IsWow64Process(process, wow64); }

}  // namespace win
