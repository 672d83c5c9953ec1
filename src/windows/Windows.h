#pragma once
// The four windows with every control in its design state, and the handlers they carry.
// Each handler is defined in the subsystem that owns its behaviour (app/, transport/,
// chooser/, capture/). GUI thread only.
#include "platform/forms/Controls.h"
#include "platform/forms/FileControls.h"
#include "platform/forms/Form.h"

namespace plim {

using forms::CommandButton;
using forms::DirList;
using forms::DriveList;
using forms::FileList;
using forms::ImageCtl;
using forms::LineCtl;
using forms::PictureBox;
using forms::PictureButton;
using forms::TextBox;
using forms::Timer;

class MainFrmT : public forms::Form {
public:
    MainFrmT();
    PictureButton ComOpen, ComSAVE, ComPLAY, ComEND, ComFF, ComRR;
    PictureBox PicTU;
    LineCtl Line1;
    ImageCtl Img1, Img2;
    Timer Timer1;

    void Form_Unload(int& cancel) override;
    void ComEND_Click();
    void ComPLAY_Click();
    void ComFF_Click();
    void ComRR_Click();
    void PicTU_MouseDown(int16_t button, int16_t shift, float x, float y);
    void PicTU_MouseMove(int16_t button, int16_t shift, float x, float y);
    void PicTU_MouseUp(int16_t button, int16_t shift, float x, float y);
    void Timer1_Timer();
    void ComOpen_Click();
    void ComSAVE_Click();
    void Form_FilesDropped(const std::vector<std::string>& paths) override;
};

class VFrmT : public forms::Form {
public:
    VFrmT();
    PictureBox Pic;  // host of the playback window
    void Form_KeyDown(int16_t keyCode, int16_t shift) override;
    void Pic_DblClick();
    void Form_FilesDropped(const std::vector<std::string>& paths) override;
};

class UfrmT : public forms::Form {
public:
    UfrmT();
    PictureBox Pic;  // capture surface with its persistent bitmap
};

class DiaLogT : public forms::Form {
public:
    DiaLogT();
    DriveList Drive1;
    CommandButton com_Can;
    FileList File1;
    TextBox Text1;
    DirList Dir1;
    CommandButton com_OK;
    CommandButton MakeDir;

    void Form_Load() override;
    void Form_Unload(int& cancel) override;
    void Drive1_Change();
    void Dir1_Change();
    void File1_Click();
    void File1_DblClick();
    void com_Can_Click();
    void com_OK_Click();
};

extern forms::FormInstance<MainFrmT> MainFrm;
extern forms::FormInstance<VFrmT> VFrm;
extern forms::FormInstance<UfrmT> Ufrm;
extern forms::FormInstance<DiaLogT> DiaLog;

// Loads the program's pictures into the resource system (idempotent).
void InitResources();

// Opens the video at path as the chooser's OK does (the open one closed first, the buttons
// enabled, the video window shown with the focus): from the command line and from a drop.
void OpenVideoAt(const std::string& path);
// Seeks to ms (clamped to the video) as a move of the slider's thumb does, playing on while
// the video plays, and puts the thumb where the position then is. Nothing with no video open.
void SeekToPosition(int32_t ms);

}  // namespace plim
