#pragma once
// Owning handles for the liblcms2 objects the generator and its tests use. Include liblcms2
// through this header only.

// The plugin header is liblcms2's public one for its lower levels; it brings lcms2.h and the
// MD5 digest behind the profile ID.
#include <lcms2_plugin.h>

#include <memory>

// lcms2.h defines TRUE and FALSE as macros when they are not macros yet; the platform layer
// has them as constants, which the macros would break wherever it comes after.
#undef TRUE
#undef FALSE

namespace pelagon::payload::lcms {

// Releases an object with liblcms2's function for its kind.
template <auto releaseFunction>
struct Releaser {
  template <typename Object>
  void operator()(Object* object) const noexcept {
    releaseFunction(object);
  }
};

// liblcms2 frees a digest only by finishing it; take the result with
// cmsMD5finish(&id, md5.release()).
struct Md5Finisher {
  void operator()(void* md5) const noexcept {
    cmsProfileID discarded;
    cmsMD5finish(&discarded, md5);
  }
};

using Profile = std::unique_ptr<void, Releaser<cmsCloseProfile>>;
using Transform = std::unique_ptr<void, Releaser<cmsDeleteTransform>>;
using Pipeline = std::unique_ptr<cmsPipeline, Releaser<cmsPipelineFree>>;
using Stage = std::unique_ptr<cmsStage, Releaser<cmsStageFree>>;
using ToneCurve = std::unique_ptr<cmsToneCurve, Releaser<cmsFreeToneCurve>>;
using Mlu = std::unique_ptr<cmsMLU, Releaser<cmsMLUfree>>;
using Md5 = std::unique_ptr<void, Md5Finisher>;

}  // namespace pelagon::payload::lcms
