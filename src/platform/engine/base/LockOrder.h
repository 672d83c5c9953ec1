#pragma once
// The engine's lock order, written once here and checked in debug and sanitizer builds
// (PLIM_CHECK_LOCK_ORDER):
//   1. a player's lock (PlayerMutex), which guards its generation, the seek in flight, where
//      its streams ended and what the display owes;
//   2. then at most one lock of a structure that guards itself (StructureMutex): the packet
//      queue, the frame queue, the step cache, the sound device.
// A thread never takes a player's lock while it holds a structure's lock, never holds two
// structure locks at once, and never holds two players' locks. SDL's audio thread takes only
// the sound device's lock.
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace plim::engine {

namespace lock_order {
#ifdef PLIM_CHECK_LOCK_ORDER
// How many locks of each rank this thread holds (index 1 and 2).
inline thread_local int tHeld[3] = {0, 0, 0};
[[noreturn]] inline void broken(const char* what) {
    std::fprintf(stderr, "plim: lock order broken: %s\n", what);
    std::abort();
}
inline void taking(int rank) {
    if (tHeld[2] > 0) broken(rank == 1 ? "a player's lock taken while holding a structure's" : "two structure locks held");
    if (rank == 1 && tHeld[1] > 0) broken("two players' locks held");
}
inline void took(int rank) { ++tHeld[rank]; }
inline void released(int rank) { --tHeld[rank]; }
#else
inline void taking(int) {}
inline void took(int) {}
inline void released(int) {}
#endif
}  // namespace lock_order

// A mutex of a rank in the order above; BasicLockable, so std::lock_guard, std::unique_lock
// and std::condition_variable_any work with it.
template <int Rank>
class RankedMutex {
public:
    void lock() {
        lock_order::taking(Rank);
        m_.lock();
        lock_order::took(Rank);
    }
    void unlock() {
        lock_order::released(Rank);
        m_.unlock();
    }

private:
    std::mutex m_;
};

using PlayerMutex = RankedMutex<1>;
using StructureMutex = RankedMutex<2>;
// Waits under either kind of mutex.
using CondVar = std::condition_variable_any;

}  // namespace plim::engine
