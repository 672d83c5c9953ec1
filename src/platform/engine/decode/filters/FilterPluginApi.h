#pragma once
// The contract between the engine and its filter plug-in (libplim_filters.so), the one
// library of Plim that links libavfilter. The engine opens it with dlopen only when a picture
// first needs a filter, so a file whose pictures need none never maps libavfilter and the
// thirty-odd libraries Debian's build of it brings. Plain C types: both sides are built from
// the same tree, and the version guards against a stale copy.
#include <cstddef>

struct AVFrame;

namespace plim::engine::filters {

constexpr int kApiVersion = 2;

struct Api {
    int version;  // kApiVersion
    // A graph "buffer -> chain -> buffersink" for pictures like `like` (size, format, aspect),
    // or null when it cannot be made; its reason in err (always terminated).
    void* (*open)(const char* chain, const AVFrame* like, char* err, size_t errLen);
    // One picture through the graph into out (unreferenced first by the plug-in); the graph's
    // filters give one picture for each taken. 0 on success, a negative AVERROR otherwise.
    // The input keeps its own reference.
    int (*run)(void* graph, const AVFrame* in, AVFrame* out);
    void (*close)(void* graph);
    // For filters that hold pictures back (a deinterlacer reads the next one): send gives the
    // graph a picture (null: no more come), keeping the input's own reference; receive takes
    // the next picture out, its pts in the input's time base. AVERROR(EAGAIN): none yet;
    // AVERROR_EOF: all are out.
    int (*send)(void* graph, const AVFrame* in);
    int (*receive)(void* graph, AVFrame* out);
};

// The plug-in's one exported symbol.
constexpr const char* kEntryName = "plim_filters_api";
using Entry = const Api* (*)();

}  // namespace plim::engine::filters
