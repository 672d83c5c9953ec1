#include "app/Mpris.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QGuiApplication>
#include <QUrl>
#include <QWidget>
#include <algorithm>
#include <unistd.h>

#include "media/MciChannel.h"
#include "media/SoundLevel.h"
#include "module1/Module1.h"
#include "windows/Windows.h"

namespace plim {

namespace {
const char* const kPath = "/org/mpris/MediaPlayer2";
const char* const kPlayerInterface = "org.mpris.MediaPlayer2.Player";
const char* const kServiceName = "org.mpris.MediaPlayer2.plim";
const char* const kTrack = "/jp/plim/Plim/video";  // the one video open
// Quit ends the process at once: the call's answer goes out first.
constexpr int kQuitAfterMs = 100;

bool videoOpen() { return Module1::MediaOpen != 0; }
int64_t lengthUs() { return int64_t(Module1::MediaLength) * 1000; }
// Stop, Pause, Play: what a device's play means to the desktop.
QString statusOf(const std::optional<mci::DeviceNotice>& d) {
    if (!d || d->play == mci::DevicePlay::Ended) return QStringLiteral("Stopped");
    return d->play == mci::DevicePlay::Playing ? QStringLiteral("Playing") : QStringLiteral("Paused");
}
}  // namespace

QString MprisRoot::desktopEntry() const { return QGuiApplication::desktopFileName(); }

QStringList MprisRoot::mimeTypes() const {
    return {QStringLiteral("video/x-msvideo"), QStringLiteral("video/mpeg")};
}

void MprisRoot::Raise() {
    MainFrm().Show();
    if (QWidget* w = MainFrm().widget()) {
        w->raise();
        w->activateWindow();
    }
}

void MprisRoot::Quit() {
    QTimer::singleShot(kQuitAfterMs, [] { MainFrm().ComEND_Click(); });
}

QString MprisPlayer::playbackStatus() const { return statusOf(device); }

bool MprisPlayer::open() const { return device.has_value(); }

double MprisPlayer::volume() const { return SoundLevel(); }

void MprisPlayer::setVolume(double level) {
    SetSoundLevel(level);
    static_cast<Mpris*>(parent())->publishChanges();  // also with no video to tell
}

qlonglong MprisPlayer::position() const {
    if (!videoOpen()) return 0;
    media::ReplyBuffer reply;
    if (media::mciSendStringA("status movi2 position", reply.text, media::kReplyLength, 0) != 0) return 0;
    return qlonglong(media::ReplyNumber(reply) * 1000.0);
}

QVariantMap MprisPlayer::metadata() const {
    if (!device) return {{QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath("/org/mpris/MediaPlayer2/TrackList/NoTrack"))}};
    // The path's bytes as the system names files (a Shift_JIS folder stays readable).
    QString path = QFile::decodeName(QByteArray::fromStdString(device->path));
    return {{QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(kTrack))},
            {QStringLiteral("mpris:length"), qlonglong(device->lengthMs * 1000)},
            {QStringLiteral("xesam:title"), path.section(QLatin1Char('/'), -1)},
            {QStringLiteral("xesam:url"), QString::fromLatin1(QUrl::fromLocalFile(path).toEncoded())}};
}

void MprisPlayer::Play() {
    if (videoOpen() && (Module1::Playing != 1 || Module1::Finished == 1)) MainFrm().ComPLAY_Click();
}

void MprisPlayer::Pause() {
    if (videoOpen() && Module1::Playing == 1 && Module1::Finished != 1) MainFrm().ComPLAY_Click();
}

void MprisPlayer::PlayPause() {
    if (videoOpen()) MainFrm().ComPLAY_Click();
}

void MprisPlayer::Stop() { Pause(); }

void MprisPlayer::Seek(qlonglong offsetUs) {
    if (!videoOpen()) return;
    int64_t target = std::clamp<int64_t>(position() + offsetUs, 0, lengthUs());
    SeekToPosition(int32_t(target / 1000));
    emit Seeked(position());
}

void MprisPlayer::SetPosition(const QDBusObjectPath& track, qlonglong positionUs) {
    if (!videoOpen() || track.path() != QLatin1String(kTrack) || positionUs < 0 || positionUs > lengthUs()) return;
    SeekToPosition(int32_t(positionUs / 1000));
    emit Seeked(position());
}

Mpris::Mpris(QObject* parent) : QObject(parent) {
    new MprisRoot(this);
    player_ = new MprisPlayer(this);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.registerObject(kPath, this)) return;
    // A second Plim takes a name of its own, as the interface asks.
    if (!bus.registerService(kServiceName) &&
        !bus.registerService(QString::fromLatin1(kServiceName) + ".instance" + QString::number(::getpid()))) {
        bus.unregisterObject(kPath);
        return;
    }
    status_ = player_->playbackStatus();
    metadata_ = player_->metadata();
    volume_ = player_->volume();
    watch_.emplace([this](const mci::DeviceNotice& n) { heard(n); });
}

void Mpris::heard(const mci::DeviceNotice& n) {
    if (n.play == mci::DevicePlay::Closed) player_->device.reset();
    else player_->device = n;
    publishChanges();
}

void Mpris::publishChanges() {
    QVariantMap changed;
    QString status = player_->playbackStatus();
    if (status != status_) changed.insert(QStringLiteral("PlaybackStatus"), status_ = status);
    if (double v = player_->volume(); v != volume_) changed.insert(QStringLiteral("Volume"), volume_ = v);
    QVariantMap metadata = player_->metadata();
    if (metadata != metadata_) {
        metadata_ = metadata;
        changed.insert(QStringLiteral("Metadata"), metadata);
        for (const char* can : {"CanPlay", "CanPause", "CanSeek"}) changed.insert(QLatin1String(can), player_->open());
    }
    if (changed.isEmpty()) return;
    QDBusMessage signal =
        QDBusMessage::createSignal(kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"));
    signal << QString::fromLatin1(kPlayerInterface) << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
}

void offerMediaControls(QObject* app) { new Mpris(app); }

}  // namespace plim
