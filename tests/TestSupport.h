#pragma once
// Shared by the test programs: where the clips are, and the reference decode (ffmpeg's own)
// to compare shown frames with.
#include <filesystem>
#include <string>

#include "ReferenceDecode.h"

namespace plim::test {

inline std::string clip(const std::string& name) { return std::string(PLIM_CLIPS_DIR) + "/" + name; }
inline std::string sharedMedia() { return PLIM_SHARED_MEDIA; }
inline bool haveSharedMedia() { return std::filesystem::is_directory(sharedMedia()); }

}  // namespace plim::test
