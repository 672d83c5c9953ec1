#pragma once
// Packets owned in order, freed with the list. Move-only; one thread at a time.
#include <utility>
#include <vector>

extern "C" {
#include <libavcodec/packet.h>
}

namespace plim::engine {

class PacketList {
public:
    PacketList() = default;
    ~PacketList() { clear(); }
    PacketList(PacketList&& o) noexcept : packets_(std::exchange(o.packets_, {})) {}
    PacketList& operator=(PacketList&& o) noexcept {
        if (this != &o) {
            clear();
            packets_ = std::exchange(o.packets_, {});
        }
        return *this;
    }
    PacketList(const PacketList&) = delete;
    PacketList& operator=(const PacketList&) = delete;

    void push(AVPacket* p) { packets_.push_back(p); }  // takes ownership
    // Hands every packet over, in order; the list is left empty.
    std::vector<AVPacket*> release() { return std::exchange(packets_, {}); }
    bool empty() const { return packets_.empty(); }
    void clear() {
        for (AVPacket*& p : packets_) av_packet_free(&p);
        packets_.clear();
    }

private:
    std::vector<AVPacket*> packets_;
};

}  // namespace plim::engine
