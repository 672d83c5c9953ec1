#pragma once
// A command string parsed once into a typed command. The parser refuses bad input with the
// service's error numbers; execution never re-reads the text.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/engine/base/Types.h"

namespace plim::mci {

enum class Verb { Open, Close, Play, Stop, Pause, Resume, Seek, Step, Status, Where, Put, Realize, Window, Set, Update, SetAudio };

enum class StatusItem { None, Length, Position, Mode, Ready, TimeFormat, WindowHandle, FramesSkipped, Volume };
enum class WhereItem { None, Source, Destination, Window };
enum class SeekTarget { None, Start, End, Value };
enum class Style { Default, Child, Popup, Overlapped };
enum class TimeFormat { Milliseconds, Frames };

constexpr int64_t kFullVolume = 1000;

enum Flag : uint32_t {
    kWait = 1u << 0,
    kNotify = 1u << 1,
    kWindow = 1u << 2,       // play ... window
    kShareable = 1u << 3,
    kNormal = 1u << 4,       // realize
    kBackground = 1u << 5,   // realize
    kStateShow = 1u << 6,    // window ... state show
    kStateHide = 1u << 7,    // window ... state hide
    kNoStatic = 1u << 8,
    kReverse = 1u << 9,      // step ... reverse
};

struct MciCommand {
    Verb verb = Verb::Open;
    std::string device;  // alias, or the file for open; "all" for close all
    bool all = false;
    uint32_t flags = 0;
    // open
    std::string alias, type;
    Style style = Style::Default;
    std::optional<int64_t> parent;
    // play
    std::optional<int64_t> from, to;
    // seek
    SeekTarget seek = SeekTarget::None;
    int64_t seekTo = 0;
    // step: how many frames (1 unless "by" says)
    int64_t stepBy = 1;
    // status, where, put
    StatusItem status = StatusItem::None;
    WhereItem where = WhereItem::None;
    std::optional<std::array<int64_t, 4>> rect;  // put ... at l t w h; update ... at l t w h
    // update: the device context the frame is drawn into
    std::optional<int64_t> hdc;
    // set
    std::optional<TimeFormat> timeFormat;
    // setaudio ... volume to: the sound level, 0 (silent) to kFullVolume (as recorded)
    std::optional<int64_t> volume;

    bool has(Flag f) const { return (flags & f) != 0; }
};

class Session;  // the open devices of one service
// Carries out a parsed command; returns 0 or an error number and sets the reply text.
using Handler = uint32_t (*)(Session&, const MciCommand&, std::string& reply);

struct ParseResult {
    uint32_t error = 0;  // 0: command is valid
    MciCommand command;
    Handler handler = nullptr;
};

ParseResult parseCommand(const std::string& text);

// Error numbers of the service.
namespace err {
constexpr uint32_t kInvalidDeviceName = 263;
constexpr uint32_t kUnrecognizedKeyword = 259;
constexpr uint32_t kUnrecognizedCommand = 261;
constexpr uint32_t kDeviceNameInUse = 265;  // a device opened under its own name, again
constexpr uint32_t kCannotLoadDriver = 266;
constexpr uint32_t kMissingCommandString = 267;
constexpr uint32_t kOutOfMemory = 264;
constexpr uint32_t kBadInteger = 270;
constexpr uint32_t kMissingParameter = 273;
constexpr uint32_t kUnsupportedFunction = 274;
constexpr uint32_t kFileNotFound = 275;
constexpr uint32_t kInternal = 277;  // also: no service installed
constexpr uint32_t kCannotUseAll = 279;
constexpr uint32_t kOutOfRange = 282;
constexpr uint32_t kFlagsNotCompatible = 284;
constexpr uint32_t kDuplicateAlias = 289;
constexpr uint32_t kBadConstant = 290;
constexpr uint32_t kMissingDeviceName = 292;
constexpr uint32_t kBadTimeFormat = 293;
constexpr uint32_t kNoClosingQuote = 294;
constexpr uint32_t kDuplicateFlags = 295;
constexpr uint32_t kInvalidFile = 296;
constexpr uint32_t kExtraCharacters = 305;
constexpr uint32_t kNoWindow = 346;
constexpr uint32_t kCreateWindow = 347;
}  // namespace err

// Our own Japanese text for an error number; empty for a number the service never gives.
std::string errorText(uint32_t code);

}  // namespace plim::mci
