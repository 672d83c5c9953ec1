#include "platform/mci/engine/decode/PictureLook.h"

#include <cstdio>
#include <cstdlib>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

namespace plim::engine {

namespace {
// The sign of a 16.16 matrix entry; entries under 1/16 count as zero (rounding of a turn).
int signOf(int32_t v) {
    constexpr int32_t kNearZero = 1 << 12;
    return v > kNearZero ? 1 : v < -kNearZero ? -1 : 0;
}

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

// The matrix's upper 2x2 [a b / c d] ([0] [1] / [3] [4]) takes a stored point (x, y), as a
// row, to (a x + c y, b x + d y) on the screen, whose y axis points down. As a column
// transform that is N = [a c / b d]: a clockwise turn R = [cos -sin / sin cos], or F x R when
// the picture is mirrored (F flips left to right).
Orientation orientationOf(const int32_t* m) {
    if (!m) return {};
    int a = signOf(m[0]), b = signOf(m[1]), c = signOf(m[3]), d = signOf(m[4]);
    bool straight = a != 0 && d != 0 && b == 0 && c == 0;
    bool across = a == 0 && d == 0 && b != 0 && c != 0;
    if (!straight && !across) return {};  // not a quarter turn: shown as stored
    bool mirrored = a * d - b * c < 0;
    if (mirrored) a = -a;  // F x N leaves R; only its first column (a, b) is read below
    int clockwise = a == 1 ? 0 : a == -1 ? 180 : b == 1 ? 90 : 270;
    return {clockwise, mirrored};
}

Orientation orientationOf(const AVStream* st) {
    size_t size = 0;
    const uint8_t* m = av_stream_get_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, &size);
    return m && size >= 9 * sizeof(int32_t) ? orientationOf(reinterpret_cast<const int32_t*>(m)) : Orientation{};
}

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

PictureLook::~PictureLook() {
    reset();
    av_frame_free(&out_);
}

void PictureLook::reset() {
    avfilter_graph_free(&graph_);
    source_ = sink_ = nullptr;
}

void PictureLook::setOrientation(Orientation o) {
    if (o == orientation_) return;
    orientation_ = o;
    reset();
    made_ = Input{};
}

PictureLook::Input PictureLook::inputOf(const AVFrame* f) {
    return {f->width, f->height, f->format, f->color_trc, f->color_primaries, f->colorspace, f->color_range};
}

// A graph of buffer -> chain -> buffersink for pictures like f.
bool PictureLook::build(const AVFrame* f, const std::string& chain) {
    reset();
    graph_ = avfilter_graph_alloc();
    if (!graph_) return false;
    AVRational sar = f->sample_aspect_ratio.num > 0 ? f->sample_aspect_ratio : AVRational{1, 1};
    char args[160];
    std::snprintf(args, sizeof args, "video_size=%dx%d:pix_fmt=%d:time_base=1/1000000:pixel_aspect=%d/%d", f->width,
                  f->height, f->format, sar.num, sar.den);
    AVFilterInOut* outputs = avfilter_inout_alloc();
    AVFilterInOut* inputs = avfilter_inout_alloc();
    bool ok = outputs && inputs &&
              avfilter_graph_create_filter(&source_, avfilter_get_by_name("buffer"), "in", args, nullptr, graph_) >= 0 &&
              avfilter_graph_create_filter(&sink_, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr,
                                           graph_) >= 0;
    if (ok) {
        *outputs = AVFilterInOut{av_strdup("in"), source_, 0, nullptr};
        *inputs = AVFilterInOut{av_strdup("out"), sink_, 0, nullptr};
        ok = avfilter_graph_parse_ptr(graph_, chain.c_str(), &inputs, &outputs, nullptr) >= 0 &&
             avfilter_graph_config(graph_, nullptr) >= 0;
    }
    avfilter_inout_free(&inputs);
    avfilter_inout_free(&outputs);
    if (!ok) reset();
    return ok;
}

// One picture through the graph; the graph's filters give one picture for each taken.
const AVFrame* PictureLook::run(const AVFrame* f) {
    if (!out_ && !(out_ = av_frame_alloc())) return nullptr;
    av_frame_unref(out_);
    if (av_buffersrc_add_frame_flags(source_, const_cast<AVFrame*>(f), AV_BUFFERSRC_FLAG_KEEP_REF) < 0) return nullptr;
    if (av_buffersink_get_frame(sink_, out_) < 0) return nullptr;
    return out_;
}

const AVFrame* PictureLook::apply(const AVFrame* f) {
    if (!f) return f;
    bool hdr = isHdrTransfer(f->color_trc);
    if (!orientation_.any() && !hdr) return f;
    Input in = inputOf(f);
    if (!(in == made_)) prepare(in, f, hdr);
    const AVFrame* out = graph_ ? run(f) : nullptr;
    // An HDR picture shown unmapped is still the picture; one left on its side is not.
    return out ? out : orientation_.any() ? nullptr : f;
}

// The graph for pictures like f: the whole look, or the turn alone when the HDR mapping
// cannot be made here. Tried once for each kind of picture.
void PictureLook::prepare(const Input& in, const AVFrame* f, bool hdr) {
    if (!build(f, lookFilters(orientation_, hdr, f->color_primaries, f->colorspace)) && hdr) {
        std::fprintf(stderr, "plim: HDR pictures cannot be mapped to SDR here (libavfilter's zscale and tonemap);"
                             " they are shown unmapped\n");
        if (orientation_.any()) build(f, lookFilters(orientation_, false, 0, 0));
    }
    made_ = in;
}

}  // namespace plim::engine
