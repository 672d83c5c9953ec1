#include "platform/mci/engine/Player.h"

#include <algorithm>
#include <chrono>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "platform/mci/engine/AudioOutput.h"
#include "platform/mci/engine/MediaSource.h"
#include "platform/mci/engine/SeekPicker.h"
#include "platform/mci/engine/VideoDecoder.h"

namespace plim::engine {

namespace {
constexpr int64_t kAudioStartGraceUs = 500000;
// The display's shortest and longest sleeps while the next frame is known: it sleeps until
// that frame is due, since every command that changes what is due restarts it at once.
constexpr int64_t kMinWaitUs = 1000;
constexpr int64_t kMaxWaitUs = 100000;
// The packets read ahead of the decoder: about a second of video, within a byte budget
// (a 4K motion-JPEG frame is a megabyte), whatever the file.
constexpr int64_t kPacketsAheadUs = 1000000;
constexpr size_t kMinQueuedPackets = 8, kMaxQueuedPackets = 96;
constexpr size_t kMaxQueuedBytes = 16u << 20;
// How often the reader looks at the sound's buffer, which tells no one when it drains; far
// less than the sound kept ahead.
constexpr auto kDemuxPoll = std::chrono::milliseconds(50);
constexpr int kMaxReadErrors = 16;
constexpr int kMaxSeekAttempts = 4;
constexpr int kMaxProbePackets = 600;
}  // namespace

int64_t Player::nowUs() { return monotonicUs(); }

int Player::open(const std::string& path, std::unique_ptr<Player>& out, Options opts) {
    std::unique_ptr<MediaSource> src;
    int err = MediaSource::open(path, src);
    if (err) return err;
    std::unique_ptr<Player> p(new Player());
    p->info_ = src->info();
    // Times are expected within the length the file tells, where it tells one.
    int64_t window = p->info_.lengthKnown || src->lengthFromTimes() ? p->info_.lengthUs : 0;
    if (p->info_.hasVideo) {
        p->dec_ = std::make_unique<VideoDecoder>();
        if (!p->dec_->open(src->videoStream(), src->originUs(), opts.decoderThreads, window)) return kErrCannotLoadDriver;
        // A video stream without one decodable picture would play an empty window: refused.
        auto first = p->dec_->firstPictureUs(src->format(), src->videoIndex());
        if (!first) return kErrInvalidFile;
        src->setOriginUs(*first);
        if (src->indexed() && !p->dec_->packetsCarryPts()) p->dec_->trustTimes();
        if (p->info_.lengthKnown) p->dec_->keepGapsWithin(p->info_.lengthUs);
        // A file joined from parts: its length is theirs together, and times lie within it.
        src->mapJoins();
        p->info_ = src->info();
        if (window) window = p->info_.lengthUs;
        p->dec_->setWindow(window);
    }
    src->disarm();
    // Pictures without presentation times come the decoder's delay late; the sound's times
    // are its own, counted from the stream's start, so none of it is cut off at the start.
    p->soundOriginUs_ = p->dec_ && !p->dec_->packetsCarryPts() ? src->startUs() : src->originUs();
    if (p->info_.hasAudio && opts.audio) p->audio_ = AudioOutput::create(src->audioStream(), p->soundOriginUs_, window);
    p->src_ = std::move(src);
    p->state_ = PlayState(p->info_.lengthUs, p->info_.lengthKnown, p->info_.hasVideo);
    p->maxPackets_ = size_t(std::clamp<int64_t>(kPacketsAheadUs / std::max<int64_t>(1, p->info_.frameDurUs),
                                                int64_t(kMinQueuedPackets), int64_t(kMaxQueuedPackets)));
    // Pictures of 4:2:0 at their size: as many as the step cache holds, as a span of time.
    int64_t pictureBytes = std::max<int64_t>(1, int64_t(p->info_.width) * p->info_.height * 3 / 2);
    p->stepSpanUs_ = int64_t(kStepCacheBytes) / pictureBytes * p->info_.frameDurUs;
    p->seekReq_ = SeekRequest{true, p->gen_, 0, p->info_.hasVideo};  // back to the start after the probe
    p->demux_ = std::thread(&Player::demuxLoop, p.get());
    if (p->info_.hasVideo) p->video_ = std::thread(&Player::videoLoop, p.get());
    out = std::move(p);
    return 0;
}

Player::~Player() {
    {
        std::lock_guard<std::mutex> lk(mu_);
        quit_ = true;
    }
    if (src_) src_->interrupt();  // a read stuck in a damaged file returns at once
    demuxCv_.notify_all();
    vq_.close();
    fq_.close();
    if (audio_) audio_->close();
    if (demux_.joinable()) demux_.join();
    if (video_.joinable()) video_.join();
}

// --- demux thread ----------------------------------------------------------------------

bool Player::demuxHasRoomLocked() const {
    bool videoRoom = info_.hasVideo && vq_.count() < maxPackets_;
    bool audioRoom = audio_ && audio_->wantsPackets();
    return (videoRoom || audioRoom) && vq_.bytes() < kMaxQueuedBytes;
}

// The reader refills in bursts: it sleeps until the video packets or the sound fall to half
// of what is kept ahead, then reads until both are full again, instead of waking for every
// packet the decoder takes. Whenever this holds, demuxHasRoomLocked holds too.
bool Player::demuxRunningLowLocked() const {
    bool videoLow = info_.hasVideo && vq_.count() <= maxPackets_ / 2;
    bool audioLow = audio_ && audio_->runningLow();
    return (videoLow || audioLow) && vq_.bytes() <= kMaxQueuedBytes / 2;
}

// Waits until there is work: a seek, or packets to read. Returns false to quit; a seek to
// carry out is returned in req (gen 0: none).
bool Player::nextDemuxWork(SeekRequest& req) {
    std::unique_lock<std::mutex> lk(mu_);
    for (;;) {
        auto work = [&] {
            return !demuxEof_ && (demuxFilling_ ? demuxHasRoomLocked() : demuxRunningLowLocked());
        };
        demuxCv_.wait_for(lk, kDemuxPoll, [&] { return quit_ || seekReq_.pending || work(); });
        if (quit_) return false;
        if (seekReq_.pending) {
            req = seekReq_;
            seekReq_.pending = false;
            demuxEof_ = false;
            demuxFilling_ = true;
            return true;
        }
        if (work()) {
            demuxFilling_ = true;
            return true;
        }
        demuxFilling_ = false;
    }
}

// Carries out a seek: positions the reader and starts the new generation. When the file
// cannot be positioned at all, the generation ends at once, so no picture from wherever the
// reader stood is ever shown as the one asked for.
void Player::startGeneration(const SeekRequest& req) {
    {
        std::lock_guard<std::mutex> lk(mu_);
        silentSoundGen_ = req.gen;
        silentSoundEndUs_ = req.targetUs;  // sound is followed from where the generation starts
    }
    std::vector<AVPacket*> read;
    Placed placed{true, true, 0};
    if (req.move) placed = positionFor(req.targetUs, req.attempt, read);
    vq_.flush();
    PacketItem flush{PacketItem::Flush, req.gen, req.targetUs, nullptr};
    flush.attempt = placed.attempt;
    flush.fromStart = placed.fromStart;
    flush.fillSteps = req.fillSteps;
    flush.offsetUs = placed.offsetUs;
    vq_.push(flush);
    if (audio_) audio_->flush(req.gen, req.targetUs, placed.offsetUs);
    for (AVPacket* pkt : read) route(req.gen, pkt);
    if (!placed.ok) endOfInput(req.gen);
}

void Player::endOfInput(uint64_t gen) {
    vq_.push(PacketItem{PacketItem::Eof, gen, -1, nullptr});
    if (audio_) audio_->endOfStream(gen);
    std::lock_guard<std::mutex> lk(mu_);
    demuxEof_ = true;
}

void Player::demuxLoop() {
    uint64_t gen = 0;
    int errors = 0;  // consecutive read errors: one bad patch does not end the file
    for (;;) {
        SeekRequest req;
        if (!nextDemuxWork(req)) return;
        if (req.gen) {
            gen = req.gen;
            errors = 0;
            startGeneration(req);
            continue;
        }
        AVPacket* pkt = av_packet_alloc();
        int r = pkt ? src_->read(pkt) : AVERROR(ENOMEM);
        if (r >= 0) {
            errors = 0;
            route(gen, pkt);
            continue;
        }
        av_packet_free(&pkt);
        if (r == AVERROR(EAGAIN)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        } else if (r == AVERROR_EOF || r == AVERROR_EXIT || ++errors >= kMaxReadErrors) {
            // AVERROR_EXIT: a read that ran past its deadline (a huge hole) or a close.
            endOfInput(gen);
        }
    }
}

void Player::route(uint64_t gen, AVPacket* pkt) {
    if (pkt->stream_index == src_->videoIndex() && info_.hasVideo) {
        vq_.push(PacketItem{PacketItem::Data, gen, -1, pkt});
    } else if (audio_ && pkt->stream_index == src_->audioIndex()) {
        audio_->pushPacket(gen, pkt);  // takes ownership
    } else {
        // Sound without a device to play it: play still lasts as long as the sound does.
        if (info_.hasAudio && pkt->stream_index == src_->audioIndex()) noteSilentSound(gen, pkt);
        av_packet_free(&pkt);
    }
}

// Follows where the sound that no device plays ends: a run of sound that starts near where
// the generation starts and goes on without a hole of kStrandedSoundUs. Sound beyond such a
// hole lies where damaged times put it and is not waited for.
void Player::noteSilentSound(uint64_t gen, const AVPacket* pkt) {
    auto end = src_->packetEndUs(pkt, soundOriginUs_);
    std::lock_guard<std::mutex> lk(mu_);
    if (!end || silentSoundGen_ != gen) return;
    if (*end > silentSoundEndUs_ && *end <= silentSoundEndUs_ + kStrandedSoundUs) silentSoundEndUs_ = *end;
}

// Places the reader at a key frame from which the target can be decoded. Each attempt
// starts further back; the last one starts at the beginning of the file.
Player::Placed Player::positionFor(int64_t targetUs, int firstAttempt, std::vector<AVPacket*>& read) {
    auto drop = [&] {
        for (AVPacket*& p : read) av_packet_free(&p);
        read.clear();
    };
    // Timestamp seeks in files without an index may land after the key frame the target
    // needs: look at the first video key frame and go further back while it is shown late.
    for (int attempt = std::max(firstAttempt, 0);; ++attempt) {
        drop();
        bool fromStart = attempt >= kMaxSeekAttempts - 1 || targetUs <= 0;
        bool placed = fromStart ? src_->seekToStart()
                                : src_->seek(targetUs, attempt == 0 ? 0 : (int64_t(1) << attempt) * 1000000);
        if (!placed) return Placed{false, fromStart, attempt};
        // In a later part of a joined file, the part's own times, moved to where it starts.
        int64_t offset = fromStart ? 0 : src_->partOffsetUs(targetUs);
        if (fromStart || !info_.hasVideo) return Placed{true, fromStart, attempt, offset};
        std::optional<int64_t> keyUs;
        for (int n = 0; n < kMaxProbePackets && !keyUs; ++n) {
            AVPacket* pkt = av_packet_alloc();
            if (!pkt || src_->read(pkt) < 0) {
                av_packet_free(&pkt);
                break;
            }
            read.push_back(pkt);
            if (pkt->stream_index == src_->videoIndex() && (pkt->flags & AV_PKT_FLAG_KEY))
                keyUs = src_->earliestShowUs(pkt).value_or(0);
        }
        if (!keyUs || *keyUs + offset <= targetUs) return Placed{true, false, attempt, offset};
    }
}

// The video thread found decoding began too late for the target of the generation that
// `start` began: the reader starts again further back, unless a newer seek has come meanwhile.
void Player::beginEarlier(uint64_t gen, const PacketItem& start) {
    std::lock_guard<std::mutex> lk(mu_);
    if (gen != gen_ || quit_) return;
    seekReq_ = SeekRequest{true, gen, start.seekTargetUs, true, start.attempt + 1, start.fillSteps};
    demuxCv_.notify_one();
}

// --- video thread ----------------------------------------------------------------------

void Player::videoLoop() {
    uint64_t gen = 0;
    int64_t lastEnd = 0;
    PacketItem start;     // the Flush that began this generation's decoding
    bool retry = false;   // decoding began too late: waiting for the reader to start earlier
    SeekPicker picker;
    auto picture = [&](AVFrame* f, int64_t pts) {
        VideoFrame vf = VideoDecoder::wrap(f);
        vf.gen = gen;
        vf.ptsUs = pts;
        vf.durUs = info_.frameDurUs;
        return vf;
    };
    SeekPicker::Emit emit = [&](AVFrame* f, int64_t pts, bool seekTarget) {
        VideoFrame vf = picture(f, pts);
        if (!vf.valid()) return;
        vf.seekTarget = seekTarget;
        fq_.push(std::move(vf));  // blocks while the queue is full
    };
    auto onFrame = [&](AVFrame* f, int64_t pts) {
        if (retry) return;
        lastEnd = std::max(lastEnd, pts + info_.frameDurUs);
        int64_t target = start.seekTargetUs;
        bool keep = start.fillSteps && pts >= target - stepSpanUs_ && pts <= target + SeekPicker::kRoundingSlackUs;
        if (picker.feed(f, pts, emit)) {
            if (keep) {
                VideoFrame vf = picture(f, pts);
                if (vf.valid()) steps_.add(std::move(vf));
            }
            return;
        }
        retry = true;
        beginEarlier(gen, start);
    };
    while (auto item = vq_.pop()) {
        if (vq_.count() <= maxPackets_ / 2) demuxCv_.notify_one();
        PacketItem it = *item;
        if (it.kind == PacketItem::Flush) {
            // A step back keeps the pictures of a span before its target: all of them decoded.
            dec_->flush(std::max<int64_t>(0, it.seekTargetUs - (it.fillSteps ? stepSpanUs_ : 0)), it.offsetUs);
            if (it.fillSteps) steps_.begin();
            gen = it.gen;
            start = it;
            retry = false;
            picker.reset(it.seekTargetUs, it.fromStart);
            lastEnd = 0;
        } else if (it.gen != gen || retry) {
            // stale: read before the last seek, or from a place that began too late
        } else if (it.kind == PacketItem::Eof) {
            dec_->decode(nullptr, onFrame);
            if (retry) continue;  // the reader is being placed again; its Flush comes next
            picker.finish(emit);
            dec_->flush();
            std::lock_guard<std::mutex> lk(mu_);
            videoEofGen_ = gen;
            lastVideoEndUs_ = lastEnd;
        } else {
            dec_->decode(it.pkt, onFrame);
        }
        if (it.pkt) av_packet_free(&it.pkt);
    }
}

// --- control ---------------------------------------------------------------------------

void Player::seekLocked(int64_t us, bool fillSteps) {
    ++gen_;
    fq_.flush(gen_);
    int64_t target = state_.seekTo(us);
    stepsAhead_ = 0;
    cachedShow_.reset();
    decoderAway_ = false;
    seekIsStep_ = false;
    seekReq_ = SeekRequest{true, gen_, target, true, 0, fillSteps};
    if (audio_) audio_->pause();
    demuxCv_.notify_one();
}

std::optional<int64_t> Player::soundTimeLocked() const { return audio_ ? audio_->timeUs(gen_) : std::nullopt; }

int64_t Player::clockLocked(int64_t now) const { return state_.positionAt(now, soundTimeLocked()); }

void Player::stopAtLocked(Mode m) {
    state_.stopAt(clockLocked(nowUs()), m);
    if (audio_) audio_->pause();
}

void Player::play(std::optional<int64_t> fromUs, std::optional<int64_t> toUs) {
    std::lock_guard<std::mutex> lk(mu_);
    if (fromUs) {
        if (state_.mode() == Mode::Playing) stopAtLocked(Mode::Stopped);
        seekLocked(*fromUs);
    }
    if (state_.mode() != Mode::Playing) reseekIfAwayLocked();
    state_.play(toUs);
}

void Player::stop() {
    std::lock_guard<std::mutex> lk(mu_);
    if (state_.mode() != Mode::Stopped) stopAtLocked(Mode::Stopped);
}

void Player::pause() {
    std::lock_guard<std::mutex> lk(mu_);
    if (state_.mode() == Mode::Playing) stopAtLocked(Mode::Paused);
}

void Player::resume() {
    std::lock_guard<std::mutex> lk(mu_);
    if (state_.mode() != Mode::Paused) return;
    reseekIfAwayLocked();
    state_.resume();
}

void Player::seek(int64_t us) {
    std::lock_guard<std::mutex> lk(mu_);
    if (state_.mode() != Mode::Stopped) stopAtLocked(Mode::Stopped);
    seekLocked(us);
}

// --- stepping --------------------------------------------------------------------------

void Player::step(int frames) {
    std::lock_guard<std::mutex> lk(mu_);
    if (!info_.hasVideo || frames == 0) return;
    if (state_.mode() == Mode::Playing) stopAtLocked(Mode::Paused);
    if (frames > 0) {
        stepForwardLocked(frames);
    } else {
        stepBackLocked(-frames);
    }
}

// The picture shown came from the step cache, so decoding stands elsewhere: play and
// forward steps beyond the cache begin with a seek to where the picture is.
void Player::reseekIfAwayLocked() {
    if (!decoderAway_) return;
    seekLocked(state_.positionUs());
}

void Player::showCachedLocked(VideoFrame f) {
    ++gen_;  // what was decoded or queued for the old place is stale now
    fq_.flush(gen_);
    f.gen = gen_;
    f.seekTarget = false;
    state_.stepTo(f.ptsUs);
    state_.frameShown();
    cachedShow_ = std::move(f);
    stepsAhead_ = 0;
    decoderAway_ = true;
    if (audio_) audio_->pause();
}

// Forward steps take the next decoded pictures from the frame queue, where decoding has
// already put them: one decode a step. After steps back through the cache, the cache itself
// holds the pictures that follow.
void Player::stepForwardLocked(int frames) {
    if (decoderAway_) {
        if (auto next = steps_.walk(cachedShow_ ? cachedShow_->ptsUs : shownPtsUs_, frames)) showCachedLocked(*next);
        if (frames == 0) return;
        reseekIfAwayLocked();
    }
    stepsAhead_ += frames;
}

// A step back shows the picture before the one shown: from the cache while it has it,
// otherwise by an exact seek to just before that picture, keeping the pictures decoded on
// the way for the next steps.
void Player::stepBackLocked(int frames) {
    int64_t from = cachedShow_ ? cachedShow_->ptsUs : state_.framePending() ? -1 : shownPtsUs_;
    if (from < 0) from = state_.positionUs();  // nothing shown yet: from the position
    int back = -frames;
    if (auto prev = steps_.walk(from, back)) {
        if (back == 0) return showCachedLocked(*prev);
        from = prev->ptsUs;
    }
    // The picture -back before the one at `from`: just before it (beyond the picker's
    // rounding slack), -back - 1 more back. The position becomes that picture's time.
    int64_t target = from - 1 - SeekPicker::kRoundingSlackUs - int64_t(-back - 1) * info_.frameDurUs;
    seekLocked(std::max<int64_t>(0, target), true);
    seekIsStep_ = true;
}

// Hands on the pictures that forward steps wait for, as decoding brings them. At the end of
// the stream the last picture stays.
void Player::takeStepsLocked(std::optional<VideoFrame>& shown) {
    while (stepsAhead_ > 0) {
        auto f = fq_.peek(gen_);
        if (!f) {
            if (videoEofGen_ == gen_) stepsAhead_ = 0;
            return;
        }
        fq_.pop();
        state_.stepTo(f->ptsUs);
        shown = f;
        --stepsAhead_;
    }
}

// --- status ----------------------------------------------------------------------------

Mode Player::mode() const {
    std::lock_guard<std::mutex> lk(mu_);
    return state_.mode();
}

int64_t Player::positionUs() const {
    std::lock_guard<std::mutex> lk(mu_);
    return clockLocked(nowUs());
}

int64_t Player::lengthUs() const {
    std::lock_guard<std::mutex> lk(mu_);
    return state_.lengthUs(clockLocked(nowUs()));
}

uint64_t Player::droppedFrames() const {
    std::lock_guard<std::mutex> lk(mu_);
    return dropped_;
}

bool Player::needsTicks() const {
    std::lock_guard<std::mutex> lk(mu_);
    return state_.mode() == Mode::Playing || state_.framePending() || stepsAhead_ > 0 || cachedShow_;
}

bool Player::seekSettled() const {
    std::lock_guard<std::mutex> lk(mu_);
    return !state_.framePending() && stepsAhead_ == 0 && !cachedShow_;
}

std::optional<int64_t> Player::audioTimeUs() const {
    std::lock_guard<std::mutex> lk(mu_);
    return soundTimeLocked();
}

// --- display ---------------------------------------------------------------------------

int64_t Player::waitHintUs(int64_t now) const {
    std::lock_guard<std::mutex> lk(mu_);
    if (!state_.clockRuns() || state_.framePending()) return kTickIntervalUs;
    auto next = fq_.peek(gen_);
    if (!next) return kTickIntervalUs;
    return std::clamp<int64_t>(next->ptsUs - clockLocked(now), kMinWaitUs, kMaxWaitUs);
}

// The end of play: the end asked for, or the real end of the streams, whichever comes first.
// Returns the time play ends at, or nullopt while it goes on.
std::optional<int64_t> Player::endReachedLocked(int64_t t) const {
    const int64_t endUs = state_.endUs();
    if (t >= endUs) return endUs;
    bool videoDone = !info_.hasVideo || (videoEofGen_ == gen_ && !fq_.peek(gen_));
    if (!videoDone) return std::nullopt;
    // Sound left only far beyond a hole once the input has ended lies where damaged times
    // put it: it is never reached, and play ends without it.
    bool soundStranded = audio_ && audio_->leftAfter(gen_, t + kStrandedSoundUs).has_value();
    if (audio_ && !audio_->drained(gen_) && !soundStranded) return std::nullopt;
    // Sound alone runs to the length (or, unknown, the estimate) on the clock.
    int64_t lastEnd = info_.hasVideo ? lastVideoEndUs_ : endUs == PlayState::kNoEndUs ? state_.estimatedLengthUs() : endUs;
    if (audio_ && !soundStranded && audio_->endUs(gen_) > lastEnd) lastEnd = audio_->endUs(gen_);
    if (!audio_ && silentSoundGen_ == gen_) lastEnd = std::max(lastEnd, silentSoundEndUs_);
    if (t < lastEnd) return std::nullopt;
    return std::min(endUs, lastEnd);  // where the data ends, not where the clock stood when seen
}

void Player::finishLocked(int64_t endAt) {
    state_.finish(endAt);
    if (audio_) audio_->pause();
}

std::optional<VideoFrame> Player::frameToShow(int64_t now) {
    std::lock_guard<std::mutex> lk(mu_);
    std::optional<VideoFrame> shown = frameToShowLocked(now);
    if (shown) shownPtsUs_ = shown->ptsUs;
    return shown;
}

std::optional<VideoFrame> Player::frameToShowLocked(int64_t now) {
    std::optional<VideoFrame> shown;
    if (cachedShow_) {
        shown = std::move(cachedShow_);
        cachedShow_.reset();
    }
    if (state_.framePending()) {
        auto f = fq_.peek(gen_);
        if (f && f->seekTarget) {
            fq_.pop();
            shown = f;
            state_.frameShown();
            if (seekIsStep_) state_.stepTo(f->ptsUs);
        } else if (!f && videoEofGen_ == gen_) {
            state_.frameShown();  // nothing to show at that position
        }
        if (state_.framePending()) return shown;
    }
    takeStepsLocked(shown);
    if (state_.mode() != Mode::Playing) return shown;
    if (state_.wait() != PlayState::Wait::None && !startClockWhenReadyLocked(now)) return shown;
    if (auto sound = soundTimeLocked()) state_.followSound(*sound, now);
    int64_t t = clockLocked(now);
    while (auto f = fq_.peek(gen_)) {
        if (f->ptsUs > t) break;
        fq_.pop();
        if (shown) ++dropped_;  // a late frame is dropped, never shown late
        shown = f;
    }
    if (auto endAt = endReachedLocked(t)) finishLocked(*endAt);
    else if (starvedLocked(t, shown ? shown->ptsUs : shownPtsUs_, now)) holdForDataLocked(t, now);
    return shown;
}

// The reader is waiting for the disk and what is due now is not there: the picture after
// the one shown (nothing decoded, nothing read), or the sound (almost none left to hear and
// no pictures read either, so a stream of sound that merely ends early holds nothing).
bool Player::starvedLocked(int64_t t, int64_t shownUs, int64_t now) const {
    if (demuxEof_ || src_->diskWaitUs(now) < kDiskWaitHoldUs || vq_.count() > 0) return false;
    bool pictureMissing = info_.hasVideo && videoEofGen_ != gen_ && !fq_.peek(gen_) && t >= shownUs + info_.frameDurUs;
    bool soundMissing = audio_ && audio_->starving(gen_);
    return pictureMissing || soundMissing;
}

// Holds the clock where it stands, as while waiting for the first frame after a seek, until
// the data comes: a pause of the disk loses neither pictures nor sound.
void Player::holdForDataLocked(int64_t t, int64_t now) {
    state_.holdForData(t, now);
    if (audio_) audio_->pause();
}

// The clock waits for the first frame and the sound after play or resume, and for the
// reader's data after the disk was late; it starts once they are there. Sound that does not
// come within the grace time (counted from when the disk answered) is not waited for.
// True when the clock runs.
bool Player::startClockWhenReadyLocked(int64_t now) {
    if (state_.wait() == PlayState::Wait::Data && src_->diskWaitUs(now) >= kDiskWaitHoldUs) {
        state_.waitFrom(now);
        return false;
    }
    bool ready = !info_.hasVideo || fq_.peek(gen_) || videoEofGen_ == gen_;
    bool soundLate = state_.waitedUs(now) > kAudioStartGraceUs;
    if (audio_ && !audio_->ready(gen_) && !soundLate) ready = false;
    if (!ready) return false;
    int64_t from = state_.positionUs();
    state_.startClock(now);
    if (audio_) audio_->start(gen_, from);
    return true;
}

}  // namespace plim::engine

