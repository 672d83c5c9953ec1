// MediaSource's seeks: within the part of a joined file that holds the target, by time with
// a preroll where the file has no index, or to the very start.
#include "platform/engine/input/MediaSource.h"

#include <algorithm>

extern "C" {
#include <libavformat/avformat.h>
}

#include "platform/engine/base/Time.h"

namespace plim::engine {

namespace {
// Preroll for formats without a key-frame index (MPEG program streams): seeking by
// timestamp may land after the key frame that the target needs.
constexpr int64_t kUnindexedPrerollUs = 1500000;
}  // namespace

bool MediaSource::mapJoins() {
    if (!lengthFromTimes_ || video_ < 0 || !(fmt_->iformat->flags & AVFMT_TS_DISCONT)) return false;
    armDeadline(kJoinScanBudgetUs, Deadline::Waits::Counted);
    JoinMap map = JoinMap::scan(fmt_, video_, info_.frameDurUs);
    bool whole = !deadline_.passed();  // a scan cut short may have missed parts
    disarm();
    if (!whole || map.empty()) return true;
    int64_t len = map.lengthUs(originUs_, timesEndUs_);
    if (len <= info_.lengthUs || len > kMaxLengthUs) return true;
    joins_ = std::move(map);
    info_.lengthUs = len;
    return true;
}

int64_t MediaSource::partOffsetUs(int64_t targetUs) const {
    return joins_.empty() ? 0 : joins_.offsetUs(joins_.partAt(targetUs, originUs_), originUs_);
}

// In a joined file, a search by time would land in whichever part has that time: reading is
// placed within the part that holds the target instead, by its bytes in proportion to its
// times, with the same preroll as a search by time.
bool MediaSource::seekInPart(int64_t targetUs, int64_t extraPrerollUs) {
    size_t part = joins_.partAt(targetUs, originUs_);
    JoinMap::Span s = joins_.span(part, originUs_, avio_size(fmt_->pb), timesEndUs_);
    int64_t want = targetUs - joins_.offsetUs(part, originUs_) + originUs_ - kUnindexedPrerollUs - extraPrerollUs;
    int64_t pos = s.pos;
    if (want > s.startUs && s.endUs > s.startUs && s.endPos > s.pos)
        pos = std::min(s.endPos - 1, s.pos + av_rescale(s.endPos - s.pos, want - s.startUs, s.endUs - s.startUs));
    armDeadline(kReadBudgetUs);
    bool ok = av_seek_frame(fmt_, -1, pos, AVSEEK_FLAG_BYTE) >= 0;
    disarm();
    return ok || seekToStart();
}

// Where a seek in a file of one part starts reading from: the target, less the preroll.
int64_t MediaSource::readFromUs(int64_t targetUs, int64_t extraPrerollUs) const {
    return targetUs - (indexed_ ? 0 : kUnindexedPrerollUs) - extraPrerollUs;
}

bool MediaSource::seekStartsAtStart(int64_t targetUs, int64_t extraPrerollUs) const {
    return joins_.empty() && readFromUs(targetUs, extraPrerollUs) <= 0;
}

bool MediaSource::seek(int64_t targetUs, int64_t extraPrerollUs) {
    if (!joins_.empty()) return seekInPart(targetUs, extraPrerollUs);
    AVStream* st = fmt_->streams[video_ >= 0 ? video_ : audio_];
    int64_t want = readFromUs(targetUs, extraPrerollUs);
    if (want <= 0) return seekToStart();
    // An index (AVI's) holds decoding times counted from the stream's start, and a key frame
    // is shown no earlier than it is decoded: an entry not after the target so counted may be
    // shown by then. Counted from the first picture instead, which the decoder's delay puts
    // after the stream's start, it would be a key frame shown up to that delay too late.
    // Unindexed streams are searched by their own times from the first picture, with preroll.
    int64_t base = indexed_ ? startUs_ : originUs_;
    // Rounded down: the key frame must not lie after the target.
    int64_t ts = av_rescale_q_rnd(want + base, kMicroseconds, st->time_base,
                                  static_cast<AVRounding>(AV_ROUND_DOWN | AV_ROUND_PASS_MINMAX));
    armDeadline(kReadBudgetUs);
    bool ok = av_seek_frame(fmt_, st->index, ts, AVSEEK_FLAG_BACKWARD) >= 0;
    disarm();
    return ok || seekToStart();  // from the start any target can be decoded forward
}

bool MediaSource::seekToStart() {
    armDeadline(kReadBudgetUs);
    // Streams without an index (MPEG program streams) start cleanly at byte 0; indexed
    // containers (AVI) must be positioned by time, as byte 0 is their header. So must a
    // format with a seek of its own: it may count times itself (raw DV numbers its frames as
    // it reads them), and a jump to byte 0 past its seek would leave that count behind.
    bool bytes = !indexed_ && !fmt_->iformat->read_seek && !fmt_->iformat->read_seek2 &&
                 !(fmt_->iformat->flags & AVFMT_NO_BYTE_SEEK);
    bool ok = bytes && av_seek_frame(fmt_, -1, 0, AVSEEK_FLAG_BYTE) >= 0;
    if (!ok) {
        AVStream* st = fmt_->streams[video_ >= 0 ? video_ : audio_];
        int64_t start = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
        ok = av_seek_frame(fmt_, st->index, start, AVSEEK_FLAG_BACKWARD) >= 0;
    }
    disarm();
    return ok || reopen();  // from a fresh start any target can be decoded forward
}

}  // namespace plim::engine
