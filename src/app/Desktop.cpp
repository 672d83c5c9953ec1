#include "app/Desktop.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace plim {

void prepareDesktop() {
    if (qEnvironmentVariableIsSet("WAYLAND_DISPLAY") && qEnvironmentVariableIsSet("DISPLAY") &&
        !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    qunsetenv("QT_SCALE_FACTOR");
    qunsetenv("QT_SCREEN_SCALE_FACTORS");
}

void installTranslations(QApplication& app) {
    const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const char* name : {"qtbase", "qt"}) {
        auto* t = new QTranslator(&app);
        if (t->load(QLocale(QLocale::Japanese, QLocale::Japan), name, "_", dir)) {
            app.installTranslator(t);
            return;
        }
        delete t;
    }
}

}  // namespace plim
