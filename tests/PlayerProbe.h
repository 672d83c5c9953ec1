#pragma once
// What tests and benchmarks read of a player beyond its product API.
#include <mutex>
#include <optional>

#include <cstdint>
#include <vector>

#include "platform/engine/play/Player.h"
#include "platform/engine/sound/SoundDevice.h"

namespace plim::engine {

struct PlayerProbe {
    // Pulls `frames` sample frames of sound as the audio device would, from a player opened
    // with Options::soundUnplayed; nothing without sound.
    static void pullSound(Player& p, int frames) {
        SoundDevice* d = p.media_.sound.get();
        if (!d || frames <= 0) return;
        std::vector<uint8_t> out(size_t(frames) * size_t(d->format().bytesPerSample()));
        d->fill(out.data(), int(out.size()));
    }
    // The sound's media time now, or nullopt without sound or before it plays.
    static std::optional<int64_t> soundTimeUs(const Player& p) {
        std::lock_guard<PlayerMutex> lk(p.mu_);
        return p.transport_.soundTimeLocked();
    }
};

}  // namespace plim::engine
