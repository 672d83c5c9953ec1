// The filter plug-in: libavfilter graphs behind the plain contract of FilterPluginApi.h.
// Each graph is used by one thread at a time (the thread that owns it).
#include <cstdint>
#include <cstdio>
#include <new>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/frame.h>
#include <libavutil/mathematics.h>
#include <libavutil/mem.h>
}

#include "platform/engine/base/Types.h"
#include "platform/engine/decode/filters/FilterPluginApi.h"

namespace {

struct Graph {
    AVFilterGraph* graph = nullptr;
    AVFilterContext* source = nullptr;
    AVFilterContext* sink = nullptr;
};

void closeGraph(void* g) {
    auto* graph = static_cast<Graph*>(g);
    if (!graph) return;
    avfilter_graph_free(&graph->graph);
    delete graph;
}

// The buffer source's arguments for pictures like f; times are in the engine's microseconds.
void sourceArgs(const AVFrame* f, char* out, size_t len) {
    AVRational sar = f->sample_aspect_ratio.num > 0 ? f->sample_aspect_ratio : AVRational{1, 1};
    std::snprintf(out, len, "video_size=%dx%d:pix_fmt=%d:time_base=1/%lld:pixel_aspect=%d/%d", f->width, f->height,
                  f->format, static_cast<long long>(plim::engine::kUsPerSecond), sar.num, sar.den);
}

bool link(Graph& g, const char* chain) {
    AVFilterInOut* outputs = avfilter_inout_alloc();
    AVFilterInOut* inputs = avfilter_inout_alloc();
    bool ok = outputs && inputs;
    if (ok) {
        *outputs = AVFilterInOut{av_strdup("in"), g.source, 0, nullptr};
        *inputs = AVFilterInOut{av_strdup("out"), g.sink, 0, nullptr};
        ok = avfilter_graph_parse_ptr(g.graph, chain, &inputs, &outputs, nullptr) >= 0 &&
             avfilter_graph_config(g.graph, nullptr) >= 0;
    }
    avfilter_inout_free(&inputs);
    avfilter_inout_free(&outputs);
    return ok;
}

void* openGraph(const char* chain, const AVFrame* like, char* err, size_t errLen) {
    if (errLen) err[0] = '\0';
    auto* g = new (std::nothrow) Graph;
    if (!g || !(g->graph = avfilter_graph_alloc())) {
        closeGraph(g);
        std::snprintf(err, errLen, "no memory");
        return nullptr;
    }
    char args[160];
    sourceArgs(like, args, sizeof args);
    bool ok = avfilter_graph_create_filter(&g->source, avfilter_get_by_name("buffer"), "in", args, nullptr, g->graph) >= 0 &&
              avfilter_graph_create_filter(&g->sink, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr,
                                           g->graph) >= 0 &&
              link(*g, chain);
    if (!ok) {
        std::snprintf(err, errLen, "the filters \"%s\" cannot be set up", chain);
        closeGraph(g);
        return nullptr;
    }
    return g;
}

int runGraph(void* g, const AVFrame* in, AVFrame* out) {
    auto* graph = static_cast<Graph*>(g);
    av_frame_unref(out);
    int r = av_buffersrc_add_frame_flags(graph->source, const_cast<AVFrame*>(in), AV_BUFFERSRC_FLAG_KEEP_REF);
    return r < 0 ? r : av_buffersink_get_frame(graph->sink, out);
}

int sendGraph(void* g, const AVFrame* in) {
    return av_buffersrc_add_frame_flags(static_cast<Graph*>(g)->source, const_cast<AVFrame*>(in),
                                        AV_BUFFERSRC_FLAG_KEEP_REF);
}

// The sink's time base may differ from the source's (bwdif halves it): times go back to the
// source's microseconds.
int receiveGraph(void* g, AVFrame* out) {
    auto* graph = static_cast<Graph*>(g);
    av_frame_unref(out);
    int r = av_buffersink_get_frame(graph->sink, out);
    if (r >= 0 && out->pts != AV_NOPTS_VALUE)
        out->pts = av_rescale_q(out->pts, av_buffersink_get_time_base(graph->sink),
                                AVRational{1, int(plim::engine::kUsPerSecond)});
    return r;
}

const plim::engine::filters::Api kApi{plim::engine::filters::kApiVersion, openGraph, runGraph, closeGraph, sendGraph,
                                      receiveGraph};

}  // namespace

extern "C" __attribute__((visibility("default"))) const plim::engine::filters::Api* plim_filters_api() { return &kApi; }
