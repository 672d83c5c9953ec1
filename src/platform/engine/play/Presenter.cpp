#include "platform/engine/play/Presenter.h"

#include <algorithm>

#include "platform/engine/base/Clock.h"
#include "platform/engine/sound/SoundDevice.h"

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
    if (!showing_.state.clockRuns() || showing_.owed.targetDue()) return kTickIntervalUs;
    auto next = fq_.peek(gens_.current());
    if (!next) return kTickIntervalUs;
    return std::clamp<int64_t>(next->ptsUs - transport_.clockLocked(now), kMinWaitUs, kMaxWaitUs);
}

bool Presenter::takeOwedLocked(std::optional<VideoFrame>& shown) {
    if (auto kept = showing_.owed.takeKept()) shown = std::move(kept);
    if (showing_.owed.targetDue()) takeTargetLocked(shown);
    return !showing_.owed.targetDue();
}

void Presenter::advanceLocked(std::optional<VideoFrame>& shown, int64_t now) {
    if (showing_.state.mode() != Mode::Playing) return;
    bool runs = showing_.state.wait() == PlayState::Wait::None || startClockWhenReadyLocked(now);
    if (runs) takeDueLocked(shown, now);
}

// The picture a seek or open asked for, once decoded; nothing when the stream has none there.
void Presenter::takeTargetLocked(std::optional<VideoFrame>& shown) {
    auto f = fq_.peek(gens_.current());
    if (f && f->seekTarget) {
        fq_.tryPop();
        shown = f;
        if (showing_.owed.targetShown()) showing_.state.stepTo(f->ptsUs);
    } else if (!f && ends_.videoEnded(gens_.current())) {
        showing_.owed.targetShown();  // nothing to show at that position
    }
}

// While the clock runs: the latest picture due (a late one is dropped, never shown late),
// then the end of play, or a hold while the disk is late.
void Presenter::takeDueLocked(std::optional<VideoFrame>& shown, int64_t now) {
    if (auto sound = transport_.soundTimeLocked()) showing_.state.followSound(*sound, now);
    int64_t t = transport_.clockLocked(now);
    while (auto f = fq_.peek(gens_.current())) {
        if (f->ptsUs > t) break;
        fq_.tryPop();
        if (shown) ++showing_.dropped;
        shown = f;
    }
    if (auto endAt = endReachedLocked(t)) finishLocked(*endAt);
    else if (starvedLocked(t, shown ? shown->ptsUs : showing_.owed.shownPtsUs(), now)) holdForDataLocked(t, now);
}

// The end of play: the end asked for, or the real end of the streams, whichever comes first.
// Returns the time play ends at, or nullopt while it goes on.
std::optional<int64_t> Presenter::endReachedLocked(int64_t t) const {
    const int64_t endUs = showing_.state.endUs();
    if (t >= endUs) return endUs;
    bool videoDone = !facts_.hasVideo || (ends_.videoEnded(gens_.current()) && !fq_.peek(gens_.current()));
    if (!videoDone) return std::nullopt;
    SoundDevice* audio = sound_;
    // Sound left only far beyond a hole once the input has ended lies where damaged times
    // put it: it is never reached, and play ends without it.
    bool soundStranded = audio && audio->leftAfter(gens_.current(), t + StreamEnds::kStrandedSoundUs).has_value();
    if (audio && !audio->drained(gens_.current()) && !soundStranded) return std::nullopt;
    // Sound alone runs to the length (or, unknown, the estimate) on the clock.
    int64_t lastEnd = facts_.hasVideo               ? ends_.lastVideoEndUs()
                      : endUs == PlayState::kNoEndUs ? showing_.state.estimatedLengthUs()
                                                     : endUs;
    if (audio && !soundStranded && audio->endUs(gens_.current()) > lastEnd) lastEnd = audio->endUs(gens_.current());
    if (auto silent = ends_.silentSoundEndUs(gens_.current()); !audio && silent) lastEnd = std::max(lastEnd, *silent);
    if (t < lastEnd) return std::nullopt;
    return std::min(endUs, lastEnd);  // where the data ends, not where the clock stood when seen
}

void Presenter::finishLocked(int64_t endAt) {
    showing_.state.finish(endAt);
    transport_.pauseSoundLocked();
}

// The reader is waiting for the disk and what is due now is not there: the picture after
// the one shown (nothing decoded, nothing read), or the sound (almost none left to hear and
// no pictures read either, so a stream of sound that merely ends early holds nothing).
bool Presenter::starvedLocked(int64_t t, int64_t shownUs, int64_t now) const {
    if (ends_.inputEnded() || input_.disk.waitingUs(now) < kDiskWaitHoldUs || input_.packets.size() > 0) return false;
    bool pictureMissing = facts_.hasVideo && !ends_.videoEnded(gens_.current()) && !fq_.peek(gens_.current()) &&
                          t >= shownUs + facts_.frameDurUs;
    bool soundMissing = sound_ && sound_->starving(gens_.current());
    return pictureMissing || soundMissing;
}

// Holds the clock where it stands, as while waiting for the first frame after a seek, until
// the data comes: a pause of the disk loses neither pictures nor sound.
void Presenter::holdForDataLocked(int64_t t, int64_t now) {
    showing_.state.holdForData(t, now);
    transport_.pauseSoundLocked();
}

// The clock waits for the first frame and the sound after play or resume, and for the
// reader's data after the disk was late; it starts once they are there. Sound that does not
// come within the grace time (counted from when the disk answered) is not waited for.
// True when the clock runs.
bool Presenter::startClockWhenReadyLocked(int64_t now) {
    if (showing_.state.wait() == PlayState::Wait::Data && input_.disk.waitingUs(now) >= kDiskWaitHoldUs) {
        showing_.state.waitFrom(now);
        return false;
    }
    showing_.state.waitSeen(now);
    bool ready = !facts_.hasVideo || fq_.peek(gens_.current()) || ends_.videoEnded(gens_.current());
    bool soundLate = showing_.state.waitedUs(now) > kAudioStartGraceUs;
    if (sound_ && !sound_->ready(gens_.current()) && !soundLate) ready = false;
    if (!ready) return false;
    int64_t from = showing_.state.positionUs();
    showing_.state.startClock(now);
    if (sound_) sound_->start(gens_.current(), from);
    return true;
}

}  // namespace plim::engine
