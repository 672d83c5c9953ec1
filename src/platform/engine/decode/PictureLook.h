#pragma once
// The picture as its maker meant it to be seen on an ordinary (SDR, BT.709) screen: turned
// upright as the stream's display matrix says, and HDR video (PQ or HLG transfer) mapped to
// SDR, its reference white (203 cd/m2) at SDR white and the highlights above it rolled off.
// libavfilter does the work (transpose/hflip/vflip; zscale and tonemap), through the filter
// plug-in, loaded with the first picture that needs it. Pictures that need neither pass
// through untouched, so every other file is shown exactly as decoded and never loads it.
// One PictureLook per thread that uses it (the video thread).
#include <cstdint>
#include <memory>
#include <string>

#include "platform/engine/base/Types.h"
#include "platform/engine/decode/PictureStage.h"

struct AVFrame;

namespace plim::engine {

class FilterGraph;

// Whether pictures of that transfer (AVColorTransferCharacteristic) are HDR.
bool isHdrTransfer(int transfer);
// The libavfilter chain that gives a picture its look; empty when it needs none. primaries
// and matrix: the picture's tags (AVColorPrimaries, AVColorSpace), read for HDR only.
std::string lookFilters(Orientation o, bool hdr, int primaries, int matrix);

class PictureLook {
public:
    explicit PictureLook(Orientation o = {});
    ~PictureLook();
    PictureLook(const PictureLook&) = delete;
    PictureLook& operator=(const PictureLook&) = delete;

    // The picture to show for f: f itself when it needs nothing done; otherwise a picture of
    // the look's own, valid until the next call. nullptr when a picture that must be turned
    // cannot be (no memory): showing it on its side would be a wrong picture. When only the
    // HDR mapping fails, or the filter plug-in cannot be loaded at all, f is shown as it is.
    const AVFrame* apply(const AVFrame* f);

private:
    // What the graph was made for; a picture that differs gets a new one.
    struct Input {
        int width = 0, height = 0, format = -1, transfer = -1, primaries = -1, matrix = -1, range = -1;
        bool operator==(const Input&) const = default;
    };
    static Input inputOf(const AVFrame* f);
    void prepare(const Input& in, const AVFrame* f, bool hdr);
    const AVFrame* run(const AVFrame* f);

    Orientation orientation_;
    Input made_;  // the pictures the graph was made (or found impossible) for
    std::unique_ptr<FilterGraph> graph_;
    AVFrame* out_ = nullptr;
};

// The look as a stage of the picture chain. A picture that cannot be given its look goes on
// with no frame (nullptr), so that whoever makes it a frame to show knows one is missing.
class LookStage final : public PictureStage {
public:
    explicit LookStage(Orientation o) : look_(o) {}
    // The picture to show for f (PictureLook::apply), for a stage that keeps pictures aside.
    const AVFrame* apply(const AVFrame* f) { return look_.apply(f); }
    void begin(const PictureRun&) override {}
    void push(const Picture& p, const Out& out) override {
        // Stages after this one only read the look's picture.
        out(Picture{const_cast<AVFrame*>(look_.apply(p.frame)), p.ptsUs, p.sar, p.target});
    }
    void finish(const Out&) override {}

private:
    PictureLook look_;
};

}  // namespace plim::engine
