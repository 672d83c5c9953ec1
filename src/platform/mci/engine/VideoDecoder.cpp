#include "platform/mci/engine/VideoDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/mem.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "platform/mci/engine/MediaSource.h"

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

constexpr size_t kPoolKeep = 6;  // the frame queue, the shown frame and some slack
}  // namespace

BufferPool::~BufferPool() {
    for (uint8_t* p : free_) av_free(p);
}

std::shared_ptr<const uint8_t> BufferPool::take(size_t bytes) {
    uint8_t* p = nullptr;
    {
        std::lock_guard<std::mutex> lk(mu_);
        if (bytes != bytes_) {  // another size: the old buffers are of no use
            for (uint8_t* old : free_) av_free(old);
            free_.clear();
            bytes_ = bytes;
        }
        if (!free_.empty()) {
            p = free_.back();
            free_.pop_back();
        }
    }
    if (!p) p = static_cast<uint8_t*>(av_malloc(bytes));
    if (!p) return nullptr;
    return std::shared_ptr<const uint8_t>(
        p, [self = shared_from_this(), bytes](const uint8_t* q) { self->give(const_cast<uint8_t*>(q), bytes); });
}

void BufferPool::give(uint8_t* p, size_t bytes) {
    std::lock_guard<std::mutex> lk(mu_);
    if (bytes == bytes_ && free_.size() < kPoolKeep) {
        free_.push_back(p);
    } else {
        av_free(p);
    }
}

VideoDecoder::~VideoDecoder() {
    if (ctx_) avcodec_free_context(&ctx_);
    if (frame_) av_frame_free(&frame_);
    if (sws_) sws_freeContext(sws_);
}

bool VideoDecoder::open(const AVStream* st, int64_t originUs, int threads, int64_t lengthUs) {
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec) return false;
    ctx_ = avcodec_alloc_context3(codec);
    if (!ctx_ || avcodec_parameters_to_context(ctx_, st->codecpar) < 0) return false;
    ctx_->pkt_timebase = st->time_base;
    ctx_->thread_count = threads;
    ctx_->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    if (avcodec_open2(ctx_, codec, nullptr) < 0) return false;
    frame_ = av_frame_alloc();
    if (!frame_) return false;
    timeBase_ = st->time_base;
    originUs_ = originUs;
    times_.setWindow(lengthUs);
    AVRational r = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
    if (r.num > 0 && r.den > 0) frameDurUs_ = av_rescale(1000000, r.den, r.num);
    return true;
}

void VideoDecoder::decode(const AVPacket* pkt, const std::function<void(AVFrame*, int64_t)>& onFrame) {
    if (avcodec_send_packet(ctx_, pkt) < 0 && pkt) return;  // a damaged packet is skipped
    while (avcodec_receive_frame(ctx_, frame_) >= 0) {
        int64_t ts = frame_->best_effort_timestamp;
        int64_t us = ts != AV_NOPTS_VALUE ? times_.fix(mediaTimeUs(timeBase_, ts, originUs_), frameDurUs_)
                                          : times_.next(frameDurUs_);
        onFrame(frame_, us);
        av_frame_unref(frame_);
    }
}

std::optional<int64_t> VideoDecoder::firstPictureUs(AVFormatContext* fmt, int streamIndex) {
    constexpr int kMaxPackets = 400;
    AVPacket* pkt = av_packet_alloc();
    if (!pkt) return std::nullopt;
    int64_t saved = originUs_;
    originUs_ = 0;
    int64_t window = times_.window();
    times_.setWindow(0);  // the container's clock: no bounds yet
    times_.reset();
    std::optional<int64_t> first;
    auto got = [&](AVFrame*, int64_t us) {
        if (!first) first = us;
    };
    for (int n = 0; n < kMaxPackets && !first; ++n) {
        if (av_read_frame(fmt, pkt) < 0) {
            decode(nullptr, got);
            break;
        }
        if (pkt->stream_index == streamIndex) decode(pkt, got);
        av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
    originUs_ = first ? *first : saved;
    times_.setWindow(window);
    flush();
    return first;
}

void VideoDecoder::flush(int64_t resumeUs) {
    avcodec_flush_buffers(ctx_);
    times_.reset(resumeUs);
}

VideoFrame VideoDecoder::convert(const AVFrame* f) {
    bool full = f->color_range == AVCOL_RANGE_JPEG;
    AVPixelFormat src = plainFormat(static_cast<AVPixelFormat>(f->format), full);
    sws_ = sws_getCachedContext(sws_, f->width, f->height, src, f->width, f->height, AV_PIX_FMT_BGRA, SWS_BICUBIC,
                                nullptr, nullptr, nullptr);
    VideoFrame out;
    if (!sws_ || f->width <= 0 || f->height <= 0 || f->width > kMaxPictureSide || f->height > kMaxPictureSide)
        return out;
    int cs = chooseColorspace(f->colorspace, f->width, f->height);
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(src);
    bool yuv = desc && !(desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)) && desc->nb_components >= 3;
    if (yuv && (sws_ != tunedSws_ || cs != tunedCs_ || full != tunedFull_)) {
        sws_setColorspaceDetails(sws_, sws_getCoefficients(cs), full ? 1 : 0, sws_getCoefficients(SWS_CS_DEFAULT), 1,
                                 0, 1 << 16, 1 << 16);
        tunedSws_ = sws_;
        tunedCs_ = cs;
        tunedFull_ = full;
    }
    int stride = FFALIGN(f->width * 4, 64);
    std::shared_ptr<const uint8_t> pixels = pool_->take(size_t(stride) * f->height + 64);
    if (!pixels) return out;
    uint8_t* dst[4] = {const_cast<uint8_t*>(pixels.get()), nullptr, nullptr, nullptr};
    int dstStride[4] = {stride, 0, 0, 0};
    if (sws_scale(sws_, f->data, f->linesize, 0, f->height, dst, dstStride) <= 0) return out;
    out.width = f->width;
    out.height = f->height;
    out.stride = stride;
    out.pixels = std::move(pixels);
    return out;
}

}  // namespace plim::engine
