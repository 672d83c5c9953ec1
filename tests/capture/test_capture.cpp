// Saving the frame on screen: names and folders, the messages, failures, and the saved
// picture against a reference decode, read back by an independent reader (Python's PIL).
#include <filesystem>
#include <fstream>
#include <sys/resource.h>

#include <csignal>
#include <cstdio>

#include "../AppFixture.h"
#include "../TestSupport.h"
#include "platform/forms/Screen.h"
#include "platform/mci/MciService.h"

namespace fs = std::filesystem;
using namespace plim;
using plim::test::AppTest;

namespace {

// The BMP file decoded by PIL into BGRA rows, with its size.
struct Decoded {
    int width = 0, height = 0;
    std::vector<uint8_t> bgra;
};
Decoded readWithPil(const fs::path& p) {
    std::string cmd = "/usr/bin/python3 -c \"import sys; from PIL import Image; im=Image.open(sys.argv[1]); "
                      "sys.stdout.write('%d %d %s\\n' % (im.size[0], im.size[1], im.mode)); sys.stdout.flush(); "
                      "sys.stdout.buffer.write(im.convert('RGB').tobytes())\" '" + p.string() + "'";
    Decoded d;
    FILE* f = popen(cmd.c_str(), "r");
    if (!f) return d;
    char mode[16] = {};
    if (fscanf(f, "%d %d %15s\n", &d.width, &d.height, mode) != 3) d.width = d.height = 0;
    std::vector<uint8_t> rgb(size_t(d.width) * d.height * 3);
    size_t got = fread(rgb.data(), 1, rgb.size(), f);
    pclose(f);
    if (got != rgb.size() || std::string(mode) != "RGB") return Decoded{};
    d.bgra.resize(size_t(d.width) * d.height * 4);
    for (size_t i = 0; i < size_t(d.width) * d.height; ++i) {
        d.bgra[i * 4 + 0] = rgb[i * 3 + 2];
        d.bgra[i * 4 + 1] = rgb[i * 3 + 1];
        d.bgra[i * 4 + 2] = rgb[i * 3 + 0];
        d.bgra[i * 4 + 3] = 255;
    }
    return d;
}

class Capture : public AppTest {
protected:
    std::shared_ptr<media::MciService> inner() override { return mci::createService(); }
    void SetUp() override {
        AppTest::SetUp();
        dir = fs::temp_directory_path() / ("plim-capture-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir / "pics");
        Module1::Main();
    }
    void TearDown() override {
        AppTest::TearDown();
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(dir);
    }
    // Opens a clip through the chooser, as the user does.
    void openClip(const std::string& name) {
        MainFrm().ComOpen_Click();
        DiaLog().Dir1.setPath(PLIM_CLIPS_DIR);
        select(name);
        DiaLog().com_OK_Click();
        plim::test::pumpEvents(200);
    }
    void select(const std::string& name) {
        for (int i = 0; i < DiaLog().File1.ListCount(); ++i)
            if (DiaLog().File1.List(i) == name) DiaLog().File1.selectIndex(i);
        DiaLog().File1_Click();
    }
    // Saves through the chooser in save mode under `name` in `folder`.
    void save(const fs::path& folder, const std::string& name) {
        MainFrm().ComSAVE_Click();
        DiaLog().Dir1.setPath(folder.string());
        DiaLog().Text1.setText(name);
        DiaLog().com_OK_Click();
    }
    void playThenPause(int ms) {
        MainFrm().ComPLAY_Click();
        plim::test::pumpEvents(ms);
        MainFrm().ComPLAY_Click();
        plim::test::pumpEvents(150);
    }
    int64_t position() {
        media::ReplyBuffer r;
        media::mciSendStringA("status movi2 position", r.text, media::kReplyLength, 0);
        return int64_t(media::ReplyNumber(r));
    }
    void expectFrameSaved(const std::string& clip, int w, int h) {
        openClip(clip);
        playThenPause(500);
        // After play, the picture on screen may be one the display showed a little before the
        // position the clock paused at, when a loaded machine decoded late: any of the last
        // kPausedLag pictures up to it is the frame shown, never a later one.
        expectSavedAsShownAt(clip, w, h, position() * 1000, kPausedLag);
    }
    static constexpr int kPausedLag = 10;
    // Saves the frame on screen and compares it, to the last column, with ffmpeg's picture
    // for atUs. The saved (0,0) is the client's (border, border); the video lies at the
    // client's origin.
    void expectSavedAsShownAt(const std::string& clip, int w, int h, int64_t atUs, int lag = 0) {
        int16_t border = Module1::FrameBorder;
        save(dir / "pics", "frame");
        ASSERT_TRUE(fs::exists(dir / "pics" / "frame.bmp"));
        Decoded d = readWithPil(dir / "pics" / "frame.bmp");
        ASSERT_EQ(d.width, w + 4);
        ASSERT_EQ(d.height, h + 4);
        int rw = w - border, rh = h - border;
        std::vector<uint8_t> region(size_t(rw) * rh * 4), refRegion(region.size());
        for (int y = 0; y < rh; ++y)
            std::memcpy(&region[size_t(y) * rw * 4], &d.bgra[(size_t(y) * d.width) * 4], size_t(rw) * 4);
        plim::test::ReferenceDecode times;
        plim::test::referenceTimes(plim::test::clip(clip), times);
        int due = times.indexAt(atUs);
        ASSERT_GE(due, 0);
        double best = 0;
        for (int k = due; k >= std::max(0, due - lag) && best < 45.0; --k) {
            auto ref = plim::test::referenceFrame(plim::test::clip(clip), k, w, h);
            ASSERT_FALSE(ref.empty());
            for (int y = 0; y < rh; ++y)
                std::memcpy(&refRegion[size_t(y) * rw * 4], &ref[(size_t(y + border) * w + border) * 4], size_t(rw) * 4);
            best = plim::test::psnr(region.data(), rw * 4, refRegion, rw, rh);
        }
        EXPECT_GE(best, 45.0) << clip;
        EXPECT_GE(plim::test::worstColumnPsnr(region.data(), rw * 4, refRegion.data(), rw * 4, rw, rh), 35.0) << clip;
        ASSERT_FALSE(boxes.empty());
        EXPECT_EQ(boxes.back().text, "BMPﾌｧｲﾙに保存しました");
        EXPECT_EQ(boxes.back().title, std::optional<std::string>(""));
        EXPECT_EQ(boxes.back().buttons, forms::vbOKCancel);
    }
    fs::path dir;
};

TEST_F(Capture, APausedFrameIsSavedPixelForPixel) { expectFrameSaved("h264.avi", 320, 240); }

TEST_F(Capture, AnHdFrameIsSavedWhole) { expectFrameSaved("hd_1080.avi", 1920, 1080); }

// A video whose window would not fit the screen is shown smaller, of the same shape, in a
// window that lies whole on the work area; one that fits is shown as it always was. Either
// way the frame is saved at the video's own size.
TEST_F(Capture, LargeVideosAreShownToFitAndSavedWhole) {
    struct Case {
        const char* clip;
        int w, h;
    } cases[] = {{"h264.avi", 320, 240}, {"h264_854x480_bf.avi", 854, 480}, {"hd_1080.avi", 1920, 1080}};
    QRect work = forms::Screen::workAreaPx();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.clip);
        openClip(c.clip);
        ASSERT_EQ(Module1::MediaOpen, -1);
        media::ReplyBuffer r;
        ASSERT_EQ(media::mciSendStringA("where movi2 destination", r.text, media::kReplyLength, 0), 0u);
        int x = 0, y = 0, dw = 0, dh = 0;
        ASSERT_EQ(std::sscanf(r.text, "%d %d %d %d", &x, &y, &dw, &dh), 4) << r.text;
        VFrmT& v = VFrm();
        float tx = Module1::TwipsX, ty = Module1::TwipsY;
        QRect outer(int(v.Left() / tx), int(v.Top() / ty), int(v.Width() / tx), int(v.Height() / ty));
        bool fits = c.w + 4 + outer.width() - int(v.ScaleWidth()) <= work.width() &&
                    c.h + 4 + outer.height() - int(v.ScaleHeight()) <= work.height();
        if (fits) {
            EXPECT_EQ(std::string(r.text), "0 0 " + std::to_string(c.w) + " " + std::to_string(c.h));
        } else {
            EXPECT_TRUE(work.contains(outer)) << "window " << outer.x() << "," << outer.y() << " " << outer.width() << "x"
                                              << outer.height();
            EXPECT_NEAR(double(dw) / dh, double(c.w) / c.h, 0.01);
            EXPECT_LT(dw, c.w);
            EXPECT_EQ(int(v.ScaleWidth()), dw + 4);
        }
        media::mciSendStringA("seek movi2 to 200 wait", nullptr, 0, 0);
        plim::test::pumpEvents(100);
        expectSavedAsShownAt(c.clip, c.w, c.h, 200000);
        fs::remove(dir / "pics" / "frame.bmp");
    }
}

// Everyday widths that are not a multiple of 16, in files with B-frames, sought to the last
// millisecond before a key frame: the saved picture is that frame to its last column.
TEST_F(Capture, TheSoughtFrameIsSavedToTheLastColumnAtEveryWidth) {
    struct Case {
        const char* clip;
        int w, h;
        int64_t atMs;
    } cases[] = {{"mpeg4_322x240_bf.avi", 322, 240, 999}, {"mpeg4_426x240_bf.avi", 426, 240, 959},
                 {"h264_854x480_bf.avi", 854, 480, 999},  {"h264_1366x768_bf.avi", 1366, 768, 499},
                 {"odd_321x241.avi", 321, 241, 1234}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.clip);
        openClip(c.clip);
        ASSERT_EQ(Module1::MediaOpen, -1);
        media::mciSendStringA("seek movi2 to " + std::to_string(c.atMs) + " wait", nullptr, 0, 0);
        plim::test::pumpEvents(100);
        expectSavedAsShownAt(c.clip, c.w, c.h, c.atMs * 1000);
        fs::remove(dir / "pics" / "frame.bmp");
    }
}

TEST_F(Capture, NamesGetTheBmpSuffixAlways) {
    openClip("mpeg1.mpg");
    std::ofstream(dir / "pics" / "A.BMP") << "original";
    struct Case {
        const char* typed;
        const char* written;
    } cases[] = {{"a.bmp", "a.bmp.bmp"}, {"   ", "   .bmp"}, {"名前 付き", "名前 付き.bmp"}};
    for (auto c : cases) {
        save(dir / "pics", c.typed);
        EXPECT_TRUE(fs::exists(dir / "pics" / c.written)) << c.typed;
    }
    // Clicking an existing file takes its name; the save goes beside it.
    MainFrm().ComSAVE_Click();
    DiaLog().Dir1.setPath((dir / "pics").string());
    select("A.BMP");
    EXPECT_EQ(DiaLog().Text1.Text(), "A.BMP");
    DiaLog().com_OK_Click();
    EXPECT_TRUE(fs::exists(dir / "pics" / "A.BMP.bmp"));
    std::ifstream in(dir / "pics" / "A.BMP");
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), "original");
}

TEST_F(Capture, AnEmptyNameAsksForOneAndKeepsTheChooserOpen) {
    openClip("mpeg1.mpg");
    boxes.clear();
    save(dir / "pics", "");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "ﾌｧｲﾙ名を入力してください");
    EXPECT_EQ(boxes[0].title, std::optional<std::string>("ｴﾗｰ"));
    EXPECT_EQ(boxes[0].buttons, forms::vbOKCancel);
    EXPECT_TRUE(DiaLog().Visible());
    EXPECT_TRUE(fs::is_empty(dir / "pics"));
}

TEST_F(Capture, SavingWhilePlayingKeepsPlayingWithPlayingCleared) {
    openClip("long_40s.avi");
    MainFrm().ComPLAY_Click();
    plim::test::pumpEvents(300);
    EXPECT_EQ(Module1::FrameBorder, 0);  // never paused: the copy starts at (0, 0)
    save(dir / "pics", "live");
    EXPECT_TRUE(fs::exists(dir / "pics" / "live.bmp"));
    EXPECT_EQ(Module1::Playing, 0);
    int64_t p1 = position();
    plim::test::pumpEvents(300);
    EXPECT_GT(position(), p1 + 150);  // still playing
}

TEST_F(Capture, AfterAFailedOpenTheWindowsBackgroundIsSaved) {
    std::ofstream(dir / "broken.avi") << "not a video";
    MainFrm().ComOpen_Click();
    DiaLog().Dir1.setPath(dir.string());
    select("broken.avi");
    DiaLog().com_OK_Click();
    EXPECT_EQ(Module1::MediaOpen, 0);
    save(dir / "pics", "plain");
    Decoded d = readWithPil(dir / "pics" / "plain.bmp");
    ASSERT_GT(d.width, 0);
    for (size_t i = 0; i < d.bgra.size(); i += 4) {
        ASSERT_EQ(d.bgra[i] + d.bgra[i + 1] + d.bgra[i + 2], 0) << "pixel " << i / 4;  // black
    }
}

TEST_F(Capture, AFailedWriteIsReportedAndKeepsTheOldFile) {
    openClip("mpeg1.mpg");
    std::ofstream(dir / "pics" / "old.bmp") << "old picture";
    boxes.clear();
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old;
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit full{2048, old.rlim_max};  // a disk that is full after 2 KiB, for root too
    setrlimit(RLIMIT_FSIZE, &full);
    save(dir / "pics", "old");
    setrlimit(RLIMIT_FSIZE, &old);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text.rfind("BMPﾌｧｲﾙに保存できませんでした\n", 0), 0u);
    EXPECT_EQ(boxes[0].title, std::optional<std::string>("ｴﾗｰ"));
    EXPECT_EQ(boxes[0].buttons, forms::vbOKOnly);
    std::ifstream in(dir / "pics" / "old.bmp");
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), "old picture");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "pics"), {}), 1);  // no temporary left
    if (::geteuid() != 0) {  // a read-only folder binds only other users
        fs::permissions(dir / "pics", fs::perms::owner_read | fs::perms::owner_exec);
        boxes.clear();
        save(dir / "pics", "old");
        EXPECT_EQ(boxes.size(), 1u);
    }
}

}  // namespace
