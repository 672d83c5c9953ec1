#include "platform/engine/play/Stepper.h"

#include <algorithm>

#include "platform/engine/decode/SeekPicker.h"

namespace plim::engine {

void Stepper::stepLocked(int frames) {
    if (frames > 0) {
        forwardLocked(frames);
    } else if (frames < 0) {
        backLocked(-frames);
    }
}

void Stepper::reseekIfAwayLocked() {
    if (showing_.owed.away()) transport_.seekLocked(showing_.state.positionUs());
}

// A kept picture becomes the one shown: what was decoded or queued for the old place is
// stale now.
void Stepper::showKeptLocked(VideoFrame f) {
    f.gen = gens_.begin(decoded_.fq);
    f.seekTarget = false;
    showing_.state.stepTo(f.ptsUs);
    showing_.owed.keep(std::move(f));
    transport_.pauseSoundLocked();
}

// Forward steps take the next decoded pictures from the frame queue, where decoding has
// already put them: one decode a step. After steps back through the cache, the cache itself
// holds the pictures that follow.
void Stepper::forwardLocked(int frames) {
    if (showing_.owed.away()) {
        if (auto next = decoded_.steps.walk(showing_.owed.keptOriginUs(), frames)) showKeptLocked(*next);
        if (frames == 0) return;
        reseekIfAwayLocked();
    }
    showing_.owed.stepForward(frames);
}

// A step back shows the picture before the one shown: from the cache while it has it,
// otherwise by an exact seek to just before that picture, keeping the pictures decoded on
// the way for the next steps.
void Stepper::backLocked(int frames) {
    int64_t from = showing_.owed.stepOriginUs();
    if (from < 0) from = showing_.state.positionUs();  // nothing shown yet: from the position
    int back = -frames;
    if (auto prev = decoded_.steps.walk(from, back)) {
        if (back == 0) return showKeptLocked(*prev);
        from = prev->ptsUs;
    }
    // The picture -back before the one at `from`: just before it (beyond the picker's
    // rounding slack), -back - 1 more back. The position becomes that picture's time.
    int64_t target = from - 1 - SeekPicker::kRoundingSlackUs - int64_t(-back - 1) * frameDurUs_;
    transport_.seekLocked(std::max<int64_t>(0, target), Transport::SeekFor::StepBack);
}

void Stepper::takeStepsLocked(std::optional<VideoFrame>& shown) {
    while (showing_.owed.stepsAhead() > 0) {
        auto f = decoded_.fq.peek(gens_.current());
        if (!f) {
            if (decoded_.ends.videoEnded(gens_.current())) showing_.owed.stepsEnded();
            return;
        }
        decoded_.fq.tryPop();
        showing_.state.stepTo(f->ptsUs);
        shown = f;
        showing_.owed.stepShown();
    }
}

}  // namespace plim::engine
