#pragma once
// The playback clock as a small value: media time advances with wall time while running.
#include <chrono>
#include <cstdint>

namespace plim::engine {

// The engine's one wall clock: microseconds of the monotonic clock, which never jumps.
inline int64_t monotonicUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

// How often the display looks for a due frame while it waits for one, microseconds.
constexpr int64_t kTickIntervalUs = 4000;

struct Clock {
    int64_t baseMediaUs = 0;
    int64_t baseWallUs = 0;
    bool running = false;

    static Clock stoppedAt(int64_t mediaUs) { return Clock{mediaUs, 0, false}; }
    static Clock startedAt(int64_t mediaUs, int64_t wallUs) { return Clock{mediaUs, wallUs, true}; }
    int64_t at(int64_t wallUs) const { return running ? baseMediaUs + (wallUs - baseWallUs) : baseMediaUs; }
};

}  // namespace plim::engine
