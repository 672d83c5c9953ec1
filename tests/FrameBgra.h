#pragma once
// A shown frame as BGRA bytes (rows of width * 4), to compare with the reference decode.
#include <cstdint>
#include <vector>

#include "platform/display/BgraConverter.h"

namespace plim::test {

// At the width it is shown at (its display aspect). Empty when the frame is invalid or cannot
// be converted.
// scale: the picture at that many times its shown size (a dense screen's device pixels).
inline std::vector<uint8_t> bgraOf(const engine::VideoFrame& f, int scale = 1) {
    if (!f.valid()) return {};
    int w = f.shownWidth() * scale, h = f.height * scale;
    std::vector<uint8_t> out(size_t(w) * size_t(h) * 4);
    if (!display::BgraConverter().toBgra(f, out.data(), w * 4, w, h)) return {};
    return out;
}

}  // namespace plim::test
