#pragma once
// What the program settles with the desktop before and just after the toolkit starts.
#include <QApplication>

namespace plim {

// Before the QApplication exists. Plim places its own windows, which a Wayland compositor
// does not let a client do, so under a Wayland session it runs on X11 through XWayland unless
// the toolkit's platform was chosen explicitly. On a dense screen the toolkit scales every
// window by a whole number k, the desktop's dots per inch / 96 rounded down unless its
// fraction is .75 or more (168 and 192 dpi give 2, 288 gives 3); the forms layer's pixel is
// the toolkit's logical pixel, at dpi / k, so a dense screen shows the 96-dpi layout k times
// as large instead of one whose rows collide.
void prepareDesktop();

// The toolkit's own texts (message-box buttons, context menus) in Japanese, whatever the
// locale, from Qt's translations when they are installed.
void installTranslations(QApplication& app);

}  // namespace plim
