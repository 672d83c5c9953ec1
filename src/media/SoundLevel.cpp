// The sound level, kept here and sent to the device as "setaudio movi2 volume to N".
#include "media/SoundLevel.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "media/MciChannel.h"
#include "module1/Module1.h"

namespace plim {

namespace {
constexpr int kFull = 1000;  // the device's scale
constexpr int kStep = 50;    // 5 %
int g_level = kFull;
bool g_muted = false;

int heard() { return g_muted ? 0 : g_level; }

// The device is told what is heard now; no error box: the level is an extra, and a device
// that cannot take it plays on as it was.
void tellDevice() {
    if (Module1::MediaOpen == 0) return;
    media::mciSendStringA("setaudio movi2 volume to " + std::to_string(heard()), nullptr, 0, 0);
}

void setLevel(int level) {
    g_level = std::clamp(level, 0, kFull);
    g_muted = false;
    tellDevice();
}
}  // namespace

double SoundLevel() { return double(heard()) / kFull; }

void SetSoundLevel(double level) {
    if (std::isnan(level)) return;
    setLevel(int(std::lround(std::clamp(level, 0.0, 1.0) * kFull)));
}

void SoundLevelDown() { setLevel((g_level - 1) / kStep * kStep); }

void SoundLevelUp() { setLevel((g_level / kStep + 1) * kStep); }

void ToggleMute() {
    g_muted = !g_muted;
    tellDevice();
}

void ResetSoundLevel() {
    g_level = kFull;
    g_muted = false;
}

void ApplySoundLevelToNewVideo() {
    if (heard() != kFull) tellDevice();
}

}  // namespace plim
