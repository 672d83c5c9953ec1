#include "app/Desktop.h"

#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace plim {

void prepareDesktop() {
    if (qEnvironmentVariableIsSet("WAYLAND_DISPLAY") && qEnvironmentVariableIsSet("DISPLAY") &&
        !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    // The scale comes from the desktop's density alone, as a whole number: the toolkit's own
    // switches and factors would make it another one, or a fraction.
    for (const char* name : {"QT_ENABLE_HIGHDPI_SCALING", "QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS",
                             "QT_SCALE_FACTOR_ROUNDING_POLICY", "QT_USE_PHYSICAL_DPI", "QT_DPI_ADJUSTMENT_POLICY"})
        qunsetenv(name);
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::RoundPreferFloor);
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
