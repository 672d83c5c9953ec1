// The command channel and OpenMedia: with scripted replies, and with the real service.
#include <QImage>
#include <filesystem>

#include "../AppFixture.h"
#include "../TestSupport.h"
#include "platform/forms/Handles.h"
#include "platform/mci/MciService.h"

using namespace plim;
using plim::test::AppTest;
using Answer = media::CommandRecorder::Answer;

namespace {

TEST(GetField, SplitsAtTheDelimiter) {
    struct Case {
        const char* text;
        int16_t n;
        const char* delim;
        const char* want;
    } cases[] = {
        {"a b c", 1, " ", "a"},  {"a b c", 2, " ", "b"},   {"a b c", 3, " ", "c"}, {"a b c", 4, " ", ""},
        {"a b c", 0, " ", "a"},  {"a b c", -3, " ", "a"},  {"abc", 1, " ", "abc"}, {"abc", 2, " ", ""},
        {"a  b", 2, " ", ""},    {"a  b", 3, " ", "b"},    {" a", 1, " ", ""},     {"a b", 1, "", ""},
        {"a b", 2, "", ""},      {"0 0 320 240", 3, " ", "320"}, {"0 0 320 240", 4, " ", "240"},
    };
    for (auto c : cases) EXPECT_EQ(Module1::GetField(c.text, c.n, c.delim), c.want) << c.text << " " << c.n;
}

TEST(Replies, AreReadAsNumberOrWord) {
    media::ReplyBuffer r;
    std::strcpy(r.text, " \t\n42abc");
    EXPECT_EQ(media::ReplyNumber(r), 42);
    std::strcpy(r.text, "stopped");
    EXPECT_TRUE(media::ReplyIsStopped(r));
    std::strcpy(r.text, "stopped and more");
    EXPECT_TRUE(media::ReplyIsStopped(r));
    std::strcpy(r.text, "Stopped");
    EXPECT_FALSE(media::ReplyIsStopped(r));
    std::strcpy(r.text, "stoppe");
    EXPECT_FALSE(media::ReplyIsStopped(r));
}

class OpenMediaTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        Module1::Main();
        recorder->clear();
    }
    void script(const std::string& length, const std::string& where) {
        recorder->always("status Movi2 length", Answer{length});
        recorder->always("where Movi2 source", Answer{where});
    }
};

TEST_F(OpenMediaTest, SendsTheOpenAndQueriesInOrder) {
    script("900", "0 0 320 240");
    Module1::MediaPath = "/v/a.avi";
    Module1::OpenMedia();
    std::string h = std::to_string(VFrm().Pic.hWnd());
    EXPECT_EQ(sent(), (std::vector<std::string>{"send: open /v/a.avi alias Movi2 style child parent " + h,
                                                "send: status Movi2 length", "exec: realize Movi2 normal",
                                                "exec: window Movi2 state show", "send: where Movi2 source"}));
    EXPECT_EQ(Module1::MediaOpen, -1);
    EXPECT_EQ(Module1::SliderPos, 20);
    EXPECT_EQ(Module1::MediaLength, 900);
}

TEST_F(OpenMediaTest, QuotesAPathWithBlanks) {
    script("900", "0 0 320 240");
    Module1::MediaPath = "/v/my movies/a.avi";
    Module1::OpenMedia();
    EXPECT_EQ(recorder->calls()[0].command.rfind("open \"/v/my movies/a.avi\" alias Movi2", 0), 0u);
}

TEST_F(OpenMediaTest, SizesTheVideoAndCaptureWindowsToTheVideo) {
    struct Case {
        const char* where;
        int32_t w, h;
    } cases[] = {{"0 0 320 240", 320, 240}, {"8 16 352 240", 352, 240}, {"0 0 176 144", 176, 144},
                 {"0 0 352", 352, 0},       {"", 0, 0},                 {"0 0 abc 240", 0, 240}};
    for (auto c : cases) {
        script("900", c.where);
        Module1::MediaPath = "/v/a.avi";
        Module1::OpenMedia();
        VFrmT& v = VFrm();
        EXPECT_EQ(Module1::VideoWidth, c.w) << c.where;
        EXPECT_EQ(Module1::VideoHeight, c.h) << c.where;
        EXPECT_EQ(v.ScaleWidth(), c.w + 4) << c.where;
        EXPECT_EQ(v.ScaleHeight(), c.h + 4) << c.where;
        EXPECT_EQ(Ufrm().Pic.Width(), c.w + 4);
        EXPECT_EQ(Ufrm().Pic.Height(), c.h + 4);
        EXPECT_EQ(v.Pic.ScaleWidth(), c.w + 4);
        EXPECT_FLOAT_EQ(v.Top(), MainFrm().Top() + MainFrm().Height());
        EXPECT_NEAR(v.Left(), (forms::Screen::Width() - v.Width()) / 2, 15);
        EXPECT_FLOAT_EQ(v.Pic.Left(), 0);
    }
}

TEST_F(OpenMediaTest, ReadsTheLengthRoundedHalfToEven) {
    struct Case {
        const char* reply;
        int32_t want;
    } cases[] = {{"900", 900}, {"", 0}, {"2.5", 2}, {"3.5", 4}, {" 6560", 6560}};
    for (auto c : cases) {
        script(c.reply, "0 0 320 240");
        Module1::OpenMedia();
        EXPECT_EQ(Module1::MediaLength, c.want) << c.reply;
    }
}

TEST_F(OpenMediaTest, AFailedOpenChangesNoWindowAndShowsTheServiceText) {
    script("900", "0 0 320 240");
    Module1::OpenMedia();
    QSize before(int(VFrm().ScaleWidth()), int(VFrm().ScaleHeight()));
    float top = VFrm().Top();
    recorder->clear();
    recorder->setErrorText("ファイルが見つかりません。");
    Module1::MediaPath = "/v/missing.avi";
    recorder->script("open /v/missing.avi alias Movi2 style child parent " + std::to_string(VFrm().Pic.hWnd()),
                     Answer{"", 275});
    Module1::OpenMedia();
    EXPECT_EQ(Module1::MediaOpen, 0);
    EXPECT_EQ(Module1::MediaLength, 900);  // kept
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "ファイルが見つかりません。");
    EXPECT_EQ(boxes[0].buttons, forms::vbOKOnly);
    EXPECT_FALSE(boxes[0].title.has_value());  // the application's title
    EXPECT_EQ(sent().size(), 2u);               // the open and the error text, nothing more
    EXPECT_EQ(sent()[1], "error: 275");
    EXPECT_EQ(QSize(int(VFrm().ScaleWidth()), int(VFrm().ScaleHeight())), before);
    EXPECT_FLOAT_EQ(VFrm().Top(), top);
}

// --- with the real service -------------------------------------------------------------

class RealService : public AppTest {
protected:
    std::shared_ptr<media::MciService> inner() override { return mci::createService(); }
    std::string reply(const std::string& cmd) {
        media::ReplyBuffer r;
        EXPECT_EQ(media::mciSendStringA(cmd, r.text, media::kReplyLength, 0), 0u) << cmd;
        return r.str();
    }
};

TEST_F(RealService, OpensAClipByFullPathAndShowsItsFirstFrame) {
    Module1::Main();
    Module1::MediaPath = plim::test::clip("mpeg4_mp3.avi");
    Module1::OpenMedia();
    VFrm().Show();
    ASSERT_EQ(Module1::MediaOpen, -1);
    EXPECT_NEAR(Module1::MediaLength, 3000, 40);  // within a frame
    EXPECT_EQ(Module1::VideoWidth, 320);
    EXPECT_EQ(Module1::VideoHeight, 240);
    EXPECT_EQ(reply("status movi2 mode"), "stopped");
    EXPECT_EQ(reply("status movi2 position"), "0");
    EXPECT_EQ(reply("where movi2 destination"), "0 0 320 240");
    EXPECT_EQ(reply("status movi2 time format"), "milliseconds");
    plim::test::pumpEvents(300);
    QImage shot = VFrm().widget()->grab().toImage();
    auto ref = plim::test::referenceFrame(plim::test::clip("mpeg4_mp3.avi"), 0, 320, 240);
    QImage frame = shot.copy(0, 0, 320, 240).convertToFormat(QImage::Format_RGB32);
    EXPECT_GE(plim::test::psnr(frame.constBits(), int(frame.bytesPerLine()), ref, 320, 240), 45.0);
}

TEST_F(RealService, AnswersTheCommandsAsTheRealServiceDoes) {
    QWidget host;
    std::string h = std::to_string(forms::handleOf(&host));
    std::string clip = plim::test::clip("mjpeg_pcm.avi");
    EXPECT_EQ(media::mciSendStringA("open \"" + clip + "\" alias Film style child parent " + h, nullptr, 0, 0), 0u);
    EXPECT_EQ(media::mciSendStringA("open \"" + clip + "\" alias FILM", nullptr, 0, 0), 289u);
    EXPECT_EQ(reply("status film length"), "3000");
    EXPECT_EQ(reply("status film ready"), "true");
    EXPECT_EQ(reply("where film source"), "0 0 320 240");
    EXPECT_EQ(media::mciSendStringA("seek film to 3001", nullptr, 0, 0), 282u);
    EXPECT_EQ(reply("seek film to 1500 wait"), "");
    EXPECT_EQ(reply("status film position"), "1500");
    EXPECT_EQ(reply("set film time format frames"), "");
    EXPECT_EQ(reply("status film length"), "75");
    EXPECT_EQ(reply("status film position"), "38");  // 1500 ms at 25 frames a second, rounded
    EXPECT_EQ(reply("seek film to end"), "");
    EXPECT_EQ(reply("status film position"), "75");
    EXPECT_EQ(reply("set film time format ms"), "");
    EXPECT_EQ(reply("play film from 2500 wait"), "");
    EXPECT_EQ(reply("status film mode"), "stopped");
    EXPECT_EQ(reply("status film position"), "3000");
    char tiny[4];
    EXPECT_EQ(media::mciSendStringA("status film length", tiny, sizeof tiny, 0), 0u);
    EXPECT_STREQ(tiny, "300");  // cut to fit, never overrun
    EXPECT_EQ(media::mciSendStringA("close film", nullptr, 0, 0), 0u);
    EXPECT_EQ(media::mciSendStringA("status film mode", nullptr, 0, 0), 263u);
    EXPECT_EQ(media::mciSendStringA("close all", nullptr, 0, 0), 0u);
}

// The device's play is told once per change, with what the desktop's controls show: a
// stop by command is not an end; an end by itself holds until play starts again.
TEST_F(RealService, TellsEachChangeOfADevicesPlayOnce) {
    QWidget host;
    std::string h = std::to_string(forms::handleOf(&host));
    std::string clip = plim::test::clip("mjpeg_pcm.avi");
    std::vector<mci::DeviceNotice> told;
    media::DeviceWatch watch([&](const mci::DeviceNotice& n) { told.push_back(n); });
    using P = mci::DevicePlay;
    struct Step {
        std::string command;
        std::vector<P> want;  // the notices it causes, in order
        int64_t volume = 1000;
    };
    const Step steps[] = {
        {"open \"" + clip + "\" alias Film style child parent " + h, {P::Stopped}},
        {"play film", {P::Playing}},
        {"play film", {}},
        {"stop film", {P::Stopped}},
        {"seek film to 2800 wait", {}},
        {"play film wait", {P::Playing, P::Ended}},
        {"seek film to start wait", {}},
        {"step film by 1 wait", {}},
        {"setaudio film volume to 300", {P::Ended}, 300},
        {"play film", {P::Playing}, 300},
        {"pause film", {P::Paused}, 300},
        {"close film", {P::Closed}, 300},
    };
    for (const Step& s : steps) {
        told.clear();
        EXPECT_EQ(media::mciSendStringA(s.command, nullptr, 0, 0), 0u) << s.command;
        std::vector<P> got;
        for (const mci::DeviceNotice& n : told) {
            got.push_back(n.play);
            EXPECT_EQ(n.alias, "Film");
            EXPECT_EQ(n.path, clip);
            EXPECT_EQ(n.lengthMs, 3000);
            EXPECT_EQ(n.volume, s.volume) << s.command;
        }
        EXPECT_EQ(got, s.want) << s.command;
    }
}

TEST(DevicePlay, FollowsTheEnginesModeAndHoldsAnEnd) {
    using P = mci::DevicePlay;
    using M = engine::Mode;
    struct Case {
        P was;
        M now;
        bool byCommand;
        P want;
    };
    const Case cases[] = {
        {P::Stopped, M::Playing, true, P::Playing},  {P::Playing, M::Stopped, true, P::Stopped},
        {P::Playing, M::Paused, true, P::Paused},    {P::Playing, M::Stopped, false, P::Ended},
        {P::Ended, M::Stopped, true, P::Ended},      {P::Ended, M::Playing, true, P::Playing},
        {P::Paused, M::Stopped, false, P::Stopped},  {P::Stopped, M::Stopped, false, P::Stopped},
    };
    for (const Case& c : cases) EXPECT_EQ(mci::nextPlay(c.was, c.now, c.byCommand), c.want) << int(c.was) << int(c.now);
}

TEST_F(RealService, RefusesFilesItCannotPlay) {
    QWidget host;
    std::string h = std::to_string(forms::handleOf(&host));
    struct Case {
        std::string file;
        uint32_t code;
    } cases[] = {{plim::test::clip("missing.avi"), 275},
                 {plim::test::clip("empty.avi"), 296},
                 {plim::test::clip("notavideo.avi"), 296}};
    for (const auto& c : cases) {
        EXPECT_EQ(media::mciSendStringA("open \"" + c.file + "\" alias m style child parent " + h, nullptr, 0, 0), c.code)
            << c.file;
    }
    EXPECT_EQ(media::mciSendStringA("open \"" + plim::test::clip("h264.avi") + "\" alias m style child parent 7", nullptr,
                                    0, 0),
              347u);  // no such window
}

TEST_F(RealService, ExecuteShowsTheErrorBoxAndGoesOn) {
    EXPECT_FALSE(media::mciExecute("play nothing"));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find("デバイス名が無効"), std::string::npos);
    EXPECT_EQ(boxes[0].buttons, forms::vbOKOnly);
}

TEST_F(RealService, AJapaneseNameInAFolderWithABlankOpensAndPlays) {
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / "plim テスト フォルダ";
    fs::create_directories(dir);
    fs::path file = dir / "動画 ファイル.avi";
    fs::copy_file(plim::test::clip("mpeg1.mpg"), file, fs::copy_options::overwrite_existing);
    Module1::Main();
    Module1::MediaPath = file.string();
    Module1::OpenMedia();
    EXPECT_EQ(Module1::MediaOpen, -1);
    EXPECT_EQ(reply("play movi2 from 2700 wait"), "");
    EXPECT_EQ(reply("status movi2 mode"), "stopped");
    EXPECT_EQ(reply("status movi2 position"), std::to_string(Module1::MediaLength));
    media::mciExecute("close movi2");
    fs::remove_all(dir);
}

}  // namespace
