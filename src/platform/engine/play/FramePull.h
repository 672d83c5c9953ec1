#pragma once
// The display's pull, in its one order: what a seek, open or step back owes (Presenter), then
// the pictures forward steps wait for (Stepper), then while playing the picture due
// (Presenter). The display is told the time of what it is handed.
// Thread: the display's, with the player lock held.
#include <optional>

#include "platform/engine/play/Presenter.h"
#include "platform/engine/play/Stepper.h"

namespace plim::engine {

inline std::optional<VideoFrame> pullFrameLocked(Presenter& presenter, Stepper& stepper, DisplayOwed& owed,
                                                 int64_t nowUs) {
    std::optional<VideoFrame> shown;
    if (presenter.takeOwedLocked(shown)) {
        stepper.takeStepsLocked(shown);
        presenter.advanceLocked(shown, nowUs);
    }
    if (shown) owed.shown(shown->ptsUs);
    return shown;
}

}  // namespace plim::engine
