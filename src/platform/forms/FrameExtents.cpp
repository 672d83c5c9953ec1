#include "platform/forms/FrameExtents.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QWidget>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace plim::forms {
namespace {
constexpr int kWaitMs = 250;

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(r);
    return a;
}

// The CARDINAL[] or ATOM[] property of a window, empty when it is not set.
std::vector<uint32_t> property(xcb_connection_t* c, xcb_window_t w, xcb_atom_t prop, xcb_atom_t type) {
    xcb_get_property_reply_t* r = xcb_get_property_reply(c, xcb_get_property(c, 0, w, prop, type, 0, 1024), nullptr);
    std::vector<uint32_t> out;
    if (r && r->format == 32) {
        auto* v = static_cast<uint32_t*>(xcb_get_property_value(r));
        out.assign(v, v + xcb_get_property_value_length(r) / 4);
    }
    std::free(r);
    return out;
}
}  // namespace

std::optional<QMargins> requestFrameExtents(QWidget* window) {
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c) return std::nullopt;
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_atom_t request = atom(c, "_NET_REQUEST_FRAME_EXTENTS");
    xcb_atom_t extents = atom(c, "_NET_FRAME_EXTENTS");
    xcb_atom_t check = atom(c, "_NET_SUPPORTING_WM_CHECK");
    if (property(c, root, check, XCB_ATOM_WINDOW).empty()) return QMargins();  // no window manager
    auto supported = property(c, root, atom(c, "_NET_SUPPORTED"), XCB_ATOM_ATOM);
    if (std::find(supported.begin(), supported.end(), request) == supported.end()) return std::nullopt;

    xcb_window_t w = xcb_window_t(window->winId());
    xcb_client_message_event_t ev{};
    ev.response_type = XCB_CLIENT_MESSAGE;
    ev.format = 32;
    ev.window = w;
    ev.type = request;
    xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&ev));
    xcb_flush(c);
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    while (std::chrono::steady_clock::now() < until) {
        auto v = property(c, w, extents, XCB_ATOM_CARDINAL);
        if (v.size() == 4) {  // left right top bottom, device pixels: the toolkit's are k times larger
            double k = window->devicePixelRatio();
            auto px = [k](uint32_t d) { return int(std::lround(double(d) / k)); };
            return QMargins(px(v[0]), px(v[2]), px(v[1]), px(v[3]));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    return std::nullopt;
}

}  // namespace plim::forms
