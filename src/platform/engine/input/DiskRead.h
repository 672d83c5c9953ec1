#pragma once
// One file's reads done on a thread of their own, so that the thread that asked can stop
// waiting. A read blocked inside the kernel (a network share gone away, a stalled mount)
// cannot be taken back, but a close or a deadline need not wait for it: the asking thread
// returns, and the read thread, left behind, closes the file and frees its buffer once the
// read comes back.
//
// Threads: read() from one thread at a time (the demuxer's); the destructor from the owner's;
// the read thread only runs pread and the test's read probe.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace plim::engine {

class DiskRead {
public:
    // read() returned without the data: the caller gave up waiting.
    static constexpr int64_t kGaveUp = INT64_MIN;

    // Takes ownership of fd: it is closed by the read thread as it ends.
    DiskRead(int fd, std::string path);
    // Never waits for a read in flight; leaves it behind to finish and clean up.
    ~DiskRead();
    DiskRead(const DiskRead&) = delete;
    DiskRead& operator=(const DiskRead&) = delete;

    // Reads up to size bytes at pos into dst: the bytes read, 0 at the end of the file,
    // -errno, or kGaveUp when giveUp() said so while the read waited (polled every 10 ms).
    // A read the caller gave up on is waited for, under the same rule, before the next.
    int64_t read(uint8_t* dst, int size, int64_t pos, const std::function<bool()>& giveUp);

    // The file, for fstat by the owner's threads. Valid until the destructor.
    int fd() const;

    // Reads left behind by a destructor that have not come back yet (tests wait for 0).
    static int leftBehind();

private:
    struct Shared;
    static void run(std::shared_ptr<Shared> s);
    bool waitIdle(std::unique_lock<std::mutex>& lk, const std::function<bool()>& giveUp);
    std::shared_ptr<Shared> s_;
    std::thread thread_;
};

// Called on the read thread before each read with the file's path and the offset about to be
// read, where a blocked pread would wait. The engine's own definition (DiskReadSeam.cpp) does
// nothing; a test program that stands in for a disk that pauses links its own in its place.
void beforeDiskRead(const std::string& path, int64_t offset);

}  // namespace plim::engine
