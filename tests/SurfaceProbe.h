#pragma once
// What tests and the benchmark read of the video surface beyond its display contract.
#include "platform/display/ShmImage.h"
#include "platform/display/VideoSurface.h"

namespace plim::display {

struct SurfaceProbe {
    // Frames that went to the screen past the backing store.
    static int directFrames(const VideoSurface& s) { return s.directFrames_; }
    // The shared memory the next frame goes through is ready for the picture painted.
    static bool directReady(const VideoSurface& s) {
        return s.shm_ && s.painted_.isValid() && !s.shm_->needsReserve(s.onDevice(s.painted_.size()));
    }
};

}  // namespace plim::display
