// The MCI command-string service: parses each command once, then runs its handler against
// the open devices.
#include "platform/mci/MciService.h"

#include <QWidget>
#include <algorithm>
#include <cstring>
#include <map>

#include "platform/forms/Handles.h"
#include "platform/gdi/Gdi.h"
#include "platform/forms/Interaction.h"
#include "platform/mci/Device.h"
#include "platform/mci/MciCommand.h"
#include "platform/mci/MciHandlers.h"

namespace plim::mci {

void copyReply(const std::string& text, char* buffer, uint32_t length) {
    if (!buffer || length == 0) return;
    size_t n = std::min<size_t>(text.size(), length - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

namespace {
// The most frames one step command moves: a second or more of any video, and far from
// overflowing the engine's count.
constexpr int64_t kMaxStepFrames = 1000000;

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

// A rectangle's size of 0 0 (left top width height) means the video's own size.
bool meansOwnSize(const std::array<int64_t, 4>& r) { return r[2] == 0 && r[3] == 0; }
}  // namespace

class Session {
public:
    // Declared before the devices: a device's close is told to them.
    std::map<int, DeviceListener> listeners;
    int lastListener = 0;
    std::map<std::string, std::unique_ptr<Device>> devices;  // by lower-case alias

    void publish(const DeviceNotice& n) {
        // A listener may subscribe or unsubscribe meanwhile: tell a copy.
        std::map<int, DeviceListener> now = listeners;
        for (auto& [id, listener] : now) listener(n);
    }

    Device* find(const std::string& alias) {
        auto it = devices.find(lower(alias));
        return it == devices.end() ? nullptr : it->second.get();
    }
};

namespace {

class Service : public MciService {
public:
    uint32_t sendString(const std::string& command, char* reply, uint32_t length, intptr_t) override {
        if (reply && length > 0) reply[0] = '\0';
        ParseResult r = parseCommand(command);
        if (r.error) return r.error;
        std::string text;
        uint32_t code = r.handler(session_, r.command, text);
        if (code == 0) copyReply(text, reply, length);
        return code;
    }

    bool execute(const std::string& command) override {
        uint32_t code = sendString(command, nullptr, 0, 0);
        if (code == 0) return true;
        std::string text = errorText(code);
        if (text.empty()) text = "MCI エラー (" + std::to_string(code) + ")";
        forms::MsgBox(text + "\n\n" + command, forms::vbOKOnly, std::string("MCI ｴﾗｰ"));
        return false;
    }

    bool errorString(uint32_t code, char* buffer, uint32_t length) override {
        if (buffer && length > 0) buffer[0] = '\0';
        std::string text = errorText(code);
        if (text.empty()) return false;
        copyReply(text, buffer, length);
        return true;
    }

    int subscribe(DeviceListener listener) override {
        session_.listeners[++session_.lastListener] = std::move(listener);
        return session_.lastListener;
    }
    void unsubscribe(int id) override { session_.listeners.erase(id); }

private:
    Session session_;
};

std::string rectText(const QRect& r) {
    return std::to_string(r.x()) + " " + std::to_string(r.y()) + " " + std::to_string(r.width()) + " " +
           std::to_string(r.height());
}

uint32_t checkRange(Device& d, int64_t units) {
    return (units < 0 || units > d.lengthUnits()) ? err::kOutOfRange : 0;
}

// The engine's reasons for refusing a file, as the service's error numbers.
uint32_t openError(engine::OpenError e) {
    switch (e) {
        case engine::OpenError::None: return 0;
        case engine::OpenError::FileNotFound: return err::kFileNotFound;
        case engine::OpenError::InvalidFile: return err::kInvalidFile;
        case engine::OpenError::CannotLoadDriver: return err::kCannotLoadDriver;
    }
    return err::kInvalidFile;
}

VideoSurface* makeSurface(const MciCommand& c, const engine::MediaInfo& info, uint32_t& error) {
    QWidget* parent = c.parent ? forms::widgetOf(forms::HWND(*c.parent)) : nullptr;
    if (c.parent && !parent) return error = err::kCreateWindow, nullptr;
    if (c.style == Style::Child && !parent) return error = err::kCreateWindow, nullptr;
    if (!info.hasVideo) return nullptr;
    auto* s = new VideoSurface(parent);
    if (c.style != Style::Child) {
        s->setWindowFlags(Qt::Window);
        s->setWindowTitle(QString::fromStdString(c.alias.empty() ? c.device : c.alias));
    }
    s->setGeometry(0, 0, info.displayWidth, info.height);
    s->hide();
    return s;
}

}  // namespace

uint32_t withDevice(Session& s, const MciCommand& c, std::string& reply, DeviceHandler handler) {
    Device* d = s.find(c.device);
    return d ? handler(*d, c, reply) : err::kInvalidDeviceName;
}

uint32_t doOpen(Session& s, const MciCommand& c, std::string& reply) {
    std::string alias = c.alias.empty() ? c.device : c.alias;
    if (s.find(alias)) return c.alias.empty() ? err::kDeviceNameInUse : err::kDuplicateAlias;
    if (!c.type.empty() && lower(c.type) != "avivideo" && lower(c.type) != "mpegvideo") return err::kInvalidDeviceName;
    if (c.style == Style::Child && !c.parent) return err::kCreateWindow;
    std::unique_ptr<engine::Player> player;
    if (uint32_t e = openError(engine::Player::open(c.device, player))) return e;
    uint32_t error = 0;
    VideoSurface* surface = makeSurface(c, player->info(), error);
    if (error) return error;
    auto publish = [&s](const DeviceNotice& n) { s.publish(n); };
    s.devices[lower(alias)] = std::make_unique<Device>(alias, c.device, std::move(player), surface, publish);
    reply = std::to_string(s.devices.size());
    return 0;
}

uint32_t doClose(Session& s, const MciCommand& c, std::string&) {
    if (c.all) {
        s.devices.clear();
        return 0;
    }
    auto it = s.devices.find(lower(c.device));
    if (it == s.devices.end()) return err::kInvalidDeviceName;
    s.devices.erase(it);
    return 0;
}

uint32_t doPlay(Device& d, const MciCommand& c, std::string&) {
    if (c.from)
        if (uint32_t e = checkRange(d, *c.from)) return e;
    if (c.to)
        if (uint32_t e = checkRange(d, *c.to)) return e;
    if (c.from && c.to && *c.from > *c.to) return err::kOutOfRange;
    std::optional<int64_t> from, to;
    if (c.from) from = d.fromUnits(*c.from);
    if (c.to) to = d.fromUnits(*c.to);
    d.player().play(from, to);
    if (d.surface()) d.surface()->show();
    d.kick();
    if (c.has(kWait)) d.waitUntil([](engine::Player& p) { return p.mode() != engine::Mode::Playing; });
    return 0;
}

uint32_t doStop(Device& d, const MciCommand&, std::string&) {
    d.player().stop();
    d.kick();
    return 0;
}

uint32_t doPause(Device& d, const MciCommand&, std::string&) {
    d.player().pause();
    d.kick();
    return 0;
}

uint32_t doResume(Device& d, const MciCommand&, std::string&) {
    d.player().resume();
    d.kick();
    return 0;
}

uint32_t doSeek(Device& d, const MciCommand& c, std::string&) {
    int64_t us = 0;
    if (c.seek == SeekTarget::End) us = d.player().lengthUs();
    if (c.seek == SeekTarget::Value) {
        if (uint32_t e = checkRange(d, c.seekTo)) return e;
        us = c.seekTo == d.lengthUnits() ? d.player().lengthUs() : d.fromUnits(c.seekTo);
    }
    d.player().seek(us);
    d.kick();
    if (c.has(kWait)) d.waitUntil([](engine::Player& p) { return p.seekSettled(); });
    return 0;
}

// Shows the frame `by` frames after (reverse: before) the one shown, pausing a playing
// device; at either end of the media it stays on the first or last frame.
uint32_t doStep(Device& d, const MciCommand& c, std::string&) {
    if (!d.player().info().hasVideo) return err::kUnsupportedFunction;
    int frames = int(std::min<int64_t>(c.stepBy, kMaxStepFrames));
    d.player().step(c.has(kReverse) ? -frames : frames);
    d.kick();
    if (c.has(kWait)) d.waitUntil([](engine::Player& p) { return p.seekSettled(); });
    return 0;
}

uint32_t doStatus(Device& d, const MciCommand& c, std::string& reply) {
    engine::Player& p = d.player();
    switch (c.status) {
        case StatusItem::Length: reply = std::to_string(d.lengthUnits()); break;
        case StatusItem::Position:
            reply = std::to_string(std::min(d.toUnits(p.positionUs()), d.lengthUnits()));
            break;
        case StatusItem::Mode:
            reply = p.mode() == engine::Mode::Playing ? "playing" : p.mode() == engine::Mode::Paused ? "paused" : "stopped";
            break;
        case StatusItem::Ready: reply = "true"; break;
        case StatusItem::TimeFormat: reply = d.timeFormat == TimeFormat::Frames ? "frames" : "milliseconds"; break;
        case StatusItem::WindowHandle:
            if (!d.surface()) return err::kNoWindow;
            reply = std::to_string(forms::handleOf(d.surface()));
            break;
        case StatusItem::FramesSkipped: reply = std::to_string(p.droppedFrames()); break;
        case StatusItem::Volume: reply = std::to_string(d.volume()); break;
        case StatusItem::None: return err::kUnsupportedFunction;
    }
    return 0;
}

uint32_t doWhere(Device& d, const MciCommand& c, std::string& reply) {
    VideoSurface* v = d.surface();
    if (!v) return err::kNoWindow;
    const engine::MediaInfo& info = d.player().info();
    if (c.where == WhereItem::Source) reply = rectText(QRect(0, 0, info.displayWidth, info.height));
    if (c.where == WhereItem::Destination)
        reply = rectText(v->destination().isValid() ? v->destination() : QRect(0, 0, info.displayWidth, info.height));
    if (c.where == WhereItem::Window) reply = rectText(v->geometry());
    return 0;
}

uint32_t doPut(Device& d, const MciCommand& c, std::string&) {
    VideoSurface* v = d.surface();
    if (!v) return err::kNoWindow;
    if (c.where == WhereItem::None) return err::kMissingParameter;
    if (c.where == WhereItem::Destination) {
        v->putDestination(c.rect ? QRect(int((*c.rect)[0]), int((*c.rect)[1]), int((*c.rect)[2]), int((*c.rect)[3]))
                                 : QRect(QPoint(0, 0), v->size()));
    } else if (c.rect) {
        const auto& r = *c.rect;
        QSize size = meansOwnSize(r) ? v->size() : QSize(int(r[2]), int(r[3]));
        v->setGeometry(QRect(QPoint(int(r[0]), int(r[1])), size));
    }
    return 0;
}

// The frame shown, at the video's own size however the window shows it, drawn into a bitmap's
// device context with its top-left corner at the origin of `at` (0 0 when not given; the part
// that lands in the bitmap); its size, when given, must be the video's (or 0 0). A frame too
// large for memory is said so, never drawn smaller.
uint32_t doUpdate(Device& d, const MciCommand& c, std::string&) {
    VideoSurface* v = d.surface();
    if (!v) return err::kNoWindow;
    if (!c.hdc) return err::kMissingParameter;
    QImage* into = gdi::bitmapOf(gdi::HDC(*c.hdc));
    if (!into) return err::kBadConstant;
    const engine::MediaInfo& info = d.player().info();
    std::array<int64_t, 4> r = c.rect.value_or(std::array<int64_t, 4>{0, 0, 0, 0});
    bool ownSize = meansOwnSize(r) || (r[2] == info.displayWidth && r[3] == info.height);
    QRect at(QPoint(int(std::clamp<int64_t>(r[0], -info.displayWidth, into->width())),
                    int(std::clamp<int64_t>(r[1], -info.height, into->height()))),
             QSize(info.displayWidth, info.height));
    if (!ownSize || !into->rect().intersects(at) || !v->frame().valid()) return err::kOutOfRange;
    return v->drawSourceInto(*into, at.topLeft()) ? 0 : err::kOutOfMemory;
}

uint32_t doRealize(Device&, const MciCommand&, std::string&) { return 0; }

uint32_t doWindow(Device& d, const MciCommand& c, std::string&) {
    if (!d.surface()) return err::kNoWindow;
    if (c.has(kStateShow)) d.surface()->show();
    if (c.has(kStateHide)) d.surface()->hide();
    return 0;
}

uint32_t doSet(Device& d, const MciCommand& c, std::string&) {
    d.timeFormat = *c.timeFormat;
    return 0;
}

// The sound level of the device from now on (the parser refused one out of range). A device
// without sound keeps the number and plays on silently.
uint32_t doSetAudio(Device& d, const MciCommand& c, std::string&) {
    d.setVolume(*c.volume);
    return 0;
}

std::shared_ptr<MciService> createService() {
    return std::make_shared<Service>();
}

}  // namespace plim::mci
