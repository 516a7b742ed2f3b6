// Little CMS's objects held by their owners: each freed with its own call when its owner ends.
#pragma once

#include <lcms2.h>
#include <memory>

namespace pictures::lcms {

struct ProfileCloser {
    void operator()(void* p) const { cmsCloseProfile(p); }
};
struct TransformDeleter {
    void operator()(void* t) const { cmsDeleteTransform(t); }
};
struct CurveDeleter {
    void operator()(cmsToneCurve* c) const { cmsFreeToneCurve(c); }
};

using Profile = std::unique_ptr<void, ProfileCloser>;
using Transform = std::unique_ptr<void, TransformDeleter>;
using Curve = std::unique_ptr<cmsToneCurve, CurveDeleter>;

} // namespace pictures::lcms
