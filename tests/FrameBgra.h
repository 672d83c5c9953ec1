#pragma once
// A shown frame as BGRA bytes (rows of width * 4), to compare with the reference decode.
#include <cstdint>
#include <vector>

#include "platform/mci/display/BgraConverter.h"

namespace plim::test {

// Empty when the frame is invalid or cannot be converted.
inline std::vector<uint8_t> bgraOf(const engine::VideoFrame& f) {
    if (!f.valid()) return {};
    std::vector<uint8_t> out(size_t(f.width) * size_t(f.height) * 4);
    if (!mci::BgraConverter().toBgra(f, out.data(), f.width * 4)) return {};
    return out;
}

}  // namespace plim::test
