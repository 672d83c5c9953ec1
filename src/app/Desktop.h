#pragma once
// What the program settles with the desktop before and just after the toolkit starts.
#include <QApplication>

namespace plim {

// Before the QApplication exists. Plim places its own windows, which a Wayland compositor
// does not let a client do, so under a Wayland session it runs on X11 through XWayland unless
// the toolkit's platform was chosen explicitly. The forms layer's pixel is the screen's
// device pixel (its twips come from the density the desktop sets), so the toolkit must not
// scale the windows itself.
void prepareDesktop();

// The toolkit's own texts (message-box buttons, context menus) in Japanese, whatever the
// locale, from Qt's translations when they are installed.
void installTranslations(QApplication& app);

}  // namespace plim
