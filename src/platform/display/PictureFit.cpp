#include "platform/display/PictureFit.h"

#include <algorithm>
#include <cstdint>

namespace plim::display {

namespace {
// The width of the shape videoW x videoH at height h, and the reverse, rounded to nearest.
int64_t widthAt(int64_t h, int videoW, int videoH) { return (int64_t(videoW) * h * 2 + videoH) / (2 * int64_t(videoH)); }
int64_t heightAt(int64_t w, int videoW, int videoH) { return (int64_t(videoH) * w * 2 + videoW) / (2 * int64_t(videoW)); }
}  // namespace

PictureFit fillArea(int videoW, int videoH, int areaW, int areaH) {
    if (videoW <= 0 || videoH <= 0 || areaW <= 0 || areaH <= 0) return {.width = videoW, .height = videoH};
    int64_t w = areaW, h = areaH;
    if (int64_t(videoW) * areaH <= int64_t(videoH) * areaW) {
        w = std::clamp<int64_t>(widthAt(areaH, videoW, videoH), 1, areaW);
        if (w > 1 && w % 2 != 0) w += w < areaW ? 1 : -1;  // even, and still inside
    } else {
        h = std::clamp<int64_t>(heightAt(areaW, videoW, videoH), 1, areaH);
    }
    return {.width = int(w), .height = int(h), .scaled = w != videoW || h != videoH};
}

PictureFit fitPicture(int videoW, int videoH, int extraW, int extraH, int workW, int workH) {
    PictureFit own{.width = videoW, .height = videoH, .scaled = false};
    if (videoW <= 0 || videoH <= 0 || workW <= 0 || workH <= 0) return own;
    if (int64_t(videoW) + extraW <= workW && int64_t(videoH) + extraH <= workH) return own;
    int64_t availW = std::max(1, workW - extraW), availH = std::max(1, workH - extraH);
    // The side that meets the work area first is taken whole; the other follows the shape,
    // rounded, and never past the work area.
    int64_t w = availW, h = availH;
    if (int64_t(videoW) * availH <= int64_t(videoH) * availW) w = widthAt(availH, videoW, videoH);
    else h = heightAt(availW, videoW, videoH);
    // An even width: libswscale writes scaled pixels in pairs, and an odd width takes its
    // plain C path at twice the cost (a 4K picture shown 1867 wide dropped a quarter of its
    // frames at 60 fps). The height follows the shape again.
    w = std::clamp<int64_t>(w, 1, availW);
    if (w > 1 && w % 2 != 0) {
        --w;
        h = heightAt(w, videoW, videoH);
    }
    return {.width = int(w), .height = int(std::clamp<int64_t>(h, 1, availH)), .scaled = true};
}

}  // namespace plim::display
