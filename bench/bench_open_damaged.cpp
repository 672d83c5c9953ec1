// Open time over the damaged-media set: every variant opened by the engine (open is
// synchronous, on the GUI thread in the program, so its worst case is how long a bad file can
// freeze the window). Prints the worst and the median, the worst against the 2 s goal, and
// the clean clips' median open measured in the same run as the reference.
// Usage: bench_open_damaged CLIPS_DIR WORK_DIR
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/Process.h"
#include "../tests/media/DamagedSet.h"
#include "platform/engine/play/Player.h"

using namespace plim::test;
using plim::engine::Player;

namespace {
double openSeconds(const std::string& path, int& err) {
    auto t0 = std::chrono::steady_clock::now();
    std::unique_ptr<Player> p;
    Player::Options o;
    o.audio = false;
    err = int(Player::open(path, p, o));
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return s;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}
}  // namespace

int main(int argc, char** argv) {
    plim::settleProcess();
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_open_damaged CLIPS_DIR WORK_DIR\n");
        return 2;
    }
    std::string clips = argv[1], work = argv[2];
    std::filesystem::create_directories(work);
    std::vector<double> clean, bad;
    for (const char* c : kClips) {
        int err;
        clean.push_back(openSeconds(clips + "/" + c, err));
    }
    auto all = variants();
    double worst = 0;
    std::string worstWhat;
    int refused = 0;
    for (size_t i = 0; i < all.size(); ++i) {
        std::mt19937 rnd(uint32_t(i * 7919 + 17));
        std::string path = work + "/v" + std::to_string(i) + all[i].ext;
        if (!writeVariant(all[i], damaged(all[i], rnd, clips), path)) continue;
        int err;
        double s = openSeconds(path, err);
        refused += err != 0;
        bad.push_back(s);
        if (s > worst) worst = s, worstWhat = all[i].clip + " " + name(all[i].damage);
        std::filesystem::remove(path);
    }
    std::printf("damaged set: %zu variants, %d refused, %zu opened\n", bad.size(), refused, bad.size() - size_t(refused));
    std::printf("open time: worst %.3f s (%s), median %.4f s; clean clips' median %.4f s\n", worst, worstWhat.c_str(),
                median(bad), median(clean));
    std::printf("ratio worst/goal %.2f (goal <= 1, 2 s), worst/clean median %.0f\n", worst / 2.0,
                worst / std::max(1e-6, median(clean)));
    return 0;
}
