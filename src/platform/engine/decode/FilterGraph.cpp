#include "platform/engine/decode/FilterGraph.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "platform/engine/decode/filters/FilterPluginApi.h"

extern "C" {
#include <libavutil/error.h>
}

namespace plim::engine {

namespace {
const filters::Api* gApi = nullptr;  // set once under gOnce, never cleared
std::once_flag gOnce;

// Where the plug-in is looked for, in order: PLIM_FILTERS_PLUGIN when set; beside the
// program as installed (PLIM_FILTERS_FROM_BINDIR, relative to the executable's folder); the
// build tree's copy, for the programs and tests run where they were built.
std::string executableDir() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    std::string path(buf, size_t(n));
    return path.substr(0, path.rfind('/'));
}

const filters::Api* tryOpen(const std::string& path, std::string& why) {
    void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        const char* e = dlerror();
        why = e ? e : path;
        return nullptr;
    }
    auto entry = reinterpret_cast<filters::Entry>(dlsym(lib, filters::kEntryName));
    const filters::Api* api = entry ? entry() : nullptr;
    if (api && api->version == filters::kApiVersion) return api;  // stays loaded for the process
    why = path + ": not a filter plug-in of this version";
    dlclose(lib);
    return nullptr;
}

void load() {
    std::string why;
    if (const char* forced = std::getenv("PLIM_FILTERS_PLUGIN"); forced && *forced) {
        gApi = tryOpen(forced, why);
    } else {
        std::string installed = executableDir() + "/" PLIM_FILTERS_FROM_BINDIR;
        gApi = tryOpen(installed, why);
        if (!gApi) gApi = tryOpen(PLIM_FILTERS_BUILT, why);
    }
    if (!gApi)
        std::fprintf(stderr, "plim: the picture filters cannot be loaded (%s); turned, HDR and interlaced pictures are shown as decoded\n",
                     why.c_str());
}
}  // namespace

bool FilterGraph::available() {
    std::call_once(gOnce, load);
    return gApi != nullptr;
}

std::unique_ptr<FilterGraph> FilterGraph::make(const std::string& chain, const AVFrame* like) {
    if (!available()) return nullptr;
    char err[256];
    void* h = gApi->open(chain.c_str(), like, err, sizeof err);
    if (!h) return nullptr;
    return std::unique_ptr<FilterGraph>(new FilterGraph(h));
}

FilterGraph::~FilterGraph() { gApi->close(handle_); }

bool FilterGraph::run(const AVFrame* in, AVFrame* out) { return gApi->run(handle_, in, out) >= 0; }

bool FilterGraph::send(const AVFrame* in) { return gApi->send(handle_, in) >= 0; }

FilterGraph::Got FilterGraph::receive(AVFrame* out) {
    int r = gApi->receive(handle_, out);
    return r >= 0 ? Got::Picture : r == AVERROR(EAGAIN) ? Got::None : Got::Ended;
}

}  // namespace plim::engine
