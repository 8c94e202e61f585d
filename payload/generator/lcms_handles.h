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

struct ProfileCloser {
  void operator()(void* profile) const noexcept { cmsCloseProfile(profile); }
};
struct TransformDeleter {
  void operator()(void* transform) const noexcept { cmsDeleteTransform(transform); }
};
struct PipelineDeleter {
  void operator()(cmsPipeline* pipeline) const noexcept { cmsPipelineFree(pipeline); }
};
struct StageDeleter {
  void operator()(cmsStage* stage) const noexcept { cmsStageFree(stage); }
};
struct ToneCurveDeleter {
  void operator()(cmsToneCurve* curve) const noexcept { cmsFreeToneCurve(curve); }
};
struct MluDeleter {
  void operator()(cmsMLU* mlu) const noexcept { cmsMLUfree(mlu); }
};
// liblcms2 frees a digest only by finishing it; take the result with
// cmsMD5finish(&id, md5.release()).
struct Md5Finisher {
  void operator()(void* md5) const noexcept {
    cmsProfileID discarded;
    cmsMD5finish(&discarded, md5);
  }
};

using Profile = std::unique_ptr<void, ProfileCloser>;
using Transform = std::unique_ptr<void, TransformDeleter>;
using Pipeline = std::unique_ptr<cmsPipeline, PipelineDeleter>;
using Stage = std::unique_ptr<cmsStage, StageDeleter>;
using ToneCurve = std::unique_ptr<cmsToneCurve, ToneCurveDeleter>;
using Mlu = std::unique_ptr<cmsMLU, MluDeleter>;
using Md5 = std::unique_ptr<void, Md5Finisher>;

}  // namespace pelagon::payload::lcms
