#include "platform/engine/decode/VideoDecoder.h"

#include <algorithm>
#include <thread>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "platform/engine/base/DecodeLoop.h"
#include "platform/engine/base/StoredEnum.h"
#include "platform/engine/base/Time.h"

namespace plim::engine {

int decoderThreadsFor(int width, int height, int64_t frameDurUs, unsigned cores) {
    constexpr double kOneThreadPixelsPerSecond = 1920.0 * 1088.0 * 30.0;
    double fps = double(kUsPerSecond) / double(frameDurUs > 0 ? frameDurUs : kDefaultFrameDurUs);
    double rate = double(std::max(width, 0)) * double(std::max(height, 0)) * fps;
    if (rate <= kOneThreadPixelsPerSecond) return 1;
    return int(std::clamp<unsigned>(cores, 1, kMaxDecoderThreads));
}

VideoDecoder::~VideoDecoder() {
    if (ctx_) avcodec_free_context(&ctx_);
    if (frame_) av_frame_free(&frame_);
    dropProbed();
}

bool VideoDecoder::open(const AVStream* st, int64_t originUs, int threads, int64_t lengthUs) {
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec) return false;
    ctx_ = avcodec_alloc_context3(codec);
    if (!ctx_ || avcodec_parameters_to_context(ctx_, st->codecpar) < 0) return false;
    ctx_->pkt_timebase = st->time_base;
    frameDurUs_ = av_rescale(kUsPerSecond, frameRateOf(st).den, frameRateOf(st).num);
    ctx_->thread_count = threads > 0 ? threads
                                     : decoderThreadsFor(ctx_->width, ctx_->height, frameDurUs_,
                                                         std::thread::hardware_concurrency());
    ctx_->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    if (avcodec_open2(ctx_, codec, nullptr) < 0) return false;
    frame_ = av_frame_alloc();
    if (!frame_) return false;
    timeBase_ = st->time_base;
    originUs_ = originUs;
    times_.setWindow(lengthUs);
    return true;
}

// While a seek decodes its way from the key frame to the target, pictures that nothing refers
// to and that come well before the target are not decoded at all: a picture is shown at most
// its reorder delay after it is decoded, so one whose decode time lies that far (and a margin)
// before the target can never be the target's picture.
void VideoDecoder::chooseSkipping(const AVPacket* pkt) {
    bool skip = false;
    if (pkt && hopTargetUs_ > 0 && pkt->dts != AV_NOPTS_VALUE) {
        int64_t dtsUs = mediaTimeUs(timeBase_, pkt->dts, originUs_ - hopOffsetUs_);
        int64_t marginUs = (int64_t(std::max(ctx_->has_b_frames, 0)) + kSkipMarginFrames) * frameDurUs_;
        skip = dtsUs < hopTargetUs_ - marginUs;
        if (!skip) hopTargetUs_ = 0;  // near the target: decode everything from here on
    }
    ctx_->skip_frame = skip ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
}

void VideoDecoder::decode(const AVPacket* pkt, const std::function<void(AVFrame*, int64_t)>& onFrame) {
    chooseSkipping(pkt);
    decodePacket(ctx_, pkt, frame_, [&](AVFrame* f) { onFrame(f, mediaTimeOf(f)); });
}

int64_t VideoDecoder::mediaTimeOf(const AVFrame* f) {
    int64_t ts = f->best_effort_timestamp;
    return ts != AV_NOPTS_VALUE ? times_.fix(mediaTimeUs(timeBase_, ts, originUs_), frameDurUs_) : times_.next(frameDurUs_);
}

void VideoDecoder::resume(const std::function<void(AVFrame*, int64_t)>& onFrame) {
    times_.reset();
    hopTargetUs_ = hopOffsetUs_ = 0;
    std::vector<AVFrame*> pictures = std::exchange(probed_, {});
    for (AVFrame*& f : pictures) {
        onFrame(f, mediaTimeOf(f));
        av_frame_free(&f);
    }
}

void VideoDecoder::dropProbed() {
    for (AVFrame*& f : probed_) av_frame_free(&f);
    probed_.clear();
}

namespace {
constexpr size_t kOriginPictures = 3;
// The first picture's time is damaged when the next one lies far from it.
bool originDamaged(const std::vector<int64_t>& t) { return t.size() >= 2 && TimestampFilter::far(t[0], t[1]); }
// The time of the first picture, from the first three: its own unless the next ones, agreeing
// with each other, say it is damaged; then the second one's, less a picture.
int64_t originFrom(const std::vector<int64_t>& t) {
    if (!originDamaged(t) || t.size() < 3 || TimestampFilter::far(t[1], t[2])) return t[0];
    int64_t step = t[2] - t[1];
    return step > 0 && step <= t[1] ? t[1] - step : t[1];
}
}  // namespace

void VideoDecoder::beginFirst() {
    savedOriginUs_ = originUs_;
    originUs_ = 0;
    savedWindowUs_ = times_.window();
    times_.setWindow(0);  // the container's clock: no bounds yet
    times_.reset();
    firstTimes_.clear();
}

void VideoDecoder::feedFirst(const AVPacket* pkt) {
    if (pkt && pkt->pts == AV_NOPTS_VALUE) packetsCarryPts_ = false;
    decode(pkt, [this](AVFrame* f, int64_t us) {
        int64_t ts = f->best_effort_timestamp;
        if (AVFrame* copy = av_frame_clone(f)) probed_.push_back(copy);
        if (firstTimes_.size() < kOriginPictures)
            firstTimes_.push_back(ts != AV_NOPTS_VALUE ? mediaTimeUs(timeBase_, ts, 0) : us);
    });
}

bool VideoDecoder::firstSettled() const {
    return firstTimes_.size() >= kOriginPictures || (firstTimes_.size() == 2 && !originDamaged(firstTimes_));
}

std::optional<int64_t> VideoDecoder::firstPictureUs() {
    std::optional<int64_t> first;
    if (!firstTimes_.empty()) first = originFrom(firstTimes_);
    originUs_ = first ? *first : savedOriginUs_;
    times_.setWindow(savedWindowUs_);
    if (!first) flush();
    return first;
}

bool VideoDecoder::picturesInterlaced() const {
    int order = ctx_ ? storedValue(ctx_->field_order) : AV_FIELD_UNKNOWN;
    bool fields = order == AV_FIELD_TT || order == AV_FIELD_BB || order == AV_FIELD_TB || order == AV_FIELD_BT;
    return fields || (!probed_.empty() && probed_.front()->interlaced_frame);
}

bool VideoDecoder::picturesPulledDown() const {
    return probed_.size() >= 2 && probed_[0]->repeat_pict + probed_[1]->repeat_pict == 1;
}

void VideoDecoder::flush(int64_t resumeUs, int64_t offsetUs) {
    dropProbed();
    avcodec_flush_buffers(ctx_);
    times_.reset(resumeUs, offsetUs);
    hopTargetUs_ = resumeUs;
    hopOffsetUs_ = offsetUs;
}

VideoFrame VideoDecoder::wrap(const AVFrame* f) {
    VideoFrame out;
    if (f->width <= 0 || f->height <= 0 || f->width > kMaxPictureSide || f->height > kMaxPictureSide) return out;
    AVFrame* ref = av_frame_clone(f);
    if (!ref) return out;
    out.width = f->width;
    out.height = f->height;
    out.picture = std::shared_ptr<const AVFrame>(ref, [](const AVFrame* p) {
        AVFrame* q = const_cast<AVFrame*>(p);
        av_frame_free(&q);
    });
    return out;
}

size_t VideoFrame::bytes() const {
    size_t n = 0;
    if (picture)
        for (const AVBufferRef* b : picture->buf)
            if (b) n += b->size;
    return n;
}

}  // namespace plim::engine
