#include "platform/engine/decode/PictureLook.h"

#include <cstdio>
#include <cstdlib>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include "platform/engine/base/StoredEnum.h"
#include "platform/engine/decode/FilterGraph.h"

namespace plim::engine {

namespace {
// HDR to SDR: to linear light with the reference white (203 cd/m2) at 1.0, to BT.709
// primaries, highlights above 0.8 rolled off (mobius keeps everything below it as it is), then
// BT.709's transfer into 8-bit RGB. Tags the stream leaves out are taken as BT.2020's.
std::string hdrFilters(int primaries, int matrix) {
    std::string first = "zscale=t=linear:npl=203";
    if (primaries == AVCOL_PRI_UNSPECIFIED) first += ":pin=2020";
    if (matrix == AVCOL_SPC_UNSPECIFIED) first += ":min=2020_ncl";
    return first + ",format=gbrpf32le,zscale=p=bt709,tonemap=mobius:param=0.8:desat=0,zscale=t=bt709,format=gbrp";
}

std::string join(const std::string& a, const std::string& b) {
    return a.empty() ? b : b.empty() ? a : a + "," + b;
}
}  // namespace

bool isHdrTransfer(int transfer) {
    return transfer == AVCOL_TRC_SMPTE2084 || transfer == AVCOL_TRC_ARIB_STD_B67;
}

std::string lookFilters(Orientation o, bool hdr, int primaries, int matrix) {
    static const char* const kTurns[4][2] = {{"", "hflip"},
                                             {"transpose=clock", "transpose=cclock_flip"},
                                             {"hflip,vflip", "vflip"},
                                             {"transpose=cclock", "transpose=clock_flip"}};
    std::string turn = kTurns[(o.clockwise / 90) & 3][o.mirrored ? 1 : 0];
    return join(turn, hdr ? hdrFilters(primaries, matrix) : "");
}

PictureLook::PictureLook(Orientation o) : orientation_(o) {}

PictureLook::~PictureLook() { av_frame_free(&out_); }

PictureLook::Input PictureLook::inputOf(const AVFrame* f) {
    return {f->width, f->height, f->format, storedValue(f->color_trc), storedValue(f->color_primaries), storedValue(f->colorspace),
            storedValue(f->color_range)};
}

// One picture through the graph; the graph's filters give one picture for each taken.
const AVFrame* PictureLook::run(const AVFrame* f) {
    if (!out_ && !(out_ = av_frame_alloc())) return nullptr;
    return graph_->run(f, out_) ? out_ : nullptr;
}

const AVFrame* PictureLook::apply(const AVFrame* f) {
    if (!f) return f;
    bool hdr = isHdrTransfer(storedValue(f->color_trc));
    if (!orientation_.any() && !hdr) return f;
    if (!FilterGraph::available()) return f;  // said once on stderr
    Input in = inputOf(f);
    if (!(in == made_)) prepare(in, f, hdr);
    const AVFrame* out = graph_ ? run(f) : nullptr;
    // An HDR picture shown unmapped is still the picture; one left on its side is not.
    return out ? out : orientation_.any() ? nullptr : f;
}

// The graph for pictures like f: the whole look, or the turn alone when the HDR mapping
// cannot be made here. Tried once for each kind of picture.
void PictureLook::prepare(const Input& in, const AVFrame* f, bool hdr) {
    graph_ = FilterGraph::make(lookFilters(orientation_, hdr, storedValue(f->color_primaries), storedValue(f->colorspace)), f);
    if (!graph_ && hdr) {
        std::fprintf(stderr, "plim: HDR pictures cannot be mapped to SDR here (libavfilter's zscale and tonemap);"
                             " they are shown unmapped\n");
        if (orientation_.any()) graph_ = FilterGraph::make(lookFilters(orientation_, false, 0, 0), f);
    }
    made_ = in;
}

}  // namespace plim::engine
