#include "platform/display/BgraConverter.h"

#include <cstring>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "platform/engine/base/StoredEnum.h"

namespace plim::display {

using engine::VideoFrame;

int chooseColorspace(int tagged, int width, int height) {
    switch (tagged) {
        case AVCOL_SPC_BT709: return SWS_CS_ITU709;
        case AVCOL_SPC_FCC: return SWS_CS_FCC;
        case AVCOL_SPC_SMPTE240M: return SWS_CS_SMPTE240M;
        case AVCOL_SPC_BT2020_NCL:
        case AVCOL_SPC_BT2020_CL: return SWS_CS_BT2020;
        case AVCOL_SPC_BT470BG:
        case AVCOL_SPC_SMPTE170M: return SWS_CS_ITU601;
        default: return (width >= 1280 || height > 576) ? SWS_CS_ITU709 : SWS_CS_ITU601;
    }
}

namespace {
// libswscale's fast conversions write rows in blocks of this many pixels, and may reach this
// many bytes past a row's last block.
constexpr int kBlockPixels = 16;
constexpr size_t kRowSlackBytes = 64;
// The largest side a picture is converted to: larger destinations are refused, not tried.
constexpr int kMaxOutSide = 16384;

// Converts the whole picture into BGRA rows of stride bytes from dst, at the size the
// context was made for.
bool scaleInto(SwsContext* ctx, const AVFrame* f, uint8_t* dst, int stride) {
    uint8_t* planes[4] = {dst, nullptr, nullptr, nullptr};
    int strides[4] = {stride, 0, 0, 0};
    return ctx && sws_scale(ctx, f->data, f->linesize, 0, f->height, planes, strides) > 0;
}

}  // namespace

int scalerFor(int width, int height, int outWidth, int outHeight) {
    return outWidth < width && outHeight < height ? SWS_AREA : SWS_BICUBIC;
}

namespace {
// Full-range JPEG formats become their plain twins with the range given separately.
AVPixelFormat plainFormat(AVPixelFormat f, bool& full) {
    switch (f) {
        case AV_PIX_FMT_YUVJ420P: full = true; return AV_PIX_FMT_YUV420P;
        case AV_PIX_FMT_YUVJ422P: full = true; return AV_PIX_FMT_YUV422P;
        case AV_PIX_FMT_YUVJ444P: full = true; return AV_PIX_FMT_YUV444P;
        case AV_PIX_FMT_YUVJ440P: full = true; return AV_PIX_FMT_YUV440P;
        case AV_PIX_FMT_YUVJ411P: full = true; return AV_PIX_FMT_YUV411P;
        default: return f;
    }
}
}  // namespace

BgraConverter::~BgraConverter() {
    if (fast_.sws) sws_freeContext(fast_.sws);
    if (exact_.sws) sws_freeContext(exact_.sws);
}

// The context for the picture, its colour matrix and range set; exact: the library's
// bit-exact path, which never writes past the picture. A context is made anew for another
// size or format, and always tuned then: a new one may lie where the old one did.
SwsContext* BgraConverter::prepare(const AVFrame* f, bool exact, int outWidth, int outHeight) {
    bool full = engine::storedValue(f->color_range) == AVCOL_RANGE_JPEG;
    AVPixelFormat src = plainFormat(static_cast<AVPixelFormat>(f->format), full);
    Context& c = exact ? exact_ : fast_;
    if (!c.sws || c.width != f->width || c.height != f->height || c.format != src || c.outWidth != outWidth ||
        c.outHeight != outHeight) {
        if (c.sws) sws_freeContext(c.sws);
        int flags = scalerFor(f->width, f->height, outWidth, outHeight) | (exact ? SWS_ACCURATE_RND | SWS_BITEXACT : 0);
        c = Context{sws_getContext(f->width, f->height, src, outWidth, outHeight, AV_PIX_FMT_BGRA, flags, nullptr,
                                   nullptr, nullptr),
                    f->width, f->height, src, outWidth, outHeight};
        if (!c.sws) return nullptr;
    }
    int cs = chooseColorspace(engine::storedValue(f->colorspace), f->width, f->height);
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(src);
    bool yuv = desc && !(desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)) && desc->nb_components >= 3;
    if (yuv && (cs != c.colorspace || full != c.full)) {
        sws_setColorspaceDetails(c.sws, sws_getCoefficients(cs), full ? 1 : 0, sws_getCoefficients(SWS_CS_DEFAULT), 1,
                                 0, 1 << 16, 1 << 16);
        c.colorspace = cs;
        c.full = full;
    }
    return c.sws;
}

bool BgraConverter::toBgra(const VideoFrame& vf, uint8_t* dst, int dstStride, int outWidth, int outHeight) {
    const AVFrame* f = vf.picture.get();
    if (!f || !dst || f->width <= 0 || f->height <= 0 || outWidth <= 0 || outHeight <= 0 ||
        outWidth > kMaxOutSide || outHeight > kMaxOutSide || dstStride < outWidth * 4)
        return false;
    if (outWidth % kBlockPixels != 0) return viaScratch(f, dst, dstStride, outWidth, outHeight);
    return scaleInto(prepare(f, false, outWidth, outHeight), f, dst, dstStride);
}

// Converts into padded rows of the converter's own, then copies the picture's pixels out.
bool BgraConverter::viaScratch(const AVFrame* f, uint8_t* dst, int dstStride, int outWidth, int outHeight) {
    size_t rowBytes = size_t(outWidth) * 4;
    size_t stride = (size_t(outWidth + kBlockPixels - 1) / kBlockPixels) * kBlockPixels * 4 + kRowSlackBytes;
    size_t need = stride * size_t(outHeight) + kRowSlackBytes;
    if (need > maxScratch_) return scaleInto(prepare(f, true, outWidth, outHeight), f, dst, dstStride);
    if (scratch_.size() < need) scratch_.assign(need, 0);
    if (!scaleInto(prepare(f, false, outWidth, outHeight), f, scratch_.data(), int(stride))) return false;
    for (int y = 0; y < outHeight; ++y)
        std::memcpy(dst + size_t(y) * size_t(dstStride), scratch_.data() + size_t(y) * stride, rowBytes);
    return true;
}

}  // namespace plim::display
