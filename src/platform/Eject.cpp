#include "platform/Eject.h"

#include "platform/FileName.h"
#include "platform/Folder.h"
#include "platform/Medium.h"
#include "platform/Volumes.h"

#include <QDBusConnection>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFile>
#include <QLoggingCategory>
#include <QThread>

#include <algorithm>
#include <memory>

namespace {

Q_LOGGING_CATEGORY(lcEject, "tonvola.eject")

using Interfaces = QMap<QString, QVariantMap>;
using ManagedObjects = QMap<QDBusObjectPath, Interfaces>;

const QString service = QStringLiteral("org.freedesktop.UDisks2");
const QString blockInterface = QStringLiteral("org.freedesktop.UDisks2.Block");
const QString filesystemInterface = QStringLiteral("org.freedesktop.UDisks2.Filesystem");
const QString driveInterface = QStringLiteral("org.freedesktop.UDisks2.Drive");

// Unmounting may wait for the user to give a password; the bus's own 25 seconds are too short.
constexpr int callTimeoutMs = 5 * 60 * 1000;

bool isError(const QDBusError &error, const char *name)
{
    return error.name() == QLatin1String(name);
}

// UDisks2 gives mount points as bytes with a closing null.
bool listsMountPoint(const QVariant &mountPoints, const QString &mountPoint)
{
    const QByteArray wanted = QFile::encodeName(mountPoint);
    const QList<QByteArray> points = qdbus_cast<QList<QByteArray>>(mountPoints);
    return std::any_of(points.cbegin(), points.cend(), [&](QByteArray point) {
        if (point.endsWith('\0'))
            point.chop(1);
        return point == wanted;
    });
}

} // namespace

namespace tonvola::fs {

Eject::Eject(QObject *parent) : QObject(parent)
{
    static const bool registered = [] {
        qRegisterMetaType<EjectResult>();
        qDBusRegisterMetaType<Interfaces>();
        qDBusRegisterMetaType<ManagedObjects>();
        return true;
    }();
    Q_UNUSED(registered);
}

Eject::~Eject()
{
    if (m_flush) {
        m_flush->wait();
        delete m_flush;
    }
}

bool Eject::start(const QString &folder)
{
    if (m_running)
        return false;
    m_running = true;
    m_folder = folder;
    m_mountPoint = volumes::rootOf(folder);
    m_block.clear();
    m_drive.clear();
    m_driveMethod.clear();

    // On a slow stick this takes as long as the data still to be written.
    auto done = std::make_shared<FileResult>();
    m_flush = QThread::create([folder, done] { *done = flush(Folder(folder)); });
    connect(m_flush, &QThread::finished, this, [this, done] {
        m_flush->deleteLater();
        flushed(*done);
    });
    m_flush->start();
    return true;
}

void Eject::flushed(const FileResult &flush)
{
    if (!flush.ok()) {
        finish(EjectResult::Status::Failed, EjectResult::Step::Flush, flush);
        return;
    }
    if (!QDBusConnection::systemBus().isConnected()) {
        qCWarning(lcEject) << "no system bus:" << QDBusConnection::systemBus().lastError().message();
        finish(EjectResult::Status::NoService);
        return;
    }
    ask(QStringLiteral("/org/freedesktop/UDisks2"), QStringLiteral("org.freedesktop.DBus.ObjectManager"),
        QStringLiteral("GetManagedObjects"), &Eject::foundObjects);
}

void Eject::ask(const QString &path, const QString &interface, const QString &method,
                void (Eject::*answered)(QDBusPendingCallWatcher *))
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    // Every method of UDisks2 but the object list takes options; none are needed here.
    if (interface != QLatin1String("org.freedesktop.DBus.ObjectManager"))
        message << QVariantMap();
    auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::systemBus().asyncCall(message, callTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, answered](QDBusPendingCallWatcher *done) {
        done->deleteLater();
        (this->*answered)(done);
    });
}

void Eject::foundObjects(QDBusPendingCallWatcher *answer)
{
    const QDBusPendingReply<ManagedObjects> reply = *answer;
    if (reply.isError()) {
        qCWarning(lcEject) << "UDisks2 not reached:" << reply.error().name() << reply.error().message();
        finish(EjectResult::Status::NoService);
        return;
    }
    const ManagedObjects objects = reply.value();
    for (auto object = objects.cbegin(); object != objects.cend(); ++object) {
        const Interfaces &interfaces = object.value();
        if (!interfaces.contains(filesystemInterface)
            || !listsMountPoint(interfaces[filesystemInterface].value(QStringLiteral("MountPoints")), m_mountPoint))
            continue;
        m_block = object.key().path();
        m_drive = interfaces[blockInterface].value(QStringLiteral("Drive")).value<QDBusObjectPath>().path();
        break;
    }
    // A folder on the system's own disk must not be unmounted by a click, nor ask for a password.
    const QVariantMap drive =
        objects.value(QDBusObjectPath(m_drive.isEmpty() ? QStringLiteral("/") : m_drive)).value(driveInterface);
    if (m_block.isEmpty() || !drive.value(QStringLiteral("Removable")).toBool()) {
        finish(EjectResult::Status::NotRemovable);
        return;
    }
    if (drive.value(QStringLiteral("CanPowerOff")).toBool())
        m_driveMethod = QStringLiteral("PowerOff");
    else if (drive.value(QStringLiteral("Ejectable")).toBool())
        m_driveMethod = QStringLiteral("Eject");
    ask(m_block, filesystemInterface, QStringLiteral("Unmount"), &Eject::unmounted);
}

void Eject::unmounted(QDBusPendingCallWatcher *answer)
{
    const QDBusPendingReply<> reply = *answer;
    const QDBusError error = reply.error();
    if (reply.isError() && !isError(error, "org.freedesktop.UDisks2.Error.NotMounted")) {
        qCWarning(lcEject) << "unmount of" << m_block << "failed:" << error.name() << error.message();
        if (isError(error, "org.freedesktop.UDisks2.Error.DeviceBusy"))
            finish(EjectResult::Status::Busy);
        else if (error.name().startsWith(QLatin1String("org.freedesktop.UDisks2.Error.NotAuthorized")))
            finish(EjectResult::Status::NotAuthorized);
        else
            finish(EjectResult::Status::Failed, EjectResult::Step::Unmount,
                   FileResult::described(FileResult::Status::Failed, error.message()));
        return;
    }
    if (m_driveMethod.isEmpty()) {
        finish(EjectResult::Status::Unmounted);
        return;
    }
    ask(m_drive, driveInterface, m_driveMethod, &Eject::switchedOff);
}

void Eject::switchedOff(QDBusPendingCallWatcher *answer)
{
    const QDBusPendingReply<> reply = *answer;
    if (reply.isError()) {
        qCWarning(lcEject) << m_driveMethod << "of" << m_drive << "failed:" << reply.error().name()
                           << reply.error().message();
        finish(EjectResult::Status::Failed, EjectResult::Step::PowerOff,
               FileResult::described(FileResult::Status::Failed, reply.error().message()));
        return;
    }
    finish(EjectResult::Status::Done);
}

void Eject::finish(EjectResult::Status status, EjectResult::Step step, const FileResult &cause)
{
    m_running = false;
    EjectResult result;
    result.status = status;
    result.failedStep = step;
    result.mountPoint = m_mountPoint;
    result.cause = cause;
    emit finished(result);
}

} // namespace tonvola::fs
