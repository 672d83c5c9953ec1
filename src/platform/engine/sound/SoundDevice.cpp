#include "platform/engine/sound/SoundDevice.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>

#include "platform/engine/base/Clock.h"

namespace plim::engine {

namespace {
constexpr int64_t kTargetBufferUs = 700000;  // decoded sound kept ahead of the device
constexpr int64_t kGapUs = 20000;            // a hole in the sound larger than this is silence
constexpr int64_t kStaleUs = 500000;         // a device that has not pulled for this long has stopped
constexpr int64_t kLateUs = 80000;           // sound this far behind the clock is skipped
constexpr int64_t kStarvingUs = 150000;      // less than this left to hear: about to fall silent
constexpr int kDeviceSamples = 1024;

bool sdlAudioUp() {
    static std::once_flag once;
    static bool up = false;
    std::call_once(once, [] {
        up = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    });
    return up;
}
}  // namespace

std::unique_ptr<SoundDevice> SoundDevice::open(SoundFormat want) {
    if (!sdlAudioUp()) return nullptr;
    std::unique_ptr<SoundDevice> d(new SoundDevice());
    SDL_AudioSpec spec{}, have{};
    spec.freq = want.rate;
    spec.format = AUDIO_S16SYS;
    spec.channels = static_cast<Uint8>(want.channels);
    spec.samples = kDeviceSamples;
    spec.callback = &SoundDevice::callback;
    spec.userdata = d.get();
    d->device_ = SDL_OpenAudioDevice(nullptr, 0, &spec, &have,
                                     SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_CHANNELS_CHANGE);
    if (d->device_ == 0) return nullptr;
    d->format_ = SoundFormat{have.freq, have.channels};
    d->deviceSamples_ = have.samples;
    d->gain_ = std::make_unique<SoundGain>(have.freq);
    SDL_PauseAudioDevice(d->device_, 0);  // runs from now on; plays silence until started
    return d;
}

std::unique_ptr<SoundDevice> SoundDevice::openUnplayed(SoundFormat format) {
    if (format.rate <= 0 || format.channels <= 0) return nullptr;
    std::unique_ptr<SoundDevice> d(new SoundDevice());
    d->format_ = format;
    d->deviceSamples_ = kDeviceSamples;
    d->gain_ = std::make_unique<SoundGain>(format.rate);
    return d;
}

SoundDevice::~SoundDevice() { close(); }

void SoundDevice::close() {
    if (device_) SDL_CloseAudioDevice(device_);  // waits for the callback to return
    device_ = 0;
}

// --- feeding (demux thread) -------------------------------------------------------------

bool SoundDevice::wantsPackets() const {
    std::lock_guard<StructureMutex> lk(mu_);
    return !eof_ && bufferedUsLocked() < kTargetBufferUs;
}

bool SoundDevice::runningLow() const {
    std::lock_guard<StructureMutex> lk(mu_);
    return !eof_ && bufferedUsLocked() < kTargetBufferUs / 2;
}

bool SoundDevice::starving(uint64_t gen) const {
    std::lock_guard<StructureMutex> lk(mu_);
    return gen == gen_ && !eof_ && bufferedUsLocked() < kStarvingUs;
}

void SoundDevice::add(uint64_t gen, SoundChunk in) {
    Chunk c{in.ptsUs, std::move(in.data)};
    std::lock_guard<StructureMutex> lk(mu_);
    if (gen != gen_) return;
    if (skipUntilUs_ >= 0) {  // after a seek: nothing before the target is heard
        int64_t endUs = c.ptsUs + format_.bytesToUs(int64_t(c.data.size()));
        if (endUs <= skipUntilUs_) return;
        if (c.ptsUs < skipUntilUs_) {
            size_t cut = size_t((skipUntilUs_ - c.ptsUs) * format_.rate / kUsPerSecond) * format_.bytesPerSample();
            cut = std::min(cut, c.data.size());
            c.ptsUs += format_.bytesToUs(int64_t(cut));
            c.data.erase(c.data.begin(), c.data.begin() + long(cut));
        }
        skipUntilUs_ = -1;
    }
    endPtsUs_ = c.ptsUs + format_.bytesToUs(int64_t(c.data.size()));
    bufferedBytes_ += int64_t(c.data.size());
    chunks_.push_back(std::move(c));
}

void SoundDevice::endOfStream(uint64_t gen) {
    std::lock_guard<StructureMutex> lk(mu_);
    if (gen == gen_) eof_ = true;
}

void SoundDevice::flush(uint64_t gen, int64_t targetUs) {
    std::lock_guard<StructureMutex> lk(mu_);
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

void SoundDevice::start(uint64_t gen, int64_t posUs) {
    std::lock_guard<StructureMutex> lk(mu_);
    if (gen != gen_) return;
    headPtsUs_ = posUs;
    if (!chunks_.empty()) {
        int64_t next = chunks_.front().nextUs(format_);
        if (next <= posUs + kGapUs) headPtsUs_ = next;
    }
    cbWallUs_ = monotonicUs();
    if (!playing_) gain_->settle();  // after silence: the level from the first sample
    playing_ = true;
}

void SoundDevice::pause() {
    std::lock_guard<StructureMutex> lk(mu_);
    playing_ = false;
}

// --- device (SDL's audio thread) -------------------------------------------------------

void SoundDevice::callback(void* self, uint8_t* out, int len) { static_cast<SoundDevice*>(self)->fill(out, len); }

// Silence from the head up to untilUs (at most what is left of the buffer): the sound's time
// goes on through holes and while nothing is decoded, so the picture never waits on it.
void SoundDevice::playSilenceLocked(int& done, int len, int64_t untilUs) {
    const int bps = format_.bytesPerSample();
    int64_t want = untilUs == INT64_MAX ? len - done : (untilUs - headPtsUs_) * format_.rate / kUsPerSecond * bps;
    int n = int(std::min<int64_t>(len - done, want));
    n -= n % bps;
    if (n <= 0) n = std::min(len - done, bps);
    done += n;
    headPtsUs_ += format_.bytesToUs(n);
}

// Sound behind the clock (it resumed late) is skipped. True when some of c was.
bool SoundDevice::skipLateLocked(Chunk& c) {
    int64_t next = c.nextUs(format_);
    if (next + kLateUs >= headPtsUs_) return false;
    const size_t bps = size_t(format_.bytesPerSample());
    int64_t late = (headPtsUs_ - next) * format_.rate / kUsPerSecond * int64_t(bps);
    size_t skip = size_t(std::min<int64_t>(late, int64_t(c.data.size() - c.offset)));
    skip = std::max<size_t>(skip - skip % bps, bps);
    skip = std::min(skip, c.data.size() - c.offset);
    c.offset += skip;
    bufferedBytes_ -= int64_t(skip);
    if (c.offset >= c.data.size()) chunks_.pop_front();
    return true;
}

void SoundDevice::fill(uint8_t* out, int len) {
    std::memset(out, 0, size_t(len));
    fillFromBuffer(out, len);
    // Scaled after the lock is left: the feeding side never waits on the level.
    const int frames = len / format_.bytesPerSample();
    gain_->apply(reinterpret_cast<int16_t*>(out), frames, format_.channels);
}

void SoundDevice::fillFromBuffer(uint8_t* out, int len) {
    std::lock_guard<StructureMutex> lk(mu_);
    if (!playing_) return;
    cbWallUs_ = monotonicUs();
    int done = 0;
    while (done < len) {
        if (chunks_.empty()) {  // nothing decoded (yet, or any more)
            playSilenceLocked(done, len, INT64_MAX);
            break;
        }
        Chunk& c = chunks_.front();
        if (skipLateLocked(c)) continue;
        if (int64_t next = c.nextUs(format_); next > headPtsUs_ + kGapUs) {  // a hole: silence until then
            playSilenceLocked(done, len, next);
            continue;
        }
        int n = int(std::min<size_t>(size_t(len - done), c.data.size() - c.offset));
        std::memcpy(out + done, c.data.data() + c.offset, size_t(n));
        c.offset += size_t(n);
        done += n;
        bufferedBytes_ -= n;
        headPtsUs_ = c.nextUs(format_);
        if (c.offset >= c.data.size()) chunks_.pop_front();
    }
}

// --- the clock (player) ----------------------------------------------------------------

std::optional<int64_t> SoundDevice::timeUs(uint64_t gen) const {
    std::lock_guard<StructureMutex> lk(mu_);
    if (!playing_ || gen != gen_ || headPtsUs_ < 0) return std::nullopt;
    if (eof_ && chunks_.empty()) return std::nullopt;  // sound is over: the wall clock goes on
    int64_t now = monotonicUs();
    if (now - cbWallUs_ > kStaleUs) return std::nullopt;  // the device stopped pulling
    // What the device pulled last is heard over the following buffer period.
    int64_t bufferUs = int64_t(deviceSamples_) * kUsPerSecond / std::max(1, format_.rate);
    int64_t heard = headPtsUs_ - bufferUs + (now - cbWallUs_);
    return std::min(heard, headPtsUs_);
}

bool SoundDevice::ready(uint64_t gen) const {
    std::lock_guard<StructureMutex> lk(mu_);
    return gen == gen_ && (bufferedBytes_ > 0 || eof_);
}

bool SoundDevice::drained(uint64_t gen) const {
    std::lock_guard<StructureMutex> lk(mu_);
    return gen == gen_ && eof_ && chunks_.empty();
}

std::optional<int64_t> SoundDevice::leftAfter(uint64_t gen, int64_t afterUs) const {
    std::lock_guard<StructureMutex> lk(mu_);
    if (gen != gen_ || !eof_ || chunks_.empty()) return std::nullopt;
    int64_t next = chunks_.front().nextUs(format_);
    return next > afterUs ? std::optional<int64_t>(next) : std::nullopt;
}

int64_t SoundDevice::endUs(uint64_t gen) const {
    std::lock_guard<StructureMutex> lk(mu_);
    return gen == gen_ ? endPtsUs_ : 0;
}

}  // namespace plim::engine
