#include "module1/Module1.h"

namespace plim::Module1 {

int16_t TwipsX = 0, TwipsY = 0;
int16_t MediaOpen = 0;
std::string MediaPath;
int32_t MediaLength = 0;
int32_t VideoWidth = 0, VideoHeight = 0;
int16_t Playing = 0;
int16_t Finished = 0;
int16_t SliderPos = 0;
int16_t ThumbLeft = 0;
int32_t SeekTo = 0;
int16_t FrameBorder = 0;
int16_t DialogMode = 0;
std::string ChosenFolder;

void ResetState() {
    TwipsX = TwipsY = MediaOpen = Playing = Finished = SliderPos = ThumbLeft = FrameBorder = DialogMode = 0;
    MediaLength = VideoWidth = VideoHeight = SeekTo = 0;
    MediaPath.clear();
    ChosenFolder.clear();
}

}  // namespace plim::Module1
