#include "platform/engine/play/Transport.h"

#include "platform/engine/sound/SoundDevice.h"

namespace plim::engine {

void Transport::seekLocked(int64_t us, SeekFor purpose) {
    const bool forStep = purpose == SeekFor::StepBack;
    uint64_t gen = gens_.begin(fq_);
    int64_t target = showing_.state.seekTo(us);
    showing_.owed.seek(forStep);
    gens_.request(SeekRequest{.gen = gen, .targetUs = target, .attempt = 0, .fillSteps = forStep});
    pauseSoundLocked();
}

std::optional<int64_t> Transport::soundTimeLocked() const {
    return sound_ ? sound_->timeUs(gens_.current()) : std::nullopt;
}

int64_t Transport::clockLocked(int64_t nowUs) const { return showing_.state.positionAt(nowUs, soundTimeLocked()); }

void Transport::stopAtLocked(Mode m, int64_t nowUs) {
    showing_.state.stopAt(clockLocked(nowUs), m);
    pauseSoundLocked();
}

void Transport::pauseSoundLocked() {
    if (sound_) sound_->pause();
}

}  // namespace plim::engine
