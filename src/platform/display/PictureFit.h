#pragma once
// How large the video window shows the picture: at its own size whenever the window around
// it fits the screen's work area, as the window has always been sized; otherwise at the
// largest size of the same shape, of an even width, with which it fits.

namespace plim::display {

struct PictureFit {
    int width = 0, height = 0;  // pixels
    bool scaled = false;        // smaller than the video
};

// videoW x videoH: the video's size; extraW, extraH: what the window adds around the picture
// (its border and frame); workW x workH: the work area. All in pixels.
PictureFit fitPicture(int videoW, int videoH, int extraW, int extraH, int workW, int workH);

// The largest picture of the video's shape inside areaW x areaH, larger or smaller than the
// video (a full screen): one side fills the area, the other follows the shape, rounded; a
// width made even where the other side fills, as above. scaled: not the video's own size.
PictureFit fillArea(int videoW, int videoH, int areaW, int areaH);

}  // namespace plim::display
