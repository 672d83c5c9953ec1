#pragma once
// The damaged-media set: a deterministic list of damaged variants of the test clips
// (truncations, bit flips, zeroed 4 KiB ranges, damaged headers, damaged MPEG timestamps,
// a damaged first key picture, 4 GiB holes, empty and random files), and how to write each. Shared by the damaged-media
// test and the open-time benchmark.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace plim::test {

// KeyHeader: the header of the first key picture damaged (a bad sector where a stream
// begins), so that nothing decodes before the next key picture.
enum class Damage { Truncate, Flip, Zero, Header, Timestamps, HoleMiddle, HoleEnd, Empty, Random, KeyHeader };

struct Variant {
    std::string clip;  // empty for Empty and Random
    Damage damage;
    int level;  // the amount: a fraction in thousandths, a count, or a size
    std::string ext;
};

inline const char* const kClips[] = {"mjpeg_pcm.avi",       "mpeg4_mp3.avi",       "h264.avi",           "mpeg2_mp2.mpeg",
                        "mpeg1.mpg",           "audio_only.avi",      "mp3_stereo_mono.avi", "mp3_rate_change.avi",
                        "ac3_51_stereo.avi",   "mp2_stereo_mono.mpg"};

// Today's files: MP4 with B-pyramids (the index at the end, and at the front), HEVC 10-bit
// and HDR in Matroska, VP9 in WebM, ProRes in MOV, open-GOP H.264 in TS and M2TS, and a
// phone's turned clip. Each is cut, flipped, zeroed and its first bytes replaced.
inline const char* const kTodayClips[] = {"h264_aac.mp4",    "h264_faststart.mp4", "hevc10.mkv",
                                          "hdr_pq.mkv",      "vp9_opus.webm",      "prores_pcm.mov",
                                          "h264_opengop.ts", "h264_opengop.m2ts",  "phone_rotate90.mp4"};

inline bool isToday(const std::string& clip) {
    return std::find(std::begin(kTodayClips), std::end(kTodayClips), clip) != std::end(kTodayClips);
}

inline std::vector<Variant> variants() {
    std::vector<Variant> v;
    for (std::string c : kClips) {
        std::string ext = std::filesystem::path(c).extension().string();
        bool mpeg = ext != ".avi";
        for (int t : {5, 50, 200, 400, 600, 850}) v.push_back({c, Damage::Truncate, t, ext});
        for (int n : {3, 10, 40, 150, 600}) v.push_back({c, Damage::Flip, n, ext});
        for (int n : {1, 3, 8, 24}) v.push_back({c, Damage::Zero, n, ext});
        for (int n : {1, 2, 3}) v.push_back({c, Damage::Header, n, ext});
        for (int n : {1, 2}) v.push_back({c, mpeg ? Damage::Timestamps : Damage::Flip, mpeg ? n : 2000 * n, ext});
    }
    for (const char* c : {"mpeg4_mp3.avi", "mpeg2_mp2.mpeg", "mjpeg_pcm.avi", "mp3_stereo_mono.avi"}) {
        std::string ext = std::filesystem::path(c).extension().string();
        v.push_back({c, Damage::HoleMiddle, 0, ext});
        v.push_back({c, Damage::HoleEnd, 0, ext});
    }
    for (std::string c : kTodayClips) {
        std::string ext = std::filesystem::path(c).extension().string();
        for (int t : {100, 500, 900}) v.push_back({c, Damage::Truncate, t, ext});
        for (int n : {20, 200}) v.push_back({c, Damage::Flip, n, ext});
        v.push_back({c, Damage::Zero, 3, ext});
        v.push_back({c, Damage::Header, 1, ext});
        v.push_back({c, Damage::KeyHeader, 4, ext});
    }
    v.push_back({"", Damage::Empty, 0, ".avi"});
    v.push_back({"", Damage::Empty, 0, ".mpg"});
    for (int size : {1, 100, 4096, 65536, 1 << 20}) {
        v.push_back({"", Damage::Random, size, ".avi"});
        v.push_back({"", Damage::Random, size, ".mpg"});
    }
    return v;
}

inline std::vector<uint8_t> readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Randomises the timestamps (pack clock references and PES times) of about a fifth of the
// packets of an MPEG program stream.
inline void damageTimestamps(std::vector<uint8_t>& d, std::mt19937& rnd) {
    for (size_t i = 0; i + 14 < d.size(); ++i) {
        if (d[i] || d[i + 1] || d[i + 2] != 1 || rnd() % 5) continue;
        uint8_t id = d[i + 3];
        if (id == 0xBA) {
            for (int k = 4; k < 10; ++k) d[i + k] = uint8_t(rnd());
        } else if ((id >= 0xC0 && id <= 0xEF) || id == 0xBD) {
            if ((d[i + 6] & 0xC0) == 0x80 && (d[i + 7] & 0x80))
                for (int k = 9; k < 14; ++k) d[i + k] = uint8_t(rnd() | 1);  // markers kept
        }
    }
}

// Where the first key picture of the file's first video stream lies: its packet's offset
// and size, as ffprobe reads them; {0, 0} when none is found.
inline std::pair<size_t, size_t> firstKeyPicture(const std::string& path) {
    std::string cmd = "ffprobe -v quiet -select_streams v:0 -show_entries packet=pos,size,flags -of "
                      "default=noprint_wrappers=1 '" + path + "' 2>/dev/null";
    std::pair<size_t, size_t> at{0, 0};
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return at;
    char line[128];
    size_t pos = 0, size = 0;
    while (std::fgets(line, sizeof line, p) && at.second == 0) {
        std::string l(line);
        if (l.rfind("size=", 0) == 0) size = std::strtoull(l.c_str() + 5, nullptr, 10);
        if (l.rfind("pos=", 0) == 0) pos = std::strtoull(l.c_str() + 4, nullptr, 10);
        if (l.rfind("flags=K", 0) == 0 && size > 0) at = {pos, size};
    }
    ::pclose(p);
    return at;
}

// The variant's bytes; clips are read from clipsDir.
inline std::vector<uint8_t> damaged(const Variant& v, std::mt19937& rnd, const std::string& clipsDir) {
    std::vector<uint8_t> d = v.clip.empty() ? std::vector<uint8_t>() : readAll(clipsDir + "/" + v.clip);
    auto at = [&](size_t from) { return d.size() > from ? from + rnd() % (d.size() - from) : 0; };
    switch (v.damage) {
        case Damage::Truncate: d.resize(d.size() * size_t(v.level) / 1000); break;
        case Damage::Flip:
            for (int i = 0; i < v.level && !d.empty(); ++i) d[at(0)] ^= uint8_t(1u << (rnd() % 8));
            break;
        case Damage::Zero:
            for (int i = 0; i < v.level && d.size() > 4096; ++i) {
                size_t from = at(0) & ~size_t(4095);
                std::fill(d.begin() + long(from), d.begin() + long(std::min(d.size(), from + 4096)), 0);
            }
            break;
        case Damage::Header:
            for (size_t i = 0; i < std::min<size_t>(d.size(), size_t(64) << v.level); ++i)
                if (rnd() % 4 == 0) d[i] = uint8_t(rnd());
            break;
        case Damage::Timestamps: damageTimestamps(d, rnd); break;
        case Damage::KeyHeader: {  // level bytes from the 4th of its packet
            auto [pos, size] = firstKeyPicture(clipsDir + "/" + v.clip);
            for (size_t i = pos + 4; i < pos + 4 + size_t(v.level) && i < pos + size && i < d.size(); ++i) d[i] ^= 0x5A;
            break;
        }
        case Damage::Random:
            d.resize(size_t(v.level));
            for (uint8_t& b : d) b = uint8_t(rnd());
            break;
        case Damage::Empty:
        case Damage::HoleMiddle:
        case Damage::HoleEnd: break;
    }
    return d;
}

// Writes the variant; the 4 GiB holes are made sparse, so they cost no disk space.
inline bool writeVariant(const Variant& v, const std::vector<uint8_t>& d, const std::string& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    constexpr off_t kHole = off_t(4) << 30;
    size_t head = v.damage == Damage::HoleMiddle ? d.size() / 2 : d.size();
    bool ok = ::write(fd, d.data(), head) == ssize_t(head);
    if (v.damage == Damage::HoleMiddle) ok = ok && ::pwrite(fd, d.data() + head, d.size() - head, off_t(head) + kHole) >= 0;
    if (v.damage == Damage::HoleEnd) ok = ok && ::ftruncate(fd, off_t(d.size()) + kHole) == 0;
    return ::close(fd) == 0 && ok;
}

inline const char* name(Damage d) {
    const char* names[] = {"truncate", "flip", "zero", "header", "timestamps", "hole_middle", "hole_end", "empty", "random", "key_header"};
    return names[int(d)];
}

}  // namespace plim::test
