// The file chooser in its two modes (open video, save frame) and the open action.
#include <filesystem>

#include "module1/Module1.h"
#include "capture/Capture.h"
#include "platform/forms/PathJoin.h"
#include "media/MciChannel.h"
#include "platform/forms/Interaction.h"
#include "platform/forms/Runtime.h"
#include "platform/forms/Screen.h"
#include "transport/Track.h"
#include "windows/Windows.h"

namespace plim {

using namespace Module1;
using forms::Screen;

namespace {
constexpr const char* kVideoPattern = "*.avi;*.mpeg;*.mpg";
constexpr const char* kBmpPattern = "*.BMP";
constexpr int kDeviceUnavailable = 68;
constexpr int kPathNotFound = 76;

// Opens the video at folder/name: the open one is closed first, the buttons are enabled and
// the video window is shown with the focus.
void OpenFile(const std::string& folder, const std::string& name) {
    MainFrmT& m = MainFrm();
    Ufrm().Pic.setPicture(forms::Picture());
    if (MediaOpen == -1) media::mciExecute("close movi2");
    if (DiaLog.exists()) DiaLog().Hide();
    forms::DoEvents();
    m.PicTU.setLeft(track::kThumbStart);
    m.ComSAVE.setEnabled(true);
    m.ComPLAY.setEnabled(true);
    m.ComFF.setEnabled(true);
    m.ComRR.setEnabled(true);
    ChosenFolder = folder;
    MediaPath = forms::JoinPath(ChosenFolder, name);
    OpenMedia();
    VFrm().Show();
    VFrm().SetFocus();
}

void OpenAction() { OpenFile(DiaLog().Dir1.Path(), DiaLog().File1.FileName()); }
}  // namespace

void MainFrmT::ComOpen_Click() {
    DialogMode = 3;
    DiaLog().File1.setPattern(kVideoPattern);
    DiaLog().File1.setEnabled(true);
    DiaLog().com_OK.setEnabled(false);
    DiaLog().MakeDir.setVisible(false);
    DiaLog().Show();
}

void MainFrmT::ComSAVE_Click() {
    DialogMode = 2;
    DiaLog().Text1.setText("");
    DiaLog().File1.setPattern(kBmpPattern);
    DiaLog().File1.setEnabled(true);
    DiaLog().MakeDir.setVisible(false);
    DiaLog().Show();
}

void DiaLogT::Form_Load() {
    setTop(Screen::Height() / 3);
    setLeft((Screen::Width() - Width()) / 2);
    Show();
}

void DiaLogT::Form_Unload(int&) { MakeDir.setVisible(false); }

// A drive that cannot be read leaves the folder and file lists as they were. Any failure
// other than a drive that is not ready shows its number; the program goes on.
void DiaLogT::Drive1_Change() {
    try {
        Dir1.setPath(Drive1.Drive());
        File1.setPath(Dir1.Path());
        Dir1.Refresh();
        File1.Refresh();
    } catch (const rt::RuntimeError& e) {
        // A drive whose mount point has gone (a stale or vanished mount) is not ready.
        std::error_code ec;
        bool vanished = e.number() == kPathNotFound && !std::filesystem::exists(Drive1.Drive(), ec);
        if (vanished || e.number() == kDeviceUnavailable) {
            forms::MsgBox("ドライブが準備できていません", forms::vbOKOnly, std::string("ｴﾗｰ"));
        } else {
            forms::MsgBox(std::to_string(e.number()), forms::vbOKCancel, std::string("ｴﾗｰ"));
        }
    }
}

void DiaLogT::Dir1_Change() {
    File1.setPath(Dir1.Path());
    if (DialogMode == 2) {
        com_OK.setEnabled(true);
    } else if (DialogMode == 3) {
        com_OK.setEnabled(false);
        Text1.setText("");
    }
}

void DiaLogT::File1_Click() {
    Text1.setText(File1.FileName());
    com_OK.setEnabled(true);
}

void DiaLogT::File1_DblClick() { com_OK_Click(); }

void DiaLogT::com_Can_Click() { DiaLog.Unload(); }

void DiaLogT::com_OK_Click() {
    Playing = 0;
    if (DialogMode == 3) {
        OpenAction();
    } else if (DialogMode == 2) {
        SaveFrameAction();
    }
}

void OpenVideoAt(const std::string& path) {
    std::filesystem::path p = std::filesystem::absolute(path).lexically_normal();
    Playing = 0;
    OpenFile(p.parent_path().string(), p.filename().string());
}

// A dropped file opens as a chosen one; of several, the first.
void MainFrmT::Form_FilesDropped(const std::vector<std::string>& paths) { OpenVideoAt(paths.front()); }
void VFrmT::Form_FilesDropped(const std::vector<std::string>& paths) { OpenVideoAt(paths.front()); }

}  // namespace plim
