#include "platform/mci/engine/FrameConverter.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace plim::engine {

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

FrameConverter::~FrameConverter() {
    if (sws_) sws_freeContext(sws_);
}

bool FrameConverter::toBgra(const VideoFrame& vf, uint8_t* dst, int dstStride) {
    const AVFrame* f = vf.picture.get();
    if (!f || !dst || f->width <= 0 || f->height <= 0 || dstStride < f->width * 4) return false;
    bool full = f->color_range == AVCOL_RANGE_JPEG;
    AVPixelFormat src = plainFormat(static_cast<AVPixelFormat>(f->format), full);
    sws_ = sws_getCachedContext(sws_, f->width, f->height, src, f->width, f->height, AV_PIX_FMT_BGRA, SWS_BICUBIC,
                                nullptr, nullptr, nullptr);
    if (!sws_) return false;
    int cs = chooseColorspace(f->colorspace, f->width, f->height);
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(src);
    bool yuv = desc && !(desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)) && desc->nb_components >= 3;
    if (yuv && (sws_ != tuned_ || cs != tunedCs_ || full != tunedFull_)) {
        sws_setColorspaceDetails(sws_, sws_getCoefficients(cs), full ? 1 : 0, sws_getCoefficients(SWS_CS_DEFAULT), 1,
                                 0, 1 << 16, 1 << 16);
        tuned_ = sws_;
        tunedCs_ = cs;
        tunedFull_ = full;
    }
    uint8_t* planes[4] = {dst, nullptr, nullptr, nullptr};
    int strides[4] = {dstStride, 0, 0, 0};
    return sws_scale(sws_, f->data, f->linesize, 0, f->height, planes, strides) > 0;
}

std::vector<uint8_t> FrameConverter::bgra(const VideoFrame& f) {
    if (!f.valid()) return {};
    std::vector<uint8_t> out(size_t(f.width) * size_t(f.height) * 4 + 64);
    if (!toBgra(f, out.data(), f.width * 4)) return {};
    out.resize(size_t(f.width) * size_t(f.height) * 4);
    return out;
}

}  // namespace plim::engine
