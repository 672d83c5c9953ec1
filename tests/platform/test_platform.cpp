// The platform layers on their own: number rules, the MCI command parser (with a fuzz
// run), the folder and file lists, and writing pictures.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QImage>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>

#include "platform/forms/FileControls.h"
#include "platform/forms/FileNames.h"
#include "platform/forms/Runtime.h"
#include "platform/forms/SavePicture.h"
#include "platform/mci/MciCommand.h"
#include "platform/mci/MciService.h"

namespace fs = std::filesystem;
using namespace plim;

namespace {

// --- number rules ----------------------------------------------------------------------

TEST(Runtime, ConversionsRoundHalfToEvenAndOverflow) {
    struct Case {
        double v;
        int32_t want;
    } ints[] = {{20.5, 20}, {21.5, 22}, {72.5, 72}, {-0.5, 0}, {-1.5, -2}, {2.4999, 2}, {32767.4, 32767},
                {-32768.5, -32768}};
    for (auto c : ints) EXPECT_EQ(rt::CInt(c.v), c.want) << c.v;
    for (double bad : {32767.5, -32769.0, 1e9, std::nan("")}) EXPECT_THROW(rt::CInt(bad), rt::RuntimeError) << bad;
    EXPECT_EQ(rt::CLng(2147483647.4), 2147483647);
    EXPECT_EQ(rt::CLng(3.5), 4);
    EXPECT_THROW(rt::CLng(2147483647.5), rt::RuntimeError);
    EXPECT_EQ(rt::Mul16(15, 75), 1125);
    EXPECT_EQ(rt::Mul16(12, 75), 900);
    try {
        rt::Mul16(437, 75);
        FAIL();
    } catch (const rt::RuntimeError& e) {
        EXPECT_EQ(e.number(), 6);
    }
}

TEST(Runtime, ValReadsTheLeadingNumber) {
    struct Case {
        const char* text;
        double want;
    } cases[] = {{"900", 900},  {"  \t\n900", 900}, {"2.5", 2.5},     {"3.5", 3.5}, {"", 0},     {"stopped", 0},
                 {"-7x", -7},   {"1 2 3", 123},     {"0 0 320 240", 320240}, {"1e3", 1000}, {"3.5.6", 3.5}, {".5", 0.5}};
    for (auto c : cases) EXPECT_DOUBLE_EQ(rt::Val(c.text), c.want) << '"' << c.text << '"';
}

// --- MCI parser ------------------------------------------------------------------------

TEST(MciParser, RefusesBadInputWithTheServiceNumbers) {
    struct Case {
        const char* text;
        uint32_t error;
    } cases[] = {
        {"", 267},
        {"   ", 267},
        {"frobnicate movi2", 261},
        {"play", 292},
        {"open", 292},
        {"play movi2 bogus", 259},
        {"seek movi2", 273},
        {"seek movi2 to", 273},
        {"seek movi2 to abc", 270},
        {"seek movi2 to 0x1f", 270},
        {"seek movi2 to 99999999999", 270},
        {"seek movi2 to start to end", 284},
        {"open \"C:/a b.avi alias m", 294},
        {"open \"a\"b alias x", 305},
        {"status movi2", 274},
        {"status movi2 colour", 259},
        {"status movi2 length position", 284},
        {"set movi2 time format bytes", 293},
        {"set movi2", 273},
        {"play all", 279},
        {"realize movi2 normal normal", 295},
        {"window movi2 state maybe", 290},
        {"put movi2 destination at 1 2 3", 270},
        {"open a.avi style sideways", 290},
        {"open a.avi alias", 273},
        {"where movi2", 273},
        {"step movi2 by", 273},
        {"step movi2 by one", 270},
        {"step movi2 by -1", 282},
        {"step movi2 reverse reverse", 295},
        {"step movi2 forward", 259},
        {"update movi2 hdc", 273},
        {"update movi2 hdc screen", 270},
        {"update movi2 hdc 5 at 0 0", 270},
        {"update movi2 hdc 5 paint", 259},
        {"setaudio movi2", 273},
        {"setaudio movi2 volume", 259},
        {"setaudio movi2 volume to", 273},
        {"setaudio movi2 volume to loud", 270},
        {"setaudio movi2 volume to 1001", 282},
        {"setaudio movi2 volume to -1", 282},
        {"setaudio movi2 volume to 5 volume to 6", 0},
        {"status movi2 volume length", 284},
    };
    for (auto c : cases) EXPECT_EQ(mci::parseCommand(c.text).error, c.error) << '"' << c.text << '"';
}

TEST(MciParser, ParsesTheSystemsCommands) {
    auto open = mci::parseCommand("open \"/v/a b/動画.avi\" alias Movi2 style child parent 65552");
    ASSERT_EQ(open.error, 0u);
    EXPECT_EQ(open.command.device, "/v/a b/動画.avi");
    EXPECT_EQ(open.command.alias, "Movi2");
    EXPECT_EQ(open.command.style, mci::Style::Child);
    EXPECT_EQ(open.command.parent, 65552);

    auto play = mci::parseCommand("PLAY Movi2 FROM 10 to 20 Window NOTIFY");
    ASSERT_EQ(play.error, 0u);
    EXPECT_EQ(play.command.verb, mci::Verb::Play);
    EXPECT_EQ(play.command.from, 10);
    EXPECT_EQ(play.command.to, 20);
    EXPECT_TRUE(play.command.has(mci::kWindow));
    EXPECT_TRUE(play.command.has(mci::kNotify));

    EXPECT_EQ(mci::parseCommand("play Movi2 ").error, 0u);
    EXPECT_EQ(mci::parseCommand("seek movi2 to 1:2:0:0").command.seekTo, 513);
    EXPECT_EQ(mci::parseCommand("seek movi2 to -5").command.seekTo, -5);
    EXPECT_EQ(mci::parseCommand("seek movi2 to END").command.seek, mci::SeekTarget::End);
    EXPECT_EQ(mci::parseCommand("status movi2 time format").command.status, mci::StatusItem::TimeFormat);
    EXPECT_EQ(mci::parseCommand("status movi2 window handle").command.status, mci::StatusItem::WindowHandle);
    EXPECT_TRUE(mci::parseCommand("close all").command.all);
    EXPECT_EQ(mci::parseCommand("set movi2 time format ms").command.timeFormat, mci::TimeFormat::Milliseconds);
    auto back = mci::parseCommand("step movi2 reverse by 3 wait");
    ASSERT_EQ(back.error, 0u);
    EXPECT_EQ(back.command.verb, mci::Verb::Step);
    EXPECT_EQ(back.command.stepBy, 3);
    EXPECT_TRUE(back.command.has(mci::kReverse));
    EXPECT_EQ(mci::parseCommand("step movi2").command.stepBy, 1);
    auto put = mci::parseCommand("put movi2 destination at 1 2 30 40");
    ASSERT_TRUE(put.command.rect);
    EXPECT_EQ((*put.command.rect)[3], 40);
    auto update = mci::parseCommand("update Movi2 hdc 8193 at -2 -2 0 0");
    ASSERT_EQ(update.error, 0u);
    EXPECT_EQ(update.command.verb, mci::Verb::Update);
    EXPECT_EQ(update.command.hdc, 8193);
    EXPECT_EQ((*update.command.rect)[0], -2);
    auto level = mci::parseCommand("SETAUDIO Movi2 Volume To 950");
    ASSERT_EQ(level.error, 0u);
    EXPECT_EQ(level.command.verb, mci::Verb::SetAudio);
    EXPECT_EQ(level.command.volume, 950);
    EXPECT_EQ(mci::parseCommand("setaudio movi2 volume to 0").command.volume, 0);
    EXPECT_EQ(mci::parseCommand("status movi2 volume").command.status, mci::StatusItem::Volume);
}

TEST(MciParser, FuzzedInputNeverBreaksTheParserOrService) {
    const char* words[] = {"open", "close", "play", "seek", "status", "where", "put", "set", "window", "realize",
                           "movi2", "all", "to", "start", "end", "from", "\"", "\"a b\"", "length", "mode",
                           "time", "format", "frames", "state", "show", "at", "-1", "99999999999", "1:2:3",
                           "alias", "parent", "style", "child", "wait", "notify", "\t", "動画", "step", "by", "reverse",
                           "update", "hdc", "8192", ""};
    std::mt19937 rnd(12345);
    auto service = mci::createService();
    char reply[16];
    for (int i = 0; i < 20000; ++i) {
        std::string cmd;
        int n = int(rnd() % 8);
        for (int k = 0; k < n; ++k) {
            if (rnd() % 10 == 0) cmd += char(rnd() % 256);
            else cmd += words[rnd() % (sizeof words / sizeof *words)];
            cmd += (rnd() % 3) ? " " : "";
        }
        mci::parseCommand(cmd);
        if (cmd.rfind("open", 0) != 0) service->sendString(cmd, reply, sizeof reply, 0);
    }
}

TEST(MciErrors, EveryNumberTheServiceGivesHasAText) {
    for (uint32_t code : {259u, 261u, 263u, 265u, 266u, 267u, 270u, 273u, 274u, 275u, 277u, 279u, 282u, 284u, 289u,
                          290u, 292u, 293u, 294u, 295u, 296u, 305u, 346u, 347u}) {
        EXPECT_FALSE(mci::errorText(code).empty()) << code;
    }
    auto service = mci::createService();
    char small[8];
    EXPECT_TRUE(service->errorString(275, small, sizeof small));
    EXPECT_EQ(std::strlen(small), 7u);  // cut to fit
    EXPECT_FALSE(service->errorString(9999, small, sizeof small));
}

// --- folder and file lists -------------------------------------------------------------

TEST(FileLists, PatternsMatchWithoutRegardToCase) {
    struct Case {
        const char* name;
        const char* pattern;
        bool match;
    } cases[] = {{"a.avi", "*.avi;*.mpeg;*.mpg", true},  {"A.AVI", "*.avi;*.mpeg;*.mpg", true},
                 {"b.Mpeg", "*.avi;*.mpeg;*.mpg", true}, {"c.mp4", "*.avi;*.mpeg;*.mpg", false},
                 {"x.bmp", "*.BMP", true},               {"x.bmp.txt", "*.BMP", false},
                 {"動画 1.avi", "*.avi", true},          {"y.jpg", "*.bmp;*.jpg", true}};
    for (auto c : cases) EXPECT_EQ(forms::matchesPattern(c.name, c.pattern), c.match) << c.name;
}

class TempDir : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("plim-test-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override {
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(dir);
    }
    void touch(const std::string& name) { std::ofstream(dir / name) << "x"; }
    fs::path dir;
};

TEST_F(TempDir, ListsSortedWithoutHiddenEntries) {
    for (auto n : {"b.avi", "A.mpg", ".hidden.avi", "動画 ファイル.avi", "notes.txt"}) touch(n);
    for (auto d : {"zeta", "Alpha", ".git", "フォルダ 1"}) fs::create_directories(dir / d);
    auto files = forms::listFiles(dir.string(), "*.avi;*.mpeg;*.mpg");
    EXPECT_EQ(files, (std::vector<std::string>{"A.mpg", "b.avi", "動画 ファイル.avi"}));
    auto folders = forms::listFolders(dir.string());
    EXPECT_EQ(folders, (std::vector<std::string>{"Alpha", "zeta", "フォルダ 1"}));
}

TEST_F(TempDir, UnreadableFoldersRaiseTheRuntimeNumbers) {
    try {
        forms::listFiles((dir / "missing").string(), "*");
        FAIL();
    } catch (const rt::RuntimeError& e) {
        EXPECT_EQ(e.number(), 76);
    }
    struct Case {
        int err, number;
    } cases[] = {{EIO, 68}, {ENOMEDIUM, 68}, {ESTALE, 68}, {ENOTCONN, 68}, {EACCES, 70}, {EPERM, 70},
                 {ENOENT, 76}, {ENOTDIR, 76}, {ELOOP, 75}};
    for (auto c : cases) EXPECT_EQ(forms::runtimeErrorForErrno(c.err), c.number) << c.err;
}

TEST(FileLists, DrivesAreRealStorageWithTheRootFirst) {
    std::vector<forms::MountEntry> table = {
        {"/", "ext4", "/dev/vda1"},          {"/proc", "proc", "proc"},
        {"/sys", "sysfs", "sysfs"},          {"/dev/shm", "tmpfs", "tmpfs"},
        {"/media/usb stick", "vfat", "/dev/sdb1"}, {"/mnt/share", "nfs4", "server:/export"},
        {"/run/user/0", "tmpfs", "tmpfs"},   {"/var/lib/docker/overlay2/x", "overlay", "overlay"},
        {"/etc/hosts", "ext4", "/dev/vda1"}, {"/boot/efi", "vfat", "/dev/vda15"},
        {"/run/media/me/CD", "iso9660", "/dev/sr0"},
    };
    std::vector<std::string> mounts;
    for (const auto& m : forms::storageMounts(table)) mounts.push_back(m.mountPoint);
    EXPECT_EQ(mounts, (std::vector<std::string>{"/", "/media/usb stick", "/mnt/share", "/run/media/me/CD"}));
}

// --- pictures --------------------------------------------------------------------------

uint32_t le32(const std::string& b, size_t at) {
    return uint8_t(b[at]) | uint8_t(b[at + 1]) << 8 | uint8_t(b[at + 2]) << 16 | uint32_t(uint8_t(b[at + 3])) << 24;
}

TEST_F(TempDir, SavesA24BitBitmapWithPaddedBottomUpRows) {
    QImage img(321, 3, QImage::Format_RGB32);
    img.fill(QColor(10, 20, 30));
    img.setPixel(0, 0, qRgb(255, 0, 0));  // top-left red
    std::string path = (dir / "odd.bmp").string();
    ASSERT_EQ(forms::SavePicture(img, path), "");
    std::ifstream in(path, std::ios::binary);
    std::string b((std::istreambuf_iterator<char>(in)), {});
    ASSERT_GE(b.size(), 54u);
    EXPECT_EQ(b.substr(0, 2), "BM");
    EXPECT_EQ(le32(b, 18), 321u);
    EXPECT_EQ(int32_t(le32(b, 22)), 3);  // positive: bottom-up
    EXPECT_EQ(uint8_t(b[28]), 24);
    size_t row = (321 * 3 + 3) / 4 * 4;  // 964: padded to 4 bytes
    size_t data = le32(b, 10);
    EXPECT_EQ(b.size(), data + row * 3);
    size_t top = data + row * 2;  // the last row stored is the top one
    EXPECT_EQ(uint8_t(b[top + 2]), 255);  // B, G, R
    EXPECT_EQ(uint8_t(b[top + 0]), 0);
    EXPECT_EQ(uint8_t(b[data + 0]), 30);
}

TEST_F(TempDir, AFailedWriteKeepsTheOldFile) {
    std::string path = (dir / "keep.bmp").string();
    std::ofstream(path) << "old contents";
    QImage big(800, 600, QImage::Format_RGB32);
    big.fill(Qt::blue);
    // A full disk, simulated with a file size limit that also binds root.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old;
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small{4096, old.rlim_max};
    setrlimit(RLIMIT_FSIZE, &small);
    std::string failure = forms::SavePicture(big, path);
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_NE(failure, "");
    std::ifstream in(path);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(text, "old contents");
    EXPECT_NE(forms::SavePicture(big, (dir / "no-such-folder" / "x.bmp").string()), "");
}

// A failed save says why in Japanese for the common causes, found by probing the folder.
TEST_F(TempDir, ASaveFailureSaysWhyInJapanese) {
    struct Case {
        std::string path;
        int callErrno;
        const char* want;
    };
    std::string longName(300, 'a');
    const Case cases[] = {
        {(dir / "no-such-folder" / "x.bmp").string(), ENOENT, "フォルダが見つかりません"},
        {(dir / (longName + ".bmp")).string(), ENAMETOOLONG, "ファイル名が長すぎます"},
        {(dir / "x.bmp").string(), ENOSPC, "ディスクの空き容量が足りません"},
        {(dir / "x.bmp").string(), EACCES, "書き込む権限がありません"},
        {(dir / "x.bmp").string(), EROFS, "読み取り専用のドライブです"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(forms::saveFailureText(forms::probeSaveFailure(c.path, c.callErrno)), c.want) << c.path;
    QImage img(8, 8, QImage::Format_RGB32);
    img.fill(Qt::red);
    EXPECT_EQ(forms::SavePicture(img, cases[0].path), "フォルダが見つかりません");
    EXPECT_EQ(forms::SavePicture(img, cases[1].path), "ファイル名が長すぎます");
    EXPECT_EQ(forms::saveFailureText(EIO), std::strerror(EIO));  // others: the system's text
}

// Names are bytes: shown decoded (UTF-8, else Shift_JIS, else with replacement characters),
// listed and opened by their real bytes.
TEST_F(TempDir, NamesInAnyEncodingAreShownReadablyAndKeptAsBytes) {
    const std::string sjis = "\x93\xae\x89\xe6.avi";  // 動画.avi in Shift_JIS
    struct Case {
        std::string raw;
        QString shown;
    } cases[] = {
        {"plain.avi", "plain.avi"},
        {"動画 テスト.avi", QString::fromUtf8("動画 テスト.avi")},
        {sjis, QString::fromUtf8("動画.avi")},
    };
    for (const Case& c : cases) EXPECT_EQ(forms::displayName(c.raw), c.shown) << c.raw;
    QString neither = forms::displayName("\xff\xfe.avi");  // neither UTF-8 nor Shift_JIS
    EXPECT_TRUE(neither.contains(QChar(0xFFFD)) && neither.endsWith(".avi")) << neither.toStdString();
    std::ofstream((dir / sjis).string()) << "x";
    auto files = forms::listFiles(dir.string(), "*.avi");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0], sjis);
    EXPECT_TRUE(fs::exists(dir / files[0]));
}

}  // namespace
