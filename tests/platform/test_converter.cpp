// BgraConverter at every width: every column right, and not one byte written outside the
// destination. libswscale is not instrumented, so AddressSanitizer cannot see its writes:
// each destination here lies between guard zones that are checked after the conversion.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/display/BgraConverter.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

using namespace plim::engine;
using namespace plim::display;

namespace {

constexpr size_t kGuard = 4096;
constexpr uint8_t kGuardByte = 0xA5;

// A picture of that size and format: a smooth gradient in every plane, other in each.
VideoFrame picture(int w, int h, AVPixelFormat fmt) {
    AVFrame* f = av_frame_alloc();
    f->width = w;
    f->height = h;
    f->format = fmt;
    if (av_frame_get_buffer(f, 0) < 0) {
        av_frame_free(&f);
        return {};
    }
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(fmt);
    bool pal = d->flags & AV_PIX_FMT_FLAG_PAL;
    for (int p = 0; p < 4 && f->data[p]; ++p) {
        int rows = pal && p == 1 ? 1 : (p == 1 || p == 2) ? AV_CEIL_RSHIFT(h, d->log2_chroma_h) : h;
        int bytes = pal && p == 1 ? 1024 : f->linesize[p];
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < bytes; ++x)
                f->data[p][size_t(y) * f->linesize[p] + x] = uint8_t(16 + (x + y) * 200 / (bytes + rows) + 10 * p);
    }
    VideoFrame vf;
    vf.width = w;
    vf.height = h;
    vf.picture = std::shared_ptr<const AVFrame>(f, [](const AVFrame* p) {
        AVFrame* q = const_cast<AVFrame*>(p);
        av_frame_free(&q);
    });
    return vf;
}

// The library's own conversion into rows with room to spare for its blocks (the matrix the
// converter chooses, limited range, bicubic), as BGRA rows of stride bytes.
// Scaled to outW x outH when they are given.
std::vector<uint8_t> libraryConversion(const VideoFrame& vf, int stride, int outW = 0, int outH = 0) {
    const AVFrame* f = vf.picture.get();
    outW = outW ? outW : f->width;
    outH = outH ? outH : f->height;
    std::vector<uint8_t> out(size_t(stride) * (outH + 1));
    SwsContext* c = sws_getContext(f->width, f->height, AVPixelFormat(f->format), outW, outH,
                                   AV_PIX_FMT_BGRA, scalerFor(f->width, f->height, outW, outH), nullptr, nullptr, nullptr);
    int cs = chooseColorspace(AVCOL_SPC_UNSPECIFIED, f->width, f->height);
    sws_setColorspaceDetails(c, sws_getCoefficients(cs), 0, sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
    uint8_t* planes[4] = {out.data()};
    int strides[4] = {stride};
    sws_scale(c, f->data, f->linesize, 0, f->height, planes, strides);
    sws_freeContext(c);
    return out;
}

struct Converted {
    bool ok = false, guardsIntact = true;
    std::vector<uint8_t> pixels;  // width * 4 bytes a row
};

// Converts into a destination of exactly the picture's size (rows of width * 4 bytes), or
// of outW x outH when given, between two guard zones.
Converted convertGuarded(BgraConverter& conv, const VideoFrame& vf, int outW = 0, int outH = 0) {
    outW = outW ? outW : vf.width;
    outH = outH ? outH : vf.height;
    size_t size = size_t(outW) * outH * 4;
    std::vector<uint8_t> mem(size + 2 * kGuard, kGuardByte);
    Converted c;
    c.ok = conv.toBgra(vf, mem.data() + kGuard, outW * 4, outW, outH);
    for (size_t i = 0; i < kGuard; ++i)
        if (mem[i] != kGuardByte || mem[kGuard + size + i] != kGuardByte) c.guardsIntact = false;
    c.pixels.assign(mem.begin() + kGuard, mem.begin() + kGuard + size);
    return c;
}

const AVPixelFormat kFormats[] = {AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUV422P, AV_PIX_FMT_YUV444P, AV_PIX_FMT_YUV410P,
                                  AV_PIX_FMT_YUV411P, AV_PIX_FMT_YUYV422,  AV_PIX_FMT_NV12,    AV_PIX_FMT_BGR24,
                                  AV_PIX_FMT_PAL8,    AV_PIX_FMT_RGB555,   AV_PIX_FMT_GRAY8,   AV_PIX_FMT_BGR0};

std::vector<int> widths() {
    std::vector<int> w;
    for (int i = 1; i <= 48; ++i) w.push_back(i);
    for (int i : {63, 64, 65, 320, 321, 322, 426, 854, 1366, 1920}) w.push_back(i);
    return w;
}

TEST(Converter, EveryColumnRightAndNothingWrittenOutsideAtEveryWidth) {
    BgraConverter conv;
    for (AVPixelFormat fmt : kFormats)
        for (int w : widths())
            for (int h : {1, 2, 3, 4, 17, 64}) {
                VideoFrame vf = picture(w, h, fmt);
                ASSERT_TRUE(vf.valid());
                Converted got = convertGuarded(conv, vf);
                const char* name = av_get_pix_fmt_name(fmt);
                ASSERT_TRUE(got.ok) << name << " " << w << "x" << h;
                ASSERT_TRUE(got.guardsIntact) << name << " " << w << "x" << h << ": written outside the destination";
                int stride = (w + 64) * 4;
                std::vector<uint8_t> want = libraryConversion(vf, stride);
                for (int y = 0; y < h; ++y)
                    ASSERT_EQ(std::memcmp(&got.pixels[size_t(y) * w * 4], &want[size_t(y) * stride], size_t(w) * 4), 0)
                        << name << " " << w << "x" << h << " row " << y;
            }
}

// A picture too large for the converter's padded rows goes the library's exact way: still
// nothing outside, and the same picture within rounding.
TEST(Converter, PicturesTooLargeForPaddedRowsStayInside) {
    BgraConverter conv(0);
    for (AVPixelFormat fmt : {AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUV422P, AV_PIX_FMT_BGR24})
        for (int w : {1, 2, 7, 17, 322, 426, 854, 1366})
            for (int h : {1, 2, 3, 240}) {
                VideoFrame vf = picture(w, h, fmt);
                Converted got = convertGuarded(conv, vf);
                ASSERT_TRUE(got.ok && got.guardsIntact) << av_get_pix_fmt_name(fmt) << " " << w << "x" << h;
                int stride = (w + 64) * 4, far = 0;
                std::vector<uint8_t> want = libraryConversion(vf, stride);
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w * 4; ++x)
                        far += std::abs(int(got.pixels[size_t(y) * w * 4 + x]) - int(want[size_t(y) * stride + x])) > 12;
                EXPECT_EQ(far, 0) << av_get_pix_fmt_name(fmt) << " " << w << "x" << h;
            }
}

// Pictures shown smaller (or larger) than they are, converted and scaled in one pass: the
// library's own scaled picture, and nothing written outside, on both of the converter's ways.
TEST(Converter, ScaledPicturesStayInsideAndMatchTheLibrary) {
    struct Case {
        int w, h, outW, outH;
    };
    const Case cases[] = {{3840, 2160, 1913, 1076}, {1920, 1080, 1913, 1076}, {1920, 1080, 1912, 1075},
                          {640, 480, 321, 241},     {320, 240, 17, 13},       {322, 240, 640, 477},
                          {17, 9, 1, 1},            {1366, 768, 1280, 720}};
    for (size_t scratch : {BgraConverter::kDefaultMaxScratchBytes, size_t(0)}) {
        BgraConverter conv(scratch);
        for (const Case& k : cases) {
            VideoFrame vf = picture(k.w, k.h, AV_PIX_FMT_YUV420P);
            Converted got = convertGuarded(conv, vf, k.outW, k.outH);
            std::string what = std::to_string(k.w) + "x" + std::to_string(k.h) + " to " + std::to_string(k.outW) + "x" +
                               std::to_string(k.outH) + (scratch ? "" : " (exact way)");
            ASSERT_TRUE(got.ok && got.guardsIntact) << what;
            int stride = (k.outW + 64) * 4, far = 0;
            std::vector<uint8_t> want = libraryConversion(vf, stride, k.outW, k.outH);
            for (int y = 0; y < k.outH; ++y)
                for (int x = 0; x < k.outW * 4; ++x)
                    far += std::abs(int(got.pixels[size_t(y) * k.outW * 4 + x]) - int(want[size_t(y) * stride + x])) > 12;
            EXPECT_EQ(far, 0) << what;
        }
    }
    BgraConverter conv;
    VideoFrame vf = picture(64, 64, AV_PIX_FMT_YUV420P);
    std::vector<uint8_t> mem(64);
    for (auto [w, h] : {std::pair{0, 10}, {10, -1}, {20000, 10}})
        EXPECT_FALSE(conv.toBgra(vf, mem.data(), 64 * 4, w, h)) << w << "x" << h << " is refused";
}

}  // namespace
