#pragma once
// Plays one media file: a reader thread reads packets, a video thread decodes them into a
// small bounded frame queue, and the display (the caller's GUI thread) pulls the frame that
// is due. Every seek or open bumps a generation carried by packets and frames, so stale ones
// are dropped. Control and status calls are thread-safe and return at once.
//
// The player owns the media, the lock, the pieces of shared state (PlayPieces.h) and the
// threads, and hands each part only the pieces it uses: Reader (demux thread), VideoWorker
// (video thread), Presenter (what the display is handed, the clock, the end of play) and
// Stepper (one-frame steps), over Transport (the clock and seeks).
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "platform/engine/base/PacketList.h"
#include "platform/engine/base/Types.h"
#include "platform/engine/play/PlayPieces.h"
#include "platform/engine/play/Transport.h"

namespace plim::engine {

class MediaSource;
struct Timeline;
class Reader;
class SoundDecoder;
class SoundDevice;
class VideoDecoder;
class VideoWorker;
class Stepper;
class Presenter;

class Player {
public:
    struct Options {
        int decoderThreads = 0;  // 0: chosen by picture size and rate (decoderThreadsFor)
        bool audio = true;       // play the sound through the audio device when there is one
        // Tests: the sound decoded into a device that nothing plays (SoundDevice::openUnplayed),
        // whose sound the test pulls itself (PlayerProbe::pullSound).
        bool soundUnplayed = false;
    };
    // Opens and probes the file synchronously.
    static OpenError open(const std::string& path, std::unique_ptr<Player>& out, Options opts);
    static OpenError open(const std::string& path, std::unique_ptr<Player>& out) { return open(path, out, Options{}); }
    ~Player();  // stops and joins every thread

    const MediaInfo& info() const { return facts_.info; }

    // Plays from the current position (or fromUs) to the end (or toUs).
    void play(std::optional<int64_t> fromUs, std::optional<int64_t> toUs);
    void stop();    // halts; position and picture stay
    void pause();   // as stop, but resume continues
    void resume();
    void seek(int64_t us);  // ends playback; the frame at that position is shown next
    // Shows exactly the frame `frames` pictures after (or, negative, before) the one shown,
    // or the first or last there is; pauses first if playing. The position becomes that
    // frame's time. Steps back come from the pictures the last one decoded on its way from
    // the key frame while they last (StepCache), so holding a key walks back smoothly.
    void step(int frames);
    // The sound level, 0 to 1 (SoundGain): what is heard from now on, over a few
    // milliseconds; the clock, the position and play go on untouched. Kept for the life of
    // the player; nothing without a sound device.
    void setSoundLevel(double level);

    Mode mode() const;
    int64_t positionUs() const;
    // The length: the file's own, or for a file that does not say, the best estimate so far
    // (from its size and bit rate, never less than the position), exact once play reached
    // the end.
    int64_t lengthUs() const;
    uint64_t droppedFrames() const;
    // True while the display must keep calling frameToShow (playing, or a seek's frame due).
    bool needsTicks() const;
    // True once the frame of the last seek, step or open has been handed to the display.
    bool seekSettled() const;

    // Display side, one caller: returns the frame to show now when it changed.
    std::optional<VideoFrame> frameToShow(int64_t nowUs);
    static int64_t nowUs();
    // How long the display may wait before its next call: until the next frame is due while
    // playing, a short poll while it waits for a frame or for sound.
    int64_t waitHintUs(int64_t nowUs) const;
private:
    // Tests and benchmarks read the sound's clock to measure sync (tests/PlayerProbe.h).
    friend struct PlayerProbe;

    // What open made: the source, and the decoders and device its streams need.
    struct Opened {
        std::unique_ptr<MediaSource> src;
        std::unique_ptr<VideoDecoder> dec;  // null without pictures
        std::unique_ptr<SoundDecoder> soundDec;  // both or neither
        std::unique_ptr<SoundDevice> sound;
        SeekRequest first;                // the open's generation: whether it goes on from open
        PacketList soundRead;             // the sound open read, for the reader to play first
    };
    Player(Opened media, const PlayFacts& facts);
    static void openSound(Opened& m, const Timeline& t, bool unplayed);
    void assemble();

    mutable PlayerMutex mu_;
    const PlayFacts facts_;
    Opened media_;
    PacketQueue vq_{0, 0};  // bounded by the reader
    Generations gens_;  // mu_
    Decoded decoded_;   // its ends: mu_
    Showing showing_;   // mu_
    Transport transport_;
    std::unique_ptr<Reader> reader_;
    std::unique_ptr<VideoWorker> video_;
    std::unique_ptr<Stepper> stepper_;
    std::unique_ptr<Presenter> presenter_;
    std::thread readerThread_, videoThread_;
};

}  // namespace plim::engine
