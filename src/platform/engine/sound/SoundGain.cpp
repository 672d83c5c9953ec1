#include "platform/engine/sound/SoundGain.h"

#include <algorithm>
#include <cmath>

namespace plim::engine {

SoundGain::SoundGain(int rate) : step_(1.0 / std::max(1.0, double(std::max(rate, 1)) * kRampSeconds)) {}

void SoundGain::setLevel(double level) {
    target_.store(std::isnan(level) ? 1.0 : std::clamp(level, 0.0, 1.0), std::memory_order_relaxed);
}

void SoundGain::apply(int16_t* samples, int frames, int channels) {
    const double target = target_.load(std::memory_order_relaxed);
    if (settle_.exchange(false, std::memory_order_relaxed)) gain_ = target;
    if (gain_ == 1.0 && target == 1.0) return;
    for (int f = 0; f < frames; ++f) {
        if (gain_ != target) gain_ = gain_ < target ? std::min(target, gain_ + step_) : std::max(target, gain_ - step_);
        for (int c = 0; c < channels; ++c) {
            int16_t& s = samples[size_t(f) * size_t(channels) + size_t(c)];
            s = int16_t(std::lround(double(s) * gain_));  // |gain| <= 1: always in range
        }
    }
}

}  // namespace plim::engine
