#include "platform/mci/engine/MediaSource.h"

#include <sys/stat.h>

#include <cerrno>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace plim::engine {

int64_t streamTimeToUs(const AVStream* st, int64_t ts) { return av_rescale_q(ts, st->time_base, AVRational{1, 1000000}); }

namespace {
// Preroll for formats without a key-frame index (MPEG program streams): seeking by
// timestamp may land after the key frame that the target needs.
constexpr int64_t kUnindexedPrerollUs = 1500000;

bool decodable(const AVStream* st) { return avcodec_find_decoder(st->codecpar->codec_id) != nullptr; }

int64_t frameDuration(const AVStream* st) {
    AVRational r = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
    if (r.num <= 0 || r.den <= 0) return 40000;
    int64_t d = av_rescale(1000000, r.den, r.num);
    return d > 0 ? d : 40000;
}
}  // namespace

MediaSource::~MediaSource() {
    if (fmt_) avformat_close_input(&fmt_);
}

AVStream* MediaSource::videoStream() const { return video_ >= 0 ? fmt_->streams[video_] : nullptr; }
AVStream* MediaSource::audioStream() const { return audio_ >= 0 ? fmt_->streams[audio_] : nullptr; }

int MediaSource::open(const std::string& path, std::unique_ptr<MediaSource>& out) {
    // Damaged files are expected input: the libraries' complaints are not the user's concern.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_FATAL); });
    struct stat sb;
    if (::stat(path.c_str(), &sb) != 0) return (errno == ENOENT || errno == ENOTDIR) ? kErrFileNotFound : kErrInvalidFile;
    if (!S_ISREG(sb.st_mode) || sb.st_size == 0) return kErrInvalidFile;

    std::unique_ptr<MediaSource> s(new MediaSource());
    if (avformat_open_input(&s->fmt_, path.c_str(), nullptr, nullptr) < 0) return kErrInvalidFile;
    if (avformat_find_stream_info(s->fmt_, nullptr) < 0) return kErrInvalidFile;

    if (int err = s->chooseStreams()) return err;
    s->describe();
    out = std::move(s);
    return 0;
}

int MediaSource::chooseStreams() {
    int v = av_find_best_stream(fmt_, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (v >= 0) {
        AVStream* st = fmt_->streams[v];
        if (st->codecpar->width <= 0 || st->codecpar->height <= 0) v = -1;
        else if (!decodable(st)) return kErrCannotLoadDriver;
    }
    int a = av_find_best_stream(fmt_, AVMEDIA_TYPE_AUDIO, -1, v, nullptr, 0);
    if (a >= 0 && !decodable(fmt_->streams[a])) a = -1;  // silent rather than refused
    if (v < 0 && a < 0) return kErrInvalidFile;
    video_ = v;
    audio_ = a;
    return 0;
}

void MediaSource::describe() {
    AVStream* main = fmt_->streams[video_ >= 0 ? video_ : audio_];
    originUs_ = main->start_time != AV_NOPTS_VALUE ? streamTimeToUs(main, main->start_time)
                : fmt_->start_time != AV_NOPTS_VALUE ? fmt_->start_time
                                                      : 0;
    // Containers with a seek of their own (AVI's index) land on the key frame asked for;
    // the others (MPEG program streams) are searched by timestamps and need a preroll.
    indexed_ = (fmt_->iformat->read_seek || fmt_->iformat->read_seek2) && avformat_index_get_entries_count(main) > 0;
    info_.hasVideo = video_ >= 0;
    info_.hasAudio = audio_ >= 0;
    if (video_ >= 0) {
        info_.width = main->codecpar->width;
        info_.height = main->codecpar->height;
        info_.frameDurUs = frameDuration(main);
    }
    if (main->duration != AV_NOPTS_VALUE && main->duration > 0) {
        info_.lengthUs = streamTimeToUs(main, main->duration);
    } else if (fmt_->duration != AV_NOPTS_VALUE && fmt_->duration > 0) {
        info_.lengthUs = fmt_->duration;
    } else if (main->nb_frames > 0) {
        info_.lengthUs = main->nb_frames * info_.frameDurUs;
    }
}

bool MediaSource::seek(int64_t targetUs, int64_t extraPrerollUs) {
    AVStream* st = fmt_->streams[video_ >= 0 ? video_ : audio_];
    int64_t want = targetUs - (indexed_ ? 0 : kUnindexedPrerollUs) - extraPrerollUs;
    if (want <= 0) return seekToStart();
    // Rounded down: the key frame must not lie after the target.
    int64_t ts = av_rescale_q_rnd(want + originUs_, AVRational{1, 1000000}, st->time_base,
                                  static_cast<AVRounding>(AV_ROUND_DOWN | AV_ROUND_PASS_MINMAX));
    if (av_seek_frame(fmt_, st->index, ts, AVSEEK_FLAG_BACKWARD) >= 0) return true;
    return seekToStart();  // from the start any target can be decoded forward
}

bool MediaSource::seekToStart() {
    // Streams without an index (MPEG program streams) start cleanly at byte 0; indexed
    // containers (AVI) must be positioned by time, as byte 0 is their header.
    if (!indexed_ && !(fmt_->iformat->flags & AVFMT_NO_BYTE_SEEK) && av_seek_frame(fmt_, -1, 0, AVSEEK_FLAG_BYTE) >= 0)
        return true;
    AVStream* st = fmt_->streams[video_ >= 0 ? video_ : audio_];
    int64_t start = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
    return av_seek_frame(fmt_, st->index, start, AVSEEK_FLAG_BACKWARD) >= 0;
}

std::optional<int64_t> MediaSource::packetTimeUs(const AVPacket* pkt) const {
    int64_t ts = pkt->dts != AV_NOPTS_VALUE ? pkt->dts : pkt->pts;
    if (ts == AV_NOPTS_VALUE) return std::nullopt;
    return streamTimeToUs(fmt_->streams[pkt->stream_index], ts) - originUs_;
}

}  // namespace plim::engine
