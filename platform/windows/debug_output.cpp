// The debugger gets every line.
#include <pelagon/platform/debug_output.h>

#include <windows.h>

namespace win::detail {

void WriteToDebugChannel(const char* text, bool /*copied*/) { ::OutputDebugStringA(text); }

}  // namespace win::detail
