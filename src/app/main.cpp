// The plim executable: the toolkit, the MCI service, then the start-up procedure.
#include <QApplication>

#include "app/Module1.h"
#include "media/MciChannel.h"
#include "platform/mci/MciService.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setApplicationName("Plim");
    plim::media::installService(plim::mci::createService());
    plim::Module1::Main();
    return app.exec();
}
