#include "platform/mci/engine/play/Presenter.h"

#include <algorithm>

#include "platform/mci/engine/input/MediaSource.h"
#include "platform/mci/engine/base/Clock.h"
#include "platform/mci/engine/play/Stepper.h"
#include "platform/mci/engine/sound/SoundDevice.h"

namespace plim::engine {

namespace {
// Sound that does not come within this time after play is not waited for.
constexpr int64_t kAudioStartGraceUs = 500000;
// The display's shortest and longest sleeps while the next frame is known: it sleeps until
// that frame is due, since every command that changes what is due restarts it at once.
constexpr int64_t kMinWaitUs = 1000;
constexpr int64_t kMaxWaitUs = 100000;
// A reader waiting this long for the disk while nothing is left to show holds the clock.
constexpr int64_t kDiskWaitHoldUs = 30000;
}  // namespace

int64_t Presenter::waitHintLocked(int64_t now) const {
    if (!c_.state.clockRuns() || c_.owed.targetDue()) return kTickIntervalUs;
    auto next = c_.fq.peek(c_.gen);
    if (!next) return kTickIntervalUs;
    return std::clamp<int64_t>(next->ptsUs - c_.clockLocked(now), kMinWaitUs, kMaxWaitUs);
}

std::optional<VideoFrame> Presenter::frameToShowLocked(int64_t now) {
    std::optional<VideoFrame> shown = c_.owed.takeKept();
    if (c_.owed.targetDue()) {
        takeTargetLocked(shown);
        if (c_.owed.targetDue()) return shown;
    }
    stepper_.takeStepsLocked(shown);
    if (c_.state.mode() == Mode::Playing) {
        bool runs = c_.state.wait() == PlayState::Wait::None || startClockWhenReadyLocked(now);
        if (runs) takeDueLocked(shown, now);
    }
    return shown;
}

// The picture a seek or open asked for, once decoded; nothing when the stream has none there.
void Presenter::takeTargetLocked(std::optional<VideoFrame>& shown) {
    auto f = c_.fq.peek(c_.gen);
    if (f && f->seekTarget) {
        c_.fq.pop();
        shown = f;
        if (c_.owed.targetShown()) c_.state.stepTo(f->ptsUs);
    } else if (!f && c_.ends.videoEnded(c_.gen)) {
        c_.owed.targetShown();  // nothing to show at that position
    }
}

// While the clock runs: the latest picture due (a late one is dropped, never shown late),
// then the end of play, or a hold while the disk is late.
void Presenter::takeDueLocked(std::optional<VideoFrame>& shown, int64_t now) {
    if (auto sound = c_.soundTimeLocked()) c_.state.followSound(*sound, now);
    int64_t t = c_.clockLocked(now);
    while (auto f = c_.fq.peek(c_.gen)) {
        if (f->ptsUs > t) break;
        c_.fq.pop();
        if (shown) ++c_.dropped;
        shown = f;
    }
    if (auto endAt = endReachedLocked(t)) finishLocked(*endAt);
    else if (starvedLocked(t, shown ? shown->ptsUs : c_.owed.shownPtsUs(), now)) holdForDataLocked(t, now);
}

// The end of play: the end asked for, or the real end of the streams, whichever comes first.
// Returns the time play ends at, or nullopt while it goes on.
std::optional<int64_t> Presenter::endReachedLocked(int64_t t) const {
    const int64_t endUs = c_.state.endUs();
    if (t >= endUs) return endUs;
    bool videoDone = !c_.info.hasVideo || (c_.ends.videoEnded(c_.gen) && !c_.fq.peek(c_.gen));
    if (!videoDone) return std::nullopt;
    SoundDevice* audio = c_.sound.get();
    // Sound left only far beyond a hole once the input has ended lies where damaged times
    // put it: it is never reached, and play ends without it.
    bool soundStranded = audio && audio->leftAfter(c_.gen, t + StreamEnds::kStrandedSoundUs).has_value();
    if (audio && !audio->drained(c_.gen) && !soundStranded) return std::nullopt;
    // Sound alone runs to the length (or, unknown, the estimate) on the clock.
    int64_t lastEnd = c_.info.hasVideo               ? c_.ends.lastVideoEndUs()
                      : endUs == PlayState::kNoEndUs ? c_.state.estimatedLengthUs()
                                                     : endUs;
    if (audio && !soundStranded && audio->endUs(c_.gen) > lastEnd) lastEnd = audio->endUs(c_.gen);
    if (auto silent = c_.ends.silentSoundEndUs(c_.gen); !audio && silent) lastEnd = std::max(lastEnd, *silent);
    if (t < lastEnd) return std::nullopt;
    return std::min(endUs, lastEnd);  // where the data ends, not where the clock stood when seen
}

void Presenter::finishLocked(int64_t endAt) {
    c_.state.finish(endAt);
    c_.pauseSoundLocked();
}

// The reader is waiting for the disk and what is due now is not there: the picture after
// the one shown (nothing decoded, nothing read), or the sound (almost none left to hear and
// no pictures read either, so a stream of sound that merely ends early holds nothing).
bool Presenter::starvedLocked(int64_t t, int64_t shownUs, int64_t now) const {
    if (c_.ends.inputEnded() || c_.src->diskWaitUs(now) < kDiskWaitHoldUs || c_.vq.count() > 0) return false;
    bool pictureMissing = c_.info.hasVideo && !c_.ends.videoEnded(c_.gen) && !c_.fq.peek(c_.gen) &&
                          t >= shownUs + c_.info.frameDurUs;
    bool soundMissing = c_.sound && c_.sound->starving(c_.gen);
    return pictureMissing || soundMissing;
}

// Holds the clock where it stands, as while waiting for the first frame after a seek, until
// the data comes: a pause of the disk loses neither pictures nor sound.
void Presenter::holdForDataLocked(int64_t t, int64_t now) {
    c_.state.holdForData(t, now);
    c_.pauseSoundLocked();
}

// The clock waits for the first frame and the sound after play or resume, and for the
// reader's data after the disk was late; it starts once they are there. Sound that does not
// come within the grace time (counted from when the disk answered) is not waited for.
// True when the clock runs.
bool Presenter::startClockWhenReadyLocked(int64_t now) {
    if (c_.state.wait() == PlayState::Wait::Data && c_.src->diskWaitUs(now) >= kDiskWaitHoldUs) {
        c_.state.waitFrom(now);
        return false;
    }
    c_.state.waitSeen(now);
    bool ready = !c_.info.hasVideo || c_.fq.peek(c_.gen) || c_.ends.videoEnded(c_.gen);
    bool soundLate = c_.state.waitedUs(now) > kAudioStartGraceUs;
    if (c_.sound && !c_.sound->ready(c_.gen) && !soundLate) ready = false;
    if (!ready) return false;
    int64_t from = c_.state.positionUs();
    c_.state.startClock(now);
    if (c_.sound) c_.sound->start(c_.gen, from);
    return true;
}

}  // namespace plim::engine
