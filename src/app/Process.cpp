#include "app/Process.h"

#include <malloc.h>

#include <mutex>

#include <SDL.h>
extern "C" {
#include <libavutil/log.h>
}

namespace plim {

namespace {
// Blocks from 256 KiB up (pictures, packets, conversion buffers) are mapped from the system
// and unmapped when freed. malloc does so by default only until the first such block is
// freed; then it raises its threshold and keeps them in its heaps, where a closed video's
// blocks leave holes that the next video's do not fit, and RSS creeps from open to open.
// During play, pictures come from FFmpeg's pools, so this costs no more mapping then.
constexpr int kMmapThresholdBytes = 256 * 1024;
}  // namespace

void settleProcess() {
    static std::once_flag once;
    std::call_once(once, [] {
        av_log_set_level(AV_LOG_FATAL);
#ifdef __GLIBC__
        mallopt(M_MMAP_THRESHOLD, kMmapThresholdBytes);
#endif
        // The program handles its own signals: SDL's handlers would only queue an event.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    });
}

}  // namespace plim
