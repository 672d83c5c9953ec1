#include "platform/engine/base/Aspect.h"

#include <cstdint>

#include "platform/engine/base/Types.h"

namespace plim::engine {

namespace {
// The widest and narrowest pixel a real format has is about 2:1 (anamorphic 1440 HDV is
// 4:3); four times either way leaves room and keeps out damaged headers.
constexpr int64_t kMostStretch = 4;
}  // namespace

bool SampleAspect::usable() const {
    if (num <= 0 || den <= 0) return false;
    return int64_t(num) <= kMostStretch * den && int64_t(den) <= kMostStretch * num;
}

int displayWidthFor(int width, SampleAspect sar) {
    if (width <= 0 || !sar.usable() || sar.num == sar.den) return width;
    int64_t shown = (int64_t(width) * sar.num * 2 + sar.den) / (2 * int64_t(sar.den));  // rounded
    if (shown < 1) return 1;
    return int(shown > 2 * kMaxPictureSide ? 2 * kMaxPictureSide : shown);
}

}  // namespace plim::engine
