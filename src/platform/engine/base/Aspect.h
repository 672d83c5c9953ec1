#pragma once
// Pixels that are not square: a camcorder's DV or a DVD is stored 720 wide and meant to be
// seen at 4:3 or 16:9. Its sample aspect ratio (SAR) says how wide one stored pixel is
// against its height. Pure; any thread.

namespace plim::engine {

// The ratio of one stored pixel's width to its height; 0/0 when the file does not say.
struct SampleAspect {
    int num = 0, den = 0;
    // A ratio a real picture has: damaged headers give 0, negatives or absurd ratios, and
    // those are taken as square.
    bool usable() const;
    bool operator==(const SampleAspect&) const = default;
};

// The width a picture width x (any height) is shown at: its display aspect with the height
// kept, as players show it (720 at 32:27 is 853). The width itself for square pixels or an
// unusable ratio.
int displayWidthFor(int width, SampleAspect sar);

}  // namespace plim::engine
