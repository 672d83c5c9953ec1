// The floor for the display path: a minimal player of our own, the reference the benchmarks
// measure Plim against. libavformat and libavcodec with one decode thread, libswscale to BGRA
// straight into an MIT-SHM image, XShmPutImage when each frame is due; no sound, no queue, no
// second copy. Plays the file named on the command line to its end in a window of its size.
// Prints DROPPED=N (frames that came too late and were skipped).
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <chrono>
#include <cstdio>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace {
using Clock = std::chrono::steady_clock;

struct ShmWindow {
    Display* dpy = nullptr;
    ::Window win = 0;
    GC gc = nullptr;
    XImage* img = nullptr;
    XShmSegmentInfo shm{};

    bool open(int w, int h) {
        dpy = XOpenDisplay(nullptr);
        if (!dpy || !XShmQueryExtension(dpy)) return false;
        int s = DefaultScreen(dpy);
        win = XCreateSimpleWindow(dpy, RootWindow(dpy, s), 0, 0, unsigned(w), unsigned(h), 0, 0, 0);
        XMapWindow(dpy, win);
        gc = XCreateGC(dpy, win, 0, nullptr);
        img = XShmCreateImage(dpy, DefaultVisual(dpy, s), unsigned(DefaultDepth(dpy, s)), ZPixmap, nullptr, &shm,
                              unsigned(w), unsigned(h));
        if (!img) return false;
        shm.shmid = shmget(IPC_PRIVATE, size_t(img->bytes_per_line) * size_t(h), IPC_CREAT | 0600);
        shm.shmaddr = img->data = static_cast<char*>(shmat(shm.shmid, nullptr, 0));
        shm.readOnly = False;
        bool ok = XShmAttach(dpy, &shm);
        XSync(dpy, False);
        shmctl(shm.shmid, IPC_RMID, nullptr);
        return ok;
    }
    void show() {
        XShmPutImage(dpy, win, gc, img, 0, 0, 0, 0, unsigned(img->width), unsigned(img->height), False);
        XSync(dpy, False);
    }
    ~ShmWindow() {
        if (img) {
            XShmDetach(dpy, &shm);
            XDestroyImage(img);
            shmdt(shm.shmaddr);
        }
        if (dpy) XCloseDisplay(dpy);
    }
};
}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: min_player FILE\n");
        return 2;
    }
    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, argv[1], nullptr, nullptr) < 0 || avformat_find_stream_info(fmt, nullptr) < 0) return 1;
    int vi = av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (vi < 0) return 1;
    AVStream* st = fmt->streams[vi];
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(ctx, st->codecpar);
    ctx->thread_count = 1;
    if (avcodec_open2(ctx, codec, nullptr) < 0) return 1;
    ShmWindow w;
    if (!w.open(ctx->width, ctx->height)) return 1;
    SwsContext* sws = nullptr;
    AVPacket* pkt = av_packet_alloc();
    AVFrame* f = av_frame_alloc();
    long dropped = 0;
    Clock::time_point start{};
    int64_t firstPts = AV_NOPTS_VALUE;
    auto present = [&] {
        int64_t pts = f->best_effort_timestamp;
        if (firstPts == AV_NOPTS_VALUE) firstPts = pts, start = Clock::now();
        auto due = start + std::chrono::microseconds(av_rescale_q(pts - firstPts, st->time_base, AVRational{1, 1000000}));
        if (Clock::now() > due + std::chrono::milliseconds(40)) return void(++dropped);
        sws = sws_getCachedContext(sws, f->width, f->height, AVPixelFormat(f->format), f->width, f->height,
                                   AV_PIX_FMT_BGRA, SWS_BICUBIC, nullptr, nullptr, nullptr);
        uint8_t* dst[4] = {reinterpret_cast<uint8_t*>(w.img->data)};
        int stride[4] = {w.img->bytes_per_line};
        sws_scale(sws, f->data, f->linesize, 0, f->height, dst, stride);
        std::this_thread::sleep_until(due);
        w.show();
    };
    while (av_read_frame(fmt, pkt) >= 0) {
        if (pkt->stream_index == vi && avcodec_send_packet(ctx, pkt) >= 0)
            while (avcodec_receive_frame(ctx, f) >= 0) present();
        av_packet_unref(pkt);
    }
    avcodec_send_packet(ctx, nullptr);
    while (avcodec_receive_frame(ctx, f) >= 0) present();
    std::printf("DROPPED=%ld\n", dropped);
    sws_freeContext(sws);
    av_frame_free(&f);
    av_packet_free(&pkt);
    avcodec_free_context(&ctx);
    avformat_close_input(&fmt);
    return 0;
}
