// Start-up, the windows' design state, and the quit action.
#include <QWidget>
#include <filesystem>

#include <QAbstractButton>
#include <QMessageBox>
#include <csignal>

#include "../AppFixture.h"
#include "app/Desktop.h"
#include "app/QuitOnSignals.h"

using namespace plim;
using plim::test::AppTest;
using plim::test::Ended;

namespace {

class StartUp : public AppTest, public ::testing::WithParamInterface<int> {};

TEST_P(StartUp, PlacesTheMainWindowAndItsControls) {
    int dpi = GetParam();
    forms::Screen::setDpiOverride(dpi);
    int16_t tpp = int16_t(1440 / dpi);
    Module1::Main();
    MainFrmT& m = MainFrm();
    EXPECT_EQ(Module1::TwipsX, tpp);
    EXPECT_EQ(Module1::TwipsY, tpp);
    EXPECT_FLOAT_EQ(m.Height(), float(tpp * 75));
    EXPECT_FLOAT_EQ(m.Top(), std::round(forms::Screen::Height() / 10 / tpp) * tpp);
    EXPECT_EQ(m.widget()->width(), dpi == 96 ? 161 : 201);  // 2415 twips of client
    float button = 255.0f / tpp;  // 17 px at 15, 21.25 px at 12
    EXPECT_FLOAT_EQ(m.ComOpen.Width(), button);
    EXPECT_FLOAT_EQ(m.ComOpen.Left(), 0);
    EXPECT_FLOAT_EQ(m.ComSAVE.Left(), button + 1);
    EXPECT_FLOAT_EQ(m.ComPLAY.Left(), 2 * (button + 1));
    EXPECT_FLOAT_EQ(m.ComEND.Left(), 3 * (button + 1));
    for (auto* b : {&m.ComOpen, &m.ComSAVE, &m.ComPLAY, &m.ComEND}) EXPECT_FLOAT_EQ(b->Top(), 0);
    EXPECT_FLOAT_EQ(m.ComFF.Left(), 0);
    EXPECT_FLOAT_EQ(m.ComFF.Top(), 23);
    EXPECT_FLOAT_EQ(m.ComRR.Left(), 142);
    EXPECT_FLOAT_EQ(m.ComRR.Top(), 23);
    EXPECT_FLOAT_EQ(m.PicTU.Left(), 20);
    EXPECT_FLOAT_EQ(m.PicTU.Top(), 22);
    EXPECT_FLOAT_EQ(m.PicTU.Width(), 240.0f / tpp);
}

INSTANTIATE_TEST_SUITE_P(Dpi, StartUp, ::testing::Values(96, 120));

TEST_F(AppTest, StartsWithOnlyOpenAndQuitEnabled) {
    Module1::Main();
    MainFrmT& m = MainFrm();
    EXPECT_TRUE(m.Visible());
    EXPECT_EQ(m.Caption(), "Plim");
    EXPECT_TRUE(m.ComOpen.Enabled());
    EXPECT_TRUE(m.ComEND.Enabled());
    for (auto* b : {&m.ComSAVE, &m.ComPLAY, &m.ComFF, &m.ComRR}) EXPECT_FALSE(b->Enabled());
    EXPECT_FALSE(m.Timer1.Enabled());
    EXPECT_EQ(m.Timer1.Interval(), 500);
    EXPECT_TRUE(Ufrm.exists());
    EXPECT_FALSE(Ufrm().Visible());
    EXPECT_FALSE(VFrm.exists());
    EXPECT_FALSE(DiaLog.exists());
    // The picture stores lie below the 75-pixel window: never seen.
    EXPECT_GE(m.Img1.Top(), m.ScaleHeight());
    EXPECT_GE(m.Img2.Top(), m.ScaleHeight());
    EXPECT_EQ(m.ComOpen.ToolTipText(), "動画ﾌｧｲﾙを開く");
    EXPECT_EQ(m.ComSAVE.ToolTipText(), "名前を付けてBMPファイルとして保存");
    EXPECT_EQ(m.ComPLAY.ToolTipText(), "再生/一時停止");
    EXPECT_EQ(m.ComEND.ToolTipText(), "終了");
    EXPECT_EQ(Module1::MediaOpen, 0);
    EXPECT_EQ(Module1::Playing, 0);
    EXPECT_TRUE(recorder->calls().empty());
}

TEST_F(AppTest, TheDialogsDesignState) {
    DiaLogT& d = DiaLog();
    EXPECT_EQ(d.Caption(), "ﾀﾞｲｱﾛｸﾞ");
    EXPECT_EQ(d.Text1.Text(), "");
    EXPECT_FALSE(d.File1.Enabled());
    EXPECT_EQ(d.File1.Pattern(), "*.bmp;*.jpg");
    EXPECT_FALSE(d.MakeDir.Visible());
    EXPECT_EQ(d.MakeDir.ToolTipText(), "新規ﾌｫﾙﾀﾞ作成");
    EXPECT_TRUE(d.com_OK.Enabled());
    EXPECT_EQ(d.Dir1.Path(), std::filesystem::current_path().string());
    EXPECT_TRUE(d.Visible());  // its load handler shows it
}

struct QuitCase {
    const char* name;
    int16_t mediaOpen;
    bool fromTitleBar;
    std::vector<std::string> sent;
};

class Quit : public AppTest, public ::testing::WithParamInterface<QuitCase> {};

TEST_P(Quit, ClosesAnOpenDeviceThenEnds) {
    const QuitCase& c = GetParam();
    Module1::Main();
    Module1::MediaOpen = c.mediaOpen;
    recorder->clear();
    if (c.fromTitleBar) {
        int cancel = 0;
        EXPECT_THROW(MainFrm().Form_Unload(cancel), Ended);
        EXPECT_EQ(cancel, 0);
    } else {
        EXPECT_THROW(MainFrm().ComEND_Click(), Ended);
    }
    EXPECT_EQ(sent(), c.sent);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Quit,
    ::testing::Values(QuitCase{"NoVideo", 0, false, {}}, QuitCase{"VideoOpen", -1, false, {"exec: close movi2"}},
                      QuitCase{"TitleBarNoVideo", 0, true, {}},
                      QuitCase{"TitleBarVideoOpen", -1, true, {"exec: close movi2"}}),
    [](const auto& info) { return std::string(info.param.name); });

// A signal runs the quit action on the GUI thread, as the quit button does.
TEST_F(AppTest, TerminationSignalsRunTheQuitAction) {
    Module1::Main();
    Module1::MediaOpen = -1;
    int quits = 0;
    static bool installed = false;
    static std::function<void()> onQuit;
    onQuit = [&] { ++quits; };
    if (!installed) quitOnSignals([] { onQuit(); });
    installed = true;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        int before = quits;
        ::raise(sig);
        QElapsedTimer t;
        t.start();
        while (quits == before && t.elapsed() < 2000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        EXPECT_EQ(quits, before + 1) << sig;
    }
    onQuit = [] {};
}

// The video window has no close box and stays when the window manager asks it to close.
TEST_F(AppTest, TheVideoWindowCannotBeClosedFromItsTitleBar) {
    Module1::Main();
    VFrm().Show();
    QWidget* w = VFrm().widget();
    EXPECT_FALSE(w->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(w->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(w->close());
    plim::test::pumpEvents(50);
    EXPECT_TRUE(VFrm.exists());
    EXPECT_TRUE(VFrm().Visible());
    EXPECT_TRUE(MainFrm().widget()->windowFlags() & Qt::WindowCloseButtonHint);
}

TEST_F(AppTest, PictureButtonsAreNamedForScreenReaders) {
    MainFrmT& m = MainFrm();
    for (forms::Control* c : {static_cast<forms::Control*>(&m.ComOpen), static_cast<forms::Control*>(&m.ComSAVE),
                              static_cast<forms::Control*>(&m.ComPLAY), static_cast<forms::Control*>(&m.ComEND)}) {
        EXPECT_FALSE(c->ToolTipText().empty());
        EXPECT_EQ(c->widget()->accessibleName().toStdString(), c->ToolTipText());
        EXPECT_NE(c->widget()->focusPolicy() & Qt::TabFocus, 0);  // reached with Tab, pressed with Space
    }
}

// Windows are placed relative to the primary screen's origin.
TEST_F(AppTest, WindowsAreCentredOnAPrimaryScreenAwayFromTheOrigin) {
    QPoint origin(1920, 300);
    forms::Screen::setOriginOverride(&origin);
    Module1::Main();
    QPoint at = MainFrm().widget()->geometry().topLeft();
    float top = MainFrm().Top();
    forms::Screen::setOriginOverride(nullptr);
    EXPECT_GE(at.x(), origin.x());
    EXPECT_GE(at.y(), origin.y());
    EXPECT_NEAR(top, forms::Screen::Height() / 10, 15.0f);  // Top stays relative to the screen
}

// The toolkit's own texts are Japanese whatever the locale.
TEST(Desktop, TheToolkitSpeaksJapanese) {
    plim::installTranslations(*qApp);
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text().toStdString(), "キャンセル");
}

}  // namespace
