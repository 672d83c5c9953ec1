#pragma once
// Writes a picture as a 24-bit Windows bitmap. The file is written whole to a temporary
// file in the same folder and then renamed over the target, so a failed save never destroys
// a file that was there. GUI thread only.
#include <string>

#include "platform/forms/Controls.h"

namespace plim::forms {

// Returns "" on success, else the reason it failed.
std::string SavePicture(const Picture& picture, const std::string& path);

}  // namespace plim::forms
