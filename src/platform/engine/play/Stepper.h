#pragma once
// One-frame steps of one player, on the caller's thread under the player's lock. A forward
// step takes the next decoded picture from the frame queue; a step back shows a picture
// kept by the last step back (StepCache) while there is one, otherwise seeks to just before
// the picture shown and keeps what it decodes on the way.
// Thread: the caller's (control calls) and the display's, with the player lock held, which
// guards Generations, StreamEnds and Showing; the frame queue and step cache guard themselves.
#include <optional>

#include "platform/engine/play/PlayPieces.h"
#include "platform/engine/play/Transport.h"

namespace plim::engine {

class Stepper {
public:
    // frameDurUs: the media's frame length, by which steps back reach before a picture.
    Stepper(int64_t frameDurUs, Generations& gens, Decoded& decoded, Showing& showing, Transport& transport)
        : frameDurUs_(frameDurUs), gens_(gens), decoded_(decoded), showing_(showing), transport_(transport) {}

    // Steps `frames` pictures forward (or, negative, back); the player paused first.
    void stepLocked(int frames);
    // The picture shown came from the step cache, so decoding stands elsewhere: play and
    // forward steps beyond the cache begin with a seek to where the picture is.
    void reseekIfAwayLocked();
    // Hands on the pictures that forward steps wait for, as decoding brings them, into shown.
    // At the end of the stream the last picture stays.
    void takeStepsLocked(std::optional<VideoFrame>& shown);

private:
    void forwardLocked(int frames);
    void backLocked(int frames);
    void showKeptLocked(VideoFrame f);

    const int64_t frameDurUs_;
    Generations& gens_;
    Decoded& decoded_;
    Showing& showing_;
    Transport& transport_;
};

}  // namespace plim::engine
