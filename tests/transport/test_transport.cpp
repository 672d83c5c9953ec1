// Play/pause, the slider and its stepping buttons, and position polling: the commands sent
// and the state left, with scripted replies; then the real service on a real clip.
#include <algorithm>

#include "../AppFixture.h"
#include "../TestSupport.h"
#include "media/VideoView.h"
#include "platform/forms/Runtime.h"
#include "platform/gdi/Gdi.h"
#include "platform/mci/MciService.h"

using namespace plim;
using plim::test::AppTest;
using Answer = media::CommandRecorder::Answer;
using Module1::Finished;
using Module1::MediaLength;
using Module1::MediaOpen;
using Module1::Playing;
using Module1::SliderPos;

namespace {

class Transport : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        Module1::Main();
        VFrm();  // as after an open
        MediaOpen = -1;
        MediaLength = 1000;
        recorder->clear();
    }
    MainFrmT& m() { return MainFrm(); }
    bool showsPause() { return m().ComPLAY.picture() == m().Img2.picture(); }
};

// --- play and pause --------------------------------------------------------------------

TEST_F(Transport, AClickWithNoVideoDoesNothing) {
    MediaOpen = 0;
    QGuiApplication::clipboard()->setText("keep me");
    m().ComPLAY_Click();
    EXPECT_TRUE(recorder->calls().empty());
    EXPECT_EQ(Playing, 0);
    EXPECT_FALSE(m().Timer1.Enabled());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "keep me");
}

TEST_F(Transport, PlayPausePlayContinuesWithoutASeek) {
    QGuiApplication::clipboard()->setText("gone");
    m().ComPLAY_Click();
    EXPECT_EQ(sent(), (std::vector<std::string>{"exec: play Movi2 "}));
    EXPECT_EQ(Playing, 1);
    EXPECT_TRUE(m().Timer1.Enabled());
    EXPECT_TRUE(showsPause());
    EXPECT_TRUE(QGuiApplication::clipboard()->text().isEmpty());

    m().ComPLAY_Click();
    EXPECT_EQ(sent().back(), "exec: stop movi2");
    EXPECT_EQ(Playing, 0);
    EXPECT_FALSE(m().Timer1.Enabled());
    EXPECT_FALSE(showsPause());
    // One side of the frame, from the outer and client widths.
    float outer = VFrm().Width() / Module1::TwipsX;
    EXPECT_EQ(Module1::FrameBorder, int16_t(std::nearbyint((outer - VFrm().ScaleWidth()) / 2)));

    m().ComPLAY_Click();
    EXPECT_EQ(sent(), (std::vector<std::string>{"exec: play Movi2 ", "exec: stop movi2", "exec: play Movi2 "}));
}

TEST_F(Transport, AfterTheEndAClickReplaysFromTheStart) {
    Finished = 1;
    m().ComPLAY_Click();
    EXPECT_EQ(sent(), (std::vector<std::string>{"exec: seek movi2 to start", "exec: play movi2 window"}));
    EXPECT_EQ(Playing, 1);
    EXPECT_EQ(Finished, 0);
    EXPECT_TRUE(m().Timer1.Enabled());
    EXPECT_TRUE(showsPause());
}

TEST_F(Transport, ARefusedCommandChangesTheStateAllTheSame) {
    recorder->always("play Movi2 ", Answer{"", 263});
    m().ComPLAY_Click();
    EXPECT_EQ(Playing, 1);
    EXPECT_TRUE(m().Timer1.Enabled());
}

// --- slider ----------------------------------------------------------------------------

struct StepCase {
    const char* name;
    float from;
    int delta;  // +5 ComRR, -5 ComFF
    int32_t length;
    float thumb;
    const char* seek;
};

class Steps : public Transport, public ::testing::WithParamInterface<StepCase> {};

TEST_P(Steps, MoveTheThumbAndSeek) {
    const StepCase& c = GetParam();
    MediaLength = c.length;
    m().PicTU.setLeft(c.from);
    c.delta > 0 ? m().ComRR_Click() : m().ComFF_Click();
    EXPECT_FLOAT_EQ(m().PicTU.Left(), c.thumb);
    EXPECT_EQ(sent(), (std::vector<std::string>{std::string("exec: ") + c.seek}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Steps,
    ::testing::Values(StepCase{"RRFromStart", 20, 5, 1000, 25, "seek movi2 to 65"},
                      StepCase{"FFAtLeftEnd", 23, -5, 1000, 18, "seek movi2 to 0"},
                      StepCase{"FFFrom18", 18, -5, 1000, 18, "seek movi2 to 0"},
                      StepCase{"RRNearRightEnd", 120, 5, 1000, 125, "seek movi2 to 1000"},
                      StepCase{"RRAtRightEnd", 125, 5, 1000, 125, "seek movi2 to 1000"},
                      StepCase{"To71", 66, 5, 1000, 71, "seek movi2 to 495"},
                      StepCase{"LongVideo", 120, 5, 60000, 125, "seek movi2 to 60000"},
                      StepCase{"ZeroLength", 60, 5, 0, 65, "seek movi2 to 0"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Transport, AStepWhilePlayingPlaysOnWhilePausedOnlySeeks) {
    m().Timer1.setEnabled(true);
    m().ComRR_Click();
    EXPECT_EQ(sent(), (std::vector<std::string>{"exec: seek movi2 to 65", "exec: play movi2 window notify"}));
    recorder->clear();
    m().Timer1.setEnabled(false);
    m().ComFF_Click();
    EXPECT_EQ(sent(), (std::vector<std::string>{"exec: seek movi2 to 19"}));
}

TEST_F(Transport, StepsWithNoVideoDoNothing) {
    MediaOpen = 0;
    m().ComRR_Click();
    m().PicTU_MouseMove(1, 0, 50, 8);
    m().PicTU_MouseUp(1, 0, 50, 8);
    EXPECT_TRUE(recorder->calls().empty());
    EXPECT_FLOAT_EQ(m().PicTU.Left(), 20);
}

TEST_F(Transport, DraggingFollowsThePointerWithinTheTrack) {
    struct Move {
        int16_t buttons;
        float x;
        float thumb;  // after the move
    } moves[] = {
        {1, 8, 20},     // the pointer at the thumb's centre: no move
        {1, 20, 32},    // 12 px right
        {2, 40, 32},    // right button: nothing
        {3, 40, 32},    // left and right together: nothing
        {1, 500, 125},  // far beyond the right end: clamped
        {1, -100, 18},  // beyond the left end: clamped
        {1, 30, 40},    // back on the track: follows again (18 + 30 - 8)
    };
    for (const Move& mv : moves) {
        m().PicTU_MouseMove(mv.buttons, 0, mv.x, 8);
        EXPECT_FLOAT_EQ(m().PicTU.Left(), mv.thumb) << mv.x;
    }
    EXPECT_TRUE(recorder->calls().empty());  // no seek while dragging
    m().PicTU_MouseUp(2, 0, 8, 8);
    EXPECT_TRUE(recorder->calls().empty());  // a right-button release does not seek
    m().PicTU_MouseUp(1, 0, 1000, 8);
    EXPECT_FLOAT_EQ(m().PicTU.Left(), 125);
    EXPECT_EQ(sent(), (std::vector<std::string>{"exec: seek movi2 to 1000"}));
}

// --- polling ---------------------------------------------------------------------------

TEST_F(Transport, ThePollMapsThePositionWithHalfToEven) {
    struct Case {
        int32_t length;
        const char* position;
        float thumb;
    } cases[] = {{210, "1", 20}, {210, "3", 22}, {210, "105", 72}, {1000, "500", 72},
                 {1000, "1000", 125}, {1000, "", 20}, {0, "500", 20}};
    m().Timer1.setEnabled(true);
    for (auto c : cases) {
        MediaLength = c.length;
        recorder->always("status movi2 mode", Answer{"playing"});
        recorder->always("status movi2 position", Answer{c.position});
        m().Timer1_Timer();
        EXPECT_FLOAT_EQ(m().PicTU.Left(), c.thumb) << c.length << " " << c.position;
        EXPECT_TRUE(m().Timer1.Enabled());
    }
}

TEST_F(Transport, TheTickThatSeesTheEndRewindsAndStops) {
    m().ComPLAY_Click();
    recorder->clear();
    recorder->always("status movi2 mode", Answer{"stopped"});
    recorder->always("status movi2 position", Answer{"0"});
    m().Timer1_Timer();
    EXPECT_EQ(sent(), (std::vector<std::string>{"send: status movi2 mode", "exec: seek movi2 to start",
                                                "send: status movi2 position"}));
    EXPECT_EQ(Playing, 0);
    EXPECT_EQ(Finished, 1);
    EXPECT_FALSE(m().Timer1.Enabled());
    EXPECT_FALSE(showsPause());
    EXPECT_FLOAT_EQ(m().PicTU.Left(), 20);
}

TEST_F(Transport, AModeThatBeginsWithStoppedIsTheEnd) {
    m().Timer1.setEnabled(true);
    recorder->always("status movi2 mode", Answer{"stopped (done)"});
    m().Timer1_Timer();
    EXPECT_EQ(Finished, 1);
}

// --- with the real service -------------------------------------------------------------

class RealTransport : public AppTest {
protected:
    std::shared_ptr<media::MciService> inner() override { return mci::createService(); }
    void open(const std::string& file) {
        Module1::Main();
        Module1::MediaPath = plim::test::clip(file);
        Module1::OpenMedia();
        VFrm().Show();
        ASSERT_EQ(MediaOpen, -1);
    }
    int64_t position() {
        media::ReplyBuffer r;
        media::mciSendStringA("status movi2 position", r.text, media::kReplyLength, 0);
        return int64_t(media::ReplyNumber(r));
    }
};

TEST_F(RealTransport, PlaysToTheEndThenReplaysFromTheStart) {
    open("h264.avi");
    MainFrmT& m = MainFrm();
    m.ComPLAY_Click();
    QElapsedTimer t;
    t.start();
    while (Finished == 0 && t.elapsed() < 8000) plim::test::pumpEvents(50);
    EXPECT_EQ(Finished, 1);
    EXPECT_FALSE(m.Timer1.Enabled());
    EXPECT_FLOAT_EQ(m.PicTU.Left(), 20);
    EXPECT_EQ(m.ComPLAY.picture(), m.Img1.picture());
    EXPECT_EQ(position(), 0);
    m.ComPLAY_Click();
    plim::test::pumpEvents(600);
    EXPECT_GT(position(), 300);
    EXPECT_EQ(Playing, 1);
}

// Sound that ends long before the picture, or has a hole, never holds up the transport:
// the play button's tick sees the end in real time, rewinds and stops.
class SoundClips : public RealTransport, public ::testing::WithParamInterface<const char*> {};

TEST_P(SoundClips, PlayToTheEndInRealTime) {
    open(GetParam());
    media::ReplyBuffer r;
    media::mciSendStringA("status movi2 length", r.text, media::kReplyLength, 0);
    double lengthS = media::ReplyNumber(r) / 1000.0;
    MainFrmT& m = MainFrm();
    m.ComPLAY_Click();
    QElapsedTimer t;
    t.start();
    while (Finished == 0 && t.elapsed() < 15000) plim::test::pumpEvents(20);
    EXPECT_EQ(Finished, 1);
    EXPECT_NEAR(t.elapsed() / 1000.0, lengthS, 0.7);
    EXPECT_FLOAT_EQ(m.PicTU.Left(), 20);
    EXPECT_EQ(position(), 0);
}

INSTANTIATE_TEST_SUITE_P(ShortAndGappy, SoundClips, ::testing::Values("short_sound.avi", "gap_sound.mpg"),
                         [](const auto& info) { return std::string(info.param).substr(0, std::string(info.param).find('.')); });

TEST_F(RealTransport, PauseAndPlayContinueFromThePausedFrame) {
    open("mpeg4_mp3.avi");
    MainFrmT& m = MainFrm();
    m.ComPLAY_Click();
    plim::test::pumpEvents(700);
    m.ComPLAY_Click();
    int64_t paused = position();
    EXPECT_GT(paused, 400);
    plim::test::pumpEvents(300);
    EXPECT_EQ(position(), paused);
    recorder->clear();
    m.ComPLAY_Click();
    EXPECT_EQ(sent(), (std::vector<std::string>{"exec: play Movi2 "}));
    plim::test::pumpEvents(300);
    EXPECT_GT(position(), paused + 150);
}

TEST_F(RealTransport, ReleasingTheThumbShowsThatFrameEvenNearTheEndOfALongVideo) {
    open("long_40s.avi");
    MainFrmT& m = MainFrm();
    m.PicTU_MouseUp(1, 0, 8 + (124 - 20), 8);  // thumb to 124
    int64_t want = std::llround((124.0 - 18) / 107 * MediaLength);
    EXPECT_EQ(Module1::SeekTo, want);
    EXPECT_GT(want, 32767);
    plim::test::pumpEvents(400);
    EXPECT_EQ(position(), want);
    QImage shown = VFrm().widget()->grab().toImage().copy(0, 0, 320, 240).convertToFormat(QImage::Format_RGB32);
    auto ref = plim::test::referenceAt(plim::test::clip("long_40s.avi"), want * 1000, 320, 240);
    EXPECT_GE(plim::test::psnr(shown.constBits(), int(shown.bytesPerLine()), ref, 320, 240), 45.0);
}

}  // namespace

namespace {

// Files whose real timing differs from what a header tells: each plays to its real end in real
// time through the play button and the poll, and then reports its real length.
TEST_F(RealTransport, HeldPicturesLongSoundAndJoinedFilesPlayTheirRealLength) {
    struct Case {
        const char* file;
        int64_t realMs;
    } cases[] = {{"long_sound.avi", 3000}, {"long_pcm_sound.avi", 3000}, {"held.avi", 5000}, {"joined.mpg", 4000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        open(c.file);
        MainFrmT& m = MainFrm();
        QElapsedTimer t;
        t.start();
        m.ComPLAY_Click();
        media::ReplyBuffer r;
        auto playing = [&] {
            media::mciSendStringA("status movi2 mode", r.text, media::kReplyLength, 0);
            return r.str() == "playing";
        };
        while (playing() && t.elapsed() < c.realMs + 3000) plim::test::pumpEvents(10);
        EXPECT_NEAR(double(t.elapsed()), double(c.realMs), 500.0) << "plays to its real end in real time";
        media::mciSendStringA("status movi2 length", r.text, media::kReplyLength, 0);
        int64_t found = int64_t(media::ReplyNumber(r));
        while (Finished == 0 && t.elapsed() < c.realMs + 4000) plim::test::pumpEvents(20);
        EXPECT_EQ(Finished, 1) << "the poll sees the end";
        EXPECT_NEAR(double(found), double(c.realMs), 60.0) << "reports its real length";
        media::mciExecute("close movi2");
        Module1::ResetState();
    }
}

// Keys on the video window: a step pauses a playing video as the play button does, the thumb
// follows by the poll's formula, and without an open video the keys do nothing.
TEST_F(RealTransport, KeysStepPauseAndMoveTheThumb) {
    open("long_40s.avi");
    MainFrmT& m = MainFrm();
    m.ComPLAY_Click();
    plim::test::pumpEvents(400);
    recorder->clear();
    VFrm().Form_KeyDown(forms::kKeyRight, 0);
    EXPECT_EQ(Playing, 0);
    EXPECT_FALSE(m.Timer1.Enabled());
    EXPECT_EQ(m.ComPLAY.picture(), m.Img1.picture());
    auto cmds = sent();
    ASSERT_GE(cmds.size(), 2u);
    EXPECT_EQ(cmds[0], "exec: stop movi2");
    EXPECT_NE(std::find(cmds.begin(), cmds.end(), "exec: step movi2 by 1 wait"), cmds.end());
    struct Case {
        int16_t key;
        const char* command;
    } cases[] = {{forms::kKeyEnd, "seek movi2 to end"}, {forms::kKeyLeft, "step movi2 reverse by 1"},
                 {forms::kKeyComma, "step movi2 reverse by 1"}, {forms::kKeyHome, "seek movi2 to start"},
                 {forms::kKeyPeriod, "step movi2 by 1"}};
    for (const Case& c : cases) {
        recorder->clear();
        VFrm().Form_KeyDown(c.key, 0);
        ASSERT_FALSE(sent().empty()) << c.command;
        EXPECT_EQ(sent()[0], std::string("exec: ") + c.command + " wait");
        int64_t pos = position();
        EXPECT_EQ(SliderPos, rt::CInt(double(pos) * 105.0 / double(MediaLength) + 20.0)) << c.command;
        EXPECT_FLOAT_EQ(m.PicTU.Left(), SliderPos) << c.command;
    }
    EXPECT_EQ(position(), 40) << "Home, then one frame at 25 fps";
    VFrm().Form_KeyDown(forms::kKeySpace, 0);
    EXPECT_EQ(Playing, 1);
    VFrm().Form_KeyDown(forms::kKeySpace, 0);
    EXPECT_EQ(Playing, 0);
}

// The sound level from the video window's keys: 5 % steps on the device's scale, mute and
// unmute, kept for the next video; nothing sent before the level first changes.
TEST_F(RealTransport, SoundLevelKeysSetTheDeviceAndOutliveTheVideo) {
    open("h264_aac.mp4");
    auto opening = sent();
    EXPECT_TRUE(std::none_of(opening.begin(), opening.end(), [](const std::string& c) { return c.find("setaudio") != c.npos; }))
        << "an open at the full level sends what it always has";
    struct Case {
        int16_t key;
        const char* command;
        double heard;
    } cases[] = {{'9', "send: setaudio movi2 volume to 950", 0.95}, {'9', "send: setaudio movi2 volume to 900", 0.90},
                 {'M', "send: setaudio movi2 volume to 0", 0.0},    {'M', "send: setaudio movi2 volume to 900", 0.90},
                 {'0', "send: setaudio movi2 volume to 950", 0.95}, {'M', "send: setaudio movi2 volume to 0", 0.0},
                 {'9', "send: setaudio movi2 volume to 900", 0.90}};  // a change while muted unmutes
    for (const Case& c : cases) {
        recorder->clear();
        VFrm().Form_KeyDown(c.key, 0);
        ASSERT_EQ(sent().size(), 1u) << c.command;
        EXPECT_EQ(sent()[0], c.command);
        EXPECT_DOUBLE_EQ(SoundLevel(), c.heard) << c.command;
    }
    media::ReplyBuffer r;
    media::mciSendStringA("status movi2 volume", r.text, media::kReplyLength, 0);
    EXPECT_STREQ(r.text, "900");
    media::mciExecute("close movi2");
    recorder->clear();
    Module1::OpenMedia();
    ASSERT_EQ(MediaOpen, -1);
    auto reopening = sent();
    EXPECT_NE(std::find(reopening.begin(), reopening.end(), "send: setaudio movi2 volume to 900"), reopening.end())
        << "the next video keeps the level";
    SetSoundLevel(0.333);
    EXPECT_DOUBLE_EQ(SoundLevel(), 0.333);
    VFrm().Form_KeyDown('0', 0);
    EXPECT_DOUBLE_EQ(SoundLevel(), 0.35) << "back on the 5 % steps";
    for (int i = 0; i < 30; ++i) VFrm().Form_KeyDown('0', 0);
    EXPECT_DOUBLE_EQ(SoundLevel(), 1.0);
}

// Ctrl+C: the frame shown, at the video's own size however the window shows it, as the
// save's "update" draws it; nothing without a video.
TEST_F(RealTransport, CtrlCCopiesTheFrameAtItsOwnSize) {
    QClipboard* clip = QGuiApplication::clipboard();
    clip->setText("before");
    Module1::Main();
    VFrm().Form_KeyDown('C', 2);
    EXPECT_EQ(clip->text(), "before") << "no video: the clipboard is left alone";
    open("h264.avi");
    plim::test::pumpEvents(200);
    for (int scale : {200, 100}) {
        VFrm().Form_KeyDown(scale == 200 ? '2' : '1', 4);
        VFrm().Form_KeyDown('C', 2);
        QImage copied = clip->image();
        ASSERT_EQ(copied.size(), QSize(320, 240)) << scale;
        QImage drawn(320, 240, QImage::Format_RGB32);
        gdi::HDC dc = gdi::dcForBitmap(&drawn);
        media::mciSendStringA("update movi2 hdc " + std::to_string(dc) + " at 0 0 0 0", nullptr, 0, 0);
        gdi::releaseDc(dc);
        EXPECT_TRUE(copied.convertToFormat(QImage::Format_RGB32) == drawn) << scale;
    }
}

// Alt+2, Alt+0 and Alt+1 size the window for the picture at 200, 50 and 100 %, telling the
// device the picture's size; F and Escape go full screen and back, the device's rectangles
// put back as they were.
TEST_F(RealTransport, TheWindowsScalesAndFullScreen) {
    open("h264.avi");
    const QSize opened(int(VFrm().ScaleWidth()), int(VFrm().ScaleHeight()));
    struct Case {
        int16_t key;
        QSize client;
        const char* destination;
    } cases[] = {{'2', {644, 484}, "send: put Movi2 destination at 0 0 640 480"},
                 {'0', {164, 124}, "send: put Movi2 destination at 0 0 160 120"},
                 {'1', {324, 244}, "send: put Movi2 destination at 0 0 320 240"}};
    for (const Case& c : cases) {
        recorder->clear();
        VFrm().Form_KeyDown(c.key, 4);
        EXPECT_EQ(QSize(int(VFrm().ScaleWidth()), int(VFrm().ScaleHeight())), c.client) << c.destination;
        auto cmds = sent();
        EXPECT_NE(std::find(cmds.begin(), cmds.end(), c.destination), cmds.end()) << c.destination;
        EXPECT_EQ(VideoAtOpenSize(), c.key == '1') << c.destination;
    }
    EXPECT_EQ(QSize(int(VFrm().ScaleWidth()), int(VFrm().ScaleHeight())), opened);
    recorder->clear();
    VFrm().Form_KeyDown('F', 0);
    EXPECT_TRUE(VFrm().FullScreen());
    EXPECT_FALSE(VideoAtOpenSize());
    VFrm().Form_KeyDown(forms::kKeyEscape, 0);
    EXPECT_FALSE(VFrm().FullScreen());
    auto cmds = sent();
    EXPECT_EQ(cmds.back(), "send: put Movi2 destination at 0 0 320 240") << "put back as it was";
    EXPECT_EQ(QSize(int(VFrm().ScaleWidth()), int(VFrm().ScaleHeight())), opened);
}

TEST_F(RealTransport, KeysDoNothingWithoutAnOpenVideo) {
    Module1::Main();
    recorder->clear();
    for (int16_t key : {forms::kKeyRight, forms::kKeyLeft, forms::kKeySpace, forms::kKeyHome, forms::kKeyEnd})
        VFrm().Form_KeyDown(key, 0);
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(Playing, 0);
}

}  // namespace
