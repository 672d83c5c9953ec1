#pragma once
// What tests and benchmarks read of a player beyond its product API.
#include <mutex>
#include <optional>

#include "platform/mci/engine/play/Player.h"

namespace plim::engine {

struct PlayerProbe {
    // The sound's media time now, or nullopt without sound or before it plays.
    static std::optional<int64_t> soundTimeUs(const Player& p) {
        std::lock_guard<PlayerMutex> lk(p.mu_);
        return p.transport_.soundTimeLocked();
    }
};

}  // namespace plim::engine
