// The plim executable: the toolkit, the MCI service, then the start-up procedure.
#include "app/Desktop.h"
#include "app/Module1.h"
#include "app/QuitOnSignals.h"
#include "media/MciChannel.h"
#include "platform/mci/MciService.h"
#include "windows/Windows.h"

int main(int argc, char** argv) {
    plim::prepareDesktop();  // before the toolkit starts: platform and pixel density
    QApplication app(argc, argv);
    app.setApplicationName("Plim");
    app.setDesktopFileName("jp.plim.Plim");
    plim::installTranslations(app);
    auto quit = [] { plim::MainFrm().ComEND_Click(); };
    plim::quitOnSignals(quit);
    plim::quitAtExit(quit);
    plim::media::installService(plim::mci::createService());
    plim::Module1::Main();
    return app.exec();
}
