// The position slider and its stepping buttons: moving the thumb seeks the video.
//
// SeekTo is a 32-bit integer: at the service's millisecond unit a 16-bit target would
// overflow for every video longer than 32.7 seconds and end the program.
#include <algorithm>
#include <string>

#include "module1/Module1.h"
#include "media/MciChannel.h"
#include "platform/forms/Runtime.h"
#include "transport/Track.h"
#include "windows/Windows.h"

namespace plim {

using namespace Module1;
using media::mciExecute;

namespace {
using track::kSeekLeft, track::kSeekRight, track::kSeekSpan;

// Places the thumb from ThumbLeft, kept within the track; ThumbLeft keeps its value.
void clampThumb(MainFrmT& m) {
    if (ThumbLeft >= kSeekRight) {
        m.PicTU.setLeft(kSeekRight);
    } else if (ThumbLeft > kSeekLeft) {
        m.PicTU.setLeft(ThumbLeft);
    } else {
        m.PicTU.setLeft(kSeekLeft);
    }
}

// Seeks to the position under the thumb and, while the video plays, plays on from there.
void seekFromThumb(MainFrmT& m) {
    double left = m.PicTU.Left();
    SeekTo = MediaLength == 0 ? 0 : rt::CLng(((left - kSeekLeft) / kSeekSpan) * double(MediaLength));
    mciExecute("seek movi2 to " + std::to_string(SeekTo));
    if (m.Timer1.Enabled()) mciExecute("play movi2 window notify");
}

// The thumb's new left edge with the pointer at x: centred under the pointer.
int16_t thumbUnderPointer(MainFrmT& m, float x) {
    return rt::CInt(double(m.PicTU.Left() + x - m.PicTU.Width() / 2));
}

void step(MainFrmT& m, int delta) {
    if (MediaOpen == 0) return;
    ThumbLeft = rt::CInt(double(rt::CInt(m.PicTU.Left())) + delta);
    clampThumb(m);
    seekFromThumb(m);
}
}  // namespace

void SeekToPosition(int32_t ms) {
    if (MediaOpen == 0) return;
    SeekTo = std::clamp<int32_t>(ms, 0, std::max<int32_t>(MediaLength, 0));
    mciExecute("seek movi2 to " + std::to_string(SeekTo));
    if (MainFrm().Timer1.Enabled()) mciExecute("play movi2 window notify");
    ThumbToPosition();
}

void MainFrmT::ComFF_Click() { step(*this, -5); }
void MainFrmT::ComRR_Click() { step(*this, +5); }

void MainFrmT::PicTU_MouseDown(int16_t, int16_t, float, float) {}

void MainFrmT::PicTU_MouseMove(int16_t button, int16_t, float x, float) {
    if (MediaOpen == 0 || button != 1) return;
    ThumbLeft = thumbUnderPointer(*this, x);
    clampThumb(*this);
    Refresh();
}

void MainFrmT::PicTU_MouseUp(int16_t button, int16_t, float x, float) {
    if (MediaOpen == 0 || button != 1) return;
    ThumbLeft = thumbUnderPointer(*this, x);
    clampThumb(*this);
    seekFromThumb(*this);
}

}  // namespace plim
