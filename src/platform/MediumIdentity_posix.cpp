#include "platform/MediumIdentity.h"

#include "platform/Path.h"
#include "platform/UniqueFd.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <cstdlib>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace tonvola::fs {

namespace {

struct Mount {
    QByteArray root;  // the mounted folder's path within its medium
    QByteArray point; // where it is mounted
    QByteArray source;
};

// mountinfo writes a space, a tab, a newline and a backslash in a path as an octal escape.
QByteArray unescaped(const QByteArray &field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int code = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                out += static_cast<char>(code);
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

bool isBelow(const QByteArray &path, const QByteArray &folder)
{
    return folder == "/" || path == folder || path.startsWith(folder + '/');
}

// The mount that holds the path: of those of its device, the one mounted deepest above it, since
// a bind mount shows the same device at several places.
std::optional<Mount> mountOf(const QByteArray &path, dev_t device)
{
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    if (!table.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray wanted = QByteArray::number(major(device)) + ':' + QByteArray::number(minor(device));
    std::optional<Mount> best;
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        const qsizetype dash = fields.indexOf("-");
        if (fields.size() < 5 || dash < 0 || dash + 2 >= fields.size() || fields[2] != wanted)
            continue;
        Mount mount{unescaped(fields[3]), unescaped(fields[4]), unescaped(fields[dash + 2])};
        if (isBelow(path, mount.point) && (!best || mount.point.size() > best->point.size()))
            best = std::move(mount);
    }
    return best;
}

// The name udev gave the device in one of /dev/disk's folders, as blkid tells it.
QByteArray udevName(const QString &folder, const QString &device)
{
    QDirIterator links(folder, QDir::System | QDir::Files);
    while (links.hasNext()) {
        const QFileInfo link(links.next());
        if (link.canonicalFilePath() == device)
            return QFile::encodeName(link.fileName());
    }
    return {};
}

quint64 littleEndian(const unsigned char *bytes, int count)
{
    quint64 value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return value;
}

// The volume serial from the boot sector of FAT, exFAT and NTFS, which is what blkid calls their
// UUID, for systems without udev; only where the device may be read.
QByteArray bootSectorSerial(const QString &device)
{
    const UniqueFd fd(::open(QFile::encodeName(device).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    unsigned char sector[512] = {};
    if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0 || !S_ISBLK(info.st_mode)
        || ::pread(fd.get(), sector, sizeof sector, 0) != static_cast<ssize_t>(sizeof sector))
        return {};
    const auto has = [&sector](int at, const char *text) {
        return std::memcmp(sector + at, text, std::strlen(text)) == 0;
    };
    const auto fatSerial = [&sector](int at) {
        const auto serial = static_cast<quint32>(littleEndian(sector + at, 4));
        return QByteArray::number(serial >> 16, 16).rightJustified(4, '0').toUpper() + '-'
               + QByteArray::number(serial & 0xffff, 16).rightJustified(4, '0').toUpper();
    };
    if (has(3, "EXFAT   "))
        return fatSerial(100);
    if (has(3, "NTFS    "))
        return QByteArray::number(littleEndian(sector + 72, 8), 16).rightJustified(16, '0').toUpper();
    if (has(82, "FAT32   ") && sector[66] == 0x29)
        return fatSerial(67);
    if (has(54, "FAT1") && sector[38] == 0x29)
        return fatSerial(39);
    return {};
}

} // namespace

QByteArray mediumIdentity(const QString &folder)
{
    // By its bytes: a path that is no text still names its folder.
    char *resolved = ::realpath(nativePath(folder).constData(), nullptr);
    const QByteArray path(resolved);
    std::free(resolved);
    struct stat info {};
    if (path.isEmpty() || ::stat(path.constData(), &info) != 0)
        return {};
    const std::optional<Mount> mount = mountOf(path, info.st_dev);
    if (!mount)
        return "path:" + path;
    const QString device = QFileInfo(QFile::decodeName(mount->source)).canonicalFilePath();
    QByteArray name;
    if (!device.isEmpty()) {
        name = udevName(QStringLiteral("/dev/disk/by-uuid"), device);
        if (name.isEmpty())
            name = bootSectorSerial(device);
        if (!name.isEmpty())
            name = "uuid:" + name;
        else if (const QByteArray label = udevName(QStringLiteral("/dev/disk/by-label"), device); !label.isEmpty())
            name = "label:" + label;
    }
    if (name.isEmpty())
        return "path:" + path;
    QByteArray within = mount->root;
    if (path.size() > mount->point.size() && mount->point != "/")
        within += path.mid(mount->point.size());
    else if (mount->point == "/" && path != "/")
        within += path;
    within.replace("//", "/");
    return name + ':' + within;
}

} // namespace tonvola::fs
