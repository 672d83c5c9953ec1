// Position polling: each tick of Timer1 detects the end of play and moves the thumb.
#include "module1/Module1.h"
#include "media/MciChannel.h"
#include "platform/forms/Runtime.h"
#include "transport/Track.h"
#include "windows/Windows.h"

namespace plim {

using namespace Module1;

void MainFrmT::Timer1_Timer() { UpdatePosition(); }

void Module1::UpdatePosition() {
    MainFrmT& m = MainFrm();
    media::ReplyBuffer reply;
    media::mciSendStringA("status movi2 mode", reply.text, media::kReplyLength, 0);
    if (media::ReplyIsStopped(reply)) {
        Playing = 0;
        m.ComPLAY.setPicture(m.Img1.picture());
        m.Timer1.setEnabled(false);
        Finished = 1;
        media::mciExecute("seek movi2 to start");
        SliderPos = track::kThumbStart;
        m.PicTU.setLeft(SliderPos);
    }
    ThumbToPosition();
}

// The position's thumb: 105 pixels from 20 (Track.h tells why not the slider's mapping).
void Module1::ThumbToPosition() {
    media::ReplyBuffer reply;
    media::mciSendStringA("status movi2 position", reply.text, media::kReplyLength, 0);
    double position = media::ReplyNumber(reply);
    // A length of 0 (its query failed) cannot be mapped: the thumb stays at the start.
    SliderPos = MediaLength == 0 ? track::kThumbStart
                                 : rt::CInt(position * track::kFollowSpan / double(MediaLength) + track::kThumbStart);
    MainFrm().PicTU.setLeft(SliderPos);
}

}  // namespace plim
