#pragma once

namespace plim {

// The chooser's OK in save mode: copies the frame shown in VFrm into the capture picture
// and writes it as <folder>/<name>.bmp. GUI thread only.
void SaveFrameAction();

// Ctrl+C on the video window: the frame on screen, at the video's own size however it is
// shown and without the border, put on the clipboard as an image. Nothing with no video
// open or no frame shown yet.
void CopyFrameToClipboard();

}  // namespace plim
