#include "platform/display/ShmImage.h"

#include <sys/ipc.h>
#include <sys/shm.h>

#include <QGuiApplication>
#include <cstdlib>
#include <cstring>

#include "platform/engine/base/FreshPages.h"

namespace plim::display {

namespace {
xcb_connection_t* appConnection() {
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

// The visual's description, or nullptr.
const xcb_visualtype_t* visualOf(const xcb_setup_t* setup, xcb_visualid_t id) {
    for (auto r = xcb_setup_roots_iterator(setup); r.rem; xcb_screen_next(&r))
        for (auto d = xcb_screen_allowed_depths_iterator(r.data); d.rem; xcb_depth_next(&d))
            for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v))
                if (v.data->visual_id == id) return v.data;
    return nullptr;
}

bool fourBytesPerPixel(const xcb_setup_t* setup, uint8_t depth) {
    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f))
        if (f.data->depth == depth) return f.data->bits_per_pixel == 32;
    return false;
}
}  // namespace

std::unique_ptr<ShmImage> ShmImage::create() {
    xcb_connection_t* c = appConnection();
    if (!c || xcb_connection_has_error(c)) return nullptr;
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_shm_id);
    if (!ext || !ext->present) return nullptr;
    return std::unique_ptr<ShmImage>(new ShmImage(c));
}

ShmImage::~ShmImage() {
    if (appConnection() != c_ || xcb_connection_has_error(c_)) {  // the server is gone
        if (seg_.mem) shmdt(seg_.mem);
        return;
    }
    release();
    if (gc_) xcb_free_gc(c_, gc_);
    xcb_flush(c_);
}

// The segment is marked for removal as soon as the server holds it, so none outlives the
// program, however it ends.
bool ShmImage::allocate(QSize size) {
    Segment& s = seg_;
    size_t bytes = size_t(size.width()) * size_t(size.height()) * 4;
    int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (id < 0) return false;
    void* mem = shmat(id, nullptr, 0);
    if (mem == reinterpret_cast<void*>(-1)) {
        shmctl(id, IPC_RMID, nullptr);
        return false;
    }
    s.mem = static_cast<uint8_t*>(mem);
    s.seg = xcb_generate_id(c_);
    xcb_generic_error_t* e = xcb_request_check(c_, xcb_shm_attach_checked(c_, s.seg, uint32_t(id), 1));
    shmctl(id, IPC_RMID, nullptr);
    if (e) {
        std::free(e);
        s.seg = 0;
        release();
        return false;
    }
    s.size = size;
    // Every page is made present now rather than while a frame is due.
    if (!engine::makePagesPresent(s.mem, bytes)) std::memset(s.mem, 0, bytes);
    return true;
}

void ShmImage::release() {
    settle();
    if (seg_.seg) xcb_shm_detach(c_, seg_.seg);
    if (seg_.mem) shmdt(seg_.mem);
    seg_ = Segment{};
}

// Returns once the server has read the last picture put.
void ShmImage::settle() {
    if (!seg_.pending) return;
    std::free(xcb_get_input_focus_reply(c_, seg_.done, nullptr));
    seg_.pending = false;
}

uint8_t* ShmImage::begin(QSize size) {
    if (broken_ || size.isEmpty() || xcb_connection_has_error(c_)) return nullptr;
    if (seg_.size != size) {
        release();
        if (!allocate(size)) {
            broken_ = true;
            return nullptr;
        }
    }
    settle();
    return seg_.mem;
}

bool ShmImage::fits(xcb_window_t window) {
    if (window == checked_) return checkedDepth_ != 0;
    checked_ = window;
    checkedDepth_ = 0;
    auto* geo = xcb_get_geometry_reply(c_, xcb_get_geometry(c_, window), nullptr);
    auto* attr = xcb_get_window_attributes_reply(c_, xcb_get_window_attributes(c_, window), nullptr);
    if (geo && attr) {
        const xcb_setup_t* setup = xcb_get_setup(c_);
        const xcb_visualtype_t* v = visualOf(setup, attr->visual);
        bool bgrx = v && v->red_mask == 0xff0000 && v->green_mask == 0xff00 && v->blue_mask == 0xff &&
                    (v->_class == XCB_VISUAL_CLASS_TRUE_COLOR || v->_class == XCB_VISUAL_CLASS_DIRECT_COLOR);
        if (bgrx && (geo->depth == 24 || geo->depth == 32) && fourBytesPerPixel(setup, geo->depth) &&
            setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST)
            checkedDepth_ = geo->depth;
    }
    std::free(geo);
    std::free(attr);
    return checkedDepth_ != 0;
}

bool ShmImage::put(xcb_window_t window, QPoint at) {
    Segment& s = seg_;
    if (!s.mem || !fits(window)) return false;
    if (!gc_ || gcDepth_ != checkedDepth_) {
        if (gc_) xcb_free_gc(c_, gc_);
        gc_ = xcb_generate_id(c_);
        uint32_t noExposures = 0;
        xcb_create_gc(c_, gc_, window, XCB_GC_GRAPHICS_EXPOSURES, &noExposures);
        gcDepth_ = checkedDepth_;
    }
    auto w = uint16_t(s.size.width()), h = uint16_t(s.size.height());
    xcb_shm_put_image(c_, window, gc_, w, h, 0, 0, w, h, int16_t(at.x()), int16_t(at.y()), checkedDepth_,
                      XCB_IMAGE_FORMAT_Z_PIXMAP, 0, s.seg, 0);
    s.done = xcb_get_input_focus(c_);
    s.pending = true;
    xcb_flush(c_);
    return true;
}

}  // namespace plim::display
