#pragma once
// The desktop's media controls (MPRIS 2): Plim as org.mpris.MediaPlayer2.plim on the session
// bus. Every call acts through the program's own handlers, as a click on its buttons or a
// move of its slider would; a call that cannot apply (Play with no video open) does nothing,
// as the button does. What it says of play, the video and the level follows the MCI devices'
// notices, and each change is published as it is told. Without a session bus nothing is
// published. GUI thread only.
#include <QDBusAbstractAdaptor>
#include <QDBusObjectPath>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>
#include <optional>

#include "media/MciChannel.h"

namespace plim {

// org.mpris.MediaPlayer2: who the player is; Raise shows its main window, Quit takes the
// quit button's path (the device is closed first).
class MprisRoot : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ yes)
    Q_PROPERTY(bool CanRaise READ yes)
    Q_PROPERTY(bool HasTrackList READ no)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ uriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ mimeTypes)
public:
    explicit MprisRoot(QObject* parent) : QDBusAbstractAdaptor(parent) {}
    bool yes() const { return true; }
    bool no() const { return false; }
    QString identity() const { return QStringLiteral("Plim"); }
    QString desktopEntry() const;
    QStringList uriSchemes() const { return {QStringLiteral("file")}; }
    QStringList mimeTypes() const;
public slots:
    void Raise();
    void Quit();
};

// org.mpris.MediaPlayer2.Player: play state, position and the open video. Stop pauses: the
// program has no stop of its own.
class MprisPlayer : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(double Rate READ one)
    Q_PROPERTY(double MinimumRate READ one)
    Q_PROPERTY(double MaximumRate READ one)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(bool CanGoNext READ no)
    Q_PROPERTY(bool CanGoPrevious READ no)
    Q_PROPERTY(bool CanPlay READ open)
    Q_PROPERTY(bool CanPause READ open)
    Q_PROPERTY(bool CanSeek READ open)
    Q_PROPERTY(bool CanControl READ yes)
public:
    explicit MprisPlayer(QObject* parent) : QDBusAbstractAdaptor(parent) {}
    // The device open, as its last notice told it; nullopt once closed.
    std::optional<mci::DeviceNotice> device;
    QString playbackStatus() const;
    double one() const { return 1.0; }
    // The sound level, 0 to 1 (0 while muted); a level set is clamped to it.
    double volume() const;
    void setVolume(double level);
    qlonglong position() const;  // microseconds
    QVariantMap metadata() const;
    bool no() const { return false; }
    bool yes() const { return true; }
    bool open() const;
public slots:
    void Play();
    void Pause();
    void PlayPause();
    void Stop();
    void Next() {}
    void Previous() {}
    void Seek(qlonglong offsetUs);
    void SetPosition(const QDBusObjectPath& track, qlonglong positionUs);
    void OpenUri(const QString&) {}
signals:
    void Seeked(qlonglong positionUs);
};

// The object on the bus, publishing each change it is told of (PropertiesChanged).
class Mpris : public QObject {
public:
    explicit Mpris(QObject* parent);
    void publishChanges();

private:
    void heard(const mci::DeviceNotice& n);
    MprisPlayer* player_;
    std::optional<media::DeviceWatch> watch_;  // while on the bus
    QString status_;
    QVariantMap metadata_;
    double volume_ = 1.0;
};

// Publishes the media controls for the life of the application, when there is a session bus.
void offerMediaControls(QObject* app);

}  // namespace plim
