// The play/pause button: starts, pauses and, after the end, replays from the start.
#include "module1/Module1.h"
#include "media/MciChannel.h"
#include "platform/forms/Interaction.h"
#include "platform/forms/Runtime.h"
#include "windows/Windows.h"

namespace plim {

using namespace Module1;
using media::mciExecute;

void MainFrmT::ComPLAY_Click() {
    if (MediaOpen == 0) return;
    VFrm().SetFocus();
    forms::ClipboardClear();
    if (Finished == 1) {
        mciExecute("seek movi2 to start");
        Playing = 1;
        Timer1.setEnabled(true);
        mciExecute("play movi2 window");
        ComPLAY.setPicture(Img2.picture());
        Finished = 0;
    } else if (Playing == 1) {
        mciExecute("stop movi2");
        Playing = 0;
        // One side of the video window's frame: outer width in pixels less the client width, halved.
        FrameBorder = rt::CInt(((VFrm().Width() / float(TwipsX)) - VFrm().ScaleWidth()) / 2);
        ComPLAY.setPicture(Img1.picture());
        Timer1.setEnabled(false);
    } else if (Playing == 0) {
        mciExecute("play Movi2 ");
        Playing = 1;
        ComPLAY.setPicture(Img2.picture());
        Timer1.setEnabled(true);
    }
}

}  // namespace plim
