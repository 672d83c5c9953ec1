// How pictures are turned upright, HDR mapped to SDR and interlaced pictures made whole: the
// display matrix read as the turn a viewer must make, each of the eight turns and mirrorings
// checked pixel by pixel against the turn done by hand, one picture out for each picture in,
// and pictures that need nothing passed through untouched.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/display.h>
#include <libavutil/frame.h>
}

#include "platform/engine/base/Orientation.h"
#include "platform/engine/decode/Deinterlacer.h"
#include "platform/engine/decode/PictureLook.h"

using namespace plim::engine;

namespace {

struct MatrixCase {
    double clockwise;  // as av_display_rotation_set takes it
    bool hflip, vflip;  // then as av_display_matrix_flip applies them
    Orientation want;
};

TEST(PictureLook, TheDisplayMatrixSaysHowToTurn) {
    const MatrixCase cases[] = {
        {0, false, false, {}},
        {-90, false, false, {270, false}},  // what "rotate=90" writes; ffmpeg turns it counterclockwise
        {90, false, false, {90, false}},
        {180, false, false, {180, false}},
        {-180, false, false, {180, false}},
        {89.8, false, false, {90, false}},  // rounding in the file
        {0, true, false, {0, true}},
        {0, false, true, {180, true}},
        {0, true, true, {180, false}},
        {-90, true, false, {270, true}},
        {-90, false, true, {90, true}},
        {45, false, false, {}},  // not a quarter turn: shown as stored
    };
    for (const auto& c : cases) {
        int32_t m[9];
        av_display_rotation_set(m, c.clockwise);
        av_display_matrix_flip(m, c.hflip, c.vflip);
        Orientation got = orientationOf(m);
        EXPECT_EQ(got, c.want) << c.clockwise << " hflip " << c.hflip << " vflip " << c.vflip << ": got "
                               << got.clockwise << (got.mirrored ? " mirrored" : "");
    }
    EXPECT_EQ(orientationOf(static_cast<const int32_t*>(nullptr)), Orientation{});
}

using Grey = std::vector<std::vector<int>>;  // rows of pixels

Grey turnClockwise(const Grey& g) {
    Grey out(g[0].size(), std::vector<int>(g.size()));
    for (size_t y = 0; y < out.size(); ++y)
        for (size_t x = 0; x < out[0].size(); ++x) out[y][x] = g[g.size() - 1 - x][y];
    return out;
}

Grey byHand(Grey g, Orientation o) {
    for (int k = 0; k < o.clockwise / 90; ++k) g = turnClockwise(g);
    if (o.mirrored)
        for (auto& row : g) row = std::vector<int>(row.rbegin(), row.rend());
    return g;
}

struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;

FramePtr greyFrame(const Grey& g) {
    FramePtr f(av_frame_alloc());
    f->format = AV_PIX_FMT_GRAY8;
    f->width = int(g[0].size());
    f->height = int(g.size());
    EXPECT_GE(av_frame_get_buffer(f.get(), 0), 0);
    for (int y = 0; y < f->height; ++y)
        for (int x = 0; x < f->width; ++x) f->data[0][y * f->linesize[0] + x] = uint8_t(g[y][x]);
    return f;
}

Grey greyOf(const AVFrame* f) {
    Grey g(f->height, std::vector<int>(f->width));
    for (int y = 0; y < f->height; ++y)
        for (int x = 0; x < f->width; ++x) g[y][x] = f->data[0][y * f->linesize[0] + x];
    return g;
}

TEST(PictureLook, EveryTurnAndMirrorMovesThePixelsAsByHand) {
    const Grey stored = {{10, 20, 30, 40}, {50, 60, 70, 80}, {90, 100, 110, 120}};
    FramePtr f = greyFrame(stored);
    for (int clockwise : {0, 90, 180, 270})
        for (bool mirrored : {false, true}) {
            Orientation o{clockwise, mirrored};
            PictureLook look(o);
            const AVFrame* out = look.apply(f.get());
            ASSERT_NE(out, nullptr) << clockwise << " " << mirrored;
            EXPECT_EQ(o.any(), out != f.get()) << "a picture that needs nothing is passed on as it is";
            EXPECT_EQ(greyOf(out), byHand(stored, o)) << "turned " << clockwise << (mirrored ? " mirrored" : "");
            EXPECT_EQ(o.swapsSides(), out->width == f->height && out->width != f->width);
        }
}

TEST(PictureLook, OnlyHdrIsMapped) {
    struct Case {
        AVColorTransferCharacteristic transfer;
        bool mapped;
    };
    const Case cases[] = {{AVCOL_TRC_BT709, false},         {AVCOL_TRC_UNSPECIFIED, false}, {AVCOL_TRC_SMPTE170M, false},
                          {AVCOL_TRC_BT2020_10, false},     {AVCOL_TRC_SMPTE2084, true},    {AVCOL_TRC_ARIB_STD_B67, true}};
    for (const auto& c : cases) {
        FramePtr f(av_frame_alloc());
        f->format = AV_PIX_FMT_YUV420P10LE;
        f->width = 64;
        f->height = 36;
        f->color_trc = c.transfer;
        f->color_primaries = AVCOL_PRI_BT2020;
        f->colorspace = AVCOL_SPC_BT2020_NCL;
        f->color_range = AVCOL_RANGE_MPEG;
        ASSERT_GE(av_frame_get_buffer(f.get(), 0), 0);
        for (int p = 0; p < 3; ++p)  // mid grey
            for (int y = 0; y < (p ? 18 : 36); ++y)
                for (int x = 0; x < (p ? 32 : 64); ++x)
                    reinterpret_cast<uint16_t*>(f->data[p] + y * f->linesize[p])[x] = 512;
        PictureLook look;
        const AVFrame* out = look.apply(f.get());
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(isHdrTransfer(c.transfer), c.mapped);
        EXPECT_EQ(out != f.get(), c.mapped) << "transfer " << c.transfer;
        if (c.mapped) {
            EXPECT_EQ(out->format, AV_PIX_FMT_GBRP) << "8-bit RGB for the screen";
        }
        EXPECT_EQ(out->width, 64);
    }
}

// Two fields of one grey each, woven: every other row differs, as a moving edge leaves it.
FramePtr wovenFrame(int width, int height, int top, int bottom, bool interlaced) {
    Grey g(static_cast<size_t>(height), std::vector<int>(static_cast<size_t>(width)));
    for (int y = 0; y < height; ++y) g[size_t(y)].assign(size_t(width), y % 2 ? bottom : top);
    FramePtr f = greyFrame(g);
    f->interlaced_frame = interlaced;
    f->top_field_first = 1;
    return f;
}

// What is left of two fields woven with motion: the mean distance of the odd rows from the
// mean of the rows on either side.
double combOf(const AVFrame* f) {
    double sum = 0;
    int n = 0;
    for (int y = 1; y + 1 < f->height; y += 2)
        for (int x = 0; x < f->width; ++x, ++n) {
            const uint8_t* p = f->data[0] + x;
            sum += std::abs(p[y * f->linesize[0]] - (p[(y - 1) * f->linesize[0]] + p[(y + 1) * f->linesize[0]]) / 2.0);
        }
    return n ? sum / n : 0;
}

TEST(Deinterlacer, OnePictureForEachTakenTheProgressiveOnesUntouched) {
    struct Case {
        std::string pictures;  // I: interlaced, P: progressive; s: a picture of another size
        bool fromStart;
        std::string out;  // the pictures that come out, by their place in `pictures`
    };
    const Case cases[] = {
        {"PPPP", true, "0123"},
        {"IIII", true, "0123"},
        {"PIPI", true, "0123"},
        {"IIII", false, "123"},  // after a seek: the first was made without the one before
        {"PIII", false, "0123"},  // a progressive first picture needs no neighbour
        {"IIsI", true, "0123"},  // a picture of another size begins another graph
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pictures + (c.fromStart ? " from the start" : " after a seek"));
        std::vector<FramePtr> in;
        for (size_t i = 0; i < c.pictures.size(); ++i) {
            bool small = c.pictures[i] == 's';
            in.push_back(wovenFrame(small ? 32 : 64, small ? 18 : 36, 40 + 20 * int(i), 200 - 20 * int(i),
                                    c.pictures[i] != 'P'));
        }
        std::string got;
        Deinterlacer d;
        d.begin(c.fromStart);
        auto out = [&](AVFrame* f, int64_t ptsUs) {
            size_t i = size_t(ptsUs / 40000);
            got += char('0' + i);
            ASSERT_LT(i, in.size());
            EXPECT_EQ(f->width, in[i]->width);
            if (c.pictures[i] == 'P') {
                EXPECT_EQ(greyOf(f), greyOf(in[i].get())) << "picture " << i << " untouched";
            } else if (c.pictures.find('s') == std::string::npos) {  // a picture alone shows no motion
                EXPECT_LT(combOf(f), combOf(in[i].get()) / 4) << "picture " << i << " made whole";
            }
        };
        for (size_t i = 0; i < in.size(); ++i) d.push(in[i].get(), int64_t(i) * 40000, out);
        d.finish(out);
        EXPECT_EQ(got, c.out);
    }
}

}  // namespace
