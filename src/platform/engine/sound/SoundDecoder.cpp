#include "platform/engine/sound/SoundDecoder.h"

#include <algorithm>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
}

#include "platform/engine/base/DecodeLoop.h"
#include "platform/engine/base/Time.h"

namespace plim::engine {

std::unique_ptr<SoundDecoder> SoundDecoder::open(const AVStream* st, int64_t originUs, int64_t lengthUs) {
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec) return nullptr;
    std::unique_ptr<SoundDecoder> d(new SoundDecoder());
    d->ctx_ = avcodec_alloc_context3(codec);
    if (!d->ctx_ || avcodec_parameters_to_context(d->ctx_, st->codecpar) < 0) return nullptr;
    d->ctx_->pkt_timebase = st->time_base;
    if (avcodec_open2(d->ctx_, codec, nullptr) < 0 || d->ctx_->sample_rate <= 0) return nullptr;
    d->frame_ = av_frame_alloc();
    if (!d->frame_) return nullptr;
    d->timeBase_ = st->time_base;
    d->originUs_ = originUs;
    d->times_.setWindow(lengthUs);
    return d;
}

SoundDecoder::~SoundDecoder() {
    if (ctx_) avcodec_free_context(&ctx_);
    if (swr_) swr_free(&swr_);
    av_channel_layout_uninit(&swrLayout_);
    if (frame_) av_frame_free(&frame_);
}

SoundFormat SoundDecoder::streamFormat() const {
    return SoundFormat{ctx_->sample_rate, std::clamp(ctx_->ch_layout.nb_channels, 1, 2)};
}

void SoundDecoder::decode(const AVPacket* pkt, const Sink& sink) {
    decodePacket(ctx_, pkt, frame_, [&](AVFrame* f) { convert(f, sink); });
    if (!pkt) avcodec_flush_buffers(ctx_);
}

void SoundDecoder::flush(int64_t resumeUs, int64_t offsetUs) {
    avcodec_flush_buffers(ctx_);
    times_.reset(std::max<int64_t>(0, resumeUs), offsetUs);
}

// Sound can change its layout, sample format or rate mid-stream (AC-3 between 5.1 and 2.0,
// MP2 between stereo and mono): the resampler must match the frame it converts.
bool SoundDecoder::converterFits(const AVFrame* f) {
    if (swr_ && f->format == swrFormat_ && f->sample_rate == swrRate_ &&
        av_channel_layout_compare(&f->ch_layout, &swrLayout_) == 0)
        return true;
    swr_free(&swr_);
    av_channel_layout_uninit(&swrLayout_);
    if (f->sample_rate <= 0 || f->ch_layout.nb_channels <= 0 || !av_channel_layout_check(&f->ch_layout)) return false;
    AVChannelLayout out;
    av_channel_layout_default(&out, out_.channels);
    if (swr_alloc_set_opts2(&swr_, &out, AV_SAMPLE_FMT_S16, out_.rate, const_cast<AVChannelLayout*>(&f->ch_layout),
                            static_cast<AVSampleFormat>(f->format), f->sample_rate, 0, nullptr) < 0 ||
        swr_init(swr_) < 0 || av_channel_layout_copy(&swrLayout_, &f->ch_layout) < 0) {
        swr_free(&swr_);
        return false;
    }
    swrFormat_ = f->format;
    swrRate_ = f->sample_rate;
    return true;
}

void SoundDecoder::convert(const AVFrame* f, const Sink& sink) {
    if (f->nb_samples <= 0 || out_.rate <= 0 || !converterFits(f)) return;  // undecodable sound is silence
    int64_t ts = f->best_effort_timestamp;
    int64_t durUs = int64_t(f->nb_samples) * kUsPerSecond / f->sample_rate;
    int64_t pts = ts != AV_NOPTS_VALUE ? times_.fix(mediaTimeUs(timeBase_, ts, originUs_), durUs) : times_.next(durUs);
    int maxOut = swr_get_out_samples(swr_, f->nb_samples);
    SoundChunk c{pts, std::vector<uint8_t>(size_t(std::max(0, maxOut)) * out_.bytesPerSample())};
    uint8_t* outPlanes[1] = {c.data.data()};
    int n = swr_convert(swr_, outPlanes, maxOut, const_cast<const uint8_t**>(f->extended_data), f->nb_samples);
    if (n <= 0) return;
    c.data.resize(size_t(n) * out_.bytesPerSample());
    sink(std::move(c));
}

}  // namespace plim::engine
