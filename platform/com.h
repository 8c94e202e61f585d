#pragma once
// COM initialisation, counted per thread as the platform does it.

#include <pelagon/platform/hresult.h>

namespace win {

// The first successful call on a thread returns S_OK, every further one S_FALSE; each
// successful call must be balanced by one CoUninitialize.
HRESULT CoInitialize(void* reserved);
void CoUninitialize();

// How many successful CoInitialize calls on this thread are not yet undone.
int ComInitCount();

// Holds one COM initialisation for a scope, when it succeeded.
class ComScope {
public:
  ComScope() : hr_(CoInitialize(nullptr)) {}
  ~ComScope() {
    if (SUCCEEDED(hr_) && !kept_) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
  HRESULT Result() const { return hr_; }
  bool Ok() const { return SUCCEEDED(hr_); }
  // Whether the initialisation stays in place when the scope ends, as the platform's save
  // paths leave it on some of their failures; the last call decides.
  void Keep(bool keep = true) { kept_ = keep; }

private:
  HRESULT hr_;
  bool kept_ = false;
};

}  // namespace win
