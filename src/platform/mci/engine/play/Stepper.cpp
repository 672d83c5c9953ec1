#include "platform/mci/engine/play/Stepper.h"

#include <algorithm>

#include "platform/mci/engine/decode/SeekPicker.h"

namespace plim::engine {

void Stepper::stepLocked(int frames) {
    if (frames > 0) {
        forwardLocked(frames);
    } else if (frames < 0) {
        backLocked(-frames);
    }
}

void Stepper::reseekIfAwayLocked() {
    if (c_.owed.away()) c_.seekLocked(c_.state.positionUs());
}

// A kept picture becomes the one shown: what was decoded or queued for the old place is
// stale now.
void Stepper::showKeptLocked(VideoFrame f) {
    ++c_.gen;
    c_.fq.flush(c_.gen);
    f.gen = c_.gen;
    f.seekTarget = false;
    c_.state.stepTo(f.ptsUs);
    c_.owed.keep(std::move(f));
    c_.pauseSoundLocked();
}

// Forward steps take the next decoded pictures from the frame queue, where decoding has
// already put them: one decode a step. After steps back through the cache, the cache itself
// holds the pictures that follow.
void Stepper::forwardLocked(int frames) {
    if (c_.owed.away()) {
        if (auto next = c_.steps.walk(c_.owed.keptOriginUs(), frames)) showKeptLocked(*next);
        if (frames == 0) return;
        reseekIfAwayLocked();
    }
    c_.owed.stepForward(frames);
}

// A step back shows the picture before the one shown: from the cache while it has it,
// otherwise by an exact seek to just before that picture, keeping the pictures decoded on
// the way for the next steps.
void Stepper::backLocked(int frames) {
    int64_t from = c_.owed.stepOriginUs();
    if (from < 0) from = c_.state.positionUs();  // nothing shown yet: from the position
    int back = -frames;
    if (auto prev = c_.steps.walk(from, back)) {
        if (back == 0) return showKeptLocked(*prev);
        from = prev->ptsUs;
    }
    // The picture -back before the one at `from`: just before it (beyond the picker's
    // rounding slack), -back - 1 more back. The position becomes that picture's time.
    int64_t target = from - 1 - SeekPicker::kRoundingSlackUs - int64_t(-back - 1) * c_.info.frameDurUs;
    c_.seekLocked(std::max<int64_t>(0, target), true);
}

void Stepper::takeStepsLocked(std::optional<VideoFrame>& shown) {
    while (c_.owed.stepsAhead() > 0) {
        auto f = c_.fq.peek(c_.gen);
        if (!f) {
            if (c_.ends.videoEnded(c_.gen)) c_.owed.stepsEnded();
            return;
        }
        c_.fq.pop();
        c_.state.stepTo(f->ptsUs);
        shown = f;
        c_.owed.stepShown();
    }
}

}  // namespace plim::engine
