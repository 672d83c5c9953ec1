#include "platform/mci/engine/play/Reader.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "platform/mci/engine/input/MediaSource.h"
#include "platform/mci/engine/sound/SoundDecoder.h"
#include "platform/mci/engine/sound/SoundDevice.h"

namespace plim::engine {

namespace {
constexpr size_t kMaxQueuedBytes = 16u << 20;  // of video packets read ahead
// How often the reader looks at the sound's buffer, which tells no one when it drains; far
// less than the sound kept ahead.
constexpr auto kPoll = std::chrono::milliseconds(50);
constexpr int kMaxReadErrors = 16;
constexpr int kMaxSeekAttempts = 4;
constexpr int kMaxProbePackets = 600;
}  // namespace

bool Reader::hasRoomLocked() const {
    bool videoRoom = c_.info.hasVideo && c_.vq.count() < c_.maxPackets;
    bool audioRoom = c_.sound && c_.sound->wantsPackets();
    return (videoRoom || audioRoom) && c_.vq.bytes() < kMaxQueuedBytes;
}

// The reader refills in bursts: it sleeps until the video packets or the sound fall to half
// of what is kept ahead, then reads until both are full again, instead of waking for every
// packet the decoder takes. Whenever this holds, hasRoomLocked holds too.
bool Reader::runningLowLocked() const {
    bool videoLow = c_.info.hasVideo && c_.vq.count() <= c_.maxPackets / 2;
    bool audioLow = c_.sound && c_.sound->runningLow();
    return (videoLow || audioLow) && c_.vq.bytes() <= kMaxQueuedBytes / 2;
}

void Reader::tookPacket() {
    if (c_.vq.count() <= c_.maxPackets / 2) c_.demuxCv.notify_one();
}

// Waits until there is work: a seek, or packets to read. Returns false to quit; a seek to
// carry out is returned in req (gen 0: none).
bool Reader::nextWork(SeekRequest& req) {
    std::unique_lock<std::mutex> lk(c_.mu);
    for (;;) {
        auto work = [&] { return !c_.ends.inputEnded() && (c_.demuxFilling ? hasRoomLocked() : runningLowLocked()); };
        c_.demuxCv.wait_for(lk, kPoll, [&] { return c_.quit || c_.seekReq.pending || work(); });
        if (c_.quit) return false;
        if (c_.seekReq.pending) {
            req = c_.seekReq;
            c_.seekReq.pending = false;
            c_.ends.inputResumed();
            c_.demuxFilling = true;
            return true;
        }
        if (work()) {
            c_.demuxFilling = true;
            return true;
        }
        c_.demuxFilling = false;
    }
}

// Carries out a seek: positions the reader and starts the new generation. When the file
// cannot be positioned at all, the generation ends at once, so no picture from wherever the
// reader stood is ever shown as the one asked for.
void Reader::startGeneration(const SeekRequest& req) {
    {
        std::lock_guard<std::mutex> lk(c_.mu);
        c_.ends.readFrom(req.gen, req.targetUs);
    }
    std::vector<AVPacket*> read;
    Placed placed{.ok = true, .fromStart = true};
    if (req.move) placed = positionFor(req.targetUs, req.attempt, read);
    c_.vq.flush();
    PacketItem flush{PacketItem::Flush, req.gen, req.targetUs, nullptr};
    flush.attempt = placed.attempt;
    flush.fromStart = placed.fromStart;
    flush.fillSteps = req.fillSteps;
    flush.offsetUs = placed.offsetUs;
    c_.vq.push(flush);
    if (c_.sound) {
        c_.soundDec->flush(req.targetUs, placed.offsetUs);
        c_.sound->flush(req.gen, req.targetUs);
    }
    for (AVPacket* pkt : read) route(req.gen, pkt);
    if (!placed.ok) endOfInput(req.gen);
}

void Reader::endOfInput(uint64_t gen) {
    c_.vq.push(PacketItem{PacketItem::Eof, gen, -1, nullptr});
    if (c_.sound) {
        decodeSound(gen, nullptr);  // what the decoder still holds
        c_.sound->endOfStream(gen);
    }
    std::lock_guard<std::mutex> lk(c_.mu);
    c_.ends.inputEnd();
}

void Reader::run() {
    uint64_t gen = 0;
    int errors = 0;  // consecutive read errors: one bad patch does not end the file
    for (;;) {
        SeekRequest req;
        if (!nextWork(req)) return;
        if (req.gen) {
            gen = req.gen;
            errors = 0;
            startGeneration(req);
        } else {
            readOne(gen, errors);
        }
    }
}

// Reads and routes one packet. A read that fails too often in a row, runs past its deadline
// (a huge hole) or is interrupted (a close) ends the input.
void Reader::readOne(uint64_t gen, int& errors) {
    AVPacket* pkt = av_packet_alloc();
    int r = pkt ? c_.src->read(pkt) : AVERROR(ENOMEM);
    if (r >= 0) {
        errors = 0;
        route(gen, pkt);
        return;
    }
    av_packet_free(&pkt);
    if (r == AVERROR(EAGAIN)) {
        std::this_thread::sleep_for(kTryAgainAfter);
    } else if (r == AVERROR_EOF || r == AVERROR_EXIT || ++errors >= kMaxReadErrors) {
        endOfInput(gen);
    }
}

void Reader::route(uint64_t gen, AVPacket* pkt) {
    if (pkt->stream_index == c_.src->videoIndex() && c_.info.hasVideo) {
        c_.vq.push(PacketItem{PacketItem::Data, gen, -1, pkt});
    } else if (c_.sound && pkt->stream_index == c_.src->audioIndex()) {
        decodeSound(gen, pkt);
        av_packet_free(&pkt);
    } else {
        // Sound without a device to play it: play still lasts as long as the sound does.
        if (c_.info.hasAudio && pkt->stream_index == c_.src->audioIndex()) noteSilentSound(gen, pkt);
        av_packet_free(&pkt);
    }
}

// Decodes sound (pkt nullptr: the end of the stream) into the device's buffer.
void Reader::decodeSound(uint64_t gen, const AVPacket* pkt) {
    c_.soundDec->decode(pkt, [&](SoundChunk&& chunk) { c_.sound->add(gen, std::move(chunk)); });
}

// Follows where the sound that no device plays ends (StreamEnds::silentSoundTo).
void Reader::noteSilentSound(uint64_t gen, const AVPacket* pkt) {
    auto end = c_.src->packetEndUs(pkt, c_.soundOriginUs);
    std::lock_guard<std::mutex> lk(c_.mu);
    if (end) c_.ends.silentSoundTo(gen, *end);
}

// Places the reader at a key frame from which the target can be decoded. Each attempt
// starts further back; the last one starts at the beginning of the file.
Reader::Placed Reader::positionFor(int64_t targetUs, int firstAttempt, std::vector<AVPacket*>& read) {
    MediaSource& src = *c_.src;
    for (int attempt = std::max(firstAttempt, 0);; ++attempt) {
        for (AVPacket*& p : read) av_packet_free(&p);
        read.clear();
        bool fromStart = attempt >= kMaxSeekAttempts - 1 || targetUs <= 0;
        int64_t extraUs = attempt == 0 ? 0 : (int64_t(1) << attempt) * kUsPerSecond;
        bool placed = fromStart ? src.seekToStart() : src.seek(targetUs, extraUs);
        if (!placed) return Placed{.ok = false, .fromStart = fromStart, .attempt = attempt};
        // In a later part of a joined file, the part's own times, moved to where it starts.
        int64_t offset = fromStart ? 0 : src.partOffsetUs(targetUs);
        Placed here{.ok = true, .fromStart = fromStart, .attempt = attempt, .offsetUs = offset};
        if (fromStart || !c_.info.hasVideo || firstKeyNotAfter(targetUs, offset, read)) return here;
    }
}

// Timestamp seeks in files without an index may land after the key frame the target needs:
// reads up to the first video key frame (keeping what it read) and tells whether it may be
// shown by the target. True also when none is found within kMaxProbePackets; false when the
// input ends before one, as after the last key frame of a transport stream: from there not
// one picture can be decoded.
bool Reader::firstKeyNotAfter(int64_t targetUs, int64_t offsetUs, std::vector<AVPacket*>& read) {
    for (int n = 0; n < kMaxProbePackets; ++n) {
        AVPacket* pkt = av_packet_alloc();
        if (!pkt || c_.src->read(pkt) < 0) {
            av_packet_free(&pkt);
            return false;
        }
        read.push_back(pkt);
        if (pkt->stream_index == c_.src->videoIndex() && (pkt->flags & AV_PKT_FLAG_KEY))
            return c_.src->earliestShowUs(pkt).value_or(0) + offsetUs <= targetUs;
    }
    return true;
}

void Reader::beginEarlier(uint64_t gen, const PacketItem& start) {
    std::lock_guard<std::mutex> lk(c_.mu);
    if (gen != c_.gen || c_.quit) return;
    c_.seekReq = SeekRequest{.pending = true, .gen = gen, .targetUs = start.seekTargetUs, .move = true,
                             .attempt = start.attempt + 1, .fillSteps = start.fillSteps};
    c_.demuxCv.notify_one();
}

}  // namespace plim::engine
