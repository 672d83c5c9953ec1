#pragma once
// Plays one media file: a demux thread reads packets, a video thread decodes and converts
// them into a small bounded frame queue, and the display (the caller's GUI thread) pulls the
// frame that is due. Every seek or open bumps a generation carried by packets and frames,
// so stale ones are dropped. Control and status calls are thread-safe and return at once.
#include <climits>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/mci/engine/Clock.h"
#include "platform/mci/engine/PlayState.h"
#include "platform/mci/engine/Queues.h"
#include "platform/mci/engine/StepCache.h"
#include "platform/mci/engine/Types.h"

namespace plim::engine {

class MediaSource;
class VideoDecoder;
class AudioOutput;

class Player {
public:
    struct Options {
        int decoderThreads = 0;  // 0: chosen by picture size and rate (decoderThreadsFor)
        bool audio = true;       // play the sound through the audio device when there is one
    };
    // Opens and probes the file synchronously; 0 or an MCI error number.
    static int open(const std::string& path, std::unique_ptr<Player>& out, Options opts);
    static int open(const std::string& path, std::unique_ptr<Player>& out) { return open(path, out, Options{}); }
    ~Player();  // stops and joins every thread

    const MediaInfo& info() const { return info_; }

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
    // The sound's media time now, or nullopt without sound (for sync measurements).
    std::optional<int64_t> audioTimeUs() const;

private:
    Player() = default;
    struct SeekRequest {
        bool pending = false;
        uint64_t gen = 0;
        int64_t targetUs = 0;
        bool move = true;  // false: already at the start (open)
        int attempt = 0;   // > 0: decoding began too late before; start further back
        bool fillSteps = false;  // keep the pictures before the target for steps back
    };
    // What a step back may keep: this many bytes of pictures.
    static constexpr size_t kStepCacheBytes = 128u << 20;
    // Sound beyond a hole this long, once the input has ended, is not waited for.
    static constexpr int64_t kStrandedSoundUs = 10000000;
    // A reader waiting this long for the disk while nothing is left to show holds the clock.
    static constexpr int64_t kDiskWaitHoldUs = 30000;
    bool nextDemuxWork(SeekRequest& req);
    void demuxLoop();
    void startGeneration(const SeekRequest& req);
    void endOfInput(uint64_t gen);
    void videoLoop();
    void route(uint64_t gen, AVPacket* pkt);
    void noteSilentSound(uint64_t gen, const AVPacket* pkt);
    struct Placed {
        bool ok = false;         // false: not placed at all
        bool fromStart = false;  // placed at the very start of the file
        int attempt = 0;         // the attempt that placed it
        int64_t offsetUs = 0;    // added to the container's times there (MediaSource::partOffsetUs)
    };
    Placed positionFor(int64_t targetUs, int firstAttempt, std::vector<AVPacket*>& read);
    void beginEarlier(uint64_t gen, const PacketItem& start);
    bool demuxHasRoomLocked() const;
    bool demuxRunningLowLocked() const;
    void seekLocked(int64_t us, bool fillSteps = false);
    void stepBackLocked(int frames);
    void stepForwardLocked(int frames);
    void showCachedLocked(VideoFrame f);
    void takeStepsLocked(std::optional<VideoFrame>& shown);
    void reseekIfAwayLocked();
    std::optional<VideoFrame> frameToShowLocked(int64_t nowUs);
    bool startClockWhenReadyLocked(int64_t now);
    std::optional<int64_t> soundTimeLocked() const;
    int64_t clockLocked(int64_t now) const;
    std::optional<int64_t> endReachedLocked(int64_t t) const;
    bool starvedLocked(int64_t t, int64_t shownUs, int64_t now) const;
    void holdForDataLocked(int64_t t, int64_t now);
    void finishLocked(int64_t endAt);
    void stopAtLocked(Mode m);

    std::unique_ptr<MediaSource> src_;
    std::unique_ptr<VideoDecoder> dec_;
    std::unique_ptr<AudioOutput> audio_;
    MediaInfo info_;
    PacketQueue vq_;
    FrameQueue fq_{3, 48u << 20};  // three pictures at most, 48 MB at most (one at least)
    size_t maxPackets_ = 0;
    std::thread demux_, video_;

    // mu_ guards everything below it up to the step cache (which locks itself): the control
    // calls, the display and the status queries on the caller's thread, and what the demux
    // and video threads report (their seek requests, ends of input, sound without a device).
    mutable std::mutex mu_;
    std::condition_variable demuxCv_;
    bool quit_ = false;
    uint64_t gen_ = 1;
    SeekRequest seekReq_;
    bool demuxFilling_ = true;  // reading until full, or asleep until running low

    // The play state: mode, position, clock, end and length, and the open's or seek's picture
    // still due. Changed only through its transitions, by play/resume (after
    // reseekIfAwayLocked), stopAtLocked, seekLocked, the display (startClockWhenReadyLocked,
    // holdForDataLocked, finishLocked) and the steps (showCachedLocked, takeStepsLocked).
    // Besides it, pictures a step asked for may be due: stepsAhead_ and cachedShow_ below.
    PlayState state_{0, true, false};

    // What the threads found, each for the generation named: these end play.
    bool demuxEof_ = false;         // the reader reached the end of the input
    uint64_t videoEofGen_ = 0;      // every picture of this generation was decoded...
    int64_t lastVideoEndUs_ = 0;    // ...and the last one ends here
    uint64_t silentSoundGen_ = 0;   // the generation whose sound no device plays...
    int64_t silentSoundEndUs_ = 0;  // ...and where its unbroken run of sound ends so far
    int64_t soundOriginUs_ = 0;     // the sound's media time zero in the container's clock
    uint64_t dropped_ = 0;

    // Stepping.
    StepCache steps_{kStepCacheBytes};
    int64_t stepSpanUs_ = 0;       // how far before a step's target its pictures are kept
    int64_t shownPtsUs_ = -1;      // the time of the picture last handed to the display
    int stepsAhead_ = 0;           // forward steps waiting for the next decoded pictures
    std::optional<VideoFrame> cachedShow_;  // a kept picture a step chose, not yet handed on
    bool decoderAway_ = false;     // the picture shown was kept: decoding stands elsewhere
    bool seekIsStep_ = false;      // the pending seek is a step's: its picture sets the position
};

}  // namespace plim::engine
