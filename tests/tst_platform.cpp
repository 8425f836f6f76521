#include "TestSupport.h"

#include "platform/FileOps.h"
#include "platform/VolumeWatcher.h"
#include "platform/Volumes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <sys/stat.h>

using tonvola::CopyOptions;
using tonvola::FileResult;
using tonvola::Overwrite;
namespace fs = tonvola::fs;
namespace volumes = tonvola::volumes;

namespace {

constexpr qint64 MiB = 1024 * 1024;

// Everything in a folder, hidden files included, so that a left-over temporary file shows.
QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

bool remountReadOnly(const QString &path)
{
    return QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-o"), QStringLiteral("remount,ro"), path}) == 0;
}

bool unmount(const QString &path)
{
    return QProcess::execute(QStringLiteral("umount"), {path}) == 0;
}

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool listsVolume(const QList<tonvola::Volume> &list, const QString &root)
{
    return std::any_of(list.cbegin(), list.cend(), [&](const tonvola::Volume &v) { return v.root == root; });
}

} // namespace

class PlatformTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void mp3TestIgnoresLetterCase_data();
    void mp3TestIgnoresLetterCase();
    void joinUsesOneSeparator_data();
    void joinUsesOneSeparator();
    void listingHoldsOnlyMp3FilesInStableOrder();

    void copyArrivesWholeWithUsualPermissions();
    void failedCopyLeavesNoPartialFile_data();
    void failedCopyLeavesNoPartialFile();
    void copyReplacesOnlyWhenAsked();
    void freeSpaceFollowsCopyAndDelete();

    void removeSaysWhyItFailed_data();
    void removeSaysWhyItFailed();
    void folderCheckSaysWhy_data();
    void folderCheckSaysWhy();
    void sameDirectoryHoweverSpelt();

    void volumeListHasRootAndMediaButNoPseudoFileSystems();
    void volumeOfAPath();
    void currentFolderIsTheLastShownOnThatVolume();
    void watcherNoticesMountAndUnmount();
};

void PlatformTest::initTestCase()
{
    // The permissions a copy gets are checked against the usual mask.
    ::umask(022);
}

void PlatformTest::mp3TestIgnoresLetterCase_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("mp3");
    QTest::newRow("lower") << QStringLiteral("lied.mp3") << true;
    QTest::newRow("upper") << QStringLiteral("LIED.MP3") << true;
    QTest::newRow("mixed") << QStringLiteral("Lied.Mp3") << true;
    QTest::newRow("more dots") << QStringLiteral("a.b.mp3") << true;
    QTest::newRow("other extension") << QStringLiteral("lied.mp4") << false;
    QTest::newRow("mp3 inside") << QStringLiteral("lied.mp3.txt") << false;
    QTest::newRow("no dot") << QStringLiteral("liedmp3") << false;
    QTest::newRow("empty") << QString() << false;
}

void PlatformTest::mp3TestIgnoresLetterCase()
{
    QFETCH(QString, name);
    QFETCH(bool, mp3);
    QCOMPARE(fs::isMp3(name), mp3);
}

void PlatformTest::joinUsesOneSeparator_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("joined");
    QTest::newRow("volume root") << QStringLiteral("/") << QStringLiteral("/lied.mp3");
    QTest::newRow("folder") << QStringLiteral("/musik") << QStringLiteral("/musik/lied.mp3");
    QTest::newRow("folder with separator") << QStringLiteral("/musik/") << QStringLiteral("/musik/lied.mp3");
}

void PlatformTest::joinUsesOneSeparator()
{
    QFETCH(QString, folder);
    QFETCH(QString, joined);
    QCOMPARE(fs::joinPath(folder, QStringLiteral("lied.mp3")), joined);
}

void PlatformTest::listingHoldsOnlyMp3FilesInStableOrder()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QStringList files = {QStringLiteral("b.mp3"),        QStringLiteral("LIED.MP3"),
                               QStringLiteral("a.Mp3"),        QStringLiteral("lied.mp3"),
                               QStringLiteral("notes.txt"),    QStringLiteral(".hidden.mp3"),
                               QStringLiteral("Zappa.mp3"),    QStringLiteral("cover.jpg"),
                               QStringLiteral("10 Titel.mp3"), QStringLiteral("lied.mp3.part")};
    for (const QString &name : files)
        QVERIFY(testsupport::writeFile(dir.filePath(name), 10));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("ordner.mp3")));

    const QStringList expected = {QStringLiteral("10 Titel.mp3"), QStringLiteral("a.Mp3"),
                                  QStringLiteral("b.mp3"),        QStringLiteral("LIED.MP3"),
                                  QStringLiteral("lied.mp3"),     QStringLiteral("Zappa.mp3")};
    QCOMPARE(fs::mp3Files(dir.path()), expected);
    QVERIFY(fs::mp3Files(dir.filePath(QStringLiteral("fehlt"))).isEmpty());
}

void PlatformTest::copyArrivesWholeWithUsualPermissions()
{
    testsupport::TmpfsMount medium(QStringLiteral("size=16m"));
    QVERIFY(medium.valid());
    QTemporaryDir source;
    QVERIFY(source.isValid());
    const QString file = source.filePath(QStringLiteral("Lied.MP3"));
    QVERIFY(testsupport::writeFile(file, 9 * MiB, 'a'));
    const QDateTime modified = QDateTime::currentDateTime().addDays(-3);
    {
        QFile touch(file);
        QVERIFY(touch.open(QIODevice::ReadWrite));
        QVERIFY(touch.setFileTime(modified, QFileDevice::FileModificationTime));
    }

    qint64 reported = 0;
    CopyOptions options;
    options.progress = [&](qint64 copied, qint64 total) {
        QVERIFY(copied <= total);
        reported = copied;
    };
    const FileResult result = fs::copyInto(file, medium.path(), options);
    QVERIFY2(result.ok(), qPrintable(result.reason));
    QCOMPARE(reported, 9 * MiB);

    const QString copy = QDir(medium.path()).filePath(QStringLiteral("Lied.MP3"));
    QCOMPARE(entriesOf(medium.path()), QStringList{QStringLiteral("Lied.MP3")});
    QVERIFY(fs::haveSameContent(file, copy));
    struct stat copyStat {};
    QCOMPARE(::stat(QFile::encodeName(copy).constData(), &copyStat), 0);
    QCOMPARE(copyStat.st_mode & 0777, 0644u);
    QCOMPARE(QFileInfo(copy).lastModified().toSecsSinceEpoch(), modified.toSecsSinceEpoch());
}

void PlatformTest::failedCopyLeavesNoPartialFile_data()
{
    QTest::addColumn<QString>("mountOptions");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("situation");
    QTest::addColumn<FileResult::Status>("status");

    QTest::newRow("medium full") << QStringLiteral("size=4m") << 5 * MiB << QStringLiteral("")
                                 << FileResult::Status::NoSpace;
    QTest::newRow("no file entries left")
        << QStringLiteral("size=4m,nr_inodes=2") << MiB << QStringLiteral("one file") << FileResult::Status::NoSpace;
    QTest::newRow("cancelled") << QStringLiteral("size=16m") << 9 * MiB << QStringLiteral("cancel")
                               << FileResult::Status::Cancelled;
    QTest::newRow("read-only medium") << QStringLiteral("size=4m") << MiB << QStringLiteral("read-only")
                                      << FileResult::Status::ReadOnly;
    QTest::newRow("folder gone") << QStringLiteral("size=4m") << MiB << QStringLiteral("no folder")
                                 << FileResult::Status::NotFound;
    QTest::newRow("source gone") << QStringLiteral("size=4m") << MiB << QStringLiteral("no source")
                                 << FileResult::Status::NotFound;
}

void PlatformTest::failedCopyLeavesNoPartialFile()
{
    QFETCH(QString, mountOptions);
    QFETCH(qint64, size);
    QFETCH(QString, situation);
    QFETCH(FileResult::Status, status);

    testsupport::TmpfsMount medium(mountOptions);
    QVERIFY(medium.valid());
    QTemporaryDir source;
    QVERIFY(source.isValid());
    const QString file = source.filePath(QStringLiteral("lied.mp3"));
    if (situation != QLatin1String("no source"))
        QVERIFY(testsupport::writeFile(file, size));
    if (situation == QLatin1String("one file"))
        QVERIFY(testsupport::writeFile(QDir(medium.path()).filePath(QStringLiteral("da.mp3")), 10));
    if (situation == QLatin1String("read-only"))
        QVERIFY(remountReadOnly(medium.path()));
    const QString target =
        situation == QLatin1String("no folder") ? QDir(medium.path()).filePath(QStringLiteral("fehlt")) : medium.path();
    const QStringList before = entriesOf(medium.path());
    const std::optional<qint64> freeBefore = fs::availableBytes(medium.path());
    QVERIFY(freeBefore);

    std::atomic_bool cancel = false;
    CopyOptions options;
    options.cancel = &cancel;
    if (situation == QLatin1String("cancel"))
        options.progress = [&](qint64, qint64) { cancel = true; };
    const FileResult result = fs::copyInto(file, target, options);

    QCOMPARE(result.status, status);
    QVERIFY(!result.reason.isEmpty());
    QCOMPARE(entriesOf(medium.path()), before);
    QCOMPARE(fs::availableBytes(medium.path()), freeBefore);
}

void PlatformTest::copyReplacesOnlyWhenAsked()
{
    QTemporaryDir source;
    QTemporaryDir target;
    QVERIFY(source.isValid() && target.isValid());
    const QString file = source.filePath(QStringLiteral("lied.mp3"));
    const QString existing = target.filePath(QStringLiteral("lied.mp3"));
    QVERIFY(testsupport::writeFile(file, 3000, 'n'));
    QVERIFY(testsupport::writeFile(existing, 1000, 'o'));

    const FileResult refused = fs::copyInto(file, target.path());
    QCOMPARE(refused.status, FileResult::Status::AlreadyExists);
    QCOMPARE(contentOf(existing), QByteArray(1000, 'o'));

    CopyOptions replace;
    replace.overwrite = Overwrite::Yes;
    QVERIFY(fs::copyInto(file, target.path(), replace).ok());
    QCOMPARE(contentOf(existing), QByteArray(3000, 'n'));
    QCOMPARE(entriesOf(target.path()), QStringList{QStringLiteral("lied.mp3")});
}

void PlatformTest::freeSpaceFollowsCopyAndDelete()
{
    testsupport::TmpfsMount medium(QStringLiteral("size=4m"));
    QVERIFY(medium.valid());
    QTemporaryDir source;
    QVERIFY(source.isValid());
    const QString file = source.filePath(QStringLiteral("lied.mp3"));
    QVERIFY(testsupport::writeFile(file, MiB));

    QCOMPARE(fs::availableBytes(medium.path()), std::optional<qint64>(4 * MiB));
    QVERIFY(fs::copyInto(file, medium.path()).ok());
    QCOMPARE(fs::availableBytes(medium.path()), std::optional<qint64>(3 * MiB));
    QVERIFY(fs::remove(QDir(medium.path()).filePath(QStringLiteral("lied.mp3"))).ok());
    QCOMPARE(fs::availableBytes(medium.path()), std::optional<qint64>(4 * MiB));
    QCOMPARE(fs::availableBytes(QDir(medium.path()).filePath(QStringLiteral("fehlt"))), std::nullopt);
}

void PlatformTest::removeSaysWhyItFailed_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<FileResult::Status>("status");
    QTest::newRow("removable") << QStringLiteral("plain") << FileResult::Status::Ok;
    QTest::newRow("immutable file") << QStringLiteral("immutable") << FileResult::Status::PermissionDenied;
    QTest::newRow("read-only medium") << QStringLiteral("read-only") << FileResult::Status::ReadOnly;
    QTest::newRow("file gone") << QStringLiteral("gone") << FileResult::Status::NotFound;
    QTest::newRow("a folder") << QStringLiteral("folder") << FileResult::Status::Failed;
}

void PlatformTest::removeSaysWhyItFailed()
{
    QFETCH(QString, situation);
    QFETCH(FileResult::Status, status);

    testsupport::TmpfsMount medium(QStringLiteral("size=4m"));
    QVERIFY(medium.valid());
    const QString file = QDir(medium.path()).filePath(QStringLiteral("lied.mp3"));
    if (situation == QLatin1String("folder"))
        QVERIFY(QDir(medium.path()).mkdir(QStringLiteral("lied.mp3")));
    else if (situation != QLatin1String("gone"))
        QVERIFY(testsupport::writeFile(file, 100));
    std::optional<testsupport::ImmutableFile> immutable;
    if (situation == QLatin1String("immutable")) {
        immutable.emplace(file);
        QVERIFY(immutable->valid());
    }
    if (situation == QLatin1String("read-only"))
        QVERIFY(remountReadOnly(medium.path()));

    const FileResult result = fs::remove(file);
    QCOMPARE(result.status, status);
    QCOMPARE(result.reason.isEmpty(), result.ok());
    const bool shouldStay = situation != QLatin1String("plain") && situation != QLatin1String("gone");
    QCOMPARE(QFileInfo::exists(file), shouldStay);
}

void PlatformTest::folderCheckSaysWhy_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<FileResult::Status>("status");
    QTest::newRow("folder") << QStringLiteral("ordner") << FileResult::Status::Ok;
    QTest::newRow("missing") << QStringLiteral("fehlt") << FileResult::Status::NotFound;
    QTest::newRow("below a missing one") << QStringLiteral("fehlt/tiefer") << FileResult::Status::NotFound;
    QTest::newRow("a file") << QStringLiteral("datei.mp3") << FileResult::Status::NotFound;
    QTest::newRow("nothing given") << QString() << FileResult::Status::NotFound;
}

void PlatformTest::folderCheckSaysWhy()
{
    QFETCH(QString, name);
    QFETCH(FileResult::Status, status);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("ordner")));
    QVERIFY(testsupport::writeFile(dir.filePath(QStringLiteral("datei.mp3")), 10));

    const FileResult result = fs::checkFolder(name.isEmpty() ? QString() : dir.filePath(name));
    QCOMPARE(result.status, status);
    QCOMPARE(result.reason.isEmpty(), result.ok());
}

void PlatformTest::sameDirectoryHoweverSpelt()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("a/b")));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("c")));
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("a/b")), dir.filePath(QStringLiteral("link"))));

    QVERIFY(fs::isSameDirectory(dir.filePath(QStringLiteral("a/b")), dir.filePath(QStringLiteral("a/../a/b/"))));
    QVERIFY(fs::isSameDirectory(dir.filePath(QStringLiteral("a/b")), dir.filePath(QStringLiteral("link"))));
    QVERIFY(!fs::isSameDirectory(dir.filePath(QStringLiteral("a/b")), dir.filePath(QStringLiteral("c"))));
}

void PlatformTest::volumeListHasRootAndMediaButNoPseudoFileSystems()
{
    testsupport::TmpfsMount medium(QStringLiteral("size=4m"));
    QVERIFY(medium.valid());
    const QList<tonvola::Volume> list = volumes::userVolumes();
    QVERIFY(listsVolume(list, QDir::rootPath()));
    QVERIFY(listsVolume(list, medium.path()));
    for (const tonvola::Volume &volume : list) {
        QVERIFY2(!volume.root.startsWith(QLatin1String("/proc")) && !volume.root.startsWith(QLatin1String("/sys"))
                     && !volume.root.startsWith(QLatin1String("/dev")),
                 qPrintable(volume.root));
    }
}

void PlatformTest::volumeOfAPath()
{
    testsupport::TmpfsMount medium(QStringLiteral("size=4m"));
    QVERIFY(medium.valid());
    QVERIFY(QDir(medium.path()).mkdir(QStringLiteral("Musik")));
    const QString folder = QDir(medium.path()).filePath(QStringLiteral("Musik"));

    QCOMPARE(volumes::rootOf(folder), medium.path());
    QCOMPARE(volumes::rootOf(QDir(folder).filePath(QStringLiteral("fehlt/tiefer"))), medium.path());
    QVERIFY(volumes::isVolumeRoot(medium.path()));
    QVERIFY(!volumes::isVolumeRoot(folder));
    QVERIFY(volumes::checkReady(medium.path()).ok());
    QVERIFY(!volumes::checkReady(folder).ok());

    QVERIFY(unmount(medium.path()));
    const FileResult gone = volumes::checkReady(medium.path());
    QVERIFY(!gone.ok());
    QVERIFY(!gone.reason.isEmpty());
    QCOMPARE(volumes::rootOf(medium.path()), volumes::rootOf(QFileInfo(medium.path()).path()));
}

void PlatformTest::currentFolderIsTheLastShownOnThatVolume()
{
    testsupport::TmpfsMount first(QStringLiteral("size=4m"));
    testsupport::TmpfsMount second(QStringLiteral("size=4m"));
    QVERIFY(first.valid() && second.valid());
    QVERIFY(QDir(first.path()).mkpath(QStringLiteral("a/b")));
    QVERIFY(QDir(second.path()).mkpath(QStringLiteral("x")));

    QCOMPARE(volumes::currentFolder(first.path()), first.path());

    volumes::rememberFolder(QDir(first.path()).filePath(QStringLiteral("a/b")));
    volumes::rememberFolder(QDir(second.path()).filePath(QStringLiteral("x")));
    QCOMPARE(volumes::currentFolder(first.path()), QDir(first.path()).filePath(QStringLiteral("a/b")));
    QCOMPARE(volumes::currentFolder(second.path()), QDir(second.path()).filePath(QStringLiteral("x")));

    volumes::rememberFolder(QDir(first.path()).filePath(QStringLiteral("a")));
    QCOMPARE(volumes::currentFolder(first.path()), QDir(first.path()).filePath(QStringLiteral("a")));

    volumes::rememberFolder(QDir(first.path()).filePath(QStringLiteral("a/b")));
    QVERIFY(QDir(QDir(first.path()).filePath(QStringLiteral("a"))).removeRecursively());
    QCOMPARE(volumes::currentFolder(first.path()), first.path());
}

void PlatformTest::watcherNoticesMountAndUnmount()
{
    tonvola::VolumeWatcher *watcher = tonvola::VolumeWatcher::instance();
    QString root;
    {
        testsupport::TmpfsMount medium(QStringLiteral("size=4m"));
        QVERIFY(medium.valid());
        root = medium.path();
        QTRY_VERIFY_WITH_TIMEOUT(listsVolume(watcher->volumes(), root), 10000);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!listsVolume(watcher->volumes(), root), 10000);
}

QTEST_GUILESS_MAIN(PlatformTest)
#include "tst_platform.moc"
