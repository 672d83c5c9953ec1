#pragma once
// The decoder's picture buffers, made present the first time the decoder takes each one.
// libavcodec keeps its buffers in pools and hands them out again, so only the first few
// pictures after an open or a change of size take fresh memory; without this, each of them
// pays a page fault per 4 KiB while it is decoded (a 4K picture: 3,000 faults, some 40 ms
// on a virtual machine), just when the first picture is awaited and play begins.
// Called by libavcodec on whichever thread decodes (its frame threads included).
#include <mutex>
#include <vector>

struct AVCodecContext;
struct AVFrame;

namespace plim::engine {

class FreshBuffers {
public:
    // Serves ctx's picture buffers from now on, before avcodec_open2. ctx must be freed
    // before this is destroyed.
    void attach(AVCodecContext* ctx);

private:
    static constexpr size_t kRemembered = 64;  // more than any pool a decoder keeps
    static int getBuffer(AVCodecContext* ctx, AVFrame* f, int flags);
    // true the first time data is seen (or again once it has been forgotten).
    bool firstUse(const void* data);
    std::mutex mu_;
    std::vector<const void*> seen_;
};

}  // namespace plim::engine
