#include "platform/engine/base/Orientation.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace plim::engine {

namespace {
// The sign of a 16.16 matrix entry; entries under 1/16 count as zero (rounding of a turn).
int signOf(int32_t v) {
    constexpr int32_t kNearZero = 1 << 12;
    return v > kNearZero ? 1 : v < -kNearZero ? -1 : 0;
}
}  // namespace

// The matrix's upper 2x2 [a b / c d] ([0] [1] / [3] [4]) takes a stored point (x, y), as a
// row, to (a x + c y, b x + d y) on the screen, whose y axis points down. As a column
// transform that is N = [a c / b d]: a clockwise turn R = [cos -sin / sin cos], or F x R when
// the picture is mirrored (F flips left to right).
Orientation orientationOf(const int32_t* m) {
    if (!m) return {};
    int a = signOf(m[0]), b = signOf(m[1]), c = signOf(m[3]), d = signOf(m[4]);
    bool straight = a != 0 && d != 0 && b == 0 && c == 0;
    bool across = a == 0 && d == 0 && b != 0 && c != 0;
    if (!straight && !across) return {};  // not a quarter turn: shown as stored
    bool mirrored = a * d - b * c < 0;
    if (mirrored) a = -a;  // F x N leaves R; only its first column (a, b) is read below
    int clockwise = a == 1 ? 0 : a == -1 ? 180 : b == 1 ? 90 : 270;
    return {clockwise, mirrored};
}

Orientation orientationOf(const AVStream* st) {
    size_t size = 0;
    const uint8_t* m = av_stream_get_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, &size);
    return m && size >= 9 * sizeof(int32_t) ? orientationOf(reinterpret_cast<const int32_t*>(m)) : Orientation{};
}

}  // namespace plim::engine
