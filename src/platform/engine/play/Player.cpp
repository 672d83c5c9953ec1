#include "platform/engine/play/Player.h"

#include <algorithm>

#include "platform/engine/decode/VideoDecoder.h"
#include "platform/engine/input/MediaSource.h"
#include "platform/engine/play/Timeline.h"
#include "platform/engine/base/Clock.h"
#include "platform/engine/play/FramePull.h"
#include "platform/engine/play/Reader.h"
#include "platform/engine/play/Stepper.h"
#include "platform/engine/play/VideoWorker.h"
#include "platform/engine/sound/SoundDecoder.h"
#include "platform/engine/sound/SoundDevice.h"

namespace plim::engine {

namespace {
// The packets read ahead of the decoder: about a second of video, within a count (and the
// reader's byte budget: a 4K motion-JPEG frame is a megabyte), whatever the file.
constexpr int64_t kPacketsAheadUs = kUsPerSecond;
constexpr size_t kMinQueuedPackets = 8, kMaxQueuedPackets = 96;

// The queues' and the step span's sizes for the media.
PlayFacts factsFor(const Timeline& t) {
    PlayFacts f;
    f.info = t.info;
    f.soundOriginUs = t.soundOriginUs;
    f.maxPackets = size_t(std::clamp<int64_t>(kPacketsAheadUs / std::max<int64_t>(1, f.info.frameDurUs),
                                              int64_t(kMinQueuedPackets), int64_t(kMaxQueuedPackets)));
    // Pictures of 4:2:0 at their size: as many as the step cache holds, as a span of time.
    int64_t pictureBytes = std::max<int64_t>(1, int64_t(f.info.width) * f.info.height * 3 / 2);
    f.stepSpanUs = int64_t(PlayFacts::kStepCacheBytes) / pictureBytes * f.info.frameDurUs;
    return f;
}
}  // namespace

int64_t Player::nowUs() { return monotonicUs(); }

// The sound's decoder and device, or neither: the player then runs silently on its own clock.
void Player::openSound(Opened& m, const Timeline& t, bool unplayed) {
    auto dec = SoundDecoder::open(m.src->audioStream(), t.soundOriginUs, t.windowUs);
    auto dev = !dec ? nullptr : unplayed ? SoundDevice::openUnplayed(dec->streamFormat()) : SoundDevice::open(dec->streamFormat());
    if (!dev) return;
    dec->setOutput(dev->format());
    m.soundDec = std::move(dec);
    m.sound = std::move(dev);
}

OpenError Player::open(const std::string& path, std::unique_ptr<Player>& out, Options opts) {
    Opened m;
    if (OpenError e = MediaSource::open(path, m.src); e != OpenError::None) return e;
    Timeline t;
    if (OpenError e = settleTimeline(*m.src, opts.decoderThreads, m.dec, t); e != OpenError::None) return e;
    if (t.info.hasAudio && opts.audio) openSound(m, t, opts.soundUnplayed);
    // Without pictures, reading still stands at the start: nothing to place.
    m.first.continuesOpen = t.continuesOpen || !t.info.hasVideo;
    m.soundRead = std::move(t.soundRead);
    std::unique_ptr<Player> p(new Player(std::move(m), factsFor(t)));
    p->assemble();
    out = std::move(p);
    return OpenError::None;
}

Player::Player(Opened media, const PlayFacts& facts)
    : facts_(facts), media_(std::move(media)), transport_(gens_, decoded_.fq, showing_, media_.sound.get()) {}

// Builds the parts over the pieces each uses, and starts the threads at the start.
void Player::assemble() {
    const MediaInfo& info = facts_.info;
    showing_.state = PlayState(info.lengthUs, info.lengthKnown);
    showing_.owed = DisplayOwed(info.hasVideo);
    reader_ = std::make_unique<Reader>(mu_, facts_, *media_.src, media_.soundDec.get(), media_.sound.get(), vq_, gens_,
                                       decoded_.ends);
    stepper_ = std::make_unique<Stepper>(info.frameDurUs, gens_, decoded_, showing_, transport_);
    presenter_ = std::make_unique<Presenter>(Presenter::Facts{info.hasVideo, info.frameDurUs}, gens_, decoded_.fq,
                                             decoded_.ends, showing_, transport_,
                                             Presenter::Input{media_.src->diskWait(), vq_}, media_.sound.get());
    // The open's generation goes on from where settling the timeline left reading and the
    // decoder, or starts again from the start when settling read elsewhere in the file.
    media_.first.gen = gens_.current();
    gens_.request(media_.first);
    reader_->startWith(std::move(media_.soundRead));
    vq_.wakeWhenLow(facts_.maxPackets / 2, &gens_.wake);  // the reader refills in bursts
    if (info.hasVideo) video_ = std::make_unique<VideoWorker>(mu_, facts_, *media_.dec, vq_, decoded_, gens_);
    readerThread_ = std::thread(&Reader::run, reader_.get());
    if (video_) videoThread_ = std::thread(&VideoWorker::run, video_.get());
}

Player::~Player() {
    {
        std::lock_guard<PlayerMutex> lk(mu_);
        gens_.quit();
    }
    media_.src->interrupt();  // a read stuck in a damaged file returns at once
    vq_.close();
    decoded_.fq.close();
    if (media_.sound) media_.sound->close();
    if (readerThread_.joinable()) readerThread_.join();
    if (videoThread_.joinable()) videoThread_.join();
}

// --- control ---------------------------------------------------------------------------

void Player::play(std::optional<int64_t> fromUs, std::optional<int64_t> toUs) {
    std::lock_guard<PlayerMutex> lk(mu_);
    if (fromUs) {
        if (showing_.state.mode() == Mode::Playing) transport_.stopAtLocked(Mode::Stopped, nowUs());
        transport_.seekLocked(*fromUs);
    }
    if (showing_.state.mode() != Mode::Playing) stepper_->reseekIfAwayLocked();
    showing_.state.play(toUs);
}

void Player::stop() {
    std::lock_guard<PlayerMutex> lk(mu_);
    if (showing_.state.mode() != Mode::Stopped) transport_.stopAtLocked(Mode::Stopped, nowUs());
}

void Player::pause() {
    std::lock_guard<PlayerMutex> lk(mu_);
    if (showing_.state.mode() == Mode::Playing) transport_.stopAtLocked(Mode::Paused, nowUs());
}

void Player::setSoundLevel(double level) {
    if (media_.sound) media_.sound->setLevel(level);
}

void Player::resume() {
    std::lock_guard<PlayerMutex> lk(mu_);
    if (showing_.state.mode() != Mode::Paused) return;
    stepper_->reseekIfAwayLocked();
    showing_.state.resume();
}

void Player::seek(int64_t us) {
    std::lock_guard<PlayerMutex> lk(mu_);
    if (showing_.state.mode() != Mode::Stopped) transport_.stopAtLocked(Mode::Stopped, nowUs());
    transport_.seekLocked(us);
}

void Player::step(int frames) {
    std::lock_guard<PlayerMutex> lk(mu_);
    if (!facts_.info.hasVideo || frames == 0) return;
    if (showing_.state.mode() == Mode::Playing) transport_.stopAtLocked(Mode::Paused, nowUs());
    stepper_->stepLocked(frames);
}

// --- status ----------------------------------------------------------------------------

Mode Player::mode() const {
    std::lock_guard<PlayerMutex> lk(mu_);
    return showing_.state.mode();
}

int64_t Player::positionUs() const {
    std::lock_guard<PlayerMutex> lk(mu_);
    return transport_.clockLocked(nowUs());
}

int64_t Player::lengthUs() const {
    std::lock_guard<PlayerMutex> lk(mu_);
    return showing_.state.lengthUs(transport_.clockLocked(nowUs()));
}

uint64_t Player::droppedFrames() const {
    std::lock_guard<PlayerMutex> lk(mu_);
    return showing_.dropped;
}

bool Player::needsTicks() const {
    std::lock_guard<PlayerMutex> lk(mu_);
    return showing_.state.mode() == Mode::Playing || showing_.owed.outstanding();
}

bool Player::seekSettled() const {
    std::lock_guard<PlayerMutex> lk(mu_);
    return !showing_.owed.outstanding();
}

// --- display ---------------------------------------------------------------------------

int64_t Player::waitHintUs(int64_t now) const {
    std::lock_guard<PlayerMutex> lk(mu_);
    return presenter_->waitHintLocked(now);
}

std::optional<VideoFrame> Player::frameToShow(int64_t now) {
    std::lock_guard<PlayerMutex> lk(mu_);
    return pullFrameLocked(*presenter_, *stepper_, showing_.owed, now);
}

}  // namespace plim::engine
