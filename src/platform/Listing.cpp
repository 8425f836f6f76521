#include "platform/Listing.h"

#include "platform/Folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <vector>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace tonvola::fs {

namespace {

// Folds code point by code point, as a case-insensitive comparison does, so that comparing
// folded forms orders names as that comparison would.
QString caseFolded(const QString &name)
{
    QString folded(name.size(), Qt::Uninitialized);
    QChar *out = folded.data();
    const qsizetype n = name.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = name.at(i);
        if (c.isHighSurrogate() && i + 1 < n && name.at(i + 1).isLowSurrogate()) {
            const char32_t code = QChar::toCaseFolded(QChar::surrogateToUcs4(c, name.at(i + 1)));
            out[i] = QChar(QChar::highSurrogate(code));
            out[i + 1] = QChar(QChar::lowSurrogate(code));
            ++i;
        } else if (c.unicode() < 0x80) {
            out[i] = (c >= u'A' && c <= u'Z') ? QChar(c.unicode() + (u'a' - u'A')) : c;
        } else {
            out[i] = c.toCaseFolded();
        }
    }
    return folded;
}

} // namespace

QByteArray nativePath(const QString &path)
{
    return QFile::encodeName(QDir::toNativeSeparators(path));
}

bool isMp3(QStringView name)
{
    return name.endsWith(u".mp3", Qt::CaseInsensitive);
}

QString joinPath(const QString &folder, const QString &name)
{
    if (folder.isEmpty())
        return name;
    if (folder.endsWith(QLatin1Char('/')) || folder.endsWith(QDir::separator()))
        return folder + name;
    return folder + QDir::separator() + name;
}

bool listsBefore(const QString &a, const QString &b)
{
    // Names are mostly plain ASCII, where folding is a matter of A-Z; only names that differ
    // beyond an ASCII prefix need the full comparison.
    const qsizetype common = std::min(a.size(), b.size());
    const QChar *pa = a.constData();
    const QChar *pb = b.constData();
    for (qsizetype i = 0; i < common; ++i) {
        char16_t x = pa[i].unicode();
        char16_t y = pb[i].unicode();
        if (x >= 0x80 || y >= 0x80) {
            const int c = a.compare(b, Qt::CaseInsensitive);
            return c != 0 ? c < 0 : a < b;
        }
        if (x >= u'A' && x <= u'Z')
            x += u'a' - u'A';
        if (y >= u'A' && y <= u'Z')
            y += u'a' - u'A';
        if (x != y)
            return x < y;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

void sortInListOrder(FileNames &names)
{
    // Folding each name once and comparing the folded forms as they are gives listsBefore's
    // order at a fraction of its cost, which counts for collections of tens of thousands.
    struct Keyed {
        QString folded;
        FileName name;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(static_cast<std::size_t>(names.size()));
    for (FileName &name : names)
        keyed.push_back({caseFolded(name.text()), std::move(name)});
    std::sort(keyed.begin(), keyed.end(), [](const Keyed &x, const Keyed &y) {
        if (const int c = x.folded.compare(y.folded); c != 0)
            return c < 0;
        if (const int c = x.name.text().compare(y.name.text()); c != 0)
            return c < 0;
        return x.name.native() < y.name.native();
    });
    names.clear();
    for (Keyed &entry : keyed)
        names.append(std::move(entry.name));
}

bool listsBefore(const FileName &a, const FileName &b)
{
    if (listsBefore(a.text(), b.text()))
        return true;
    return !listsBefore(b.text(), a.text()) && a.native() < b.native();
}

FileNames mp3Names(const QString &folder)
{
    return Folder(folder).mp3Files().names;
}

QStringList mp3Files(const QString &folder)
{
    QStringList texts;
    for (const FileName &name : mp3Names(folder))
        texts.append(name.text());
    return texts;
}

bool isSameDirectory(const QString &a, const QString &b)
{
#ifdef Q_OS_UNIX
    struct stat sa {};
    struct stat sb {};
    if (::stat(nativePath(a).constData(), &sa) != 0 || ::stat(nativePath(b).constData(), &sb) != 0)
        return QDir::cleanPath(a) == QDir::cleanPath(b);
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
#else
    const QString ca = QFileInfo(a).canonicalFilePath();
    const QString cb = QFileInfo(b).canonicalFilePath();
    if (ca.isEmpty() || cb.isEmpty())
        return QDir::cleanPath(a).compare(QDir::cleanPath(b), Qt::CaseInsensitive) == 0;
    return ca.compare(cb, Qt::CaseInsensitive) == 0;
#endif
}

FileResult checkFolder(const QString &folder)
{
    return Folder(folder).opened();
}

} // namespace tonvola::fs
