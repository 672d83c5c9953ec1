#include "platform/mci/engine/play/Queues.h"

namespace plim::engine {

namespace {
void freeItem(PacketItem& it) {
    if (it.pkt) av_packet_free(&it.pkt);
}
}  // namespace

PacketQueue::~PacketQueue() { flush(); }

void PacketQueue::push(PacketItem item) {
    std::lock_guard<StructureMutex> lk(mu_);
    if (closed_) {
        freeItem(item);
        return;
    }
    if (item.pkt) bytes_ += item.pkt->size;
    q_.push_back(item);
    cv_.notify_one();
}

std::optional<PacketItem> PacketQueue::pop() {
    std::unique_lock<StructureMutex> lk(mu_);
    cv_.wait(lk, [&] { return closed_ || !q_.empty(); });
    if (closed_) return std::nullopt;
    PacketItem it = q_.front();
    q_.pop_front();
    if (it.pkt) bytes_ -= it.pkt->size;
    return it;
}

void PacketQueue::flush() {
    std::lock_guard<StructureMutex> lk(mu_);
    for (PacketItem& it : q_) freeItem(it);
    q_.clear();
    bytes_ = 0;
}

void PacketQueue::close() {
    std::lock_guard<StructureMutex> lk(mu_);
    closed_ = true;
    cv_.notify_all();
}

size_t PacketQueue::count() const {
    std::lock_guard<StructureMutex> lk(mu_);
    return q_.size();
}

size_t PacketQueue::bytes() const {
    std::lock_guard<StructureMutex> lk(mu_);
    return bytes_;
}

bool FrameQueue::fullLocked(size_t incoming) const {
    return !q_.empty() && (q_.size() >= cap_ || bytes_ + incoming > maxBytes_);
}

bool FrameQueue::push(VideoFrame f) {
    size_t incoming = f.bytes();
    std::unique_lock<StructureMutex> lk(mu_);
    cv_.wait(lk, [&] { return closed_ || f.gen < minGen_ || !fullLocked(incoming); });
    if (closed_ || f.gen < minGen_) return false;
    bytes_ += incoming;
    q_.push_back(std::move(f));
    return true;
}

void FrameQueue::dropStaleLocked() {
    while (!q_.empty() && q_.front().gen < minGen_) {
        bytes_ -= q_.front().bytes();
        q_.pop_front();
    }
}

std::optional<VideoFrame> FrameQueue::peek(uint64_t gen) const {
    std::lock_guard<StructureMutex> lk(mu_);
    for (const VideoFrame& f : q_) {
        if (f.gen == gen) return f;
        if (f.gen > gen) break;
    }
    return std::nullopt;
}

std::optional<VideoFrame> FrameQueue::pop() {
    std::lock_guard<StructureMutex> lk(mu_);
    dropStaleLocked();
    if (q_.empty()) return std::nullopt;
    VideoFrame f = std::move(q_.front());
    q_.pop_front();
    bytes_ -= f.bytes();
    cv_.notify_all();
    return f;
}

void FrameQueue::flush(uint64_t newGen) {
    std::lock_guard<StructureMutex> lk(mu_);
    minGen_ = newGen;
    q_.clear();
    bytes_ = 0;
    cv_.notify_all();
}

void FrameQueue::close() {
    std::lock_guard<StructureMutex> lk(mu_);
    closed_ = true;
    q_.clear();
    bytes_ = 0;
    cv_.notify_all();
}

size_t FrameQueue::size() const {
    std::lock_guard<StructureMutex> lk(mu_);
    return q_.size();
}

}  // namespace plim::engine
