#include <pelagon/platform/com.h>
#include <pelagon/platform/linux/com_testing.h>

namespace win {

namespace {
thread_local int initCount = 0;
thread_local HRESULT forcedFailure = S_OK;
// Calls still allowed before forcedFailure applies; negative while no countdown runs.
thread_local int successesLeft = -1;
}  // namespace

HRESULT CoInitialize(void* /*reserved*/) {
  if (FAILED(forcedFailure)) {
    if (successesLeft == 0 || successesLeft < 0) return forcedFailure;
    --successesLeft;
  }
  return initCount++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize() {
  // An unbalanced call is ignored, as the platform does once the count has reached zero.
  if (initCount > 0) --initCount;
}

int ComInitCount() { return initCount; }

namespace testing {
void FailCoInitialize(HRESULT hr) {
  forcedFailure = hr;
  successesLeft = -1;
}
void ClearCoInitializeFailure() {
  forcedFailure = S_OK;
  successesLeft = -1;
}
void FailCoInitializeAfter(int successes, HRESULT hr) {
  forcedFailure = hr;
  successesLeft = successes < 0 ? 0 : successes;
}
}  // namespace testing

}  // namespace win
