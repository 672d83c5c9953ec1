#include "platform/engine/input/Deadline.h"

#include <algorithm>

#include "platform/engine/base/Clock.h"

namespace plim::engine {


void Deadline::arm(int64_t budgetUs, Waits waits) { arm(budgetUs, waits == Waits::Forgiven, monotonicUs()); }

void Deadline::arm(int64_t budgetUs, bool forgiveWaits, int64_t nowUs) {
    forgiveWaits_ = forgiveWaits;
    deadlineUs_ = nowUs + budgetUs;
}

bool Deadline::passed() const { return interrupted_ || passed(monotonicUs()); }

bool Deadline::passed(int64_t nowUs) const {
    int64_t d = deadlineUs_;
    return interrupted_ || (d > 0 && nowUs > d);
}

void Deadline::beginWait() { beginWait(monotonicUs()); }

void Deadline::endWait() { endWait(monotonicUs()); }

int64_t Deadline::givenBackUs(int64_t waitedUs) const {
    return forgiveWaits_ && waitedUs > kSlowReadUs ? std::min(waitedUs, kMaxDiskWaitUs) : 0;
}

void Deadline::endWait(int64_t nowUs) {
    int64_t waitedUs = wait_.end(nowUs);
    int64_t d = deadlineUs_;
    if (d > 0) deadlineUs_ = d + givenBackUs(waitedUs);
}

bool Deadline::givesUpWaiting(int64_t nowUs) const {
    int64_t d = deadlineUs_;
    if (interrupted_ || d <= 0) return interrupted_;
    return nowUs > d + givenBackUs(waitingUs(nowUs));
}

}  // namespace plim::engine
