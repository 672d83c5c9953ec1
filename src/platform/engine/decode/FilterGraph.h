#pragma once
// A libavfilter graph, run through the filter plug-in (FilterPluginApi.h), which is loaded on
// the first make() of the process and never before. Owned and used by one thread at a time.
#include <memory>
#include <string>

struct AVFrame;

namespace plim::engine {

class FilterGraph {
public:
    ~FilterGraph();
    FilterGraph(const FilterGraph&) = delete;
    FilterGraph& operator=(const FilterGraph&) = delete;

    // Whether the plug-in is loaded, loading it if it was not tried yet. When it cannot be
    // loaded, says why once on stderr; every later call answers false at once. Thread-safe.
    static bool available();
    // A graph "buffer -> chain -> buffersink" for pictures like `like`; null when the plug-in
    // is not there or the chain cannot be set up for them.
    static std::unique_ptr<FilterGraph> make(const std::string& chain, const AVFrame* like);
    // One picture through the graph; out gets the result (false: none came).
    bool run(const AVFrame* in, AVFrame* out);
    // For graphs that hold pictures back: send (null: no more come; false: refused), then
    // receive until it answers None; times come out in microseconds, as they went in.
    enum class Got { Picture, None, Ended };
    bool send(const AVFrame* in);
    Got receive(AVFrame* out);

private:
    explicit FilterGraph(void* handle) : handle_(handle) {}
    void* handle_;
};

}  // namespace plim::engine
