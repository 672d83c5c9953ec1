#pragma once
// Puts pictures straight into an X window through MIT-SHM shared memory. The toolkit's own
// path converts into its backing store and, before each paint, waits for the X server to
// finish reading the previous one: a round trip per frame. Here the shared image is written
// again only once the server has answered a request sent right after its last put, so the
// server never reads a picture that is half written; a frame later that answer has nearly
// always arrived, and nothing waits. GUI thread only.
#include <xcb/xcb.h>
#include <xcb/shm.h>

#include <QPoint>
#include <QSize>
#include <cstdint>
#include <memory>

namespace plim::display {

class ShmImage {
public:
    // The shared image for the application's X connection; nullptr when there is none or the
    // server has no MIT-SHM.
    static std::unique_ptr<ShmImage> create();
    // Whether pictures shown at that size are worth a shared image: up to 16 MiB of one
    // (2560x1600). What it saves a frame (the toolkit's paint pass and a round trip) is a
    // seventh of the player's and the server's work at 320x240, and too little to measure
    // beside the conversion at 4K, where the image would be a second 33 MB copy of the
    // window next to the backing store.
    static constexpr qsizetype kMaxBytes = qsizetype(16) << 20;
    static bool suits(QSize size) { return qsizetype(size.width()) * size.height() * 4 <= kMaxBytes; }
    ~ShmImage();
    ShmImage(const ShmImage&) = delete;
    ShmImage& operator=(const ShmImage&) = delete;

    // Memory for the next picture: size.height() rows of stride() bytes, 32-bit pixels in
    // the byte order B, G, R, X. nullptr when no shared memory can be had (a remote server,
    // or the system's limit), and from then on for good. Valid until put().
    uint8_t* begin(QSize size);
    int stride() const { return seg_.size.width() * 4; }
    // Makes the memory for pictures of size ready ahead of the first of them (a 4K segment
    // takes the server's attach and a fault per page: longer than a frame lasts). false when
    // none can be had. Does nothing when it is ready already.
    bool reserve(QSize size) { return seg_.size == size || begin(size); }
    // true when reserve(size) has work to do: the memory is of another size, and shared
    // memory has not been found wanting.
    bool needsReserve(QSize size) const { return !broken_ && seg_.size != size; }
    // true when window takes such pixels as they are (its depth and layout); one round trip
    // the first time a window is asked about.
    bool fits(xcb_window_t window);
    // Shows the picture written since begin() with its top left at `at` in window, which
    // fits. false, drawing nothing, when there is no picture.
    bool put(xcb_window_t window, QPoint at);

private:
    struct Segment {
        xcb_shm_seg_t seg = 0;
        uint8_t* mem = nullptr;
        QSize size;
        bool pending = false;                 // `done` was asked and not yet read
        xcb_get_input_focus_cookie_t done{};  // answered once the server is past the put
    };
    explicit ShmImage(xcb_connection_t* c) : c_(c) {}
    bool allocate(QSize size);
    void release();
    void settle();

    xcb_connection_t* c_;
    Segment seg_;
    bool broken_ = false;
    xcb_gcontext_t gc_ = 0;
    uint8_t gcDepth_ = 0;
    xcb_window_t checked_ = 0;  // the last window asked about, and its depth (0: unfit)
    uint8_t checkedDepth_ = 0;
};

}  // namespace plim::display
