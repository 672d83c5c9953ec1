#pragma once
// Reading a media file for the demuxer through the engine's own I/O context, so that time
// spent waiting for the disk can be told apart from time spent working through the data.
// A disk spinning up or a network share that pauses is slow, not damaged: its waits do not
// count against the deadline of the call that reads, and the player can see that the reader
// is waiting and hold its clock meanwhile.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

struct AVIOContext;

namespace plim::engine {

// A budget of working time for one blocking call into the demuxer, in microseconds of the
// monotonic clock. Each wait for the disk is added back to the budget, up to kMaxDiskWaitUs a
// wait: a call gives up only after it has waited that long with nothing arriving, or has
// worked through data for its whole budget (a 4 GiB hole of zeros). Thread-safe: armed by the
// thread that reads, interrupted and watched from any thread.
class Deadline {
public:
    // forgiveWaits false: a budget of wall time, for work that may as well be left undone.
    void arm(int64_t budgetUs, bool forgiveWaits = true);
    void disarm() { deadlineUs_ = 0; }
    void interrupt() { interrupted_ = true; }
    // Interrupted, or armed and past.
    bool passed() const;
    // A read is about to wait for the disk, or has got its data.
    void beginWait();
    void endWait();
    // How long the read in progress has been waiting for the disk; 0 when none waits.
    int64_t waitingUs(int64_t nowUs) const;

private:
    std::atomic<int64_t> deadlineUs_{0};
    std::atomic<int64_t> waitSinceUs_{0};
    std::atomic<bool> interrupted_{false};
    std::atomic<bool> forgiveWaits_{true};
};

// The longest wait for the disk that one read is forgiven.
constexpr int64_t kMaxDiskWaitUs = 10000000;

// An open file as the demuxer's input. The context reads and seeks the file with pread under
// the deadline: a read returns AVERROR_EXIT once it has passed. Owned by one format context
// and used by whichever thread uses that context.
class FileInput {
public:
    // nullptr when the file cannot be opened for reading.
    static std::unique_ptr<FileInput> open(const std::string& path, Deadline& deadline);
    ~FileInput();
    FileInput(const FileInput&) = delete;
    FileInput& operator=(const FileInput&) = delete;

    AVIOContext* io() const { return io_; }

private:
    FileInput(int fd, Deadline& deadline) : fd_(fd), deadline_(deadline) {}
    static int readPacket(void* self, uint8_t* buf, int size);
    static int64_t seekTo(void* self, int64_t offset, int whence);
    int fd_;
    int64_t pos_ = 0;
    Deadline& deadline_;
    AVIOContext* io_ = nullptr;
    std::string path_;
};

// Tests stand in for a disk that pauses: when set, called on the reading thread before each
// read with the file's path and the offset about to be read, inside the time the read waits.
using ReadProbe = void (*)(const std::string& path, int64_t offset);
void setReadProbe(ReadProbe probe);

}  // namespace plim::engine
