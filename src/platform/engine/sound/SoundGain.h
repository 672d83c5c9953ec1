#pragma once
// The sound level: a gain on the samples handed to the device, which the device's clock
// never sees. A new level is reached over a few milliseconds, sample by sample, so that a
// change never clicks. The level may be set from any thread; the samples are scaled on the
// device's (SDL's audio thread), one caller at a time.
#include <atomic>
#include <cstdint>

namespace plim::engine {

class SoundGain {
public:
    static constexpr double kRampSeconds = 0.005;
    explicit SoundGain(int rate);
    // 0 (silence) to 1 (the samples as decoded); others are clamped.
    void setLevel(double level);
    double level() const { return target_.load(std::memory_order_relaxed); }
    // Scales frames x channels interleaved signed 16-bit samples in place, on the way to the
    // level last set; at the full level and there, leaves them untouched.
    void apply(int16_t* samples, int frames, int channels);
    // The next apply starts at the level, with no ramp: output begins after silence (a
    // start), where nothing heard can click. Any thread.
    void settle() { settle_.store(true, std::memory_order_relaxed); }

private:
    std::atomic<double> target_{1.0};
    std::atomic<bool> settle_{false};
    double gain_ = 1.0;  // the gain of the last frame scaled
    double step_;        // the most the gain moves from one frame to the next
};

}  // namespace plim::engine
