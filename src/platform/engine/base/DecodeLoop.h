#pragma once
// Feeding a libavcodec decoder one packet and taking every frame it then has, the same for
// pictures and for sound. Runs on the caller's thread, which owns the context.
#include <cerrno>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace plim::engine {

// Takes every frame the decoder has ready, calling onFrame(frame) for each; frame is
// unreferenced after each call. A frame the decoder failed on is passed over: with frame
// threads, the failure is reported by the call that would have returned it, and the frames
// behind it follow.
template <class OnFrame>
void drainDecoder(AVCodecContext* ctx, AVFrame* frame, OnFrame&& onFrame) {
    constexpr int kMaxErrorsInARow = 64;  // a decoder that never stops answering errors
    for (int errors = 0; errors < kMaxErrorsInARow;) {
        int r = avcodec_receive_frame(ctx, frame);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return;
        if (r < 0) {
            ++errors;
            continue;
        }
        errors = 0;
        onFrame(frame);
        av_frame_unref(frame);
    }
}

// Sends pkt (nullptr drains the decoder) and takes what comes out. A damaged packet is
// skipped, but what the decoder holds still comes out; a decoder whose output was left full
// answers "again" to a packet until it is drained, and would otherwise never give a frame
// again.
template <class OnFrame>
void decodePacket(AVCodecContext* ctx, const AVPacket* pkt, AVFrame* frame, OnFrame&& onFrame) {
    if (avcodec_send_packet(ctx, pkt) == AVERROR(EAGAIN)) {
        drainDecoder(ctx, frame, onFrame);
        avcodec_send_packet(ctx, pkt);
    }
    drainDecoder(ctx, frame, onFrame);
}

}  // namespace plim::engine
