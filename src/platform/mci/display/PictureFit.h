#pragma once
// How large the video window shows the picture: at its own size whenever the window around
// it fits the screen's work area, as the window has always been sized; otherwise at the
// largest size of the same shape, of an even width, with which it fits.

namespace plim::mci {

struct PictureFit {
    int width = 0, height = 0;  // pixels
    bool scaled = false;        // smaller than the video
};

// videoW x videoH: the video's size; extraW, extraH: what the window adds around the picture
// (its border and frame); workW x workH: the work area. All in pixels.
PictureFit fitPicture(int videoW, int videoH, int extraW, int extraH, int workW, int workH);

}  // namespace plim::mci
