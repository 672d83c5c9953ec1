#include "platform/engine/decode/Deinterlacer.h"

extern "C" {
#include <libavutil/frame.h>
}

#include "platform/engine/decode/FilterGraph.h"

namespace plim::engine {

const char* const Deinterlacer::kChain = "bwdif=mode=send_frame:parity=auto:deint=interlaced";

Deinterlacer::Deinterlacer() : in_(av_frame_alloc()), out_(av_frame_alloc()) {}

Deinterlacer::~Deinterlacer() {
    av_frame_free(&in_);
    av_frame_free(&out_);
}

void Deinterlacer::begin(bool fromStart) {
    graph_.reset();
    shape_ = Shape{};
    held_.clear();
    fromStart_ = fromStart;
    first_ = true;
}

// A graph for pictures like f: a picture of another size or format first ends the run of
// the graph before (its last picture goes out as at the stream's end). False when none can
// be made, and f must pass as it is.
bool Deinterlacer::ready(const AVFrame* f, const Emit& out) {
    Shape shape{f->width, f->height, f->format};
    if (graph_ && shape == shape_) return true;
    if (shape == shape_) return false;  // tried for these pictures, and failed
    if (graph_) finish(out);
    shape_ = shape;
    if (!in_ || !out_) return false;
    graph_ = FilterGraph::make(kChain, f);
    return graph_ != nullptr;
}

void Deinterlacer::push(AVFrame* f, int64_t ptsUs, const Emit& out) {
    if (!ready(f, out)) {
        pass(f, ptsUs, out);
        return;
    }
    av_frame_unref(in_);
    if (av_frame_ref(in_, f) < 0) return;  // no memory: this picture is lost, as a decoder's would be
    in_->pts = ++seq_;
    if (!graph_->send(in_)) {
        av_frame_unref(in_);
        finish(out);
        pass(f, ptsUs, out);
        return;
    }
    held_.push_back(Held{seq_, ptsUs, f->interlaced_frame != 0});
    av_frame_unref(in_);
    pull(out);
}

void Deinterlacer::finish(const Emit& out) {
    if (graph_ && graph_->send(nullptr)) pull(out);
    graph_.reset();
    shape_ = Shape{};
    held_.clear();
}

// Hands on each picture the graph has made, with the time of the picture it was made from.
void Deinterlacer::pull(const Emit& out) {
    while (graph_->receive(out_) == FilterGraph::Got::Picture) {
        while (!held_.empty() && held_.front().seq < out_->pts) held_.pop_front();  // none came for these
        if (held_.empty() || held_.front().seq != out_->pts) continue;  // not one of ours: a repeat
        Held h = held_.front();
        held_.pop_front();
        bool withheld = first_ && !fromStart_ && h.interlaced;
        first_ = false;
        if (!withheld) out(out_, h.ptsUs);
    }
    av_frame_unref(out_);
}

// A picture no graph takes: shown as decoded, whole or not.
void Deinterlacer::pass(AVFrame* f, int64_t ptsUs, const Emit& out) {
    first_ = false;
    out(f, ptsUs);
}

}  // namespace plim::engine
