#pragma once
// The media's timeline as the player plays it, settled once at open: where media time zero
// lies for the pictures and for the sound, which times are trusted, the window that times are
// expected within, and the length, a joined file's parts counted.
#include <cstdint>
#include <memory>

#include "platform/engine/base/PacketList.h"
#include "platform/engine/base/Types.h"

namespace plim::engine {

class MediaSource;
class VideoDecoder;

struct Timeline {
    MediaInfo info;
    int64_t windowUs = 0;       // times are expected within [0, windowUs); 0: anywhere
    int64_t soundOriginUs = 0;  // the sound's media time zero, in the container's clock
    // Play goes on from where settling left reading and the decoder: no seek back to the
    // start, and the first pictures are not decoded twice. False when settling read
    // elsewhere in the file (a joined file's parts were looked for): play starts with a seek.
    // Carried on as SeekRequest::continuesOpen of the open's generation.
    bool continuesOpen = false;
    PacketList soundRead;  // the sound's packets read while settling, for play to begin with
};

// Settles the timeline of a source just opened (its open deadline still armed, and disarmed
// here). With video, opens the decoder into dec (decoderThreads 0: chosen by the picture's
// size and rate) and makes the first decodable picture media time zero; a video stream
// without one is refused, as it would play an empty window. Called on the opening thread.
OpenError settleTimeline(MediaSource& src, int decoderThreads, std::unique_ptr<VideoDecoder>& dec, Timeline& out);

}  // namespace plim::engine
