// The frame save of a 1080p video: from OK to the file written, against writing the same
// number of bytes with one plain write, in the same run.
#include <QApplication>
#include <QElapsedTimer>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "app/Process.h"
#include "module1/Module1.h"
#include "media/MciChannel.h"
#include "platform/forms/Interaction.h"
#include "platform/mci/MciService.h"
#include "windows/Windows.h"

using namespace plim;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
    plim::settleProcess();
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_capture HD_VIDEO\n");
        return 2;
    }
    media::installService(mci::createService());
    forms::setMsgBoxHandler([](const std::string&, int, const std::optional<std::string>&) { return forms::vbOK; });
    Module1::Main();
    Module1::MediaPath = fs::absolute(argv[1]).string();
    Module1::OpenMedia();
    VFrm().Show();
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 500) app.processEvents();
    fs::path dir = fs::temp_directory_path() / "plim-bench-capture";
    fs::create_directories(dir);
    Module1::DialogMode = 2;
    DiaLog().Dir1.setPath(dir.string());
    DiaLog().Text1.setText("frame");

    double save = 1e9, plain = 1e9;
    for (int i = 0; i < 5; ++i) {
        auto t0 = Clock::now();
        DiaLog().com_OK_Click();
        save = std::min(save, std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        auto bytes = fs::file_size(dir / "frame.bmp");
        std::vector<char> data(bytes, 7);
        t0 = Clock::now();
        {
            std::ofstream out(dir / "plain.bin", std::ios::binary);
            out.write(data.data(), std::streamsize(data.size()));
        }
        plain = std::min(plain, std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    std::printf("capture: OK to file written %.1f ms, one plain write of the same %ju bytes %.1f ms, ratio %.1f\n", save,
                static_cast<uintmax_t>(fs::file_size(dir / "frame.bmp")), plain, save / plain);
    fs::remove_all(dir);
    std::fflush(stdout);
    forms::End();
}
