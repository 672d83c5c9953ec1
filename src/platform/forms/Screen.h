#pragma once
// The screen as the handlers see it: size in twips and the twips-per-pixel factors
// (1440 / logical dots per inch: 96 dpi gives 15, 120 dpi gives 12). GUI thread only.

namespace plim::forms {

struct Screen {
    static float TwipsPerPixelX();
    static float TwipsPerPixelY();
    static float Width();   // twips
    static float Height();  // twips
    // Tests pretend another logical dpi; 0 returns to the real screen.
    static void setDpiOverride(double dpi);
};

}  // namespace plim::forms
