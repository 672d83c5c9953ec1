#pragma once
// The one bounded queue between the engine's threads: items of T carry the generation they
// were made for (`gen`) and their size (`bytes()`). A flush drops every item and every later
// push older than the generation it names, so a seek never waits behind stale work.
// Thread-safe: any thread; the queue's own StructureMutex (base/LockOrder.h) is held only
// inside these calls.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>

#include "platform/engine/base/LockOrder.h"

namespace plim::engine {

template <class T>
class GenerationQueue {
public:
    // At most `capacity` items and `maxBytes` bytes, but always room for one; 0: no bound
    // (the producer keeps its own).
    GenerationQueue(size_t capacity, size_t maxBytes) : cap_(capacity), maxBytes_(maxBytes) {}
    GenerationQueue(const GenerationQueue&) = delete;
    GenerationQueue& operator=(const GenerationQueue&) = delete;

    // Blocks while full; false (the item dropped) when its generation is stale or the queue
    // is closed.
    bool push(T item) {
        size_t incoming = item.bytes();
        std::unique_lock<StructureMutex> lk(mu_);
        room_.wait(lk, [&] { return closed_ || item.gen < minGen_ || !fullLocked(incoming); });
        if (closed_ || item.gen < minGen_) return false;
        bytes_ += incoming;
        q_.push_back(std::move(item));
        arrived_.notify_one();
        return true;
    }
    // The front item, taken; nullopt when empty. Never blocks.
    std::optional<T> tryPop() {
        std::lock_guard<StructureMutex> lk(mu_);
        return takeFrontLocked();
    }
    // The front item, waiting for one; nullopt once closed.
    std::optional<T> pop() {
        std::unique_lock<StructureMutex> lk(mu_);
        arrived_.wait(lk, [&] { return closed_ || !q_.empty(); });
        if (closed_) return std::nullopt;
        return takeFrontLocked();
    }
    // A copy of the front item of generation gen, if it is there.
    std::optional<T> peek(uint64_t gen) const {
        std::lock_guard<StructureMutex> lk(mu_);
        for (const T& item : q_) {
            if (item.gen == gen) return item;
            if (item.gen > gen) break;
        }
        return std::nullopt;
    }
    // Drops everything, and from now on everything older than newGen.
    void flush(uint64_t newGen) {
        std::lock_guard<StructureMutex> lk(mu_);
        minGen_ = std::max(minGen_, newGen);
        q_.clear();
        bytes_ = 0;
        room_.notify_all();
    }
    // Drops everything; pushes fail and waits return from now on.
    void close() {
        std::lock_guard<StructureMutex> lk(mu_);
        closed_ = true;
        q_.clear();
        bytes_ = 0;
        room_.notify_all();
        arrived_.notify_all();
    }
    // Each take that leaves `lowMark` items or fewer wakes `wake` (a producer asleep until
    // the queue runs low). Set before the threads start.
    void wakeWhenLow(size_t lowMark, CondVar* wake) {
        lowMark_ = lowMark;
        lowWake_ = wake;
    }
    size_t size() const {
        std::lock_guard<StructureMutex> lk(mu_);
        return q_.size();
    }
    size_t bytes() const {
        std::lock_guard<StructureMutex> lk(mu_);
        return bytes_;
    }

private:
    bool fullLocked(size_t incoming) const {
        if (q_.empty()) return false;
        return (cap_ > 0 && q_.size() >= cap_) || (maxBytes_ > 0 && bytes_ + incoming > maxBytes_);
    }
    std::optional<T> takeFrontLocked() {
        while (!q_.empty() && q_.front().gen < minGen_) dropFrontLocked();
        if (q_.empty()) return std::nullopt;
        bytes_ -= q_.front().bytes();
        std::optional<T> item(std::move(q_.front()));
        q_.pop_front();
        room_.notify_all();
        if (lowWake_ && q_.size() <= lowMark_) lowWake_->notify_one();
        return item;
    }
    void dropFrontLocked() {
        bytes_ -= q_.front().bytes();
        q_.pop_front();
    }

    mutable StructureMutex mu_;
    CondVar room_, arrived_;
    std::deque<T> q_;
    const size_t cap_, maxBytes_;
    size_t bytes_ = 0;
    uint64_t minGen_ = 0;
    bool closed_ = false;
    size_t lowMark_ = 0;
    CondVar* lowWake_ = nullptr;
};

}  // namespace plim::engine
