#include "windows/Windows.h"

#include <QtGlobal>

static void initIconResources() { Q_INIT_RESOURCE(icons); }

namespace plim {

using forms::Border;
using forms::FormDesign;
using forms::LoadResPicture;
using forms::Twips;

forms::FormInstance<MainFrmT> MainFrm;
forms::FormInstance<VFrmT> VFrm;
forms::FormInstance<UfrmT> Ufrm;
forms::FormInstance<DiaLogT> DiaLog;

void InitResources() {
    static bool done = false;
    if (!done) initIconResources();
    done = true;
}

namespace {
FormDesign mainDesign() {
    InitResources();
    return FormDesign{.clientWidthTwips = 2415, .clientHeightTwips = 2430, .caption = "Plim", .border = Border::FixedSingle,
                      .backColor = forms::kButtonFace, .icon = true};
}
constexpr uint32_t kGrey = 0x00C0C0C0;
constexpr uint32_t kBlack = 0x00000000;
}  // namespace

MainFrmT::MainFrmT()
    : Form(mainDesign()),
      ComOpen(*this, Twips{0, 0, 255, 255}, 1, LoadResPicture("eject.xpm"), kGrey),
      ComSAVE(*this, Twips{270, 15, 255, 255}, 3, LoadResPicture("floppy.xpm")),
      ComPLAY(*this, Twips{555, 15, 255, 255}, 2, LoadResPicture("play.xpm"), kGrey),
      ComEND(*this, Twips{810, 15, 255, 255}, 0, LoadResPicture("stop.xpm")),
      ComFF(*this, Twips{15, 360, 255, 255}, 4, LoadResPicture("stepback.xpm")),
      ComRR(*this, Twips{2130, 345, 255, 255}, 5, LoadResPicture("stepfwd.xpm")),
      PicTU(*this, Twips{255, 405, 240, 240}, 6, kGrey),
      Line1(*this, 315, 450, 2100, 450),
      Img1(*this, Twips{1635, 1170, 240, 240}, LoadResPicture("play.xpm")),
      Img2(*this, Twips{2010, 1185, 240, 240}, LoadResPicture("pause.xpm")),
      Timer1(500, /*enabled=*/false) {
    ComOpen.setToolTipText("動画ﾌｧｲﾙを開く");
    ComSAVE.setToolTipText("名前を付けてBMPファイルとして保存");
    ComPLAY.setToolTipText("再生/一時停止");
    ComEND.setToolTipText("終了");
    ComSAVE.setEnabled(false);
    ComPLAY.setEnabled(false);
    ComFF.setEnabled(false);
    ComRR.setEnabled(false);
    PicTU.setPicture(LoadResPicture("knob.xpm"));
    applyTabOrder();

    ComEND.Click = [this] { ComEND_Click(); };
    ComPLAY.Click = [this] { ComPLAY_Click(); };
    ComFF.Click = [this] { ComFF_Click(); };
    ComRR.Click = [this] { ComRR_Click(); };
    PicTU.MouseDown = [this](int16_t b, int16_t s, float x, float y) { PicTU_MouseDown(b, s, x, y); };
    PicTU.MouseMove = [this](int16_t b, int16_t s, float x, float y) { PicTU_MouseMove(b, s, x, y); };
    PicTU.MouseUp = [this](int16_t b, int16_t s, float x, float y) { PicTU_MouseUp(b, s, x, y); };
    Timer1.TimerEvent = [this] { Timer1_Timer(); };
    ComOpen.Click = [this] { ComOpen_Click(); };
    ComSAVE.Click = [this] { ComSAVE_Click(); };
    setAcceptsFiles(true);
}

VFrmT::VFrmT()
    : Form(FormDesign{.clientWidthTwips = 10155, .clientHeightTwips = 5925, .caption = "", .border = Border::FixedSingle,
                     .backColor = kBlack, .icon = true, .closeBox = false}),
      Pic(*this, Twips{-75, 0, 7440, 7140}, 0, kBlack) {
    applyTabOrder();
    Pic.DblClick = [this] { Pic_DblClick(); };
    setAcceptsFiles(true);
}

UfrmT::UfrmT()
    : Form(FormDesign{.clientWidthTwips = 3015, .clientHeightTwips = 1695, .caption = "", .border = Border::Sizable,
                     .backColor = forms::kButtonFace, .icon = false}),
      Pic(*this, Twips{0, 0, 6015, 5775}, 0, forms::kButtonFace, /*autoRedraw=*/true) {
    applyTabOrder();
}

DiaLogT::DiaLogT()
    : Form(FormDesign{.clientWidthTwips = 4530, .clientHeightTwips = 3225, .caption = "ﾀﾞｲｱﾛｸﾞ", .border = Border::Sizable,
                     .backColor = forms::kButtonFace, .icon = true}),
      Drive1(*this, Twips{60, 60, 2235, 300}, 0),
      com_Can(*this, Twips{3360, 2700, 750, 300}, 1, "ｷｬﾝｾﾙ"),
      File1(*this, Twips{2355, 60, 2115, 1890}, 2, "*.bmp;*.jpg"),
      Text1(*this, Twips{75, 2175, 4380, 285}, 3),
      Dir1(*this, Twips{75, 435, 2190, 1560}, 4),
      com_OK(*this, Twips{2520, 2700, 750, 300}, 5, "OK"),
      MakeDir(*this, Twips{120, 2655, 1020, 360}, 6, "ﾌｫﾙﾀﾞ作成") {
    File1.setEnabled(false);
    MakeDir.setToolTipText("新規ﾌｫﾙﾀﾞ作成");
    MakeDir.setVisible(false);
    applyTabOrder();

    Drive1.Change = [this] { Drive1_Change(); };
    Dir1.Change = [this] { Dir1_Change(); };
    File1.Click = [this] { File1_Click(); };
    File1.DblClick = [this] { File1_DblClick(); };
    com_Can.Click = [this] { com_Can_Click(); };
    com_OK.Click = [this] { com_OK_Click(); };
}

}  // namespace plim
