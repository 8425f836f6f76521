#include "TestSupport.h"

#include "platform/Folder.h"
#include "platform/Path.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>

#include <algorithm>

#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace testsupport {

QString testDataDir()
{
    return QStringLiteral(TONVOLA_TEST_DATA);
}

namespace {

// Files a test writes stand for a collection's and a player's files, which nobody wrote
// moments ago: the fill leaves a file alone while another program may still be writing it.
bool aged(int fd)
{
    const timespec hourAgo{::time(nullptr) - 3600, 0};
    const timespec times[2] = {hourAgo, hourAgo};
    return ::futimens(fd, times) == 0;
}

} // namespace

bool writeFile(const QString &path, qint64 size, char fill)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const auto age = qScopeGuard([&file] { aged(file.handle()); });
    const QByteArray block(64 * 1024, fill);
    qint64 left = size;
    while (left > 0) {
        const qint64 n = std::min<qint64>(left, block.size());
        if (file.write(block.constData(), n) != n)
            return false;
        left -= n;
    }
    return file.flush();
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeBytes(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.flush()
           && aged(file.handle());
}

QStringList names(const char *list)
{
    return QString::fromUtf8(list).split(QLatin1Char('|'), Qt::SkipEmptyParts);
}

WorkFolder::WorkFolder() : m_previous(QDir::currentPath())
{
    m_entered = m_dir.isValid() && QDir::setCurrent(m_dir.path());
}

WorkFolder::~WorkFolder()
{
    QDir::setCurrent(m_previous);
}

namespace {

// Runs a set-up or tidy-up command without its output; true when it worked.
bool quiet(const QString &program, const QStringList &arguments, QString *output = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return false;
    if (output)
        *output = QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
    return true;
}

} // namespace

bool runningAsRoot()
{
    return ::geteuid() == 0;
}

TmpfsMount::TmpfsMount(const QString &options)
{
    if (!m_dir.isValid())
        return;
    m_mounted = quiet(u"mount"_s, {u"-t"_s, u"tmpfs"_s, u"-o"_s, options, u"tmpfs"_s, m_dir.path()});
}

TmpfsMount::~TmpfsMount()
{
    // A test may have pulled it already.
    if (m_mounted)
        quiet(u"umount"_s, {u"-l"_s, m_dir.path()});
}

ExfatMount::ExfatMount(const QString &size)
{
    if (!runningAsRoot())
        return;
    for (const QString &program : {u"truncate"_s, u"mkfs.exfat"_s, u"losetup"_s, u"mount.exfat-fuse"_s}) {
        if (QStandardPaths::findExecutable(program).isEmpty()
            && QStandardPaths::findExecutable(program, {u"/sbin"_s, u"/usr/sbin"_s}).isEmpty())
            m_unavailable = program + u" is not installed"_s;
    }
    for (const QString &device : {u"/dev/fuse"_s, u"/dev/loop-control"_s}) {
        if (!QFileInfo::exists(device))
            m_unavailable = device + u" is missing"_s;
    }
    if (!m_unavailable.isEmpty() || !m_dir.isValid() || !QDir(m_dir.path()).mkdir(u"mnt"_s))
        return;
    const QString image = m_dir.filePath(u"stick.img"_s);
    if (!quiet(u"truncate"_s, {u"-s"_s, size, image}) || !quiet(u"mkfs.exfat"_s, {image}))
        return;
    if (!quiet(u"losetup"_s, {u"-f"_s, u"--show"_s, image}, &m_device)) {
        m_unavailable = u"no loop device can be attached"_s;
        return;
    }
    m_mounted = quiet(u"mount.exfat-fuse"_s, {m_device, path()});
    if (!m_mounted) {
        // Containers may offer /dev/fuse and still refuse a FUSE mount; that is the machine's limit.
        m_unavailable = u"mount.exfat-fuse cannot mount here"_s;
        quiet(u"losetup"_s, {u"-d"_s, m_device});
        m_device.clear();
    }
}

ExfatMount::~ExfatMount()
{
    if (m_mounted && !quiet(u"umount"_s, {path()}))
        quiet(u"umount"_s, {u"-l"_s, path()});
    if (!m_device.isEmpty())
        quiet(u"losetup"_s, {u"-d"_s, m_device});
}

FatStick::FatStick(const QString &size, int fat) : m_size(size), m_fat(fat)
{
    if (!runningAsRoot() || !m_dir.isValid())
        return;
    // The first run installs what the tool needs and shows whether the kernel runs here.
    const Run probe = run(u"true"_s);
    m_valid = probe.exitCode == 0;
    if (!m_valid)
        m_unavailable = u"the user-mode kernel does not run here: "_s + probe.output.trimmed().right(300);
}

FatStick::Run FatStick::run(const QString &command, double cutAfterSeconds)
{
    QStringList arguments{u"--size"_s, m_size, u"--fat"_s, QString::number(m_fat), u"--image"_s, image()};
    if (cutAfterSeconds > 0)
        arguments << u"--cut"_s << QString::number(cutAfterSeconds, 'f', 2);
    arguments << mountPoint() << u"--"_s << u"bash"_s << u"-c"_s << command;
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(QStringLiteral(TONVOLA_SOURCE_DIR "/tests/tools/fatstick"), arguments);
    Run done;
    if (!tool.waitForFinished(600000)) {
        tool.kill();
        tool.waitForFinished();
        done.output = u"fatstick did not end"_s;
        return done;
    }
    done.exitCode = tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
    done.output = QString::fromUtf8(tool.readAll());
    return done;
}

tonvola::fs::FileResult copyFile(const tonvola::fs::Folder &from, const tonvola::fs::FileName &name,
                                 const tonvola::fs::Folder &to, const tonvola::fs::CopyOptions &options)
{
    tonvola::fs::CopyBatch batch(to);
    if (const tonvola::fs::FileResult added = batch.add(from, name, options); !added.ok())
        return added;
    return batch.commit().constFirst().result;
}

tonvola::fs::FileResult copyInto(const QString &source, const QString &folder, const tonvola::fs::CopyOptions &options)
{
    const QFileInfo info(source);
    return copyFile(tonvola::fs::Folder(info.path()), tonvola::fs::FileName::fromText(info.fileName()),
                    tonvola::fs::Folder(folder), options);
}

tonvola::fs::FileResult removeFile(const QString &path)
{
    const QFileInfo info(path);
    return tonvola::fs::Folder(info.path()).remove(tonvola::fs::FileName::fromText(info.fileName()));
}

bool haveSameContent(const QString &a, const QString &b)
{
    const QFileInfo ia(a);
    const QFileInfo ib(b);
    const tonvola::fs::Likeness likeness =
        tonvola::fs::compareFiles(tonvola::fs::Folder(ia.path()), tonvola::fs::FileName::fromText(ia.fileName()),
                                  tonvola::fs::Folder(ib.path()), tonvola::fs::FileName::fromText(ib.fileName()));
    return likeness == tonvola::fs::Likeness::SameBytes || likeness == tonvola::fs::Likeness::SameFile;
}

bool writeNative(const QString &folder, const QByteArray &name, const QByteArray &content)
{
    const QByteArray path = tonvola::fs::nativePath(folder) + '/' + name;
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool written =
        ::write(fd, content.constData(), static_cast<size_t>(content.size())) == content.size() && aged(fd);
    return ::close(fd) == 0 && written;
}

QList<QByteArray> fileNamesIn(const QString &folder)
{
    QList<QByteArray> names;
    DIR *dir = ::opendir(tonvola::fs::nativePath(folder).constData());
    if (!dir)
        return names;
    while (const dirent *entry = ::readdir(dir)) {
        struct stat st {};
        if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            names.append(QByteArray(entry->d_name));
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

void removeFiles(const QString &folder)
{
    const QByteArray native = tonvola::fs::nativePath(folder);
    DIR *dir = ::opendir(native.constData());
    if (!dir)
        return;
    while (const dirent *entry = ::readdir(dir))
        ::unlinkat(::dirfd(dir), entry->d_name, 0);
    ::closedir(dir);
}

ImmutableFile::ImmutableFile(QString path) : m_path(std::move(path))
{
    m_set = QProcess::execute(u"chattr"_s, {u"+i"_s, m_path}) == 0;
}

ImmutableFile::~ImmutableFile()
{
    if (m_set)
        QProcess::execute(u"chattr"_s, {u"-i"_s, m_path});
}

PrivateBus::PrivateBus(Kind kind)
{
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
    if (!m_daemon.waitForStarted()) {
        m_unavailable = QStringLiteral("dbus-daemon is not installed");
        return;
    }
    while (!m_daemon.canReadLine() && m_daemon.waitForReadyRead(10000)) {
    }
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    qputenv(kind == Kind::System ? "DBUS_SYSTEM_BUS_ADDRESS" : "DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
}

PrivateBus::~PrivateBus()
{
    m_daemon.kill();
    m_daemon.waitForFinished();
}

} // namespace testsupport
