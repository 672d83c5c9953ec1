#pragma once
// Where the streams of one generation ended, as the reader and the video thread found it:
// these end play. One value under the player's mutex; each fact names the generation it
// belongs to, so a seek's new generation starts with none of them. Times are media
// microseconds.
#include <cstdint>
#include <optional>

namespace plim::engine {

class StreamEnds {
public:
    // Sound beyond a hole this long is not waited for: damaged times put it there.
    static constexpr int64_t kStrandedSoundUs = 10 * kUsPerSecond;

    // The reader reached the end of the input (of whatever generation it reads).
    bool inputEnded() const { return inputEnded_; }
    // Every picture of generation gen was decoded.
    bool videoEnded(uint64_t gen) const { return videoGen_ == gen; }
    // Where the last picture decoded ends (meaningful once videoEnded).
    int64_t lastVideoEndUs() const { return lastVideoEndUs_; }
    // Where the unbroken run of sound that no device plays ends so far, for generation gen.
    std::optional<int64_t> silentSoundEndUs(uint64_t gen) const {
        return silentGen_ == gen ? std::optional<int64_t>(silentEndUs_) : std::nullopt;
    }

    // The reader begins generation gen at targetUs: sound is followed from there.
    void readFrom(uint64_t gen, int64_t targetUs) {
        silentGen_ = gen;
        silentEndUs_ = targetUs;
    }
    // The reader takes up a seek: the input has not ended any more.
    void inputResumed() { inputEnded_ = false; }
    void inputEnd() { inputEnded_ = true; }
    void videoEnd(uint64_t gen, int64_t lastEndUs) {
        videoGen_ = gen;
        lastVideoEndUs_ = lastEndUs;
    }
    // Sound of generation gen that no device plays ends at endUs: the run grows when it goes
    // on without a hole of kStrandedSoundUs.
    void silentSoundTo(uint64_t gen, int64_t endUs) {
        if (silentGen_ != gen) return;
        if (endUs > silentEndUs_ && endUs <= silentEndUs_ + kStrandedSoundUs) silentEndUs_ = endUs;
    }

private:
    bool inputEnded_ = false;
    uint64_t videoGen_ = 0;
    int64_t lastVideoEndUs_ = 0;
    uint64_t silentGen_ = 0;
    int64_t silentEndUs_ = 0;
};

}  // namespace plim::engine
