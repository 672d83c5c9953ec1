// The plim executable: the toolkit, the MCI service, then the start-up procedure; a file
// named on the command line (plim FILE, as a desktop's "Open with" runs it) then opens as a
// file chosen in the chooser would.
#include "app/Desktop.h"
#include "module1/Module1.h"
#include "app/Mpris.h"
#include "app/Process.h"
#include "app/QuitOnSignals.h"
#include "app/ScreenSaver.h"
#include "media/MciChannel.h"
#include "platform/mci/MciService.h"
#include "windows/Windows.h"

int main(int argc, char** argv) {
    plim::settleProcess();
    plim::prepareDesktop();  // before the toolkit starts: platform and pixel density
    QApplication app(argc, argv);
    app.setApplicationName("Plim");
    app.setDesktopFileName("jp.plim.Plim");
    plim::installTranslations(app);
    auto quit = [] { plim::MainFrm().ComEND_Click(); };
    plim::quitOnSignals(quit);
    plim::quitAtExit(quit);
    plim::media::installService(plim::mci::createService());
    plim::keepScreenOnWhilePlaying(&app);
    plim::offerMediaControls(&app);
    plim::Module1::Main();
    // The toolkit has taken its own options out of argv; the first one left is the file.
    if (argc > 1) plim::OpenVideoAt(argv[1]);
    return app.exec();
}
