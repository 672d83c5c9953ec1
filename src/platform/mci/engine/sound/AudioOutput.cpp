#include "platform/mci/engine/sound/AudioOutput.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
}

#include "platform/mci/engine/base/Time.h"

#include "platform/mci/engine/base/Clock.h"

namespace plim::engine {

namespace {
constexpr int64_t kTargetBufferUs = 700000;  // decoded sound kept ahead of the device
constexpr int64_t kGapUs = 20000;            // a hole in the sound larger than this is silence
constexpr int64_t kStaleUs = 500000;         // a device that has not pulled for this long has stopped
constexpr int64_t kLateUs = 80000;           // sound this far behind the clock is skipped
constexpr int64_t kStarvingUs = 150000;      // less than this left to hear: about to fall silent

bool sdlAudioUp() {
    static std::once_flag once;
    static bool up = false;
    std::call_once(once, [] {
        // The program handles its own signals: SDL's handlers would only queue an event.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        up = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    });
    return up;
}
}  // namespace

std::unique_ptr<AudioOutput> AudioOutput::create(const AVStream* st, int64_t originUs, int64_t lengthUs) {
    if (!sdlAudioUp()) return nullptr;
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec) return nullptr;
    std::unique_ptr<AudioOutput> a(new AudioOutput());
    a->ctx_ = avcodec_alloc_context3(codec);
    if (!a->ctx_ || avcodec_parameters_to_context(a->ctx_, st->codecpar) < 0) return nullptr;
    a->ctx_->pkt_timebase = st->time_base;
    if (avcodec_open2(a->ctx_, codec, nullptr) < 0 || a->ctx_->sample_rate <= 0) return nullptr;
    a->frame_ = av_frame_alloc();
    if (!a->frame_) return nullptr;
    a->timeBase_ = st->time_base;
    a->originUs_ = originUs;
    a->times_.setWindow(lengthUs);

    SDL_AudioSpec want{}, have{};
    want.freq = a->ctx_->sample_rate;
    want.format = AUDIO_S16SYS;
    want.channels = static_cast<Uint8>(std::clamp(a->ctx_->ch_layout.nb_channels, 1, 2));
    want.samples = 1024;
    want.callback = &AudioOutput::callback;
    want.userdata = a.get();
    a->device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have,
                                     SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_CHANNELS_CHANGE);
    if (a->device_ == 0) return nullptr;
    a->rate_ = have.freq;
    a->channels_ = have.channels;
    a->bytesPerSample_ = 2 * have.channels;
    a->deviceSamples_ = have.samples;
    SDL_PauseAudioDevice(a->device_, 0);  // runs from now on; plays silence until started
    return a;
}

AudioOutput::~AudioOutput() {
    close();
    if (ctx_) avcodec_free_context(&ctx_);
    if (swr_) swr_free(&swr_);
    av_channel_layout_uninit(&swrLayout_);
    if (frame_) av_frame_free(&frame_);
}

void AudioOutput::close() {
    if (device_) SDL_CloseAudioDevice(device_);  // waits for the callback to return
    device_ = 0;
}

// --- feeding (demux thread) -------------------------------------------------------------

bool AudioOutput::wantsPackets() const {
    std::lock_guard<std::mutex> lk(mu_);
    return !eof_ && bytesToUs(bufferedBytes_) < kTargetBufferUs;
}

bool AudioOutput::runningLow() const {
    std::lock_guard<std::mutex> lk(mu_);
    return !eof_ && bytesToUs(bufferedBytes_) < kTargetBufferUs / 2;
}

bool AudioOutput::starving(uint64_t gen) const {
    std::lock_guard<std::mutex> lk(mu_);
    return gen == gen_ && !eof_ && bytesToUs(bufferedBytes_) < kStarvingUs;
}

void AudioOutput::pushPacket(uint64_t gen, AVPacket* pkt) {
    bool current;
    {
        std::lock_guard<std::mutex> lk(mu_);
        current = gen == gen_;
    }
    if (current && avcodec_send_packet(ctx_, pkt) >= 0) {
        while (avcodec_receive_frame(ctx_, frame_) >= 0) {
            onFrame(frame_);
            av_frame_unref(frame_);
        }
    }
    av_packet_free(&pkt);
}

// Sound can change its layout, sample format or rate mid-stream (AC-3 between 5.1 and 2.0,
// MP2 between stereo and mono): the resampler must match the frame it converts.
bool AudioOutput::converterFits(AVFrame* f) {
    if (swr_ && f->format == swrFormat_ && f->sample_rate == swrRate_ &&
        av_channel_layout_compare(&f->ch_layout, &swrLayout_) == 0)
        return true;
    swr_free(&swr_);
    av_channel_layout_uninit(&swrLayout_);
    if (f->sample_rate <= 0 || f->ch_layout.nb_channels <= 0 || !av_channel_layout_check(&f->ch_layout)) return false;
    AVChannelLayout out;
    av_channel_layout_default(&out, channels_);
    if (swr_alloc_set_opts2(&swr_, &out, AV_SAMPLE_FMT_S16, rate_, &f->ch_layout, static_cast<AVSampleFormat>(f->format),
                            f->sample_rate, 0, nullptr) < 0 ||
        swr_init(swr_) < 0 || av_channel_layout_copy(&swrLayout_, &f->ch_layout) < 0) {
        swr_free(&swr_);
        return false;
    }
    swrFormat_ = f->format;
    swrRate_ = f->sample_rate;
    return true;
}

void AudioOutput::onFrame(AVFrame* f) {
    if (f->nb_samples <= 0 || !converterFits(f)) return;  // undecodable sound is silence
    int64_t ts = f->best_effort_timestamp;
    int64_t durUs = int64_t(f->nb_samples) * kUsPerSecond / f->sample_rate;
    int64_t pts = ts != AV_NOPTS_VALUE ? times_.fix(mediaTimeUs(timeBase_, ts, originUs_), durUs) : times_.next(durUs);
    int maxOut = swr_get_out_samples(swr_, f->nb_samples);
    Chunk c{pts, std::vector<uint8_t>(size_t(std::max(0, maxOut)) * bytesPerSample_)};
    uint8_t* outPlanes[1] = {c.data.data()};
    int n = swr_convert(swr_, outPlanes, maxOut, const_cast<const uint8_t**>(f->extended_data), f->nb_samples);
    if (n <= 0) return;
    c.data.resize(size_t(n) * bytesPerSample_);

    std::lock_guard<std::mutex> lk(mu_);
    if (skipUntilUs_ >= 0) {  // after a seek: nothing before the target is heard
        int64_t endUs = c.ptsUs + bytesToUs(int64_t(c.data.size()));
        if (endUs <= skipUntilUs_) return;
        if (c.ptsUs < skipUntilUs_) {
            size_t cut = size_t((skipUntilUs_ - c.ptsUs) * rate_ / kUsPerSecond) * bytesPerSample_;
            c.offset = std::min(cut, c.data.size());
            c.ptsUs = c.ptsUs + bytesToUs(int64_t(c.offset));
            c.data.erase(c.data.begin(), c.data.begin() + long(c.offset));
            c.offset = 0;
        }
        skipUntilUs_ = -1;
    }
    endPtsUs_ = c.ptsUs + bytesToUs(int64_t(c.data.size()));
    bufferedBytes_ += int64_t(c.data.size());
    chunks_.push_back(std::move(c));
}

void AudioOutput::endOfStream(uint64_t gen) {
    {
        std::lock_guard<std::mutex> lk(mu_);
        if (gen != gen_) return;
    }
    avcodec_send_packet(ctx_, nullptr);
    while (avcodec_receive_frame(ctx_, frame_) >= 0) {
        onFrame(frame_);
        av_frame_unref(frame_);
    }
    avcodec_flush_buffers(ctx_);
    std::lock_guard<std::mutex> lk(mu_);
    eof_ = true;
}

void AudioOutput::flush(uint64_t gen, int64_t targetUs, int64_t offsetUs) {
    avcodec_flush_buffers(ctx_);
    times_.reset(std::max<int64_t>(0, targetUs), offsetUs);
    std::lock_guard<std::mutex> lk(mu_);
    chunks_.clear();
    bufferedBytes_ = 0;
    gen_ = gen;
    skipUntilUs_ = targetUs;
    eof_ = false;
    playing_ = false;
    headPtsUs_ = -1;
    endPtsUs_ = targetUs;
}

// --- control (player) ------------------------------------------------------------------

void AudioOutput::start(uint64_t gen, int64_t posUs) {
    std::lock_guard<std::mutex> lk(mu_);
    if (gen != gen_) return;
    headPtsUs_ = posUs;
    if (!chunks_.empty()) {
        const Chunk& c = chunks_.front();
        int64_t next = c.ptsUs + bytesToUs(int64_t(c.offset));
        if (next <= posUs + kGapUs) headPtsUs_ = next;
    }
    cbWallUs_ = monotonicUs();
    playing_ = true;
}

void AudioOutput::pause() {
    std::lock_guard<std::mutex> lk(mu_);
    playing_ = false;
}

// --- device (SDL's audio thread) -------------------------------------------------------

void AudioOutput::callback(void* self, uint8_t* out, int len) { static_cast<AudioOutput*>(self)->fill(out, len); }

// Silence from the head up to untilUs (at most what is left of the buffer): the sound's time
// goes on through holes and while nothing is decoded, so the picture never waits on it.
void AudioOutput::playSilenceLocked(uint8_t*, int& done, int len, int64_t untilUs) {
    int64_t want = untilUs == INT64_MAX ? len - done : (untilUs - headPtsUs_) * rate_ / kUsPerSecond * bytesPerSample_;
    int n = int(std::min<int64_t>(len - done, want));
    n -= n % bytesPerSample_;
    if (n <= 0) n = std::min(len - done, bytesPerSample_);
    done += n;
    headPtsUs_ += bytesToUs(n);
}

void AudioOutput::fill(uint8_t* out, int len) {
    std::memset(out, 0, size_t(len));
    std::lock_guard<std::mutex> lk(mu_);
    if (!playing_) return;
    cbWallUs_ = monotonicUs();
    int done = 0;
    while (done < len) {
        if (chunks_.empty()) {  // nothing decoded (yet, or any more)
            playSilenceLocked(out, done, len, INT64_MAX);
            break;
        }
        Chunk& c = chunks_.front();
        int64_t next = c.ptsUs + bytesToUs(int64_t(c.offset));
        if (next + kLateUs < headPtsUs_) {  // sound behind the clock (it resumed late): skipped
            int64_t late = (headPtsUs_ - next) * rate_ / kUsPerSecond * bytesPerSample_;
            size_t skip = size_t(std::min<int64_t>(late, int64_t(c.data.size() - c.offset)));
            skip = std::max<size_t>(skip - skip % size_t(bytesPerSample_), size_t(bytesPerSample_));
            skip = std::min(skip, c.data.size() - c.offset);
            c.offset += skip;
            bufferedBytes_ -= int64_t(skip);
            if (c.offset >= c.data.size()) chunks_.pop_front();
            continue;
        }
        if (next > headPtsUs_ + kGapUs) {  // a hole: silence until the chunk's time
            playSilenceLocked(out, done, len, next);
            continue;
        }
        int n = int(std::min<size_t>(size_t(len - done), c.data.size() - c.offset));
        std::memcpy(out + done, c.data.data() + c.offset, size_t(n));
        c.offset += size_t(n);
        done += n;
        bufferedBytes_ -= n;
        headPtsUs_ = c.ptsUs + bytesToUs(int64_t(c.offset));
        if (c.offset >= c.data.size()) chunks_.pop_front();
    }
}

std::optional<int64_t> AudioOutput::timeUs(uint64_t gen) const {
    std::lock_guard<std::mutex> lk(mu_);
    if (!playing_ || gen != gen_ || headPtsUs_ < 0) return std::nullopt;
    if (eof_ && chunks_.empty()) return std::nullopt;  // sound is over: the wall clock goes on
    if (monotonicUs() - cbWallUs_ > kStaleUs) return std::nullopt;  // the device stopped pulling
    // What the device pulled last is heard over the following buffer period.
    int64_t bufferUs = int64_t(deviceSamples_) * kUsPerSecond / std::max(1, rate_);
    int64_t heard = headPtsUs_ - bufferUs + (monotonicUs() - cbWallUs_);
    return std::min(heard, headPtsUs_);
}

bool AudioOutput::ready(uint64_t gen) const {
    std::lock_guard<std::mutex> lk(mu_);
    return gen == gen_ && (bufferedBytes_ > 0 || eof_);
}

bool AudioOutput::drained(uint64_t gen) const {
    std::lock_guard<std::mutex> lk(mu_);
    return gen == gen_ && eof_ && chunks_.empty();
}

std::optional<int64_t> AudioOutput::leftAfter(uint64_t gen, int64_t afterUs) const {
    std::lock_guard<std::mutex> lk(mu_);
    if (gen != gen_ || !eof_ || chunks_.empty()) return std::nullopt;
    const Chunk& c = chunks_.front();
    int64_t next = c.ptsUs + bytesToUs(int64_t(c.offset));
    return next > afterUs ? std::optional<int64_t>(next) : std::nullopt;
}

int64_t AudioOutput::endUs(uint64_t gen) const {
    std::lock_guard<std::mutex> lk(mu_);
    return gen == gen_ ? endPtsUs_ : 0;
}

}  // namespace plim::engine
