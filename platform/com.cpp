#include "platform/com.h"

namespace win {

namespace {
thread_local int initCount = 0;
thread_local HRESULT forcedFailure = S_OK;
}  // namespace

HRESULT CoInitialize(void* /*reserved*/) {
  if (FAILED(forcedFailure)) return forcedFailure;
  return initCount++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize() {
  // An unbalanced call is ignored, as the platform does once the count has reached zero.
  if (initCount > 0) --initCount;
}

int ComInitCount() { return initCount; }

namespace testing {
void FailCoInitialize(HRESULT hr) { forcedFailure = hr; }
void ClearCoInitializeFailure() { forcedFailure = S_OK; }
}  // namespace testing

}  // namespace win
