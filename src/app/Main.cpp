// Start-up and the quit action.
#include "module1/Module1.h"
#include "media/MciChannel.h"
#include "platform/forms/Interaction.h"
#include "platform/forms/Runtime.h"
#include "platform/forms/Screen.h"
#include "transport/Track.h"
#include "windows/Windows.h"

namespace plim {

using forms::Screen;

void Module1::Main() {
    TwipsX = rt::CInt(Screen::TwipsPerPixelX());
    TwipsY = rt::CInt(Screen::TwipsPerPixelY());
    MediaOpen = 0;
    Playing = 0;
    MainFrmT& m = MainFrm();  // first reference: the window and its controls, hidden
    m.PicTU.setLeft(track::kThumbStart);
    m.setTop(Screen::Height() / 10);
    m.setLeft((Screen::Width() - m.Width()) / 2);
    m.setHeight(static_cast<float>(rt::Mul16(TwipsY, 75)));
    m.ComOpen.setLeft(0);
    m.ComOpen.setTop(0);
    m.ComSAVE.setLeft(m.ComOpen.Width() + m.ComOpen.Left() + 1);
    m.ComSAVE.setTop(0);
    m.ComPLAY.setLeft(m.ComSAVE.Width() + m.ComSAVE.Left() + 1);
    m.ComPLAY.setTop(0);
    m.ComEND.setLeft(m.ComPLAY.Width() + m.ComPLAY.Left() + 1);
    m.ComEND.setTop(0);
    m.PicTU.setTop(22);
    m.ComFF.setTop(23);
    m.ComFF.setLeft(0);
    m.ComRR.setTop(23);
    m.ComRR.setLeft(142);
    m.Show();
    Ufrm();  // loaded, never shown: its Pic keeps the capture bitmap
}

void MainFrmT::ComEND_Click() {
    if (Module1::MediaOpen == -1) media::mciExecute("close movi2");
    forms::End();
}

void MainFrmT::Form_Unload(int& cancel) {
    (void)cancel;
    ComEND_Click();
}

}  // namespace plim
