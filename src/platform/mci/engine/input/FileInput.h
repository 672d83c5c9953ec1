#pragma once
// Reading a media file for the demuxer through the engine's own I/O context, so that time
// spent waiting for the disk can be told apart from time spent working through the data.
// A disk spinning up or a network share that pauses is slow, not damaged: its waits do not
// count against the deadline of the call that reads, and the player can see that the reader
// is waiting and hold its clock meanwhile.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/mci/engine/input/Deadline.h"

struct AVIOContext;

namespace plim::engine {

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
