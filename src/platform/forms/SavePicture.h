#pragma once
// Writes a picture as a 24-bit Windows bitmap. The file is written whole to a temporary
// file in the same folder and then renamed over the target, so a failed save never destroys
// a file that was there. GUI thread only.
#include <string>

#include "platform/forms/Controls.h"

namespace plim::forms {

// Returns "" on success, else the reason it failed, in Japanese for the common causes.
std::string SavePicture(const Picture& picture, const std::string& path);

// The reason for a failed write to path: the folder's state is probed (missing, name too
// long, read-only filesystem, not writable, full), then callErrno, as the failed call left
// it, decides. Returns an errno value, or 0 when nothing explains it.
int probeSaveFailure(const std::string& path, int callErrno);
// Our own short Japanese text for the common causes; the system's text for others.
std::string saveFailureText(int err);

}  // namespace plim::forms
