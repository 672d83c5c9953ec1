#include "platform/engine/play/Timeline.h"

#include "platform/engine/decode/VideoDecoder.h"
#include "platform/engine/input/MediaSource.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/mathematics.h>
#include <libavutil/rational.h>
}

namespace plim::engine {

namespace {
// Film carried by 3:2 pulldown is counted in its own pictures: four in the time of five of
// the frames the stream's rate counts (23.976 a second on NTSC's 29.97).
void countFilmPictures(MediaInfo& info) {
    AVRational film = av_mul_q(AVRational{int(info.rateNum), int(info.rateDen)}, AVRational{4, 5});
    info.rateNum = film.num;
    info.rateDen = film.den;
    info.frameDurUs = av_rescale(kUsPerSecond, film.den, film.num);
    info.pulledDown = true;
}

// Reads from the start until the decoder knows where the pictures start: the first
// picture's time in the container's clock, or nullopt when none can be decoded. The sound's
// packets read on the way are kept, in order, for play to begin with.
std::optional<int64_t> firstPicture(MediaSource& src, VideoDecoder& dec, PacketList& soundRead) {
    constexpr int kMaxPackets = 400;
    AVPacket* pkt = av_packet_alloc();
    if (!pkt) return std::nullopt;
    dec.beginFirst();
    for (int n = 0; n < kMaxPackets && !dec.firstSettled(); ++n) {
        if (av_read_frame(src.format(), pkt) < 0) {
            dec.feedFirst(nullptr);
            break;
        }
        if (pkt->stream_index == src.videoIndex()) {
            dec.feedFirst(pkt);
        } else if (pkt->stream_index == src.audioIndex()) {
            if (AVPacket* copy = av_packet_alloc()) {
                av_packet_move_ref(copy, pkt);
                soundRead.push(copy);
            }
        }
        av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
    return dec.firstPictureUs();
}

// The pictures' side of the timeline: the first picture is media time zero; an index's
// frame counts are trusted; a length the file tells for sure keeps gaps within it; a file
// joined from parts has their length together, and times lie within it.
OpenError settlePictures(MediaSource& src, int decoderThreads, VideoDecoder& dec, Timeline& t) {
    if (!dec.open(src.videoStream(), src.originUs(), decoderThreads, t.windowUs)) return OpenError::CannotLoadDriver;
    auto first = firstPicture(src, dec, t.soundRead);
    if (!first) return OpenError::InvalidFile;
    src.setOriginUs(*first);
    if (src.indexed() && !dec.packetsCarryPts()) dec.trustTimes();
    if (t.info.lengthKnown) dec.keepGapsWithin(t.info.lengthUs);
    t.continuesOpen = !src.mapJoins();
    t.info = src.info();
    t.info.interlaced = dec.picturesInterlaced();
    if (dec.picturesPulledDown()) countFilmPictures(t.info);
    if (t.windowUs) t.windowUs = t.info.lengthUs;
    dec.setWindow(t.windowUs);
    return OpenError::None;
}
}  // namespace

OpenError settleTimeline(MediaSource& src, int decoderThreads, std::unique_ptr<VideoDecoder>& dec, Timeline& out) {
    Timeline t;
    t.info = src.info();
    // Times are expected within the length the file tells, where it tells one.
    t.windowUs = t.info.lengthKnown || src.lengthFromTimes() ? t.info.lengthUs : 0;
    if (t.info.hasVideo) {
        dec = std::make_unique<VideoDecoder>();
        if (OpenError e = settlePictures(src, decoderThreads, *dec, t); e != OpenError::None) return e;
    }
    src.disarm();
    // Pictures without presentation times come the decoder's delay late; the sound's times
    // are its own, counted from the stream's start, so none of it is cut off at the start.
    t.soundOriginUs = dec && !dec->packetsCarryPts() ? src.startUs() : src.originUs();
    out = std::move(t);
    return OpenError::None;
}

}  // namespace plim::engine
