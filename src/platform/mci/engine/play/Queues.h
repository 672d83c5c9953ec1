#pragma once
// Bounded queues between the engine's threads. All members are thread-safe.
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

#include "platform/mci/engine/base/Types.h"
#include "platform/mci/engine/base/LockOrder.h"

extern "C" {
#include <libavcodec/packet.h>
}

namespace plim::engine {

// A packet or a marker, tagged with the generation it was read for.
struct PacketItem {
    enum Kind { Data, Flush, Eof } kind = Data;
    uint64_t gen = 0;
    int64_t seekTargetUs = -1;  // Flush: the exact position wanted, or -1
    AVPacket* pkt = nullptr;    // Data: owned by the item holder
    int attempt = 0;            // Flush: how many times the reader was placed further back
    bool fromStart = true;      // Flush: reading begins at the start of the file
    bool fillSteps = false;     // Flush: keep the pictures before the target for steps back
    int64_t offsetUs = 0;       // Flush: added to the container's times (a joined file's part)
    bool continues = false;     // Flush: decoding goes on from what open decoded, unflushed
};

class PacketQueue {
public:
    ~PacketQueue();
    void push(PacketItem item);
    // Blocks until an item arrives or the queue is closed (then returns nullopt).
    std::optional<PacketItem> pop();
    void flush();  // frees every queued item
    void close();
    size_t count() const;
    size_t bytes() const;

private:
    mutable StructureMutex mu_;
    CondVar cv_;
    std::deque<PacketItem> q_;
    size_t bytes_ = 0;
    bool closed_ = false;
};

// Decoded frames waiting for their time. The decoder blocks while it is full.
class FrameQueue {
public:
    // At most `capacity` frames and `maxBytes` of pictures, but always room for one.
    FrameQueue(size_t capacity, size_t maxBytes) : cap_(capacity), maxBytes_(maxBytes) {}
    // Blocks while full; returns false (frame discarded) when its generation is stale or
    // the queue is closed.
    bool push(VideoFrame f);
    std::optional<VideoFrame> peek(uint64_t gen) const;  // front frame of that generation
    std::optional<VideoFrame> pop();
    void flush(uint64_t newGen);  // drops everything older than newGen
    void close();
    size_t size() const;

private:
    void dropStaleLocked();
    mutable StructureMutex mu_;
    CondVar cv_;
    std::deque<VideoFrame> q_;
    bool fullLocked(size_t incoming) const;
    size_t cap_;
    size_t maxBytes_;
    size_t bytes_ = 0;
    uint64_t minGen_ = 0;
    bool closed_ = false;
};

}  // namespace plim::engine
