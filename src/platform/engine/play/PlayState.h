#pragma once
// The play state of one player: what "status mode" tells, where the position stands, how the
// clock runs, where play ends and how long the media is. One value, changed only through its
// named transitions (their preconditions asserted in debug builds); the player keeps it under
// its mutex. Queries never change it. Times are media microseconds, wall times microseconds
// of monotonicUs.
#include <algorithm>
#include <cassert>
#include <cstdint>
#include <optional>

#include "platform/engine/base/Clock.h"
#include "platform/engine/base/Types.h"

namespace plim::engine {

class PlayState {
public:
    // Why the clock of a playing player stands still.
    enum class Wait {
        None,        // it runs
        FirstFrame,  // after play or resume: until the first frame and the sound are ready
        Data,        // the disk is late: until the reader has its data again
    };
    static constexpr int64_t kNoEndUs = INT64_MAX / 4;  // the end of a file of unknown length

    PlayState() = default;
    PlayState(int64_t lengthUs, bool lengthKnown) : lengthUs_(lengthUs), lengthKnown_(lengthKnown) {
        assert(lengthUs >= 0);
        endUs_ = naturalEndUs();
    }

    Mode mode() const { return mode_; }
    Wait wait() const { return mode_ == Mode::Playing ? wait_ : Wait::None; }
    bool clockRuns() const { return mode_ == Mode::Playing && wait_ == Wait::None; }
    // Where play ends: the end asked for, or the length when it is known or was found.
    int64_t endUs() const { return endUs_; }
    bool lengthSettled() const { return lengthKnown_ || lengthFound_; }
    int64_t naturalEndUs() const { return lengthSettled() ? lengthUs_ : kNoEndUs; }
    // The length: the file's own, or the estimate so far, never behind the position.
    int64_t lengthUs(int64_t positionUs) const { return lengthSettled() ? lengthUs_ : std::max(lengthUs_, positionUs); }
    int64_t estimatedLengthUs() const { return lengthUs_; }
    // Where the position stands while the clock does not run, and where it last started.
    int64_t positionUs() const { return posUs_; }

    // The position at nowUs: while the clock runs, the sound's time when the sound plays (the
    // master clock), otherwise the wall clock's; where it stopped while it does not run.
    int64_t positionAt(int64_t nowUs, std::optional<int64_t> soundUs) const {
        if (!clockRuns()) return posUs_;
        return std::clamp<int64_t>(soundUs ? *soundUs : clock_.at(nowUs), 0, std::max<int64_t>(0, endUs_));
    }
    // How long the clock has waited since the wait was first seen (waitSeen) or its count
    // last began again (waitFrom); 0 before.
    int64_t waitedUs(int64_t nowUs) const { return waitSinceUs_ < 0 ? 0 : nowUs - waitSinceUs_; }

    // --- transitions ---
    // The display saw the wait at nowUs: a wait that play or resume began counts from here.
    void waitSeen(int64_t nowUs) {
        if (waitSinceUs_ < 0) waitSinceUs_ = nowUs;
    }
    // The wait counts again from nowUs (the disk has just answered).
    void waitFrom(int64_t nowUs) { waitSinceUs_ = nowUs; }
    // Play from the position to toUs, or the natural end (while playing: only the end
    // moves). The clock waits for the first frame and the sound first.
    void play(std::optional<int64_t> toUs) {
        endUs_ = toUs ? *toUs : naturalEndUs();
        if (mode_ != Mode::Playing) resume();
    }
    // Play on to the end asked for before.
    void resume() {
        mode_ = Mode::Playing;
        waitFor(Wait::FirstFrame, -1);
    }
    // Stop or pause at the position the clock has reached (positionAt).
    void stopAt(int64_t positionUs, Mode m) {
        posUs_ = positionUs;
        clock_ = Clock::stoppedAt(posUs_);
        wait_ = Wait::None;
        mode_ = m;
    }
    // A seek (never while playing): the position moves to us, within the media. Returns the
    // position.
    int64_t seekTo(int64_t us) {
        assert(mode_ != Mode::Playing);
        posUs_ = std::clamp<int64_t>(us, 0, std::max<int64_t>(0, naturalEndUs()));
        clock_ = Clock::stoppedAt(posUs_);
        return posUs_;
    }
    // A step showed (or will show) the picture at us: the position becomes its time.
    void stepTo(int64_t us) {
        posUs_ = us;
        clock_ = Clock::stoppedAt(us);
    }
    // The wait is over: the clock runs from the position.
    void startClock(int64_t nowUs) {
        assert(mode_ == Mode::Playing);
        clock_ = Clock::startedAt(posUs_, nowUs);
        wait_ = Wait::None;
        waitSinceUs_ = -1;
    }
    // The data is late: the clock stops at t until the reader has it again.
    void holdForData(int64_t t, int64_t nowUs) {
        assert(clockRuns());
        posUs_ = t;
        clock_ = Clock::stoppedAt(t);
        waitFor(Wait::Data, nowUs);
    }
    // The sound is the master clock while it plays: the wall clock is re-based on it, so it
    // goes on from where the sound left off when the sound ends or has a gap.
    void followSound(int64_t soundUs, int64_t nowUs) {
        if (clockRuns()) clock_ = Clock::startedAt(soundUs, nowUs);
    }
    // Play ran out at endAt (where the data or the asked-for end is). A file that did not say
    // how long it is now has a length: the end found.
    void finish(int64_t endAt) {
        if (!lengthSettled() && endUs_ == kNoEndUs) {
            lengthUs_ = endAt;
            lengthFound_ = true;
            endUs_ = endAt;
        }
        mode_ = Mode::Stopped;
        posUs_ = endUs_;
        clock_ = Clock::stoppedAt(posUs_);
        wait_ = Wait::None;
    }

private:
    void waitFor(Wait w, int64_t sinceUs) {
        wait_ = w;
        waitSinceUs_ = sinceUs;
    }
    Mode mode_ = Mode::Stopped;
    Wait wait_ = Wait::None;
    int64_t waitSinceUs_ = -1;
    int64_t posUs_ = 0;  // the position while the clock does not run; where it started otherwise
    Clock clock_;
    int64_t endUs_ = 0;
    int64_t lengthUs_ = 0;  // an estimate until settled
    bool lengthKnown_ = false;
    bool lengthFound_ = false;  // the real end of a file of unknown length was reached
};

}  // namespace plim::engine
