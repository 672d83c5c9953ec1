#include "platform/mci/engine/play/PlayCore.h"

#include "platform/mci/engine/decode/VideoDecoder.h"
#include "platform/mci/engine/input/MediaSource.h"
#include "platform/mci/engine/base/Clock.h"
#include "platform/mci/engine/sound/SoundDecoder.h"
#include "platform/mci/engine/sound/SoundDevice.h"

namespace plim::engine {

PlayCore::PlayCore() = default;
PlayCore::~PlayCore() = default;

void PlayCore::seekLocked(int64_t us, bool forStep) {
    ++gen;
    fq.flush(gen);
    int64_t target = state.seekTo(us);
    owed.seek(forStep);
    seekReq = SeekRequest{.pending = true, .gen = gen, .targetUs = target, .move = true, .attempt = 0, .fillSteps = forStep};
    pauseSoundLocked();
    demuxCv.notify_one();
}

std::optional<int64_t> PlayCore::soundTimeLocked() const { return sound ? sound->timeUs(gen) : std::nullopt; }

int64_t PlayCore::clockLocked(int64_t nowUs) const { return state.positionAt(nowUs, soundTimeLocked()); }

void PlayCore::stopAtLocked(Mode m) {
    state.stopAt(clockLocked(monotonicUs()), m);
    pauseSoundLocked();
}

void PlayCore::pauseSoundLocked() {
    if (sound) sound->pause();
}

}  // namespace plim::engine
