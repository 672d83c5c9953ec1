// The exact frame on the files people have: clips made by ffmpeg's encoders at their usual
// settings (B-frames and pyramids, open GOPs, scene-cut key frames, everyday and odd widths,
// NTSC and film rates), each sought through the real service around every key frame and over
// the whole file. What the playback window shows must be the picture ffmpeg's own decode
// gives for that time: the best match among its neighbours, and equal to it within rounding.
#include <gtest/gtest.h>

#include <QImage>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "../TestSupport.h"
#include "platform/forms/Handles.h"
#include "platform/mci/Device.h"
#include "platform/mci/MciService.h"

using namespace plim;
namespace fs = std::filesystem;

namespace {

constexpr double kMinPsnr = 45.0;
// HDR mapped back to SDR: a plain conversion that ignores the transfer gives 8 to 13 dB; the
// 4:2:0 chroma of saturated bars keeps even the best mapping in the twenties, and far lower
// in the columns where bars meet.
constexpr double kMinHdrPsnr = 22.0;

struct Row {
    std::string file;    // made in the conformance folder, or taken from the shared media
    std::string make;    // ffmpeg's arguments before the output name; empty: shared media
    bool frames = false;  // also sought in the frames time format
    std::string then = "";  // a second part made so, joined to the first end to end (as cat does)
    // A clip made first, as FILE.src.mkv, which "{src}" in make names.
    std::string from = "";
    // The pictures are compared with those of that source clip instead of the clip's own
    // decode, within minPsnr over the picture and minColumnPsnr in each column: HDR mastered
    // from an SDR original must come back as that original.
    bool againstSource = false;
    double minPsnr = kMinPsnr;
    double minColumnPsnr = kMinPsnr - 10;
};

std::string src(const std::string& size, const std::string& rate, double seconds, const std::string& filter = "") {
    std::ostringstream s;
    s << "-f lavfi -i testsrc2=size=" << size << ":rate=" << rate << ":duration=" << seconds << filter;
    return s.str();
}
// Interlaced video as cameras and TV record it: two fields taken apart in time (fieldRate a
// second), woven into one frame, top (tff) or bottom (bff) field first, over moving content.
std::string fields(const std::string& size, const std::string& fieldRate, double seconds, const std::string& scan) {
    return src(size, fieldRate, seconds, ",interlace=scan=" + scan);
}
std::string tone(double seconds) {
    return " -f lavfi -i sine=frequency=660:sample_rate=44100:duration=" + std::to_string(seconds);
}
// Four scenes that x264 opens with key frames of its own, in a stream whose fixed interval
// never comes.
std::string scenes(const std::string& rate) {
    std::string s = "320x240:r=" + rate;
    return "-filter_complex \"testsrc2=s=" + s + ":d=1.3[a];testsrc=s=" + s + ":d=1.1[b];cellauto=s=" + s +
           ":rule=110,trim=duration=1.2[c];testsrc2=s=" + s + ":d=1.0,negate[d];[a][b][c][d]concat=n=4,format=yuv420p\"";
}

// A row made by a shell command of its own, which writes {out}; it begins with ffmpeg's
// arguments, as the other rows.
const std::string kShell = "sh:";

const std::string kX264 = " -c:v libx264 -preset veryfast -pix_fmt yuv420p";
const std::string kOpenGop = " -bf 3 -g 50 -x264-params open-gop=1";
// Interlaced coding, top field first.
const std::string kTff = " -flags +ilme+ildct -top 1";
const std::string kMpeg2Ps = " -c:v mpeg2video -bf 2 -g 15 -q:v 3 -c:a mp2 -f vob";
// SDR bars, lossless with BT.709 tags: the original that HDR rows are mastered from.
const std::string kSdrBars = "-f lavfi -i smptehdbars=size=640x360:rate=25:duration=2 -c:v libx264 -qp 0 -g 25 "
                             "-pix_fmt yuv420p -color_primaries bt709 -color_trc bt709 -colorspace bt709";
// The SDR original mastered into HDR (transfer smpte2084 or arib-std-b67) as phones and
// cameras record it: 10-bit HEVC with BT.2020 tags, SDR white at 203 cd/m2.
std::string master(const std::string& transfer) {
    return "-i {src} -vf format=gbrpf32le,zscale=tin=bt709:pin=bt709:t=" + transfer +
           ":p=bt2020:m=2020_ncl:r=limited:npl=203,format=yuv420p10le -c:v libx265 -x265-params log-level=error "
           "-g 25 -color_primaries bt2020 -color_trc " + transfer + " -colorspace bt2020nc";
}
// A phone's clip: stored on its side, with a display matrix that turns it upright (written
// when the stream is copied).
const std::string kPhone = src("320x240", "25", 2) + tone(2) + kX264 + " -bf 3 -g 25 -c:a aac";
Row turned(int degrees) {
    std::string file = "h264_rotate" + std::to_string(degrees) + ".mp4";
    return {file, "-i {src} -c copy -metadata:s:v:0 rotate=" + std::to_string(degrees), false, "", kPhone};
}

std::vector<Row> rows() {
    return {
        {"mjpeg_420.avi", src("320x240", "25", 2) + " -c:v mjpeg -pix_fmt yuvj420p -q:v 3"},
        {"mjpeg_422.avi", src("320x240", "25", 2) + " -c:v mjpeg -pix_fmt yuvj422p -q:v 3"},
        {"mpeg1_ps_opengop.mpg", src("320x240", "25", 3) + tone(3) + " -c:v mpeg1video -bf 2 -g 12 -q:v 3 -c:a mp2 -f mpeg"},
        {"mpeg2_ps_opengop.mpg", src("352x288", "25", 3) + tone(3) + " -c:v mpeg2video -bf 2 -g 15 -q:v 3 -c:a mp2 -f vob"},
        {"mpeg2_ts_2997.mpg", src("352x288", "30000/1001", 3) + " -c:v mpeg2video -bf 2 -g 15 -q:v 3 -f mpegts", true},
        {"mpeg4_xvid_bf2.avi", src("320x240", "25", 4) + tone(4) + " -c:v mpeg4 -vtag XVID -bf 2 -g 30 -q:v 3 -c:a libmp3lame"},
        {"mpeg4_packed_bf.avi", ""},  // DivX-style packed B-frames: no encoder here makes them
        {"h264_bf3_gop25.avi", src("320x240", "25", 4) + kX264 + " -bf 3 -b-pyramid none -g 25 -sc_threshold 0"},
        {"h264_pyramid_scenecuts_23976.avi", scenes("24000/1001") + kX264 + " -bf 3 -b-pyramid normal -g 250", true},
        {"h264_bf2_2997.avi", src("320x240", "30000/1001", 3) + tone(3) + kX264 + " -bf 2 -g 30 -c:a libmp3lame", true},
        {"h264_5994.avi", src("320x240", "60000/1001", 2) + kX264 + " -bf 3 -g 60", true},
        {"h264_12fps.avi", src("320x240", "12", 4) + kX264 + " -bf 2 -g 12"},
        {"h264_50fps.avi", src("320x240", "50", 2) + kX264 + " -bf 3 -g 50"},
        {"dv_pal.avi", src("720x576", "25", 1) + " -c:v dvvideo -pix_fmt yuv420p"},
        {"huffyuv.avi", src("320x240", "25", 1) + " -c:v huffyuv"},
        {"ffv1.avi", src("320x240", "25", 1) + " -c:v ffv1"},
        {"raw_bgr.avi", src("160x120", "25", 1) + " -c:v rawvideo -pix_fmt bgr24"},
        {"mpeg4_322x240.avi", src("322x240", "25", 2) + " -c:v mpeg4 -bf 2 -g 25 -q:v 2"},
        {"mpeg4_426x240.avi", src("426x240", "25", 2) + " -c:v mpeg4 -bf 2 -g 25 -q:v 2"},
        {"h264_854x480.avi", src("854x480", "25", 2) + kX264 + " -g 25"},
        {"h264_1366x768.avi", src("1366x768", "30000/1001", 1) + kX264 + " -g 15"},
        {"mpeg4_odd_321x241.avi", src("321x241", "25", 2) + " -c:v mpeg4 -bf 1 -g 20 -q:v 2"},
        {"mjpeg_odd_203x149.avi", src("203x149", "12", 2) + " -c:v mjpeg -q:v 3"},
        {"mpeg2_ps_joined.mpg", src("352x288", "25", 2) + tone(2) + kMpeg2Ps, true,
         "-f lavfi -i testsrc=size=352x288:rate=25:duration=2.4" + tone(2.4) + kMpeg2Ps},
        {"mpeg2_1440x1080_anamorphic.mpg", src("1440x1080", "30000/1001", 1) + " -c:v mpeg2video -aspect 16:9 -bf 2 -g 12 -q:v 4 -f vob"},
        // Camcorders, DVDs and TV: pixels that are not square, shown at the display aspect, and
        // interlaced pictures made whole. The DV targets write raw DV whatever the name says,
        // as a user gets it from ffmpeg.
        {"dv_ntsc_43.avi", fields("720x480", "60000/1001", 1, "bff") + tone(1) + " -target ntsc-dv", true},
        {"dv_pal_169.avi", fields("720x576", "50", 1, "bff") + tone(1) + " -target pal-dv -aspect 16:9"},
        {"dvd_ntsc_169.mpg", fields("720x480", "60000/1001", 1.5, "tff") + tone(1.5) + " -target ntsc-dvd -aspect 16:9" + kTff, true},
        // Capture cards: MJPEG stored as two JPEG fields a frame, which libavcodec weaves into
        // whole frames without marking them interlaced; shown as ffmpeg decodes them.
        {"mjpeg_fields.avi", kShell + fields("720x480", "60000/1001", 1, "tff") + ",separatefields -c:v mjpeg -q:v 3 "
         "-pix_fmt yuvj422p -f image2 {out}.fld%03d.jpg && python3 '" PLIM_TESTS_DIR "/media/field_mjpeg_avi.py' {out} "
         "{out}.fld 720 480 30000 1001", true},
        {"dvd_pal_43.mpg", src("720x576", "25", 1.5) + tone(1.5) + " -target pal-dvd -aspect 4:3"},
        // Film on an NTSC DVD, as DVD authoring makes it: 23.976 pictures a second, shown at
        // 29.97 by repeating fields (3:2 pulldown flags, which only mpeg2enc writes), in a
        // program stream that stamps the key pictures alone.
        {"dvd_ntsc_soft_telecine.mpg", kShell + src("720x480", "24000/1001", 2) + " -pix_fmt yuv420p -f yuv4mpegpipe - | "
         "mpeg2enc -v 0 -f 8 -p -a 2 -o {out}.m2v && ffmpeg -v error -y" + tone(2) + " -c:a mp2 -f mp2 {out}.mp2 && "
         "mplex -v 0 -f 8 -o {out} {out}.m2v {out}.mp2", true},
        {"h264_1080i_ac3.ts", fields("1920x1080", "50", 0.6, "tff") + tone(0.6) + kX264 + kTff + " -g 12 -c:a ac3 -f mpegts", true},
        {"mpeg2_1080i_broadcast.ts", fields("1920x1080", "50", 0.6, "tff") + tone(0.6) + " -c:v mpeg2video" + kTff +
         " -bf 2 -g 12 -b:v 15M -c:a mp2 -f mpegts"},
        // TV recordings and camcorders: open GOPs in transport streams, 188- and 192-byte packets.
        {"h264_ts_opengop.ts", src("640x360", "25", 4) + tone(4) + kX264 + kOpenGop + " -c:a aac -f mpegts", true},
        {"h264_m2ts_opengop.m2ts", src("640x360", "25", 4) + tone(4) + kX264 + kOpenGop + " -c:a ac3 -f mpegts -mpegts_m2ts_mode 1"},
        {"mpeg2_ts_broadcast.ts", src("720x576", "25", 3) + tone(3) + " -c:v mpeg2video -bf 2 -g 12 -b:v 6M -c:a ac3 -f mpegts"},
        // Today's files: MP4 with B-pyramids and an edit list, 10-bit HEVC, VP9 with hidden
        // alt-ref pictures, AV1, ProRes, and a frame rate that changes midway.
        {"h264_pyramid_editlist.mp4", src("640x360", "25", 3) + tone(3) + kX264 + " -bf 3 -b-pyramid normal -g 50 -c:a aac", true},
        {"hevc10.mkv", src("640x360", "25", 3) + tone(3) + " -c:v libx265 -x265-params log-level=error -pix_fmt yuv420p10le -g 50 -c:a libopus"},
        {"vp9_altref.webm", src("320x240", "25", 3) + tone(3) + " -c:v libvpx-vp9 -deadline realtime -cpu-used 8 -auto-alt-ref 1 -lag-in-frames 16 -g 50 -b:v 500k -c:a libopus"},
        {"av1.mp4", src("320x240", "25", 2) + " -c:v libsvtav1 -preset 12 -g 50 -pix_fmt yuv420p"},
        {"prores422.mov", src("320x240", "25", 2) + tone(2) + " -c:v prores_ks -profile:v 2 -c:a pcm_s16le"},
        {"h264_vfr.mp4", "-filter_complex \"testsrc2=s=320x240:r=25:d=1.2[a];testsrc2=s=320x240:r=50:d=0.8[b];"
                         "testsrc2=s=320x240:r=12:d=1[c];[a][b][c]concat=n=3\" -fps_mode vfr" + kX264 + " -bf 2 -g 30"},
        // Phones: portrait video stored on its side; HDR video shown on an SDR screen.
        turned(90),
        turned(180),
        turned(270),
        {"hevc10_pq.mkv", master("smpte2084"), false, "", kSdrBars, true, kMinHdrPsnr, 0},
        {"hevc10_hlg.mkv", master("arib-std-b67"), false, "", kSdrBars, true, kMinHdrPsnr, 0},
    };
}

std::string clipsDir() { return std::string(PLIM_CLIPS_DIR) + "/conformance"; }

// The clip ffmpeg makes with those arguments, at path; made again when they change.
bool makeOnce(const std::string& args, const std::string& path, const std::string& then = "") {
    std::string stamp = path + ".args";
    std::ifstream in(stamp);
    std::string was((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (was == args + then && fs::exists(path)) return true;
    auto make = [](std::string a, const std::string& out) {
        if (a.rfind(kShell, 0) != 0) return std::system(("ffmpeg -v error -y " + a + " '" + out + "' </dev/null").c_str()) == 0;
        a.erase(0, kShell.size());
        for (size_t at; (at = a.find("{out}")) != std::string::npos;) a.replace(at, 5, "'" + out + "'");
        return std::system(("ffmpeg -v error -y " + a + " </dev/null").c_str()) == 0;
    };
    if (then.empty() ? !make(args, path)
                     : !make(args, path + ".1") || !make(then, path + ".2") ||
                           std::system(("cat '" + path + ".1' '" + path + ".2' > '" + path + "'").c_str()) != 0)
        return false;
    std::ofstream(stamp) << args + then;
    return true;
}

std::string sourceOf(const Row& row) { return clipsDir() + "/" + row.file + ".src.mkv"; }

// Makes the row's clip (and what it is made from) once. "" when it cannot be had.
std::string clipFor(const Row& row) {
    if (row.make.empty()) {
        std::string shared = test::sharedMedia() + "/fate_packed_bframes.avi";
        return fs::exists(shared) ? shared : "";
    }
    fs::create_directories(clipsDir());
    std::string path = clipsDir() + "/" + row.file, make = row.make;
    if (!row.from.empty()) {
        if (!makeOnce(row.from, sourceOf(row))) return "";
        if (auto at = make.find("{src}"); at != std::string::npos) make.replace(at, 5, "'" + sourceOf(row) + "'");
    }
    return makeOnce(make, path, row.then) ? path : "";
}

// Targets around every key frame (at most six of them, spread, for intra-only streams): the
// first and the last millisecond of the two frames before it, its own and the one after it;
// then a spread over the whole file. In milliseconds.
std::vector<int64_t> targetsMs(const test::ReferenceDecode& ref) {
    std::vector<size_t> keys;
    for (size_t k = 0; k < ref.frames(); ++k)
        if (ref.key[k]) keys.push_back(k);
    if (keys.size() > 6) {
        std::vector<size_t> some;
        for (size_t i = 0; i < 6; ++i) some.push_back(keys[i * (keys.size() - 1) / 5]);
        keys = some;
    }
    std::vector<int64_t> out;
    for (size_t key : keys)
        for (size_t j = key >= 2 ? key - 2 : 0; j <= key + 1 && j < ref.frames(); ++j) {
            out.push_back((ref.timesUs[j] + 999) / 1000);
            out.push_back((ref.frameEndUs(j) + 999) / 1000 - 1);
        }
    int64_t lengthMs = ref.frameEndUs(ref.frames() - 1) / 1000;
    for (int i = 0; i < 7; ++i) out.push_back(lengthMs * (2 * i + 1) / 14);
    return out;
}

// What one seek showed, against the reference.
struct Verdict {
    int want = -1, best = -1;
    double psnr = 0, worstColumn = 0, minPsnr = kMinPsnr, minColumnPsnr = kMinPsnr - 10;
    bool exact() const { return best == want && psnr >= minPsnr && worstColumn >= minColumnPsnr; }
};

Verdict judge(const QImage& shown, const test::ReferenceDecode& ref, int want, const Row& row) {
    Verdict v;
    v.want = want;
    v.minPsnr = row.minPsnr;
    v.minColumnPsnr = row.minColumnPsnr;
    int w = ref.width, h = ref.height, stride = w * 4;
    double bestPsnr = -1;
    for (int k = std::max(0, want - 2); k <= want + 2 && k < int(ref.frames()); ++k) {
        double p = test::psnrColumns(shown.constBits(), int(shown.bytesPerLine()), ref.frame(size_t(k)), stride, 0, w, h);
        if (k == want) v.psnr = p;
        if (p > bestPsnr + 0.01 || (p >= bestPsnr - 0.01 && k == want)) bestPsnr = p, v.best = k;
    }
    if (want >= 0)
        v.worstColumn = test::worstColumnPsnr(shown.constBits(), int(shown.bytesPerLine()), ref.frame(size_t(want)), stride, w, h);
    return v;
}

struct Tally {
    int targets = 0, exact = 0;
};
std::map<std::string, Tally>& tallies() {
    static std::map<std::string, Tally> t;
    return t;
}

class Conformance : public ::testing::TestWithParam<Row> {
protected:
    void SetUp() override {
        path_ = clipFor(GetParam());
        if (path_.empty() && GetParam().make.empty()) GTEST_SKIP() << "no shared media";
        ASSERT_FALSE(path_.empty()) << "ffmpeg could not make " << GetParam().file;
        ref_ = test::referenceDecode(GetParam().againstSource ? sourceOf(GetParam()) : path_);
        ASSERT_GT(ref_.frames(), 2u) << path_;
        service_ = mci::createService();
        std::string open = "open \"" + path_ + "\" alias m style child parent " + std::to_string(forms::handleOf(&host_));
        ASSERT_EQ(service_->sendString(open, nullptr, 0, 0), 0u) << path_;
        surface_ = dynamic_cast<display::VideoSurface*>(forms::widgetOf(std::stoi(ask("status m window handle"))));
        ASSERT_NE(surface_, nullptr);
    }
    void TearDown() override {
        if (service_) service_->sendString("close m", nullptr, 0, 0);
    }
    std::string ask(const std::string& cmd) {
        char reply[128] = {};
        EXPECT_EQ(service_->sendString(cmd, reply, sizeof reply, 0), 0u) << cmd;
        return reply;
    }
    // Seeks to `to` in the current time format and judges what the window then shows.
    Verdict seekAndJudge(int64_t to, int want) {
        ask("seek m to " + std::to_string(to) + " wait");
        EXPECT_EQ(ask("status m position"), std::to_string(to));
        QImage shown = surface_->grab(QRect(0, 0, ref_.width, ref_.height)).toImage().convertToFormat(QImage::Format_RGB32);
        if (shown.width() != ref_.width || shown.height() != ref_.height) return Verdict{want};
        return judge(shown, ref_, want, GetParam());
    }
    void record(const std::string& what, int64_t to, const Verdict& v) {
        Tally& t = tallies()[GetParam().file];
        ++t.targets;
        if (v.exact()) ++t.exact;
        EXPECT_TRUE(v.exact()) << GetParam().file << ": " << what << " " << to << " shows frame " << v.best
                               << " for " << v.want << " (" << v.psnr << " dB; worst column " << v.worstColumn << " dB)";
    }

    std::string path_;
    test::ReferenceDecode ref_;
    QWidget host_;
    std::shared_ptr<mci::MciService> service_;
    display::VideoSurface* surface_ = nullptr;
};

TEST_P(Conformance, EverySeekShowsTheExactFrame) {
    int64_t lengthMs = std::stoll(ask("status m length"));
    // Every picture can be reached, of every part of a joined file (sound may last longer);
    // the last one may be longer than the others (a variable frame rate).
    EXPECT_GE(lengthMs, std::min(ref_.frameEndUs(ref_.frames() - 1) / 1000 - 45, (ref_.timesUs.back() + 999) / 1000))
        << GetParam().file;
    for (int64_t ms : targetsMs(ref_)) {
        ms = std::clamp<int64_t>(ms, 0, lengthMs);
        record("ms", ms, seekAndJudge(ms, ref_.indexAt(ms * 1000)));
    }
    if (!GetParam().frames) return;
    ask("set m time format frames");
    std::set<int64_t> frames;
    for (size_t k = 0; k < ref_.frames(); ++k)
        if (ref_.key[k])
            for (size_t j = k >= 2 ? k - 2 : 0; j <= k + 1 && j < ref_.frames(); ++j) frames.insert(int64_t(j));
    frames.insert(int64_t(ref_.frames()) - 1);
    for (int64_t n : frames) record("frame", n, seekAndJudge(n, int(n)));
}

INSTANTIATE_TEST_SUITE_P(Clips, Conformance, ::testing::ValuesIn(rows()), [](const auto& info) {
    std::string n = info.param.file;
    for (char& c : n)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
    return n;
});

// The matrix as a table once every row has run: rows, targets, exact.
class PrintTally : public ::testing::Environment {
public:
    void TearDown() override {
        if (tallies().empty()) return;
        std::printf("\n| clip | targets | exact |\n|---|---|---|\n");
        for (auto& [file, t] : tallies()) std::printf("| %s | %d | %d |\n", file.c_str(), t.targets, t.exact);
    }
};
const auto* const kPrintTally = ::testing::AddGlobalTestEnvironment(new PrintTally);

}  // namespace
