#pragma once

#include "platform/FileResult.h"

#include <QMetaType>
#include <QObject>
#include <QPointer>
#include <QString>

class QDBusPendingCallWatcher;
class QThread;

namespace tonvola::fs {

// What taking a player's medium out came to; text/EjectText words it for the user.
struct EjectResult {
    enum class Status {
        Done,          // unmounted and its drive switched off: it may be pulled out
        Unmounted,     // unmounted; the drive cannot be switched off from here, but may be pulled out
        NoService,     // the desktop has no UDisks2 to ask
        NotRemovable,  // the folder lies on no removable medium that UDisks2 knows mounted
        Busy,          // another program still uses the medium
        NotAuthorized, // the system does not let this user unmount it
        Failed,        // the step failed for the reason given
    };
    enum class Step { None, Flush, Unmount, PowerOff };

    Status status = Status::Done;
    Step failedStep = Step::None;
    QString mountPoint;
    FileResult cause; // why the step failed

    [[nodiscard]] bool ok() const { return status == Status::Done || status == Status::Unmounted; }
};

// Takes out the medium that holds a folder, as the desktop's own "eject" does: writes out what
// the system still caches for it, unmounts it and switches its drive off (or ejects it) through
// UDisks2 on the system bus. Nothing of it blocks the caller's thread: the flush runs in a
// thread of its own and the bus answers by signals.
class Eject : public QObject
{
    Q_OBJECT

public:
    explicit Eject(QObject *parent = nullptr);
    // Waits for a flush under way; the bus calls are dropped.
    ~Eject() override;

    [[nodiscard]] bool isRunning() const { return m_running; }
    // Starts taking out the folder's medium; false while one is under way.
    bool start(const QString &folder);

signals:
    void finished(const tonvola::fs::EjectResult &result);

private:
    void flushed(const FileResult &flush);
    void askForObjects();
    void foundObjects(QDBusPendingCallWatcher *answer);
    void unmounted(QDBusPendingCallWatcher *answer);
    void switchedOff(QDBusPendingCallWatcher *answer);
    void ask(const QString &path, const QString &interface, const QString &method,
             void (Eject::*answered)(QDBusPendingCallWatcher *));
    void finish(EjectResult::Status status, EjectResult::Step step = EjectResult::Step::None,
                const FileResult &cause = {});

    bool m_running = false;
    QString m_folder;
    QString m_mountPoint;
    QPointer<QThread> m_flush;
    QString m_block;
    QString m_drive;
    // Drive.PowerOff, or Drive.Eject where the drive cannot be switched off, or none.
    QString m_driveMethod;
};

} // namespace tonvola::fs

Q_DECLARE_METATYPE(tonvola::fs::EjectResult)
