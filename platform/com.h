#pragma once
// COM initialisation, counted per thread as the platform does it.

#include "platform/hresult.h"

namespace win {

// The first successful call on a thread returns S_OK, every further one S_FALSE; each
// successful call must be balanced by one CoUninitialize.
HRESULT CoInitialize(void* reserved);
void CoUninitialize();

// How many successful CoInitialize calls on this thread are not yet undone.
int ComInitCount();

namespace testing {
// While set, CoInitialize on this thread fails with the given code and initialises nothing.
void FailCoInitialize(HRESULT hr);
void ClearCoInitializeFailure();
// Lets `successes` more calls on this thread succeed, then fails every later one with `hr`.
void FailCoInitializeAfter(int successes, HRESULT hr);
}  // namespace testing

// Holds one COM initialisation for a scope, when it succeeded.
class ComScope {
public:
  ComScope() : hr_(CoInitialize(nullptr)) {}
  ~ComScope() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
  HRESULT Result() const { return hr_; }
  bool Ok() const { return SUCCEEDED(hr_); }

private:
  HRESULT hr_;
};

}  // namespace win
