// No debugger here: standard error stands in for it while the lines go nowhere else.
#include <cstdio>

#include <pelagon/platform/debug_output.h>

namespace win::detail {

void WriteToDebugChannel(const char* text, bool copied) {
  if (copied) return;
  std::fputs(text, stderr);
  // Each call is one message; flush so a crash later loses none of them.
  std::fflush(stderr);
}

}  // namespace win::detail
