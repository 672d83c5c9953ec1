#include "platform/engine/input/FileInput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

#include "platform/engine/base/Clock.h"

namespace plim::engine {

namespace {
constexpr int kBufferSize = 32768;
}  // namespace

std::unique_ptr<FileInput> FileInput::open(const std::string& path, Deadline& deadline) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    std::unique_ptr<FileInput> in(new FileInput(fd, path, deadline));
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
    if (!buffer) return nullptr;
    in->io_ = avio_alloc_context(buffer, kBufferSize, 0, in.get(), &FileInput::readPacket, nullptr, &FileInput::seekTo);
    if (!in->io_) {
        av_free(buffer);
        return nullptr;
    }
    return in;
}

FileInput::~FileInput() {
    if (io_) av_freep(&io_->buffer);
    avio_context_free(&io_);
}

// Reads at the context's position. The time a read blocks is a wait for the disk; a source
// that answers "try again" is polled until the deadline passes.
int FileInput::readPacket(void* self, uint8_t* buf, int size) {
    auto* in = static_cast<FileInput*>(self);
    Deadline& d = in->deadline_;
    for (;;) {
        if (d.passed()) return AVERROR_EXIT;
        d.beginWait();
        int64_t n = in->disk_.read(buf, size, in->pos_, [&d] { return d.givesUpWaiting(monotonicUs()); });
        d.endWait();
        if (n == DiskRead::kGaveUp) return AVERROR_EXIT;
        if (n > 0) {
            in->pos_ += n;
            return int(n);
        }
        if (n == 0) return AVERROR_EOF;
        if (n == -EAGAIN || n == -EWOULDBLOCK) std::this_thread::sleep_for(kTryAgainAfter);
        else if (n != -EINTR) return AVERROR(int(-n));
    }
}

int64_t FileInput::seekTo(void* self, int64_t offset, int whence) {
    auto* in = static_cast<FileInput*>(self);
    struct stat sb;
    whence &= ~AVSEEK_FORCE;
    if (whence == AVSEEK_SIZE) return ::fstat(in->disk_.fd(), &sb) == 0 ? int64_t(sb.st_size) : AVERROR(errno);
    int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? in->pos_ : -1;
    if (whence == SEEK_END) {
        if (::fstat(in->disk_.fd(), &sb) != 0) return AVERROR(errno);
        base = sb.st_size;
    }
    int64_t to = 0;
    if (base < 0 || __builtin_add_overflow(base, offset, &to) || to < 0) return AVERROR(EINVAL);
    in->pos_ = to;
    return to;
}

}  // namespace plim::engine
