#include "platform/mci/engine/decode/FreshBuffers.h"

#include <algorithm>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "platform/mci/engine/base/FreshPages.h"

namespace plim::engine {

namespace {
// Smaller buffers come from malloc's heap, whose pages are mostly present already.
constexpr size_t kLargeBuffer = 256 * 1024;
}  // namespace

void FreshBuffers::attach(AVCodecContext* ctx) {
    ctx->opaque = this;
    ctx->get_buffer2 = &FreshBuffers::getBuffer;
}

int FreshBuffers::getBuffer(AVCodecContext* ctx, AVFrame* f, int flags) {
    int r = avcodec_default_get_buffer2(ctx, f, flags);
    if (r < 0) return r;
    auto* self = static_cast<FreshBuffers*>(ctx->opaque);
    for (AVBufferRef* b : f->buf)
        if (b && b->size >= kLargeBuffer && self->firstUse(b->data)) makePagesPresent(b->data, b->size);
    return r;
}

bool FreshBuffers::firstUse(const void* data) {
    std::lock_guard<std::mutex> lk(mu_);
    if (std::find(seen_.begin(), seen_.end(), data) != seen_.end()) return false;
    if (seen_.size() >= kRemembered) seen_.erase(seen_.begin());
    seen_.push_back(data);
    return true;
}

}  // namespace plim::engine
