// The file chooser: both setups, the enabled state of OK, the open action, Cancel and the
// fresh reload, double clicks, and drive failures.
#include <QDropEvent>
#include <QKeyEvent>
#include <QListWidget>
#include <QMimeData>
#include <QUrl>
#include <filesystem>
#include <fstream>

#include "../AppFixture.h"
#include "../TestSupport.h"
#include "platform/forms/PathJoin.h"

namespace fs = std::filesystem;
using namespace plim;
using plim::test::AppTest;
using Module1::DialogMode;

namespace {

TEST(PathJoin, AddsASeparatorUnlessTheFolderEndsInOne) {
    EXPECT_EQ(forms::JoinPath("/", "a.avi"), "/a.avi");
    EXPECT_EQ(forms::JoinPath("/video", "a.avi"), "/video/a.avi");
    EXPECT_EQ(forms::JoinPath("/media/usb/", "a b.avi"), "/media/usb/a b.avi");
    EXPECT_EQ(forms::JoinPath("/v", "../x"), "/v/../x");  // nothing else is normalised
}

class Chooser : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        dir = fs::temp_directory_path() / ("plim-chooser-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir / "sub folder");
        for (auto n : {"a.avi", "b.mpg", "c.MPEG", "shot.BMP", "notes.txt"}) std::ofstream(dir / n) << "x";
        Module1::Main();
        recorder->clear();
    }
    void TearDown() override {
        forms::DriveList::setMountSource({});
        AppTest::TearDown();
        fs::remove_all(dir);
    }
    DiaLogT& d() { return DiaLog(); }
    void goTo(const fs::path& p) { d().Dir1.setPath(p.string()); }
    // Selects a file as the user's click does.
    void click(const std::string& name) {
        for (int i = 0; i < d().File1.ListCount(); ++i)
            if (d().File1.List(i) == name) d().File1.selectIndex(i);
        d().File1_Click();
    }
    std::vector<std::string> listed() {
        std::vector<std::string> out;
        for (int i = 0; i < d().File1.ListCount(); ++i) out.push_back(d().File1.List(i));
        return out;
    }
    fs::path dir;
};

TEST_F(Chooser, TheOpenSetupListsVideosWithOkDisabled) {
    d().Text1.setText("old name");
    MainFrm().ComOpen_Click();
    goTo(dir);
    MainFrm().ComOpen_Click();
    EXPECT_EQ(DialogMode, 3);
    EXPECT_EQ(d().File1.Pattern(), "*.avi;*.mpeg;*.mpg");
    EXPECT_EQ(listed(), (std::vector<std::string>{"a.avi", "b.mpg", "c.MPEG"}));
    EXPECT_TRUE(d().File1.Enabled());
    EXPECT_FALSE(d().com_OK.Enabled());
    EXPECT_FALSE(d().MakeDir.Visible());
    EXPECT_TRUE(d().Visible());
    EXPECT_FLOAT_EQ(d().Top(), std::round(forms::Screen::Height() / 3 / 15) * 15);
}

TEST_F(Chooser, TheSaveSetupListsBitmapsAndLeavesOkAlone) {
    MainFrm().ComOpen_Click();  // OK disabled
    goTo(dir);
    MainFrm().ComSAVE_Click();
    EXPECT_EQ(DialogMode, 2);
    EXPECT_EQ(d().Text1.Text(), "");
    EXPECT_EQ(listed(), (std::vector<std::string>{"shot.BMP"}));
    EXPECT_FALSE(d().com_OK.Enabled());  // left as the open setup put it
}

TEST_F(Chooser, OkFollowsTheEnabledStateTable) {
    struct Step {
        const char* what;
        int mode;
        bool okAfter;
        const char* textAfter;
    } steps[] = {
        {"setup", 3, false, "typed"},  {"click", 3, true, "a.avi"},   {"folder", 3, false, ""},
        {"setup", 2, false, ""},       {"folder", 2, true, ""},       {"click", 2, true, "a.avi"},
    };
    d().Text1.setText("typed");
    goTo(dir);
    for (const Step& s : steps) {
        std::string w = s.what;
        if (w == "setup") s.mode == 3 ? MainFrm().ComOpen_Click() : MainFrm().ComSAVE_Click();
        if (w == "folder") goTo(w == "folder" && d().Dir1.Path() == dir.string() ? dir / "sub folder" : dir);
        if (w == "click") {
            if (s.mode == 2) d().File1.setPattern("*.avi");
            click("a.avi");
        }
        EXPECT_EQ(d().com_OK.Enabled(), s.okAfter) << w << " in mode " << s.mode;
        EXPECT_EQ(d().Text1.Text(), s.textAfter) << w << " in mode " << s.mode;
    }
}

TEST_F(Chooser, OpeningClosesTheOldVideoAndOpensTheSelectedFile) {
    for (int16_t open : {0, -1}) {
        recorder->clear();
        Module1::MediaOpen = open;
        Module1::Playing = 1;
        MainFrm().ComOpen_Click();
        goTo(dir);
        d().Text1.setText("ignored.avi");
        click("b.mpg");
        d().Text1.setText("typed over.avi");  // typing has no effect on what opens
        d().com_OK_Click();
        auto cmds = sent();
        ASSERT_FALSE(cmds.empty());
        if (open == -1) EXPECT_EQ(cmds[0], "exec: close movi2");
        else EXPECT_EQ(cmds[0].rfind("send: open ", 0), 0u);
        EXPECT_EQ(Module1::MediaPath, (dir / "b.mpg").string());
        EXPECT_EQ(Module1::ChosenFolder, dir.string());
        EXPECT_EQ(Module1::Playing, 0);
        EXPECT_FALSE(d().Visible());
        EXPECT_TRUE(VFrm().Visible());
        MainFrmT& m = MainFrm();
        for (auto* b : {&m.ComSAVE, &m.ComPLAY, &m.ComFF, &m.ComRR}) EXPECT_TRUE(b->Enabled());
        EXPECT_FLOAT_EQ(m.PicTU.Left(), 20);
    }
}

// A file named on the command line, or dropped on the main or the video window, opens as
// the chooser's OK opens it: the same commands and the same state, and no chooser shown.
TEST_F(Chooser, AFileFromTheCommandLineOrADropOpensAsTheChooserWould) {
    auto viaChooser = [&] {
        MainFrm().ComOpen_Click();
        goTo(dir);
        click("b.mpg");
        d().com_OK_Click();
    };
    auto drop = [&](QWidget* on) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString((dir / "b.mpg").string()))});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(on, &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(on, &dropped);
        plim::test::pumpEvents(50);
    };
    auto open = [&](const std::function<void()>& how) {
        Module1::MediaOpen = -1;
        Module1::Playing = 1;
        recorder->clear();
        how();
        std::vector<std::string> cmds = sent();
        EXPECT_EQ(Module1::MediaPath, (dir / "b.mpg").string());
        EXPECT_EQ(Module1::ChosenFolder, dir.string());
        EXPECT_EQ(Module1::Playing, 0);
        EXPECT_TRUE(VFrm().Visible());
        MainFrmT& m = MainFrm();
        for (auto* b : {&m.ComSAVE, &m.ComPLAY, &m.ComFF, &m.ComRR}) EXPECT_TRUE(b->Enabled());
        return cmds;
    };
    std::vector<std::string> fromChooser = open(viaChooser);
    DiaLog.reset();
    fs::path cwd = fs::current_path();
    fs::current_path(dir / "sub folder");
    EXPECT_EQ(open([] { OpenVideoAt("../b.mpg"); }), fromChooser);
    fs::current_path(cwd);
    EXPECT_FALSE(DiaLog.exists()) << "the chooser is not shown";
    EXPECT_EQ(open([&] { drop(MainFrm().widget()); }), fromChooser);
    EXPECT_EQ(open([&] { drop(VFrm().widget()); }), fromChooser);
    EXPECT_FALSE(DiaLog.exists());
}

TEST_F(Chooser, ADoubleClickActsAsOk) {
    MainFrm().ComOpen_Click();
    goTo(dir);
    click("a.avi");
    d().File1_DblClick();
    EXPECT_EQ(Module1::MediaPath, (dir / "a.avi").string());
    EXPECT_FALSE(d().Visible());
}

TEST_F(Chooser, CancelDiscardsTheChooserAndTheNextSetupStartsAfresh) {
    MainFrm().ComOpen_Click();
    goTo(dir);
    click("a.avi");
    d().MakeDir.setVisible(true);
    d().com_Can_Click();
    QCoreApplication::processEvents();
    EXPECT_FALSE(DiaLog.exists());
    EXPECT_EQ(DialogMode, 3);  // untouched
    MainFrm().ComSAVE_Click();
    EXPECT_EQ(d().Dir1.Path(), fs::current_path().string());
    EXPECT_EQ(d().Text1.Text(), "");
    EXPECT_TRUE(d().com_OK.Enabled());  // the design state; the save setup leaves it
    EXPECT_FALSE(d().MakeDir.Visible());
}

TEST_F(Chooser, OkKeepsTheChooserForTheNextShowing) {
    MainFrm().ComOpen_Click();
    goTo(dir);
    click("a.avi");
    d().com_OK_Click();
    MainFrm().ComOpen_Click();
    EXPECT_EQ(d().Dir1.Path(), dir.string());
    EXPECT_EQ(d().Text1.Text(), "a.avi");
}

TEST_F(Chooser, DriveFailuresLeaveTheListsAsTheyWere) {
    fs::create_symlink("loop", dir / "loop");
    forms::DriveList::setMountSource([this] {
        return std::vector<forms::MountEntry>{{"/media/ghost-plim", "vfat", "/dev/sdz1"},
                                              {(dir / "loop").string(), "ext4", "/dev/sdy1"}};
    });
    MainFrm().ComOpen_Click();
    goTo(dir);
    auto files = listed();
    struct Case {
        const char* drive;
        std::string text;
        int buttons;
    } cases[] = {{"/media/ghost-plim", "ドライブが準備できていません", forms::vbOKOnly},
                 {"loop", "75", forms::vbOKCancel}};
    for (const Case& c : cases) {
        boxes.clear();
        std::string drive = std::string(c.drive) == "loop" ? (dir / "loop").string() : c.drive;
        d().Drive1.setDrive(drive);  // raises the change event as the user's pick does
        ASSERT_EQ(boxes.size(), 1u) << c.drive;
        EXPECT_EQ(boxes[0].text, c.text);
        EXPECT_EQ(boxes[0].buttons, c.buttons);
        EXPECT_EQ(boxes[0].title, std::optional<std::string>("ｴﾗｰ"));
        EXPECT_EQ(d().Dir1.Path(), dir.string());
        EXPECT_EQ(listed(), files);
        EXPECT_TRUE(d().Visible());
    }
}

// A file selected with the arrow keys fills the name box as a click does.
TEST_F(Chooser, ArrowKeysSelectAFileAsAClickDoes) {
    MainFrm().ComOpen_Click();
    goTo(dir);
    auto* list = static_cast<QListWidget*>(d().File1.widget());
    list->setFocus();
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    for (int i = 0; i < 2; ++i) QCoreApplication::sendEvent(list, &down);
    EXPECT_EQ(d().File1.FileName(), "b.mpg");
    EXPECT_EQ(d().Text1.Text(), "b.mpg");
    EXPECT_TRUE(d().com_OK.Enabled());
}

}  // namespace
