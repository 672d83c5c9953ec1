#pragma once

namespace plim {

// The chooser's OK in save mode: copies the frame shown in VFrm into the capture picture
// and writes it as <folder>/<name>.bmp. GUI thread only.
void SaveFrameAction();

}  // namespace plim
