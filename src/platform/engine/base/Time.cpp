#include "platform/engine/base/Time.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/mathematics.h>
}

namespace plim::engine {

int64_t streamTimeToUs(const AVStream* st, int64_t ts) { return av_rescale_q(ts, st->time_base, kMicroseconds); }

int64_t mediaTimeUs(AVRational tb, int64_t ts, int64_t originUs) {
    int64_t us = av_rescale_q(ts, tb, kMicroseconds), out = 0;
    if (__builtin_sub_overflow(us, originUs, &out)) return us < 0 ? INT64_MIN + 1 : INT64_MAX;
    return out;
}

std::optional<AVRational> statedFrameRate(const AVStream* st) {
    AVRational r = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
    if (r.num <= 0 || r.den <= 0) return std::nullopt;
    return r;
}

AVRational frameRateOf(const AVStream* st) {
    auto r = statedFrameRate(st);
    if (!r || av_rescale(kUsPerSecond, r->den, r->num) <= 0) return AVRational{kDefaultFramesPerSecond, 1};
    return *r;
}

}  // namespace plim::engine
