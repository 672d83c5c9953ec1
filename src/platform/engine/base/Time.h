#pragma once
// Times of a stream in the engine's unit (microseconds), and a stream's frame rate. Pure
// functions of their arguments: any thread.
#include <cstdint>
#include <optional>

extern "C" {
#include <libavutil/rational.h>
}

#include "platform/engine/base/Types.h"

struct AVStream;

namespace plim::engine {

// The engine's time base as a libav rational: one microsecond.
constexpr AVRational kMicroseconds{1, kUsPerSecond};

// Converts a stream timestamp to microseconds.
int64_t streamTimeToUs(const AVStream* st, int64_t ts);
// A timestamp in the time base tb as media time (microseconds after originUs), saturated
// rather than overflowing for damaged values.
int64_t mediaTimeUs(AVRational tb, int64_t ts, int64_t originUs);

// The rate the stream says its pictures come at: the average rate, else the rate of its
// clock (r_frame_rate); nullopt when it says neither or gives one no picture can last.
std::optional<AVRational> statedFrameRate(const AVStream* st);
// The stated rate, or kDefaultFramesPerSecond when the stream gives none.
AVRational frameRateOf(const AVStream* st);

}  // namespace plim::engine
