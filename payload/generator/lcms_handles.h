#pragma once
// Owning handles for the liblcms2 objects the generator and its tests use. Include liblcms2
// through this header only.

#include <lcms2.h>

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

using Profile = std::unique_ptr<void, ProfileCloser>;
using Transform = std::unique_ptr<void, TransformDeleter>;
using Pipeline = std::unique_ptr<cmsPipeline, PipelineDeleter>;
using Stage = std::unique_ptr<cmsStage, StageDeleter>;
using ToneCurve = std::unique_ptr<cmsToneCurve, ToneCurveDeleter>;
using Mlu = std::unique_ptr<cmsMLU, MluDeleter>;

}  // namespace pelagon::payload::lcms
