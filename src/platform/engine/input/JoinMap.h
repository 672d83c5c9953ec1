#pragma once
// Where the clock of a file made of parts joined end to end restarts: program and transport
// streams split by a recorder, or VOB files joined with cat. Each part's times start again,
// so a search by time alone lands in whichever part has that time. The map tells which part
// holds a media time, where its bytes lie and what to add to its own times; played straight
// through, the parts follow each other without a gap (each starts where the one before it
// ended), which is how the timestamp filter joins them too. Times are microseconds of the
// container's clock unless named media times. Value type.
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

struct AVFormatContext;

namespace plim::engine {

class JoinMap {
public:
    // A part after the first: its first byte, its first picture's time, and where the part
    // before it ended (the end of its last picture).
    struct Join {
        int64_t pos = 0;
        int64_t startUs = 0;
        int64_t prevEndUs = 0;
    };
    // A part's bytes [pos, endPos) and times [startUs, endUs).
    struct Span {
        int64_t pos = 0, endPos = 0, startUs = 0, endUs = 0;
    };

    // Finds the joins of a file by sampling the first picture's time at bytes spread over it
    // and narrowing down each place where the time goes back. Reads through fmt (the reader
    // is left anywhere); a damaged file whose times jump back and forth gives an empty map.
    // frameDurUs stands in for pictures that do not say how long they last.
    static JoinMap scan(AVFormatContext* fmt, int videoIndex, int64_t frameDurUs);
    JoinMap() = default;
    // A map of joins already known, in the order of the file.
    explicit JoinMap(std::vector<Join> joins) : joins_(std::move(joins)) {}

    bool empty() const { return joins_.empty(); }

    // The media time at which part i starts; part 0 starts at originUs, media time 0.
    int64_t partStartUs(size_t i, int64_t originUs) const;
    // What to add to a time of part i counted from originUs to get its media time.
    int64_t offsetUs(size_t i, int64_t originUs) const { return partStartUs(i, originUs) - (startOf(i, originUs) - originUs); }
    // The part that holds media time us.
    size_t partAt(int64_t us, int64_t originUs) const;
    // Part i's bytes and times; the last part ends at fileSize and fileEndUs.
    Span span(size_t i, int64_t originUs, int64_t fileSize, int64_t fileEndUs) const;
    // The whole file's length, its last part ending at fileEndUs.
    int64_t lengthUs(int64_t originUs, int64_t fileEndUs) const;

private:
    int64_t startOf(size_t i, int64_t originUs) const { return i == 0 ? originUs : joins_[i - 1].startUs; }
    std::vector<Join> joins_;
};

}  // namespace plim::engine
