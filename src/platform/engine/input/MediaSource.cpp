#include "platform/engine/input/MediaSource.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <string_view>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "platform/engine/base/Aspect.h"
#include "platform/engine/base/Clock.h"
#include "platform/engine/base/Orientation.h"
#include "platform/engine/base/Time.h"

namespace plim::engine {

namespace {
// How much of a file opening probes for its streams: bytes, and microseconds of media.
constexpr int64_t kProbeBytes = 5000000;
constexpr int64_t kProbeDurationUs = 5 * kUsPerSecond;
}  // namespace

namespace {
bool decodable(const AVStream* st) { return avcodec_find_decoder(st->codecpar->codec_id) != nullptr; }

// The sound track to play, as players choose it: the one marked default, else the first,
// among the tracks of the picture's program (a TV recording may hold several programs) that
// can be decoded and were heard while probing. -1 when there is none. libavformat's own choice would take the track with
// the highest bit rate: a DVD's 5.1 commentary over its first track.
int soundTrackOf(AVFormatContext* fmt, int video) {
    const AVProgram* program = video >= 0 ? av_find_program_from_stream(fmt, nullptr, video) : nullptr;
    auto inProgram = [&](unsigned i) {
        if (!program) return true;
        for (unsigned k = 0; k < program->nb_stream_indexes; ++k)
            if (program->stream_index[k] == i) return true;
        return false;
    };
    int first = -1;
    for (unsigned i = 0; i < fmt->nb_streams; ++i) {
        const AVStream* st = fmt->streams[i];
        const AVCodecParameters* par = st->codecpar;
        bool heard = par->ch_layout.nb_channels > 0 && par->sample_rate > 0;  // else nothing was found of it
        if (par->codec_type != AVMEDIA_TYPE_AUDIO || !heard || !inProgram(i) || !decodable(st)) continue;
        if (st->disposition & AV_DISPOSITION_DEFAULT) return int(i);
        if (first < 0) first = int(i);
    }
    return first;
}

// A damaged header can make one frame last for hours (a rate of 25/65537 frames a second):
// in a stream whose clock ticks once a frame (AVI), such a rate is replaced by 25 frames a
// second and the clock with it, so the pictures follow each other as they were made to.
constexpr double kMinFrameRate = 0.1;
void repairFrameRate(AVStream* st) {
    auto r = statedFrameRate(st);
    if (!r || av_q2d(*r) >= kMinFrameRate) return;
    if (av_cmp_q(av_mul_q(st->time_base, *r), AVRational{1, 1}) != 0) return;  // times are not frame counts
    st->time_base = AVRational{1, kDefaultFramesPerSecond};
    st->avg_frame_rate = st->r_frame_rate = AVRational{kDefaultFramesPerSecond, 1};
}

// The samples a PCM stream counts (nb_frames), in ticks of its clock when it ticks once a
// sample; 0 for other sound, whose frames are blocks of no fixed length.
int64_t countedSamples(const AVStream* a) {
    const AVCodecParameters* p = a->codecpar;
    bool tickPerSample = a->time_base.num == 1 && p->sample_rate > 0 && a->time_base.den == p->sample_rate;
    return av_get_exact_bits_per_sample(p->codec_id) > 0 && tickPerSample && a->nb_frames > 0 ? a->nb_frames : 0;
}

}  // namespace

MediaSource::~MediaSource() {
    if (fmt_) avformat_close_input(&fmt_);
}

AVStream* MediaSource::videoStream() const { return video_ >= 0 ? fmt_->streams[video_] : nullptr; }
AVStream* MediaSource::audioStream() const { return audio_ >= 0 ? fmt_->streams[audio_] : nullptr; }

int MediaSource::onInterrupt(void* self) { return static_cast<MediaSource*>(self)->deadline_.passed(); }

int MediaSource::read(AVPacket* pkt) {
    armDeadline(kReadBudgetUs);
    int r = av_read_frame(fmt_, pkt);
    disarm();
    return r;
}

// Opens and probes the container, reading through the engine's own input under the owner's
// deadline and interrupt callback.
OpenError MediaSource::openFormat(const std::string& path, MediaSource* owner, AVFormatContext*& fmt,
                            std::unique_ptr<FileInput>& input) {
    input = FileInput::open(path, owner->deadline_);
    fmt = input ? avformat_alloc_context() : nullptr;
    if (!fmt) return OpenError::InvalidFile;
    fmt->pb = input->io();  // the context is the caller's: closing the format leaves it
    fmt->interrupt_callback = AVIOInterruptCB{&MediaSource::onInterrupt, owner};
    AVDictionary* opts = nullptr;
    av_dict_set_int(&opts, "probesize", kProbeBytes, 0);
    av_dict_set_int(&opts, "analyzeduration", kProbeDurationUs, 0);
    int r = avformat_open_input(&fmt, path.c_str(), nullptr, &opts);  // frees fmt on failure
    av_dict_free(&opts);
    if (r < 0) return OpenError::InvalidFile;
    // A probe cut short by the deadline keeps what it found; any other failure refuses.
    if (avformat_find_stream_info(fmt, nullptr) < 0 && !onInterrupt(owner)) {
        avformat_close_input(&fmt);
        return OpenError::InvalidFile;
    }
    return OpenError::None;
}

OpenError MediaSource::open(const std::string& path, std::unique_ptr<MediaSource>& out) {
    struct stat sb;
    if (::stat(path.c_str(), &sb) != 0) return (errno == ENOENT || errno == ENOTDIR) ? OpenError::FileNotFound : OpenError::InvalidFile;
    if (!S_ISREG(sb.st_mode) || sb.st_size == 0) return OpenError::InvalidFile;

    std::unique_ptr<MediaSource> s(new MediaSource());
    s->path_ = path;
    s->armDeadline(kOpenBudgetUs);
    if (OpenError err = openFormat(path, s.get(), s->fmt_, s->input_); err != OpenError::None) return err;
    if (OpenError err = s->chooseStreams(); err != OpenError::None) return err;
    if (OpenError err = s->describe(); err != OpenError::None) return err;
    out = std::move(s);
    return OpenError::None;
}

bool MediaSource::reopen() {
    AVFormatContext* fresh = nullptr;
    std::unique_ptr<FileInput> freshInput;
    armDeadline(kOpenBudgetUs);
    bool ok = openFormat(path_, this, fresh, freshInput) == OpenError::None;
    disarm();
    if (ok && video_ >= 0 && unsigned(video_) < fresh->nb_streams) repairFrameRate(fresh->streams[video_]);
    auto same = [&](int i) {
        return i < 0 || (unsigned(i) < fresh->nb_streams && fresh->streams[i]->codecpar->codec_id ==
                                                                fmt_->streams[i]->codecpar->codec_id &&
                         av_cmp_q(fresh->streams[i]->time_base, fmt_->streams[i]->time_base) == 0);
    };
    if (ok && same(video_) && same(audio_)) {
        avformat_close_input(&fmt_);
        fmt_ = fresh;
        input_ = std::move(freshInput);
        return true;
    }
    if (fresh) avformat_close_input(&fresh);
    return false;
}

OpenError MediaSource::chooseStreams() {
    int v = av_find_best_stream(fmt_, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (v >= 0) {
        AVStream* st = fmt_->streams[v];
        if (st->codecpar->width <= 0 || st->codecpar->height <= 0) v = -1;
        else if (st->codecpar->width > kMaxPictureSide || st->codecpar->height > kMaxPictureSide) return OpenError::InvalidFile;
        else if (!decodable(st)) return OpenError::CannotLoadDriver;
    }
    int a = soundTrackOf(fmt_, v);  // none decodable: silent rather than refused
    if (v < 0 && a < 0) return OpenError::InvalidFile;
    video_ = v;
    audio_ = a;
    return OpenError::None;
}

OpenError MediaSource::describe() {
    AVStream* main = fmt_->streams[video_ >= 0 ? video_ : audio_];
    if (video_ >= 0) repairFrameRate(main);
    originUs_ = main->start_time != AV_NOPTS_VALUE ? streamTimeToUs(main, main->start_time)
                : fmt_->start_time != AV_NOPTS_VALUE ? fmt_->start_time
                                                      : 0;
    startUs_ = originUs_;
    // Containers with a seek of their own (AVI's index) land on the key frame asked for;
    // the others (MPEG program streams) are searched by timestamps and need a preroll.
    indexed_ = (fmt_->iformat->read_seek || fmt_->iformat->read_seek2) && avformat_index_get_entries_count(main) > 0;
    info_.hasVideo = video_ >= 0;
    info_.hasAudio = audio_ >= 0;
    if (video_ >= 0) {
        info_.orientation = orientationOf(main);
        bool turned = info_.orientation.swapsSides();
        info_.width = turned ? main->codecpar->height : main->codecpar->width;
        info_.height = turned ? main->codecpar->width : main->codecpar->height;
        // The container's ratio before the stream's, as libavformat chooses; a turned
        // picture (a phone's, always square) keeps its width.
        AVRational sar = av_guess_sample_aspect_ratio(fmt_, main, nullptr);
        if (!turned) info_.sarNum = sar.num, info_.sarDen = sar.den;
        info_.displayWidth = displayWidthFor(info_.width, SampleAspect{info_.sarNum, info_.sarDen});
        AVRational rate = frameRateOf(main);
        info_.rateNum = rate.num;
        info_.rateDen = rate.den;
        info_.frameDurUs = av_rescale(kUsPerSecond, rate.den, rate.num);
    }
    return describeLength(main);
}

// The length the container or the main stream tells, the sound's where it lasts longer; how
// far it is to be believed (lengthKnown).
OpenError MediaSource::describeLength(const AVStream* main) {
    int64_t len = 0;
    if (main->duration != AV_NOPTS_VALUE && main->duration > 0) {
        len = streamTimeToUs(main, main->duration);
    } else if (fmt_->duration != AV_NOPTS_VALUE && fmt_->duration > 0) {
        len = fmt_->duration;
    } else if (main->nb_frames > 0 && main->nb_frames < kMaxLengthUs / info_.frameDurUs) {
        len = main->nb_frames * info_.frameDurUs;
    }
    len = std::max(len, movieEndUs());
    if (len > kMaxLengthUs) return OpenError::InvalidFile;  // a length no reply could tell
    // Sound that goes on after the last picture is played to its end, the last picture held:
    // the length is the longer stream's. Less than a frame more is the padding of the last
    // block of sound, not sound after the picture.
    int64_t soundEnd = main != audioStream() && len > 0 ? soundEndUs() : 0;
    if (soundEnd > len + info_.frameDurUs) len = soundEnd;
    // A video length guessed from a bit rate (elementary streams declare the buffer's peak
    // rate) is only an estimate; constant-rate sound alone is measured well by it. A length
    // read from the first and last timestamps (program and transport streams) is one too:
    // files joined end to end restart their clocks, and damaged times claim any length. Such
    // files play to the end of their data, and the length becomes the one found.
    lengthFromTimes_ = fmt_->duration_estimation_method == AVFMT_DURATION_FROM_PTS;
    info_.lengthKnown = len > 0 && !lengthFromTimes_ &&
                        !(video_ >= 0 && fmt_->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE);
    if (!info_.lengthKnown && len > 0) timesEndUs_ = originUs_ + len;
    if (!info_.lengthKnown && len == 0) len = estimatedLengthUs();
    info_.lengthUs = len;
    return OpenError::None;
}

// MP4 and QuickTime files can state a track shorter than its last pictures reach (their edit
// list, written before the last picture's length was known, as with a variable frame rate);
// the pictures' own last time, which the file's length follows, counts then. In media time;
// 0 for other files, whose stated lengths stand as they are.
int64_t MediaSource::movieEndUs() const {
    if (std::string_view(fmt_->iformat->name).substr(0, 3) != "mov" || fmt_->duration == AV_NOPTS_VALUE ||
        fmt_->duration <= 0 || fmt_->start_time == AV_NOPTS_VALUE)
        return 0;
    int64_t end = 0;
    if (__builtin_add_overflow(fmt_->start_time, fmt_->duration, &end)) return 0;
    return end - originUs_;
}

// Where the sound stream says it ends, in media time from the main stream's start; 0 when it
// does not say, or says what no reply could tell (a damaged header is not believed). PCM
// whose length the header leaves out (cameras' AVI) is as long as the samples it counts.
int64_t MediaSource::soundEndUs() const {
    AVStream* a = audioStream();
    if (!a) return 0;
    int64_t duration = a->duration != AV_NOPTS_VALUE && a->duration > 0 ? a->duration : countedSamples(a);
    if (duration <= 0) return 0;
    int64_t start = a->start_time != AV_NOPTS_VALUE ? a->start_time : 0, last = 0;
    if (__builtin_add_overflow(start, duration, &last)) return 0;
    int64_t end = mediaTimeUs(a->time_base, last, originUs_);
    return end > 0 && end <= kMaxLengthUs ? end : 0;
}

// The length told by the file's size and bit rate, for files that do not say; 0 without.
int64_t MediaSource::estimatedLengthUs() const {
    int64_t size = fmt_->pb ? avio_size(fmt_->pb) : -1;
    if (size <= 0 || fmt_->bit_rate <= 0) return 0;
    return std::min(kMaxLengthUs, av_rescale(size, 8 * kUsPerSecond, fmt_->bit_rate));
}

std::optional<int64_t> MediaSource::packetEndUs(const AVPacket* pkt, int64_t originUs) const {
    int64_t ts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts, end = 0;
    if (ts == AV_NOPTS_VALUE || __builtin_add_overflow(ts, std::max<int64_t>(pkt->duration, 0), &end)) return std::nullopt;
    return mediaTimeUs(fmt_->streams[pkt->stream_index]->time_base, end, originUs);
}

std::optional<int64_t> MediaSource::earliestShowUs(const AVPacket* pkt) const {
    AVRational tb = fmt_->streams[pkt->stream_index]->time_base;
    if (pkt->pts != AV_NOPTS_VALUE) return mediaTimeUs(tb, pkt->pts, originUs_);
    if (pkt->dts == AV_NOPTS_VALUE) return std::nullopt;
    // Pictures come out of the decoder its delay later than their decoding time, and the
    // origin (the first picture) carries that delay: picture n is shown at media time n.
    return mediaTimeUs(tb, pkt->dts, startUs_);
}

}  // namespace plim::engine
