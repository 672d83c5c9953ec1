// Soak: opens, plays for a second, seeks and closes a clip many times in one process, and
// prints the resident memory, threads and open file descriptors at the start, every 20th
// cycle and the end. Growth between them is the figure: a leak of memory, threads or
// descriptors shows as a ratio above 1. With --service, each cycle goes through the MCI
// service and a video window (the surface, its conversion and the display on X), as the
// program does; otherwise through the engine alone.
// Usage: bench_soak [--service] CLIP TIMES [CLIP TIMES ...]
#include <dirent.h>
#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include <QApplication>
#include <QElapsedTimer>
#include <QWidget>

#include "app/Process.h"
#include "platform/forms/Handles.h"
#include "platform/mci/MciService.h"
#include "platform/engine/play/Player.h"

using plim::engine::Player;

namespace {
struct Sample {
    long rssKb = 0, threads = 0, fds = 0;
    // malloc's own count: bytes in use, and bytes it holds from the system (in use or free).
    double heapUsedMiB = 0, heapHeldMiB = 0;
};

Sample sample() {
    Sample s;
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") status >> s.rssKb;
        if (key == "Threads:") status >> s.threads;
    }
    struct mallinfo2 mi = mallinfo2();
    s.heapUsedMiB = double(mi.uordblks + mi.hblkhd) / 1048576.0;
    s.heapHeldMiB = double(mi.arena + mi.hblkhd) / 1048576.0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d)) ++s.fds;
        closedir(d);
        s.fds -= 3;  // ".", ".." and the descriptor of the listing itself
    }
    return s;
}

void print(const char* when, const Sample& s) {
    std::printf("  %-6s RSS %7.1f MiB  heap in use %6.1f of %6.1f MiB held  threads %3ld  fds %3ld\n", when,
                double(s.rssKb) / 1024.0, s.heapUsedMiB, s.heapHeldMiB, s.threads, s.fds);
}

// Runs the display for ms milliseconds, as the GUI thread does.
void display(Player& p, int ms) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        p.frameToShow(Player::nowUs());
        std::this_thread::sleep_for(std::chrono::milliseconds(4));
    }
}

// Runs the GUI thread's events for ms milliseconds.
void events(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 4);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

// One cycle as the program runs it: open into a window, play, seek, close.
int serviceCycle(plim::mci::MciService& svc, QWidget& host, const std::string& clip, int i) {
    char reply[64] = {};
    std::string open = "open \"" + clip + "\" alias m style child parent " + std::to_string(plim::forms::handleOf(&host));
    if (unsigned e = svc.sendString(open, nullptr, 0, 0)) return int(e);
    svc.sendString("play m", nullptr, 0, 0);
    events(1000);
    svc.sendString("status m length", reply, sizeof reply, 0);
    long long to = std::atoll(reply) / 7 * (i % 7);
    svc.sendString("seek m to " + std::to_string(to) + " wait", nullptr, 0, 0);
    events(60);
    svc.sendString("close m", nullptr, 0, 0);
    events(10);
    return 0;
}

int cycle(const std::string& clip, int i) {
    std::unique_ptr<Player> p;
    if (auto e = Player::open(clip, p); e != plim::engine::OpenError::None) return int(e);
    p->play(std::nullopt, std::nullopt);
    display(*p, 1000);
    p->seek((p->lengthUs() / 7) * (i % 7));
    display(*p, 60);
    return 0;
}
}  // namespace

int main(int argc, char** argv) {
    plim::settleProcess();
    const bool service = argc > 1 && std::string(argv[1]) == "--service";
    if (argc - service < 3 || (argc - service) % 2 == 0) {
        std::fprintf(stderr, "usage: bench_soak [--service] CLIP TIMES [CLIP TIMES ...]\n");
        return 2;
    }
    std::unique_ptr<QApplication> app;
    std::unique_ptr<QWidget> host;
    std::shared_ptr<plim::mci::MciService> svc;
    if (service) {  // the engine alone runs without a display
        app = std::make_unique<QApplication>(argc, argv);
        host = std::make_unique<QWidget>();
        host->resize(1920, 1080);
        host->show();
        svc = plim::mci::createService();
    }
    auto run = [&](const std::string& clip, int i) { return service ? serviceCycle(*svc, *host, clip, i) : cycle(clip, i); };
    for (int a = 1 + service; a + 1 < argc; a += 2) {
        std::string clip = argv[a];
        int times = std::atoi(argv[a + 1]);
        std::printf("soak%s: %s, %d cycles of open, play 1 s, seek, close\n", service ? " through the service" : "",
                    clip.c_str(), times);
        if (int e = run(clip, 0)) {  // warm-up: libraries and the audio device loaded once
            std::fprintf(stderr, "open failed: %d\n", e);
            return 1;
        }
        Sample start = sample(), settled = start;
        print("start", start);
        // Every 20th cycle, so that a slow climb shows as such; the growth that counts is from
        // cycle 20 on, once the allocator has its working set.
        for (int i = 1; i <= times; ++i) {
            run(clip, i);
            if (i % 20 == 0 && i < times) {
                Sample s = sample();
                if (i == 20) settled = s;
                print(("c" + std::to_string(i)).c_str(), s);
            }
        }
        Sample end = sample();
        print("end", end);
        std::printf("  growth end/start: RSS %.2f, threads %+ld, fds %+ld; RSS from cycle 20 to the end %+.1f MiB\n",
                    double(end.rssKb) / double(start.rssKb), end.threads - start.threads, end.fds - start.fds,
                    double(end.rssKb - settled.rssKb) / 1024.0);
    }
    return 0;
}
