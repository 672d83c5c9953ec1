#pragma once
// Shared by the test programs: where the clips are, and an independent reference decode
// (the FFmpeg command-line tool) to compare shown frames with.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace plim::test {

inline std::string clip(const std::string& name) { return std::string(PLIM_CLIPS_DIR) + "/" + name; }
inline std::string sharedMedia() { return PLIM_SHARED_MEDIA; }
inline bool haveSharedMedia() { return std::filesystem::is_directory(sharedMedia()); }

// Frame number k of the file, decoded by ffmpeg into BGRA rows of width*4 bytes. HD sizes
// are converted with BT.709, as the engine does for files that do not say.
inline std::vector<uint8_t> referenceFrame(const std::string& path, int k, int width, int height) {
    std::string matrix = (width >= 1280 || height > 576) ? ":in_color_matrix=bt709" : "";
    std::string cmd = "ffmpeg -v error -i '" + path + "' -vf \"select=eq(n\\," + std::to_string(k) +
                      "),scale=flags=bicubic" + matrix + "\" -frames:v 1 -f rawvideo -pix_fmt bgra - 2>/dev/null";
    std::vector<uint8_t> out(size_t(width) * height * 4);
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return {};
    size_t got = fread(out.data(), 1, out.size(), p);
    pclose(p);
    if (got != out.size()) return {};
    return out;
}

// The index of the frame a reference decode shows at tUs from the first frame: the last
// frame whose time is not after it.
inline int referenceIndexAt(const std::string& path, int64_t tUs) {
    std::string cmd = "ffprobe -v error -select_streams v:0 -show_entries frame=best_effort_timestamp_time -of csv=p=0 '" +
                      path + "' 2>/dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return -1;
    std::vector<double> times;
    char line[128];
    while (fgets(line, sizeof line, p)) {
        if (line[0] >= '0' && line[0] <= '9') {
            times.push_back(std::atof(line));
        } else if (line[0] == 'N' && times.size() >= 2) {  // N/A: one frame after the last
            times.push_back(2 * times.back() - times[times.size() - 2]);
        }
    }
    pclose(p);
    int k = -1;
    for (size_t i = 0; i < times.size(); ++i)
        if (std::llround((times[i] - times[0]) * 1e6) <= tUs) k = int(i);
    return k;
}

inline std::vector<uint8_t> referenceAt(const std::string& path, int64_t tUs, int width, int height) {
    int k = referenceIndexAt(path, tUs);
    return k < 0 ? std::vector<uint8_t>() : referenceFrame(path, k, width, height);
}

// PSNR in dB over the B, G and R channels of two BGRA pictures; rows of `a` may be padded.
inline double psnr(const uint8_t* a, int strideA, const std::vector<uint8_t>& b, int width, int height) {
    double se = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) {
                double d = double(a[size_t(y) * strideA + x * 4 + c]) - b[(size_t(y) * width + x) * 4 + c];
                se += d * d;
            }
    double mse = se / (double(width) * height * 3);
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace plim::test
