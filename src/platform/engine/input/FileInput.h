#pragma once
// Reading a media file for the demuxer through the engine's own I/O context, so that time
// spent waiting for the disk can be told apart from time spent working through the data.
// A disk spinning up or a network share that pauses is slow, not damaged: its waits do not
// count against the deadline of the call that reads, and the player can see that the reader
// is waiting and hold its clock meanwhile. A read that never comes back holds up nobody who
// gives up on it: an interrupt (a close) returns at once.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/engine/input/Deadline.h"
#include "platform/engine/input/DiskRead.h"

struct AVIOContext;

namespace plim::engine {

// An open file as the demuxer's input. The context reads the file on a read thread of its
// own (DiskRead) under the deadline: a read returns AVERROR_EXIT once the deadline has passed,
// counting a wait in progress as the deadline would once it ended. Owned by one format context
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
    FileInput(int fd, const std::string& path, Deadline& deadline) : disk_(fd, path), deadline_(deadline) {}
    static int readPacket(void* self, uint8_t* buf, int size);
    static int64_t seekTo(void* self, int64_t offset, int whence);
    DiskRead disk_;
    int64_t pos_ = 0;
    Deadline& deadline_;
    AVIOContext* io_ = nullptr;
};

}  // namespace plim::engine
