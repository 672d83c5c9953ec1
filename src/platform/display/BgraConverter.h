#pragma once
// Converts decoded pictures to BGRA (QImage::Format_RGB32 on little-endian machines) with
// the stream's colour matrix and range, straight into the caller's memory: the display
// converts into the window's backing store, so no full-size BGRA copy of a picture is ever
// kept. One converter per thread that uses it.
//
// libswscale's fastest conversions write whole blocks of 16 pixels a row: at other widths
// they write past the row (and past the end of a destination of exactly the picture's size)
// or leave the last columns unwritten when the row cannot take the block. Such pictures are
// converted into rows of the converter's own, padded for the blocks, and copied out; a
// picture too large for that is converted by the library's exact path, which writes only
// the picture. Either way not one byte outside width x height pixels is written.
#include <cstdint>
#include <vector>

#include "platform/engine/base/Types.h"

struct SwsContext;

namespace plim::display {

// The colour matrix for a stream that does not say: HD sizes use BT.709, others BT.601.
int chooseColorspace(int tagged, int width, int height);
// libswscale's filter for a picture converted to another size: pictures shown smaller are
// averaged over the area each shown pixel covers, the usual filter for shrinking, and a third
// cheaper than bicubic from 4K; all others, and every picture at its own size, are bicubic.
int scalerFor(int width, int height, int outWidth, int outHeight);

class BgraConverter {
public:
    // maxScratchBytes bounds the padded rows kept for pictures of other widths.
    explicit BgraConverter(size_t maxScratchBytes = kDefaultMaxScratchBytes) : maxScratch_(maxScratchBytes) {}
    static constexpr size_t kDefaultMaxScratchBytes = 64u << 20;
    ~BgraConverter();
    BgraConverter(const BgraConverter&) = delete;
    BgraConverter& operator=(const BgraConverter&) = delete;

    // Writes the whole picture, width x height BGRA pixels, rows dstStride bytes apart.
    // False (nothing written) when it cannot be converted.
    bool toBgra(const engine::VideoFrame& f, uint8_t* dst, int dstStride) { return toBgra(f, dst, dstStride, f.width, f.height); }
    // The same, scaled to outWidth x outHeight in the same pass: area averaging when it
    // shrinks both ways (a picture shown smaller than it is), bicubic otherwise. At the
    // picture's own size, exactly what the call above writes.
    bool toBgra(const engine::VideoFrame& f, uint8_t* dst, int dstStride, int outWidth, int outHeight);

private:
    // A conversion context and what it was made and tuned for.
    struct Context {
        SwsContext* sws = nullptr;
        int width = 0, height = 0, format = -1, outWidth = 0, outHeight = 0, colorspace = -1;
        bool full = false;
    };
    SwsContext* prepare(const struct AVFrame* f, bool exact, int outWidth, int outHeight);
    bool viaScratch(const struct AVFrame* f, uint8_t* dst, int dstStride, int outWidth, int outHeight);
    size_t maxScratch_;
    std::vector<uint8_t> scratch_;
    Context fast_;
    Context exact_;  // the library's exact path, for pictures too wide for scratch
};

}  // namespace plim::display
