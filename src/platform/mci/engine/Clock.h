#pragma once
// The playback clock as a small value: media time advances with wall time while running.
#include <cstdint>

namespace plim::engine {

// Thresholds of the display and the audio clock, microseconds.
constexpr int64_t kAudioSyncThresholdUs = 40000;  // beyond this the picture re-syncs to sound
constexpr int64_t kTickIntervalUs = 4000;         // how often the display looks for a due frame

struct Clock {
    int64_t baseMediaUs = 0;
    int64_t baseWallUs = 0;
    bool running = false;

    static Clock stoppedAt(int64_t mediaUs) { return Clock{mediaUs, 0, false}; }
    static Clock startedAt(int64_t mediaUs, int64_t wallUs) { return Clock{mediaUs, wallUs, true}; }
    int64_t at(int64_t wallUs) const { return running ? baseMediaUs + (wallUs - baseWallUs) : baseMediaUs; }
    Clock stopped(int64_t wallUs) const { return stoppedAt(at(wallUs)); }
};

}  // namespace plim::engine
