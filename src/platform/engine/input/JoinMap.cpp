#include "platform/engine/input/JoinMap.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "platform/engine/base/Time.h"
#include "platform/engine/input/MediaSource.h"

namespace plim::engine {

namespace {
constexpr int kSamples = 16;
constexpr int64_t kBackUs = 500000;  // a time this far before the one before it is a restart
constexpr size_t kMaxJoins = kSamples / 2;  // more: times that jump about (damage), not parts
constexpr int kMaxSamplePackets = 64;
constexpr int64_t kNarrowBytes = 256 * 1024;
constexpr int kMaxWalkPackets = 20000;
constexpr int kConfirmPictures = 4;

struct Sample {
    int64_t pos = 0;
    int64_t us = 0;
};

// Reads pictures' times at byte positions of one file.
class Sampler {
public:
    Sampler(AVFormatContext* fmt, int video, int64_t frameDurUs)
        : fmt_(fmt), video_(video), frameDurUs_(frameDurUs), pkt_(av_packet_alloc()) {}
    ~Sampler() { av_packet_free(&pkt_); }
    Sampler(const Sampler&) = delete;
    Sampler& operator=(const Sampler&) = delete;

    // The first picture with a time at or after byte `at`.
    std::optional<Sample> at(int64_t at) {
        if (!moveTo(at)) return std::nullopt;
        for (int n = 0; n < kMaxSamplePackets; ++n) {
            if (auto s = next()) return s;
            if (done_) return std::nullopt;
        }
        return std::nullopt;
    }

    // Reads on from the first of two samples to the restart between them (before byte
    // limit): the join, confirmed by the pictures after it continuing from it.
    std::optional<JoinMap::Join> walk(const Sample& from, int64_t limit) {
        if (!moveTo(from.pos)) return std::nullopt;
        int64_t lastUs = from.us, endUs = from.us;
        for (int n = 0; n < kMaxWalkPackets && !done_ && lastPos_ <= limit; ++n) {
            auto s = next();
            if (!s) continue;
            if (s->us < lastUs - kBackUs) return confirm(JoinMap::Join{s->pos, s->us, endUs});
            lastUs = s->us;
            endUs = std::max(endUs, s->us + lastDurUs_);
        }
        return std::nullopt;
    }

private:
    bool moveTo(int64_t pos) {
        done_ = false;
        lastPos_ = -1;
        return pkt_ && av_seek_frame(fmt_, -1, pos, AVSEEK_FLAG_BYTE) >= 0;
    }
    // The next packet: a Sample when it is a picture with a time; done_ at the end or on error.
    std::optional<Sample> next() {
        if (av_read_frame(fmt_, pkt_) < 0) {
            done_ = true;
            return std::nullopt;
        }
        std::optional<Sample> s;
        const AVStream* st = fmt_->streams[pkt_->stream_index];
        lastPos_ = std::max(lastPos_, pkt_->pos);
        if (pkt_->stream_index == video_ && pkt_->pts != AV_NOPTS_VALUE && pkt_->pos >= 0) {
            s = Sample{pkt_->pos, streamTimeToUs(st, pkt_->pts)};
            lastDurUs_ = pkt_->duration > 0 ? streamTimeToUs(st, pkt_->duration) : frameDurUs_;
        }
        av_packet_unref(pkt_);
        return s;
    }
    // The pictures after a restart go on from it: a part, not one damaged time. Its start is
    // the earliest of them (pictures come in decoding order).
    std::optional<JoinMap::Join> confirm(JoinMap::Join j) {
        for (int seen = 0, n = 0; seen < kConfirmPictures && n < kMaxSamplePackets && !done_; ++n) {
            auto s = next();
            if (!s) continue;
            if (std::llabs(s->us - j.startUs) > kBackUs) return std::nullopt;
            j.startUs = std::min(j.startUs, s->us);
            ++seen;
        }
        return j;
    }

    AVFormatContext* fmt_;
    int video_;
    int64_t frameDurUs_;
    AVPacket* pkt_;
    bool done_ = false;
    int64_t lastPos_ = -1;
    int64_t lastDurUs_ = 0;
};

// Narrows two samples on either side of a restart down to kNarrowBytes apart: a sample in
// between belongs to the part whose times, at the file's rate, it continues.
void narrow(Sampler& sampler, Sample& a, Sample& b, double usPerByte) {
    while (b.pos - a.pos > kNarrowBytes) {
        auto m = sampler.at(a.pos + (b.pos - a.pos) / 2);
        if (!m || m->pos <= a.pos || m->pos >= b.pos) return;
        double fromA = double(m->us) - (double(a.us) + double(m->pos - a.pos) * usPerByte);
        double fromB = double(m->us) - (double(b.us) - double(b.pos - m->pos) * usPerByte);
        (std::abs(fromA) <= std::abs(fromB) ? a : b) = *m;
    }
}
}  // namespace

JoinMap JoinMap::scan(AVFormatContext* fmt, int videoIndex, int64_t frameDurUs) {
    JoinMap map;
    int64_t size = fmt && fmt->pb ? avio_size(fmt->pb) : -1;
    if (size <= 0 || videoIndex < 0) return map;
    Sampler sampler(fmt, videoIndex, frameDurUs);
    std::vector<Sample> samples;
    for (int k = 0; k < kSamples; ++k) {
        auto s = sampler.at(size * k / kSamples);
        if (s && (samples.empty() || s->pos > samples.back().pos)) samples.push_back(*s);
    }
    // The file's rate, from neighbours within one part.
    double us = 0, bytes = 0;
    for (size_t i = 1; i < samples.size(); ++i)
        if (samples[i].us >= samples[i - 1].us) us += double(samples[i].us - samples[i - 1].us), bytes += double(samples[i].pos - samples[i - 1].pos);
    double usPerByte = bytes > 0 ? us / bytes : 0;
    for (size_t i = 1; i < samples.size(); ++i) {
        Sample a = samples[i - 1], b = samples[i];
        if (b.us >= a.us - kBackUs) continue;
        narrow(sampler, a, b, usPerByte);
        auto join = sampler.walk(a, b.pos + kNarrowBytes);
        if (!join || map.joins_.size() >= kMaxJoins) return JoinMap{};
        if (map.joins_.empty() || join->pos > map.joins_.back().pos) map.joins_.push_back(*join);
    }
    return map;
}

int64_t JoinMap::partStartUs(size_t i, int64_t originUs) const {
    int64_t start = 0;
    for (size_t k = 0; k < i && k < joins_.size(); ++k) start += joins_[k].prevEndUs - startOf(k, originUs);
    return start;
}

size_t JoinMap::partAt(int64_t us, int64_t originUs) const {
    size_t i = 0;
    while (i < joins_.size() && partStartUs(i + 1, originUs) <= us) ++i;
    return i;
}

JoinMap::Span JoinMap::span(size_t i, int64_t originUs, int64_t fileSize, int64_t fileEndUs) const {
    Span s;
    s.pos = i == 0 ? 0 : joins_[i - 1].pos;
    s.endPos = i < joins_.size() ? joins_[i].pos : fileSize;
    s.startUs = startOf(i, originUs);
    s.endUs = i < joins_.size() ? joins_[i].prevEndUs : fileEndUs;
    return s;
}

int64_t JoinMap::lengthUs(int64_t originUs, int64_t fileEndUs) const {
    size_t last = joins_.size();
    return partStartUs(last, originUs) + (fileEndUs - startOf(last, originUs));
}

}  // namespace plim::engine
