#include "platform/engine/input/DiskRead.h"

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <vector>

namespace plim::engine {

namespace {
std::atomic<int> gLeftBehind{0};
constexpr auto kPollGiveUp = std::chrono::milliseconds(10);
}  // namespace

// Guarded by mu. A request is in flight from `inFlight` set by read() until the read thread
// clears it; meanwhile only the read thread touches buf.
struct DiskRead::Shared {
    std::mutex mu;
    std::condition_variable work, ready;
    const int fd;
    const std::string path;
    bool inFlight = false, quit = false, abandoned = false;
    int64_t pos = 0;
    int size = 0;
    std::vector<uint8_t> buf;
    int64_t result = 0;
    Shared(int f, std::string p) : fd(f), path(std::move(p)) {}
};

DiskRead::DiskRead(int fd, std::string path) : s_(std::make_shared<Shared>(fd, std::move(path))) {
    thread_ = std::thread(&DiskRead::run, s_);
}

DiskRead::~DiskRead() {
    std::unique_lock<std::mutex> lk(s_->mu);
    if (s_->inFlight) {
        s_->abandoned = true;
        ++gLeftBehind;
        lk.unlock();
        thread_.detach();
        return;
    }
    s_->quit = true;
    lk.unlock();
    s_->work.notify_one();
    thread_.join();
}

int DiskRead::fd() const { return s_->fd; }

int DiskRead::leftBehind() { return gLeftBehind; }

void DiskRead::run(std::shared_ptr<Shared> s) {
    pthread_setname_np(pthread_self(), "plim-read");
    std::unique_lock<std::mutex> lk(s->mu);
    for (;;) {
        s->work.wait(lk, [&] { return s->inFlight || s->quit; });
        if (s->quit) break;
        const int64_t pos = s->pos;
        const int size = s->size;
        lk.unlock();
        beforeDiskRead(s->path, pos);
        ssize_t n = ::pread(s->fd, s->buf.data(), size_t(size), pos);
        int64_t result = n >= 0 ? int64_t(n) : -int64_t(errno);
        lk.lock();
        s->result = result;
        s->inFlight = false;
        if (s->abandoned) break;
        s->ready.notify_one();
    }
    bool abandoned = s->abandoned;
    lk.unlock();
    ::close(s->fd);
    if (abandoned) --gLeftBehind;
}

bool DiskRead::waitIdle(std::unique_lock<std::mutex>& lk, const std::function<bool()>& giveUp) {
    while (s_->inFlight) {
        if (giveUp()) return false;
        s_->ready.wait_for(lk, kPollGiveUp);
    }
    return true;
}

int64_t DiskRead::read(uint8_t* dst, int size, int64_t pos, const std::function<bool()>& giveUp) {
    std::unique_lock<std::mutex> lk(s_->mu);
    if (!waitIdle(lk, giveUp)) return kGaveUp;
    if (s_->buf.size() < size_t(size)) s_->buf.resize(size_t(size));
    s_->pos = pos;
    s_->size = size;
    s_->inFlight = true;
    s_->work.notify_one();
    if (!waitIdle(lk, giveUp)) return kGaveUp;
    if (s_->result > 0) std::memcpy(dst, s_->buf.data(), size_t(s_->result));
    return s_->result;
}

}  // namespace plim::engine
