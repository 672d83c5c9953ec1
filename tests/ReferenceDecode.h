#pragma once
// The one reference decode of the tests: the clip decoded by the FFmpeg command-line tools,
// independent of the engine, that what the viewer shows is compared with. Pictures come as
// BGRA in decoding's output order, each with its time from the first picture and whether it
// is a key frame; a whole clip at once, or one picture of it.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace plim::test {

struct ReferenceDecode {
    int width = 0, height = 0;
    std::vector<int64_t> timesUs;  // from the first picture
    std::vector<bool> key;
    std::vector<uint8_t> bgra;  // frames() pictures of width * height * 4 bytes

    size_t frames() const { return timesUs.size(); }
    const uint8_t* frame(size_t k) const { return bgra.data() + k * size_t(width) * size_t(height) * 4; }
    int64_t frameEndUs(size_t k) const {
        if (k + 1 < frames()) return timesUs[k + 1];
        return frames() >= 2 ? 2 * timesUs[k] - timesUs[k - 1] : timesUs[k] + 40000;
    }
    // The picture due at tUs: the last one whose time is not after it.
    int indexAt(int64_t tUs) const {
        int k = -1;
        for (size_t i = 0; i < frames(); ++i)
            if (timesUs[i] <= tUs) k = int(i);
        return k;
    }
};

inline std::string readCommand(const std::string& cmd) {
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[65536];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    pclose(p);
    return out;
}

// key=value|key=value lines of ffprobe's compact output.
inline std::vector<std::map<std::string, std::string>> probeEntries(const std::string& path, const std::string& what) {
    std::vector<std::map<std::string, std::string>> rows;
    std::istringstream in(readCommand("ffprobe -v error -select_streams v:0 -show_entries " + what +
                                      " -of compact=p=0 '" + path + "' 2>/dev/null"));
    for (std::string line; std::getline(in, line);) {
        std::map<std::string, std::string> row;
        std::istringstream fields(line);
        for (std::string f; std::getline(fields, f, '|');)
            if (auto eq = f.find('='); eq != std::string::npos) row[f.substr(0, eq)] = f.substr(eq + 1);
        if (!row.empty()) rows.push_back(row);
    }
    return rows;
}

// The filter that makes interlaced pictures whole as the viewer does, with a comma after it,
// for a clip whose stream or first picture says its pictures are interlaced; empty for any other.
inline std::string referenceDeinterlace(const std::string& path) {
    auto streams = probeEntries(path, "stream=field_order");
    std::string order = streams.empty() ? "" : streams[0]["field_order"];
    auto first = probeEntries(path, "frame=interlaced_frame -read_intervals %+#1");
    bool interlaced = order == "tt" || order == "bb" || order == "tb" || order == "bt" ||
                      (!first.empty() && first[0]["interlaced_frame"] == "1");
    return interlaced ? "bwdif=mode=send_frame:parity=auto:deint=interlaced," : "";
}

// The scale filter that turns the clip's pictures into BGRA as the viewer does: HD pictures
// whose stream names no colour matrix with BT.709, the others with the matrix they name
// (BT.601 when none). Sets width and height from the stream, as ffmpeg shows it: turned a
// quarter when its display matrix says so (ffmpeg turns pictures upright itself). Empty when
// it has no video.
inline std::string referenceScale(const std::string& path, int& width, int& height) {
    auto streams = probeEntries(path, "stream=width,height,color_space,sample_aspect_ratio:stream_side_data=rotation");
    if (streams.empty()) return {};
    width = std::atoi(streams[0]["width"].c_str());
    height = std::atoi(streams[0]["height"].c_str());
    bool turned = std::abs(std::atoi(streams[0]["rotation"].c_str())) % 180 == 90;
    if (turned) std::swap(width, height);
    std::string cs = streams[0]["color_space"];
    bool untagged = cs.empty() || cs == "unknown";
    std::string matrix = untagged && (width >= 1280 || height > 576) ? ":in_color_matrix=bt709" : "";
    // Pixels that are not square: shown at the display aspect, as high as stored.
    long num = 0, den = 0;
    if (!turned && std::sscanf(streams[0]["sample_aspect_ratio"].c_str(), "%ld:%ld", &num, &den) == 2 && num > 0 &&
        den > 0 && num != den) {
        width = int((width * num * 2 + den) / (2 * den));
        return "scale=" + std::to_string(width) + ":" + std::to_string(height) + ":flags=bicubic" + matrix;
    }
    return "scale=flags=bicubic" + matrix;
}

// Every picture's time from the first one and whether it is a key frame, in decoding's output
// order. A clock that restarts (a file joined from parts) goes on from the picture before it.
inline void referenceTimes(const std::string& path, ReferenceDecode& r) {
    std::vector<double> times;
    for (auto& f : probeEntries(path, "frame=key_frame,best_effort_timestamp_time")) {
        std::string t = f["best_effort_timestamp_time"];
        bool known = !t.empty() && t != "N/A";
        double at = known ? std::atof(t.c_str()) : times.size() >= 2 ? 2 * times.back() - times[times.size() - 2] : 0;
        times.push_back(at);
        r.key.push_back(f["key_frame"] == "1");
    }
    for (size_t i = 1; i < times.size(); ++i) {
        if (times[i] < times[i - 1] - 0.5) {
            double step = i >= 2 ? times[i - 1] - times[i - 2] : 0.04, back = times[i - 1] + step - times[i];
            for (size_t j = i; j < times.size(); ++j) times[j] += back;
        }
    }
    for (double t : times) r.timesUs.push_back(std::llround((t - times[0]) * 1e6));
}

// Decodes the clip's first video stream whole. Empty (frames() == 0) when it cannot be decoded.
inline ReferenceDecode referenceDecode(const std::string& path) {
    ReferenceDecode r;
    std::string scale = referenceScale(path, r.width, r.height);
    if (scale.empty() || r.width <= 0) return r;
    referenceTimes(path, r);
    r.bgra.resize(r.frames() * size_t(r.width) * size_t(r.height) * 4);
    std::string raw = readCommand("ffmpeg -v error -i '" + path + "' -map 0:v:0 -fps_mode passthrough -vf " +
                                  referenceDeinterlace(path) + scale +
                                  " -f rawvideo -pix_fmt bgra - 2>/dev/null");
    if (raw.size() != r.bgra.size()) return ReferenceDecode{};
    r.bgra.assign(raw.begin(), raw.end());
    return r;
}

// Picture k of the clip alone, as BGRA rows of width * 4 bytes, converted as referenceDecode
// converts it; empty when the clip has no such picture or is not width x height.
inline std::vector<uint8_t> referenceFrame(const std::string& path, int k, int width, int height) {
    int w = 0, h = 0;
    std::string scale = referenceScale(path, w, h);
    if (scale.empty() || w != width || h != height) return {};
    std::string raw = readCommand("ffmpeg -v error -i '" + path + "' -map 0:v:0 -vf \"" + referenceDeinterlace(path) +
                                  "select=eq(n\\," + std::to_string(k) +
                                  ")," + scale + "\" -frames:v 1 -f rawvideo -pix_fmt bgra - 2>/dev/null");
    if (raw.size() != size_t(width) * height * 4) return {};
    return std::vector<uint8_t>(raw.begin(), raw.end());
}

// The picture a reference decode shows tUs after the first one (see indexAt).
inline std::vector<uint8_t> referenceAt(const std::string& path, int64_t tUs, int width, int height) {
    ReferenceDecode times;
    referenceTimes(path, times);
    int k = times.indexAt(tUs);
    return k < 0 ? std::vector<uint8_t>() : referenceFrame(path, k, width, height);
}

// PSNR in dB over B, G and R of columns [x0, x1) of two BGRA pictures of one height.
inline double psnrColumns(const uint8_t* a, int strideA, const uint8_t* b, int strideB, int x0, int x1, int height) {
    double se = 0;
    for (int y = 0; y < height; ++y)
        for (int x = x0; x < x1; ++x)
            for (int c = 0; c < 3; ++c) {
                double d = double(a[size_t(y) * strideA + x * 4 + c]) - b[size_t(y) * strideB + x * 4 + c];
                se += d * d;
            }
    double mse = se / (double(x1 - x0) * height * 3);
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

// PSNR in dB over B, G and R of two whole BGRA pictures; b's rows are width * 4 bytes.
inline double psnr(const uint8_t* a, int strideA, const std::vector<uint8_t>& b, int width, int height) {
    if (b.size() < size_t(width) * height * 4) return 0.0;
    return psnrColumns(a, strideA, b.data(), width * 4, 0, width, height);
}

// The lowest PSNR of any single column: a few wrong columns at the right edge hardly move the
// whole picture's figure, but sink this one.
inline double worstColumnPsnr(const uint8_t* a, int strideA, const uint8_t* b, int strideB, int width, int height) {
    double worst = 99.0;
    for (int x = 0; x < width; ++x) worst = std::min(worst, psnrColumns(a, strideA, b, strideB, x, x + 1, height));
    return worst;
}

}  // namespace plim::test
