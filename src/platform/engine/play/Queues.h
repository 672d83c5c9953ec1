#pragma once
// What travels between a player's threads: the reader's packets to the video thread
// (PacketQueue), and decoded frames to the display (FrameQueue). Both are one GenerationQueue.
#include <memory>
#include <variant>

#include "platform/engine/base/GenerationQueue.h"
#include "platform/engine/base/Types.h"

extern "C" {
#include <libavcodec/packet.h>
}

namespace plim::engine {

// A seek for the reader to carry out, and, as it was carried out, where a generation's
// decoding starts.
struct SeekRequest {
    uint64_t gen = 0;
    int64_t targetUs = 0;
    // The open's generation goes on from where the open left reading and decoding: nothing
    // is placed, flushed or decoded again. False for every seek.
    bool continuesOpen = false;
    int attempt = 0;         // > 0: decoding began too late before; start further back
    bool fillSteps = false;  // keep the pictures before the target for steps back
};

struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;

// A generation begins: the seek as the reader carried it out (its attempt, the one that
// placed reading), and where that placed reading.
struct GenerationStart {
    SeekRequest seek;
    bool fromStart = true;  // reading begins at the start of the file
    int64_t offsetUs = 0;   // added to the container's times (a joined file's part)
};
// The input ended for the generation.
struct InputEnd {};

// A packet or a marker, tagged with the generation it was read for. Move-only: owns its packet.
struct PacketItem {
    uint64_t gen = 0;
    std::variant<PacketPtr, GenerationStart, InputEnd> what;
    size_t bytes() const {
        auto* p = std::get_if<PacketPtr>(&what);
        return p && *p ? size_t((*p)->size) : 0;
    }
};

// Video packets read ahead; bounded by the reader (count and bytes), so never blocking a push.
using PacketQueue = GenerationQueue<PacketItem>;
// Decoded frames waiting for their time; the video thread blocks while it is full.
using FrameQueue = GenerationQueue<VideoFrame>;

}  // namespace plim::engine
