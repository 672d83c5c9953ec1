// Soak: opens, plays for a second, seeks and closes a clip many times in one process, and
// prints the resident memory, threads and open file descriptors at the start, the middle and
// the end. Growth between them is the figure: a leak of memory, threads or descriptors shows
// as a ratio above 1. Usage: bench_soak CLIP TIMES [CLIP TIMES ...]
#include <dirent.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "platform/mci/engine/play/Player.h"

using plim::engine::Player;

namespace {
struct Sample {
    long rssKb = 0, threads = 0, fds = 0;
};

Sample sample() {
    Sample s;
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") status >> s.rssKb;
        if (key == "Threads:") status >> s.threads;
    }
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d)) ++s.fds;
        closedir(d);
        s.fds -= 3;  // ".", ".." and the descriptor of the listing itself
    }
    return s;
}

void print(const char* when, const Sample& s) {
    std::printf("  %-6s RSS %7.1f MiB  threads %3ld  fds %3ld\n", when, double(s.rssKb) / 1024.0, s.threads, s.fds);
}

// Runs the display for ms milliseconds, as the GUI thread does.
void display(Player& p, int ms) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        p.frameToShow(Player::nowUs());
        std::this_thread::sleep_for(std::chrono::milliseconds(4));
    }
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
    if (argc < 3 || argc % 2 == 0) {
        std::fprintf(stderr, "usage: bench_soak CLIP TIMES [CLIP TIMES ...]\n");
        return 2;
    }
    for (int a = 1; a + 1 < argc; a += 2) {
        std::string clip = argv[a];
        int times = std::atoi(argv[a + 1]);
        std::printf("soak: %s, %d cycles of open, play 1 s, seek, close\n", clip.c_str(), times);
        if (int e = cycle(clip, 0)) {  // warm-up: libraries and the audio device loaded once
            std::fprintf(stderr, "open failed: %d\n", e);
            return 1;
        }
        Sample start = sample(), settled = start;
        print("start", start);
        // Every 20th cycle, so that a slow climb shows as such; the growth that counts is from
        // cycle 20 on, once the allocator has its working set.
        for (int i = 1; i <= times; ++i) {
            cycle(clip, i);
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
