#pragma once
// The frame a window manager will draw around a window that has not been mapped yet, asked
// for with the EWMH request _NET_REQUEST_FRAME_EXTENTS, so that outer sizes and positions
// are right before a window is first shown. GUI thread only.
#include <QMargins>
#include <optional>

class QWidget;

namespace plim::forms {

// nullopt when the platform is not X11 or the window manager does not answer in time;
// zero margins when no window manager runs.
std::optional<QMargins> requestFrameExtents(QWidget* window);

}  // namespace plim::forms
