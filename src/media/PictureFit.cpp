#include "media/PictureFit.h"

#include <algorithm>
#include <cstdint>

namespace plim {

PictureFit fitPicture(int videoW, int videoH, int extraW, int extraH, int workW, int workH) {
    PictureFit own{.width = videoW, .height = videoH, .scaled = false};
    if (videoW <= 0 || videoH <= 0 || workW <= 0 || workH <= 0) return own;
    if (int64_t(videoW) + extraW <= workW && int64_t(videoH) + extraH <= workH) return own;
    int64_t availW = std::max(1, workW - extraW), availH = std::max(1, workH - extraH);
    // The side that meets the work area first is taken whole; the other follows the shape,
    // rounded, and never past the work area.
    if (int64_t(videoW) * availH <= int64_t(videoH) * availW) {
        int64_t w = (int64_t(videoW) * availH * 2 + videoH) / (2 * int64_t(videoH));
        return {.width = int(std::clamp<int64_t>(w, 1, availW)), .height = int(availH), .scaled = true};
    }
    int64_t h = (int64_t(videoH) * availW * 2 + videoW) / (2 * int64_t(videoW));
    return {.width = int(availW), .height = int(std::clamp<int64_t>(h, 1, availH)), .scaled = true};
}

}  // namespace plim
