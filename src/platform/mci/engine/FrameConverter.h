#pragma once
// Converts decoded pictures to BGRA (QImage::Format_RGB32 on little-endian machines) with
// the stream's colour matrix and range, straight into the caller's memory: the display
// converts into the window's backing store, so no full-size BGRA copy of a picture is ever
// kept. One converter per thread that uses it.
#include <cstdint>
#include <vector>

#include "platform/mci/engine/Types.h"

struct SwsContext;

namespace plim::engine {

// The colour matrix for a stream that does not say: HD sizes use BT.709, others BT.601.
int chooseColorspace(int tagged, int width, int height);

class FrameConverter {
public:
    FrameConverter() = default;
    ~FrameConverter();
    FrameConverter(const FrameConverter&) = delete;
    FrameConverter& operator=(const FrameConverter&) = delete;

    // Writes the whole picture, width x height BGRA pixels, rows dstStride bytes apart.
    // False (nothing written) when it cannot be converted.
    bool toBgra(const VideoFrame& f, uint8_t* dst, int dstStride);
    // A BGRA copy with rows of width * 4 bytes; empty when it cannot be converted.
    std::vector<uint8_t> bgra(const VideoFrame& f);

private:
    SwsContext* sws_ = nullptr;
    SwsContext* tuned_ = nullptr;  // the context whose colour details were last set
    int tunedCs_ = -1;
    bool tunedFull_ = false;
};

}  // namespace plim::engine
