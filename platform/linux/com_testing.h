#pragma once
// Test hooks of the COM stand-in. Not installed: callers of the library never need them.

#include <pelagon/platform/hresult.h>

namespace win::testing {

// While set, CoInitialize on this thread fails with the given code and initialises nothing.
void FailCoInitialize(HRESULT hr);
void ClearCoInitializeFailure();
// Lets `successes` more calls on this thread succeed, then fails every later one with `hr`.
void FailCoInitializeAfter(int successes, HRESULT hr);

}  // namespace win::testing
