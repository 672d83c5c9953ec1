#pragma once
// Keeps a stream's presentation times continuous when a file's timestamps are damaged or
// wrap. A time far from where the stream should be is suspect: it is replaced by the expected
// time, and only when the next time continues from it is the jump taken as a real
// discontinuity. A jump back (a timestamp reset in a joined file) is then rebased so the
// stream goes on without a leap; a jump forward within a length the file tells for sure (a
// picture held, a gap in a recording) is the truth and kept. An isolated bad timestamp
// therefore never moves the clock. Times that are known to be right (an AVI index's frame
// counts) can be trusted outright. Value type, one thread.
#include <cstdint>
#include <cstdlib>

namespace plim::engine {

class TimestampFilter {
public:
    static constexpr int64_t kMaxJumpUs = 2000000;  // farther than this from the expected time is suspect
    static constexpr int64_t kMaxBackUs = 500000;   // and earlier than it by this: pictures never go back
    static constexpr int64_t kUnset = INT64_MIN;

    // |a - (b + c)| > kMaxJumpUs, computed wide: damaged values may lie anywhere.
    static bool far(int64_t a, int64_t b, int64_t c = 0) {
        __int128 d = __int128(a) - b - c;
        return d > kMaxJumpUs || d < -kMaxJumpUs;
    }

    // windowEndUs: the media's length when known (the first time after a reset must lie
    // within [-kMaxJumpUs, length + kMaxJumpUs]), or 0 when unknown.
    void setWindow(int64_t windowEndUs) { windowEndUs_ = windowEndUs; }
    // Forward jumps are kept up to gapEndUs (the length, where the file tells it for sure);
    // 0: every jump is rebased.
    void setGapEnd(int64_t gapEndUs) { gapEndUs_ = gapEndUs; }
    // Every time is taken as it is (after the first one's window check).
    void setTrusted(bool trusted) { trusted_ = trusted; }
    // A new start (open, seek, flush): the next time is taken as it is, or as hintUs when it
    // lies outside the window. offsetUs, known to be right (the start of a part of a joined
    // file), is added to every time from the start, whatever the window.
    void reset(int64_t hintUs = 0, int64_t offsetUs = 0) {
        last_ = kUnset;
        suspect_ = kUnset;
        offset_ = offsetUs;
        hint_ = hintUs;
    }

    int64_t window() const { return windowEndUs_; }
    // The time of a unit that carries no timestamp: right after the last one.
    int64_t next(int64_t durUs) {
        int64_t us = last_ == kUnset ? hint_ : last_ + lastDur_;
        last_ = us;
        lastDur_ = durUs;
        return us;
    }

    // The corrected time of a unit that the stream stamps rawUs and that lasts durUs.
    int64_t fix(int64_t rawUs, int64_t durUs) {
        if (last_ == kUnset) {
            int64_t us = 0;
            bool fits = !__builtin_add_overflow(rawUs, offset_, &us) && (offset_ != 0 || inWindow(us));
            last_ = fits ? us : hint_;
            if (!fits) suspect_ = rawUs, offset_ = 0;
            lastDur_ = durUs;
            return last_;
        }
        int64_t expected = last_ + lastDur_;
        int64_t us = 0;
        bool overflow = __builtin_add_overflow(rawUs, offset_, &us);
        if (trusted_ && !overflow) {
            suspect_ = kUnset;
        } else if (overflow || far(us, expected) || __int128(expected) - us > kMaxBackUs) {
            // Continues from the last suspect: a real discontinuity. Forward within the media
            // it is kept; otherwise rebased onto the expected time.
            bool confirmed = suspect_ != kUnset && !far(rawUs, suspect_, lastDur_);
            int64_t rebased = 0;
            if (confirmed && !overflow && us > expected && gapPlausible(us)) {
                suspect_ = kUnset;
            } else {
                if (confirmed && !__builtin_sub_overflow(expected, rawUs, &rebased)) offset_ = rebased;
                suspect_ = rawUs;
                us = expected;
            }
        } else {
            suspect_ = kUnset;
        }
        last_ = us;
        lastDur_ = durUs;
        return us;
    }

private:
    bool gapPlausible(int64_t us) const {
        return gapEndUs_ > 0 && us <= gapEndUs_;
    }
    bool inWindow(int64_t us) const {
        return windowEndUs_ <= 0 || (us >= -kMaxJumpUs && us <= windowEndUs_ + kMaxJumpUs);
    }
    int64_t windowEndUs_ = 0;
    int64_t gapEndUs_ = 0;
    bool trusted_ = false;
    int64_t last_ = kUnset;
    int64_t lastDur_ = 0;
    int64_t suspect_ = kUnset;
    int64_t offset_ = 0;
    int64_t hint_ = 0;
};

}  // namespace plim::engine
