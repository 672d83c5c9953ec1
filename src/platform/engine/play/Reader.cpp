#include "platform/engine/play/Reader.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "platform/engine/input/MediaSource.h"
#include "platform/engine/sound/SoundDecoder.h"
#include "platform/engine/sound/SoundDevice.h"

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
    bool videoRoom = facts_.info.hasVideo && vq_.size() < facts_.maxPackets;
    bool audioRoom = sound_ && sound_->wantsPackets();
    return (videoRoom || audioRoom) && vq_.bytes() < kMaxQueuedBytes;
}

// The reader refills in bursts: it sleeps until the video packets or the sound fall to half
// of what is kept ahead, then reads until both are full again, instead of waking for every
// packet the decoder takes. Whenever this holds, hasRoomLocked holds too.
bool Reader::runningLowLocked() const {
    bool videoLow = facts_.info.hasVideo && vq_.size() <= facts_.maxPackets / 2;
    bool audioLow = sound_ && sound_->runningLow();
    return (videoLow || audioLow) && vq_.bytes() <= kMaxQueuedBytes / 2;
}

// Waits until there is work: a seek, or packets to read. Returns false to quit; a seek to
// carry out is returned in req (gen 0: none).
bool Reader::nextWork(SeekRequest& req) {
    std::unique_lock<PlayerMutex> lk(mu_);
    for (;;) {
        auto work = [&] { return !ends_.inputEnded() && (filling_ ? hasRoomLocked() : runningLowLocked()); };
        gens_.wake.wait_for(lk, kPoll, [&] { return gens_.quitting() || gens_.requested() || work(); });
        if (gens_.quitting()) return false;
        if (gens_.takeRequest(req)) {
            ends_.inputResumed();
            filling_ = true;
            return true;
        }
        if (work()) {
            filling_ = true;
            return true;
        }
        filling_ = false;
    }
}

// Carries out a seek: positions the reader and starts the new generation. When the file
// cannot be positioned at all, the generation ends at once, so no picture from wherever the
// reader stood is ever shown as the one asked for.
void Reader::startGeneration(const SeekRequest& req) {
    {
        std::lock_guard<PlayerMutex> lk(mu_);
        ends_.readFrom(req.gen, req.targetUs);
    }
    std::vector<AVPacket*> read;
    Placed placed{.ok = true, .fromStart = true};
    if (!req.continuesOpen) placed = positionFor(req.targetUs, req.attempt, read);
    vq_.flush(req.gen);
    GenerationStart start{.seek = req, .fromStart = placed.fromStart, .offsetUs = placed.offsetUs};
    start.seek.attempt = placed.attempt;
    vq_.push(PacketItem{req.gen, start});
    if (sound_) {
        soundDec_->flush(req.targetUs, placed.offsetUs);
        sound_->flush(req.gen, req.targetUs);
    }
    if (!req.continuesOpen) opened_.clear();  // read again from where the seek placed reading
    for (AVPacket* pkt : opened_.release()) route(req.gen, pkt);
    for (AVPacket* pkt : read) route(req.gen, pkt);
    if (!placed.ok) endOfInput(req.gen);
}

void Reader::endOfInput(uint64_t gen) {
    vq_.push(PacketItem{gen, InputEnd{}});
    if (sound_) {
        decodeSound(gen, nullptr);  // what the decoder still holds
        sound_->endOfStream(gen);
    }
    std::lock_guard<PlayerMutex> lk(mu_);
    ends_.inputEnd();
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
    int r = pkt ? src_.read(pkt) : AVERROR(ENOMEM);
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
    if (pkt->stream_index == src_.videoIndex() && facts_.info.hasVideo) {
        vq_.push(PacketItem{gen, PacketPtr(pkt)});
    } else if (sound_ && pkt->stream_index == src_.audioIndex()) {
        decodeSound(gen, pkt);
        av_packet_free(&pkt);
    } else {
        // Sound without a device to play it: play still lasts as long as the sound does.
        if (facts_.info.hasAudio && pkt->stream_index == src_.audioIndex()) noteSilentSound(gen, pkt);
        av_packet_free(&pkt);
    }
}

// Decodes sound (pkt nullptr: the end of the stream) into the device's buffer.
void Reader::decodeSound(uint64_t gen, const AVPacket* pkt) {
    soundDec_->decode(pkt, [&](SoundChunk&& chunk) { sound_->add(gen, std::move(chunk)); });
}

// Follows where the sound that no device plays ends (StreamEnds::silentSoundTo).
void Reader::noteSilentSound(uint64_t gen, const AVPacket* pkt) {
    auto end = src_.packetEndUs(pkt, facts_.soundOriginUs);
    std::lock_guard<PlayerMutex> lk(mu_);
    if (end) ends_.silentSoundTo(gen, *end);
}

// Places the reader at a key frame from which the target can be decoded. Each attempt
// starts further back; the last one starts at the beginning of the file.
Reader::Placed Reader::positionFor(int64_t targetUs, int firstAttempt, std::vector<AVPacket*>& read) {
    MediaSource& src = src_;
    for (int attempt = std::max(firstAttempt, 0);; ++attempt) {
        for (AVPacket*& p : read) av_packet_free(&p);
        read.clear();
        // Interlaced pictures are made whole from the picture before too: it is decoded first.
        int64_t neighbourUs = facts_.info.interlaced ? facts_.info.frameDurUs : 0;
        int64_t extraUs = attempt == 0 ? neighbourUs : (int64_t(1) << attempt) * kUsPerSecond;
        bool fromStart = attempt >= kMaxSeekAttempts - 1 || targetUs <= 0 || src.seekStartsAtStart(targetUs, extraUs);
        bool placed = fromStart ? src.seekToStart() : src.seek(targetUs, extraUs);
        if (!placed) return Placed{.ok = false, .fromStart = fromStart, .attempt = attempt};
        // In a later part of a joined file, the part's own times, moved to where it starts.
        int64_t offset = fromStart ? 0 : src.partOffsetUs(targetUs);
        Placed here{.ok = true, .fromStart = fromStart, .attempt = attempt, .offsetUs = offset};
        if (fromStart || !facts_.info.hasVideo || firstKeyNotAfter(targetUs, offset, read)) return here;
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
        if (!pkt || src_.read(pkt) < 0) {
            av_packet_free(&pkt);
            return false;
        }
        read.push_back(pkt);
        if (pkt->stream_index == src_.videoIndex() && (pkt->flags & AV_PKT_FLAG_KEY))
            return src_.earliestShowUs(pkt).value_or(0) + offsetUs <= targetUs;
    }
    return true;
}

}  // namespace plim::engine
