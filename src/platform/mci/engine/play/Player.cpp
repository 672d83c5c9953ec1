#include "platform/mci/engine/play/Player.h"

#include <algorithm>

#include "platform/mci/engine/decode/VideoDecoder.h"
#include "platform/mci/engine/input/MediaSource.h"
#include "platform/mci/engine/play/Timeline.h"
#include "platform/mci/engine/base/Clock.h"
#include "platform/mci/engine/play/Presenter.h"
#include "platform/mci/engine/play/Reader.h"
#include "platform/mci/engine/play/Stepper.h"
#include "platform/mci/engine/play/VideoWorker.h"
#include "platform/mci/engine/sound/SoundDecoder.h"
#include "platform/mci/engine/sound/SoundDevice.h"

namespace plim::engine {

namespace {
// The packets read ahead of the decoder: about a second of video, within a count (and the
// reader's byte budget: a 4K motion-JPEG frame is a megabyte), whatever the file.
constexpr int64_t kPacketsAheadUs = kUsPerSecond;
constexpr size_t kMinQueuedPackets = 8, kMaxQueuedPackets = 96;
}  // namespace

namespace {
// The sound's decoder and device, or neither: the player then runs silently on its own clock.
void openSound(PlayCore& c, const AVStream& st, const Timeline& t) {
    auto dec = SoundDecoder::open(&st, t.soundOriginUs, t.windowUs);
    auto dev = dec ? SoundDevice::open(dec->streamFormat()) : nullptr;
    if (!dev) return;
    dec->setOutput(dev->format());
    c.soundDec = std::move(dec);
    c.sound = std::move(dev);
}
}  // namespace

int64_t Player::nowUs() { return monotonicUs(); }

Player::Player()
    : reader_(std::make_unique<Reader>(core_)),
      video_(std::make_unique<VideoWorker>(core_, *reader_)),
      stepper_(std::make_unique<Stepper>(core_)),
      presenter_(std::make_unique<Presenter>(core_, *stepper_)) {}

OpenError Player::open(const std::string& path, std::unique_ptr<Player>& out, Options opts) {
    std::unique_ptr<MediaSource> src;
    if (OpenError e = MediaSource::open(path, src); e != OpenError::None) return e;
    std::unique_ptr<Player> p(new Player());
    Timeline t;
    if (OpenError e = settleTimeline(*src, opts.decoderThreads, p->core_.dec, t); e != OpenError::None) return e;
    PlayCore& c = p->core_;
    c.info = t.info;
    c.soundOriginUs = t.soundOriginUs;
    if (c.info.hasAudio && opts.audio) openSound(c, *src->audioStream(), t);
    c.src = std::move(src);
    p->assemble();
    out = std::move(p);
    return OpenError::None;
}

// Sizes the queues and the step span for the media, and starts the threads at the start.
void Player::assemble() {
    PlayCore& c = core_;
    c.state = PlayState(c.info.lengthUs, c.info.lengthKnown);
    c.owed = DisplayOwed(c.info.hasVideo);
    c.maxPackets = size_t(std::clamp<int64_t>(kPacketsAheadUs / std::max<int64_t>(1, c.info.frameDurUs),
                                              int64_t(kMinQueuedPackets), int64_t(kMaxQueuedPackets)));
    // Pictures of 4:2:0 at their size: as many as the step cache holds, as a span of time.
    int64_t pictureBytes = std::max<int64_t>(1, int64_t(c.info.width) * c.info.height * 3 / 2);
    c.stepSpanUs = int64_t(PlayCore::kStepCacheBytes) / pictureBytes * c.info.frameDurUs;
    // Back to the start after the probe; the reader is there already when there are no pictures.
    c.seekReq = SeekRequest{.pending = true, .gen = c.gen, .targetUs = 0, .move = c.info.hasVideo};
    // The probe decoded the first picture already: it is shown without waiting for the reseek.
    if (c.info.hasVideo) video_->startWith(c.dec->takeFirstPicture(), c.gen);
    readerThread_ = std::thread(&Reader::run, reader_.get());
    if (c.info.hasVideo) videoThread_ = std::thread(&VideoWorker::run, video_.get());
}

Player::~Player() {
    {
        std::lock_guard<std::mutex> lk(core_.mu);
        core_.quit = true;
    }
    if (core_.src) core_.src->interrupt();  // a read stuck in a damaged file returns at once
    core_.demuxCv.notify_all();
    core_.vq.close();
    core_.fq.close();
    if (core_.sound) core_.sound->close();
    if (readerThread_.joinable()) readerThread_.join();
    if (videoThread_.joinable()) videoThread_.join();
}

// --- control ---------------------------------------------------------------------------

void Player::play(std::optional<int64_t> fromUs, std::optional<int64_t> toUs) {
    std::lock_guard<std::mutex> lk(core_.mu);
    if (fromUs) {
        if (core_.state.mode() == Mode::Playing) core_.stopAtLocked(Mode::Stopped);
        core_.seekLocked(*fromUs);
    }
    if (core_.state.mode() != Mode::Playing) stepper_->reseekIfAwayLocked();
    core_.state.play(toUs);
}

void Player::stop() {
    std::lock_guard<std::mutex> lk(core_.mu);
    if (core_.state.mode() != Mode::Stopped) core_.stopAtLocked(Mode::Stopped);
}

void Player::pause() {
    std::lock_guard<std::mutex> lk(core_.mu);
    if (core_.state.mode() == Mode::Playing) core_.stopAtLocked(Mode::Paused);
}

void Player::resume() {
    std::lock_guard<std::mutex> lk(core_.mu);
    if (core_.state.mode() != Mode::Paused) return;
    stepper_->reseekIfAwayLocked();
    core_.state.resume();
}

void Player::seek(int64_t us) {
    std::lock_guard<std::mutex> lk(core_.mu);
    if (core_.state.mode() != Mode::Stopped) core_.stopAtLocked(Mode::Stopped);
    core_.seekLocked(us);
}

void Player::step(int frames) {
    std::lock_guard<std::mutex> lk(core_.mu);
    if (!core_.info.hasVideo || frames == 0) return;
    if (core_.state.mode() == Mode::Playing) core_.stopAtLocked(Mode::Paused);
    stepper_->stepLocked(frames);
}

// --- status ----------------------------------------------------------------------------

Mode Player::mode() const {
    std::lock_guard<std::mutex> lk(core_.mu);
    return core_.state.mode();
}

int64_t Player::positionUs() const {
    std::lock_guard<std::mutex> lk(core_.mu);
    return core_.clockLocked(nowUs());
}

int64_t Player::lengthUs() const {
    std::lock_guard<std::mutex> lk(core_.mu);
    return core_.state.lengthUs(core_.clockLocked(nowUs()));
}

uint64_t Player::droppedFrames() const {
    std::lock_guard<std::mutex> lk(core_.mu);
    return core_.dropped;
}

bool Player::needsTicks() const {
    std::lock_guard<std::mutex> lk(core_.mu);
    return core_.state.mode() == Mode::Playing || core_.owed.outstanding();
}

bool Player::seekSettled() const {
    std::lock_guard<std::mutex> lk(core_.mu);
    return !core_.owed.outstanding();
}

std::optional<int64_t> Player::audioTimeUs() const {
    std::lock_guard<std::mutex> lk(core_.mu);
    return core_.soundTimeLocked();
}

// --- display ---------------------------------------------------------------------------

int64_t Player::waitHintUs(int64_t now) const {
    std::lock_guard<std::mutex> lk(core_.mu);
    return presenter_->waitHintLocked(now);
}

std::optional<VideoFrame> Player::frameToShow(int64_t now) {
    std::lock_guard<std::mutex> lk(core_.mu);
    std::optional<VideoFrame> shown = presenter_->frameToShowLocked(now);
    if (shown) core_.owed.shown(shown->ptsUs);
    return shown;
}

}  // namespace plim::engine
