#include "TestSupport.h"

#include "platform/Copy.h"
#include "platform/Folder.h"
#include "platform/FolderByPath.h"
#include "platform/Listing.h"
#include "platform/Medium.h"
#include "platform/NameRules.h"
#include "platform/Path.h"
#include "platform/PlayerLock.h"
#include "platform/Temporary.h"
#include "platform/Volumes.h"
#include "platform/WrittenRecord.h"
#include "text/FileText.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QMetaEnum>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

using tonvola::fs::CopyOptions;
using tonvola::fs::FileName;
using tonvola::fs::FileNames;
using tonvola::fs::FileResult;
namespace fs = tonvola::fs;
namespace volumes = tonvola::fs::volumes;

namespace {

constexpr qint64 MiB = 1024 * 1024;
// Larger than what a comparison reads in one turn, and not a whole number of turns.
constexpr qint64 large = 5 * MiB / 2 + 3;

// Everything in a folder, hidden files included, so that a left-over temporary file shows.
QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

bool remountReadOnly(const QString &path)
{
    return QProcess::execute(u"mount"_s, {u"-o"_s, u"remount,ro"_s, path}) == 0;
}

bool unmount(const QString &path)
{
    return QProcess::execute(u"umount"_s, {path}) == 0;
}

// A medium for one test: a tmpfs with the given options, or an exFAT stick for "exfat".
struct Medium {
    explicit Medium(const QString &kind)
    {
        if (kind == u"exfat"_s)
            exfat.emplace();
        else
            tmpfs.emplace(kind);
    }
    [[nodiscard]] bool valid() const { return exfat ? exfat->valid() : tmpfs->valid(); }
    [[nodiscard]] QString unavailable() const { return exfat ? exfat->unavailable() : QString(); }
    [[nodiscard]] QString path() const { return exfat ? exfat->path() : tmpfs->path(); }

    std::optional<testsupport::TmpfsMount> tmpfs;
    std::optional<testsupport::ExfatMount> exfat;
};

QList<QByteArray> nativesOf(const FileNames &names)
{
    QList<QByteArray> natives;
    for (const FileName &name : names)
        natives.append(name.native());
    return natives;
}

bool listsVolume(const QList<tonvola::fs::Volume> &list, const QString &root)
{
    return std::any_of(list.cbegin(), list.cend(), [&](const tonvola::fs::Volume &v) { return v.root == root; });
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
    void namesPrintOnOneLineAndReadBack_data();
    void namesPrintOnOneLineAndReadBack();
    void listingHoldsOnlyMp3FilesInStableOrder();
    void listOrderIsGerman_data();
    void listOrderIsGerman();
    void namesAreBytes();
    void mediumIsAskedForItsRules_data();
    void mediumIsAskedForItsRules();
    void oneFolderHoweverSpelt_data();
    void oneFolderHoweverSpelt();

    void copyArrivesWholeWithUsualPermissions_data();
    void copyArrivesWholeWithUsualPermissions();
    void failedCopyLeavesNoPartialFile_data();
    void failedCopyLeavesNoPartialFile();
    void copyNeverReplacesAFile_data();
    void copyNeverReplacesAFile();
    void leftoversGoOnlyWithoutTheirWriter();
    void filesCompareByTheirBytes_data();
    void filesCompareByTheirBytes();
    void freeSpaceFollowsCopyAndDelete();

    void removeSaysWhyItFailed_data();
    void removeSaysWhyItFailed();
    void everyReasonIsWorded();
    void folderCheckSaysWhy_data();
    void folderCheckSaysWhy();
    void sameDirectoryHoweverSpelt();

    void volumeListHasRootAndMediaButNoPseudoFileSystems();
    void volumeOfAPath();
    void currentFolderIsTheLastShownOnThatVolume();
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
    QTest::newRow("lower") << u"lied.mp3"_s << true;
    QTest::newRow("upper") << u"LIED.MP3"_s << true;
    QTest::newRow("mixed") << u"Lied.Mp3"_s << true;
    QTest::newRow("more dots") << u"a.b.mp3"_s << true;
    QTest::newRow("other extension") << u"lied.mp4"_s << false;
    QTest::newRow("mp3 inside") << u"lied.mp3.txt"_s << false;
    QTest::newRow("no dot") << u"liedmp3"_s << false;
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
    QTest::newRow("volume root") << u"/"_s << u"/lied.mp3"_s;
    QTest::newRow("folder") << u"/musik"_s << u"/musik/lied.mp3"_s;
    QTest::newRow("folder with separator") << u"/musik/"_s << u"/musik/lied.mp3"_s;
}

void PlatformTest::joinUsesOneSeparator()
{
    QFETCH(QString, folder);
    QFETCH(QString, joined);
    QCOMPARE(fs::joinPath(folder, u"lied.mp3"_s), joined);
}

void PlatformTest::namesPrintOnOneLineAndReadBack_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("printed");
    // The quoted forms are those of ls --quoting-style=shell-escape.
    QTest::newRow("plain") << u"Lied.mp3"_s << u"Lied.mp3"_s;
    QTest::newRow("spaces, umlauts, quotes") << u"Ärger über's \"Lied\" 2.mp3"_s << u"Ärger über's \"Lied\" 2.mp3"_s;
    QTest::newRow("bidi mark, as ls") << u"bidi\u202ex.mp3"_s << u"bidi\u202ex.mp3"_s;
    QTest::newRow("line break") << u"Lied\nkopiert: Fake.mp3"_s << u"'Lied'$'\\n''kopiert: Fake.mp3'"_s;
    QTest::newRow("terminal escape") << u"rot\x1b[31m.mp3"_s << u"'rot'$'\\033''[31m.mp3'"_s;
    QTest::newRow("controls at both ends") << u"\tTitel\x7f"_s << u"''$'\\t''Titel'$'\\177'"_s;
    QTest::newRow("controls in a row") << u"a\n\tb\a\b\f\v\r"_s << u"'a'$'\\n\\t''b'$'\\a\\b\\f\\v\\r'"_s;
    QTest::newRow("C1 control and line separator")
        << u"c1\u009bü\u2028x"_s << u"'c1'$'\\302\\233''ü'$'\\342\\200\\250''x'"_s;
    QTest::newRow("quotes beside controls") << u"q'uo\n'x"_s << u"'q'\\''uo'$'\\n'\\''x'"_s;
    // A folder's path as the system gave it: its bytes that are no text print as bytes.
    QTest::newRow("Latin-1 folder") << fs::pathFromNative("/Musik-\xe4") << u"'/Musik-'$'\\344'"_s;
    QTest::newRow("bytes that only look like UTF-8")
        << fs::pathFromNative("a\xc0\xaf\xed\xa0\x80\xf0\x90\x82\x80\xe2\x82")
        << u"'a'$'\\300\\257\\355\\240\\200''\U00010080'$'\\342\\202'"_s;
}

void PlatformTest::namesPrintOnOneLineAndReadBack()
{
    QFETCH(QString, name);
    QFETCH(QString, printed);
    if (name.contains(QChar::ReplacementCharacter))
        SKIP_ON_PORTABLE_PLATFORM(testsupport::portable::byteNames);
    QCOMPARE(tonvola::fs::printableName(name), printed);
    if (printed == name)
        return;
    // A script that reads the line back through the shell gets the very name, byte for byte.
    QProcess shell;
    shell.start(u"bash"_s, {u"-c"_s, u"printf %s "_s + printed});
    QVERIFY(shell.waitForFinished());
    const QByteArray read = shell.readAllStandardOutput();
    QCOMPARE(fs::pathFromNative(read), name);
    QCOMPARE(fs::nativePath(name), read);
}

void PlatformTest::listingHoldsOnlyMp3FilesInStableOrder()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QStringList files = {u"b.mp3"_s,       u"LIED.MP3"_s,  u"a.Mp3"_s,     u"lied.mp3"_s,     u"notes.txt"_s,
                               u".hidden.mp3"_s, u"Zappa.mp3"_s, u"cover.jpg"_s, u"10 Titel.mp3"_s, u"lied.mp3.part"_s};
    for (const QString &name : files)
        QVERIFY(testsupport::writeFile(dir.filePath(name), 10));
    QVERIFY(QDir(dir.path()).mkdir(u"ordner.mp3"_s));

    const QStringList expected = {u"10 Titel.mp3"_s, u"a.Mp3"_s,    u"b.mp3"_s,
                                  u"LIED.MP3"_s,     u"lied.mp3"_s, u"Zappa.mp3"_s};
    QCOMPARE(fs::mp3Files(dir.path()), expected);
    QVERIFY(fs::mp3Files(dir.filePath(u"fehlt"_s)).isEmpty());
}

void PlatformTest::listOrderIsGerman_data()
{
    // The names' bytes, in the order a German reader expects them.
    QTest::addColumn<QList<QByteArray>>("order");
    QTest::newRow("umlauts with their base letters") << QList<QByteArray>{
        "Apfel.mp3", "Ärger.mp3", "arzt.mp3", "Ärzte - Junge.mp3", "Öl.mp3", "Ost.mp3", "über.mp3", "Zappa.mp3"};
    QTest::newRow("letter case ignored") << QList<QByteArray>{"alpha.mp3", "Beta.mp3", "GAMMA.MP3", "gamma2.mp3"};
    QTest::newRow("digits as characters")
        << QList<QByteArray>{"10 Titel.mp3", "2 Titel.mp3", "Abba.mp3", "Lied 1.mp3", "Lied 10.mp3", "Lied 2.mp3"};
    QTest::newRow("sharp s as ss") << QList<QByteArray>{"Straßburg.mp3", "Strasse.mp3", "straße.mp3",
                                                        "Straßenbahn.mp3"};
    QTest::newRow("accents") << QList<QByteArray>{"Cafe.mp3",  "Café.mp3",   "cafés.mp3",
                                                  "Caffè.mp3", "Éclair.mp3", "Eclipse.mp3"};
    QTest::newRow("space and punctuation first")
        << QList<QByteArray>{"A B.mp3", "A_B.mp3", "A-B.mp3", "A.mp3", "A(B).mp3", "A&B.mp3", "A1.mp3", "AB.mp3"};
    // The fill treats spellings of one name as one file where the medium ignores letter case.
    QTest::newRow("spellings of one name side by side") << QList<QByteArray>{"Duo 2.mp3",
                                                                             "DUO.MP3",
                                                                             "Duo.mp3",
                                                                             "duo.mp3",
                                                                             "Duö.mp3",
                                                                             "DUOS.mp3",
                                                                             "Dž.mp3",
                                                                             "Ǆ.mp3",
                                                                             "ǅ.mp3",
                                                                             "ǆ.mp3",
                                                                             "Ω.mp3",
                                                                             "ω.mp3",
                                                                             "\xf0\x90\x90\x80.mp3",
                                                                             "\xf0\x90\x90\xa8.mp3"};
    // Latin-1 names from an old copy all show as the replacement character.
    QTest::newRow("one text, other bytes")
        << QList<QByteArray>{"Ärger.mp3", "Zorn.mp3", "\xc4RGER.mp3", "\xc4rger.mp3", "\xd6rger.mp3"};
}

// The lists, the fill's walk and its bookkeeping all go by this order.
void PlatformTest::listOrderIsGerman()
{
    QFETCH(QList<QByteArray>, order);
    FileNames expected;
    for (const QByteArray &name : std::as_const(order))
        expected.append(FileName::fromNative(name));
    for (qsizetype i = 0; i < expected.size(); ++i) {
        for (qsizetype j = 0; j < expected.size(); ++j)
            QVERIFY2((fs::ListKey(expected[i]) < fs::ListKey(expected[j])) == (i < j),
                     (order[i] + " / " + order[j]).constData());
    }
    QCOMPARE(nativesOf(fs::namesOf(fs::inListOrder(FileNames(expected.crbegin(), expected.crend())))), order);
    if (std::any_of(expected.cbegin(), expected.cend(), [](const FileName &name) { return !name.isExactText(); }))
        SKIP_ON_PORTABLE_PLATFORM(testsupport::portable::byteNames);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const auto tidy = qScopeGuard([&] { testsupport::removeFiles(dir.path()); });
    for (const QByteArray &name : std::as_const(order))
        QVERIFY(testsupport::writeNative(dir.path(), name, "x"));
    QCOMPARE(nativesOf(fs::Folder(dir.path()).mp3Files().names), order);
}

// A name from an old Latin-1 copy is no valid text here; it is listed, copied, read and deleted
// by its bytes all the same.
void PlatformTest::namesAreBytes()
{
    SKIP_ON_PORTABLE_PLATFORM(testsupport::portable::byteNames);
    testsupport::TmpfsMount medium(u"size=4m"_s);
    REQUIRE_FIXTURE(medium);
    QTemporaryDir source;
    QVERIFY(source.isValid());
    const auto tidy = qScopeGuard([&] { testsupport::removeFiles(source.path()); });
    const QByteArray latin1 = "\xc4rger.mp3";
    QVERIFY(testsupport::writeNative(source.path(), latin1, "Inhalt"));
    QVERIFY(testsupport::writeNative(source.path(), "\xc3\x84rger.mp3", "anderer Inhalt"));

    const fs::Listing listing = fs::Folder(source.path()).mp3Files();
    QVERIFY(listing.result.ok());
    QCOMPARE(listing.names.size(), 2);
    const FileName name = listing.names.constLast();
    QCOMPARE(name.native(), latin1);
    QCOMPARE(name.text(), u"\uFFFDrger.mp3"_s);
    QVERIFY(!name.isExactText());
    QVERIFY(listing.names.constFirst().isExactText());

    const fs::Folder player(medium.path());
    QVERIFY(testsupport::copyFile(fs::Folder(source.path()), name, player).ok());
    QCOMPARE(player.mp3Files().names, FileNames{name});
    QFile copy;
    QVERIFY(fs::openForReading(player, name, copy).ok());
    QCOMPARE(copy.readAll(), QByteArray("Inhalt"));
    QVERIFY(player.remove(name).ok());
    QVERIFY(player.mp3Files().names.isEmpty());
}

void PlatformTest::mediumIsAskedForItsRules_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("withFiles");
    QTest::addColumn<fs::CaseProbe>("probe");
    QTest::addColumn<fs::LetterCase>("letterCase");
    QTest::addColumn<bool>("coarseTimes");

    const auto file = fs::CaseProbe::MayWriteProbeFile;
    const auto listed = fs::CaseProbe::ListedNamesOnly;
    const auto exact = fs::LetterCase::Exact;
    const auto ignored = fs::LetterCase::Ignored;
    QTest::newRow("tmpfs with files") << u"size=4m"_s << true << listed << exact << false;
    QTest::newRow("empty tmpfs") << u"size=4m"_s << false << file << exact << false;
    QTest::newRow("exFAT with files") << u"exfat"_s << true << listed << ignored << true;
    QTest::newRow("empty exFAT") << u"exfat"_s << false << file << ignored << true;
    QTest::newRow("empty exFAT, no probe file allowed") << u"exfat"_s << false << listed << exact << true;
}

// Letter case is asked of the folder, not taken from a list of file-system types: exFAT
// through FUSE calls itself "fuseblk".
void PlatformTest::mediumIsAskedForItsRules()
{
    QFETCH(QString, kind);
    QFETCH(bool, withFiles);
    QFETCH(fs::CaseProbe, probe);
    QFETCH(fs::LetterCase, letterCase);
    QFETCH(bool, coarseTimes);
    Medium medium(kind);
    REQUIRE_FIXTURE(medium);
    if (withFiles)
        QVERIFY(testsupport::writeFile(QDir(medium.path()).filePath(u"Lied.mp3"_s), 10));
    const QStringList before = entriesOf(medium.path());

    const fs::Folder folder(medium.path());
    QCOMPARE(fs::letterCase(folder, folder.mp3Files().names, probe), letterCase);
    QCOMPARE(entriesOf(medium.path()), before);
    QCOMPARE(fs::timeResolutionNs(folder) >= 1000000000, coarseTimes);
    QVERIFY(fs::fatRefuses(FileName::fromText(u"Zeit: 12.mp3"_s)));
    QVERIFY(!fs::fatRefuses(FileName::fromText(u"Zeit 12 Ärger.mp3"_s)));
}

void PlatformTest::oneFolderHoweverSpelt_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("other");
    // How the other path reaches the folder: by its name, a bind mount, or bindfs.
    QTest::addColumn<QString>("mount");
    QTest::addColumn<bool>("same");
    // Whether a lock taken through one path keeps a fill through the other off.
    QTest::addColumn<bool>("oneLock");
    QTest::newRow("the same path") << u"size=4m"_s << u"Musik"_s << QString() << true << true;
    QTest::newRow("with a dot") << u"size=4m"_s << u"Musik/."_s << QString() << true << true;
    QTest::newRow("another folder") << u"size=4m"_s << u"Hörbuch"_s << QString() << false << false;
    QTest::newRow("other letters on a medium that tells them apart")
        << u"size=4m"_s << u"MUSIK"_s << QString() << false << false;
    // exfat-fuse numbers each spelling of a folder on its own: only a probe finds it is one.
    QTest::newRow("other letters on exFAT") << u"exfat"_s << u"MUSIK"_s << QString() << true << true;
    // Where the medium cannot tell spellings apart by their numbers, it takes one fill at a time.
    QTest::newRow("another folder on exFAT") << u"exfat"_s << u"Hörbuch"_s << QString() << false << true;
    QTest::newRow("a bind mount") << u"size=4m"_s << u"Gebunden"_s << u"bind"_s << true << true;
    QTest::newRow("a bind mount on exFAT") << u"exfat"_s << u"Gebunden"_s << u"bind"_s << true << true;
    // Another device number and inodes of its own: the probe finds it; the lock is bindfs's own.
    QTest::newRow("through bindfs") << u"size=4m"_s << u"Gebunden"_s << u"bindfs"_s << true << false;
}

// The identity of a folder, for the refusal to fill a folder from itself and for the lock that
// keeps two fills off one player, comes from the medium, not from the path.
void PlatformTest::oneFolderHoweverSpelt()
{
    QFETCH(QString, kind);
    QFETCH(QString, other);
    QFETCH(QString, mount);
    QFETCH(bool, same);
    QFETCH(bool, oneLock);
    Medium medium(kind);
    REQUIRE_FIXTURE(medium);
    if (mount == u"bindfs"_s && QStandardPaths::findExecutable(u"bindfs"_s).isEmpty())
        QSKIP("bindfs is not installed");
    QTemporaryDir runtime;
    QTemporaryDir otherRuntime;
    QVERIFY(runtime.isValid() && otherRuntime.isValid());
    const QByteArray previous = qgetenv("XDG_RUNTIME_DIR");
    const auto restore = qScopeGuard([&] { qputenv("XDG_RUNTIME_DIR", previous); });
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    const QDir root(medium.path());
    QVERIFY(root.mkdir(u"Musik"_s));
    if (!root.exists(other))
        QVERIFY(root.mkdir(other));
    const auto unmount = qScopeGuard([&] {
        if (!mount.isEmpty())
            QProcess::execute(u"umount"_s, {u"-l"_s, root.filePath(other)});
    });
    if (mount == u"bind"_s)
        QCOMPARE(QProcess::execute(u"mount"_s, {u"--bind"_s, root.filePath(u"Musik"_s), root.filePath(other)}), 0);
    else if (mount == u"bindfs"_s)
        QCOMPARE(QProcess::execute(u"bindfs"_s, {root.filePath(u"Musik"_s), root.filePath(other)}), 0);
    const fs::Folder musik(root.filePath(u"Musik"_s));
    const fs::Folder spelt(root.filePath(other));
    const QStringList before = entriesOf(musik.path());

    QCOMPARE(fs::isSameFolder(musik, spelt), same);
    const fs::LetterCase rule = fs::letterCase(musik, {}, fs::CaseProbe::MayWriteProbeFile);
    {
        const fs::PlayerLock first(musik, rule);
        QVERIFY(!first.heldElsewhere());
        QCOMPARE(first.notTaken(), FileResult());
        // Another session, or the same user through sudo, keeps its runtime folder elsewhere.
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(otherRuntime.path()));
        // The portable path's lock file in the folder is met by every path to the folder.
        QCOMPARE(fs::PlayerLock(spelt, rule).heldElsewhere(), testsupport::portablePlatform() ? same : oneLock);
        // Nothing is written onto the player for it; the probes are gone again.
        if (!testsupport::portablePlatform())
            QCOMPARE(entriesOf(musik.path()), before);
    }
    QCOMPARE(entriesOf(musik.path()), before);
    QVERIFY(!fs::PlayerLock(spelt, rule).heldElsewhere());
}

void PlatformTest::copyArrivesWholeWithUsualPermissions_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("timeKept");
    QTest::newRow("tmpfs") << u"size=16m"_s << true;
    // FUSE 2 takes a file's times only both at once; Qt sets one at a time.
    QTest::newRow("exFAT") << u"exfat"_s << !testsupport::portablePlatform();
}

void PlatformTest::copyArrivesWholeWithUsualPermissions()
{
    QFETCH(QString, kind);
    QFETCH(bool, timeKept);
    Medium medium(kind);
    REQUIRE_FIXTURE(medium);
    QTemporaryDir source;
    QVERIFY(source.isValid());
    const QString file = source.filePath(u"Lied.MP3"_s);
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
    const FileResult result = testsupport::copyInto(file, medium.path(), options);
    QVERIFY2(result.ok(), qPrintable(tonvola::fs::describe(result)));
    QCOMPARE(reported, 9 * MiB);

    const QString copy = QDir(medium.path()).filePath(u"Lied.MP3"_s);
    QCOMPARE(entriesOf(medium.path()), QStringList{u"Lied.MP3"_s});
    QVERIFY(testsupport::haveSameContent(file, copy));
    // A copy that could not keep the time says so.
    QCOMPARE(QFileInfo(copy).lastModified().toSecsSinceEpoch() == modified.toSecsSinceEpoch(), timeKept);
    QCOMPARE(tonvola::filetext::reason(result).isEmpty(), timeKept);
    if (medium.exfat)
        return;
    struct stat copyStat {};
    QCOMPARE(::stat(QFile::encodeName(copy).constData(), &copyStat), 0);
    QCOMPARE(copyStat.st_mode & 0777, 0644u);
}

void PlatformTest::failedCopyLeavesNoPartialFile_data()
{
    QTest::addColumn<QString>("mountOptions");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("situation");
    QTest::addColumn<FileResult::Status>("status");
    QTest::addColumn<QByteArray>("name");

    QTest::newRow("medium full") << u"size=4m"_s << 5 * MiB << u""_s << FileResult::Status::NoSpace << QByteArray();
    QTest::newRow("exFAT full") << u"exfat"_s << 47 * MiB << u""_s << FileResult::Status::NoSpace << QByteArray();
    QTest::newRow("name exFAT refuses") << u"exfat"_s << MiB << u""_s << FileResult::Status::NameRefused
                                        << QByteArray("Zeit: 12.mp3");
    QTest::newRow("Latin-1 name on exFAT")
        << u"exfat"_s << MiB << u""_s << FileResult::Status::NameRefused << QByteArray("\xc4rger.mp3");
    QTest::newRow("source is a pipe") << u"size=4m"_s << qint64(0) << u"pipe"_s << FileResult::Status::NotAFile
                                      << QByteArray();
    QTest::newRow("no file entries left")
        << u"size=4m,nr_inodes=2"_s << MiB << u"one file"_s << FileResult::Status::NoSpace << QByteArray();
    QTest::newRow("cancelled") << u"size=16m"_s << 9 * MiB << u"cancel"_s << FileResult::Status::Cancelled
                               << QByteArray();
    QTest::newRow("read-only medium") << u"size=4m"_s << MiB << u"read-only"_s << FileResult::Status::ReadOnly
                                      << QByteArray();
    QTest::newRow("folder gone") << u"size=4m"_s << MiB << u"no folder"_s << FileResult::Status::NotFound
                                 << QByteArray();
    QTest::newRow("source gone") << u"size=4m"_s << MiB << u"no source"_s << FileResult::Status::NotFound
                                 << QByteArray();
    QTest::newRow("source grows while it is read")
        << u"size=16m"_s << 9 * MiB << u"grow"_s << FileResult::Status::SourceChanged << QByteArray();
    QTest::newRow("source replaced under its name while it is read")
        << u"size=16m"_s << 9 * MiB << u"replace"_s << FileResult::Status::SourceChanged << QByteArray();
    QTest::newRow("source written moments ago")
        << u"size=4m"_s << MiB << u"fresh"_s << FileResult::Status::InUse << QByteArray();
    QTest::newRow("source is not what an earlier look saw")
        << u"size=4m"_s << MiB << u"seen other"_s << FileResult::Status::SourceChanged << QByteArray();
    QTest::newRow("exFAT, source grows while it is read")
        << u"exfat"_s << 9 * MiB << u"grow"_s << FileResult::Status::SourceChanged << QByteArray();
}

void PlatformTest::failedCopyLeavesNoPartialFile()
{
    QFETCH(QString, mountOptions);
    QFETCH(qint64, size);
    QFETCH(QString, situation);
    QFETCH(FileResult::Status, status);
    QFETCH(QByteArray, name);
    if (name.isEmpty())
        name = "lied.mp3";

    if (!FileName::fromNative(name).isExactText())
        SKIP_ON_PORTABLE_PLATFORM(testsupport::portable::byteNames);
    if (situation == QLatin1String("one file"))
        SKIP_ON_PORTABLE_PLATFORM(testsupport::portable::fileEntries);
    Medium medium(mountOptions);
    REQUIRE_FIXTURE(medium);
    QTemporaryDir source;
    QVERIFY(source.isValid());
    const auto tidy = qScopeGuard([&] { testsupport::removeFiles(source.path()); });
    const QString file = source.filePath(u"lied.mp3"_s);
    if (situation == QLatin1String("pipe"))
        QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0644), 0);
    else if (situation != QLatin1String("no source"))
        QVERIFY(testsupport::writeNative(source.path(), name, QByteArray(size, 'x')));
    if (situation == QLatin1String("one file"))
        QVERIFY(testsupport::writeFile(QDir(medium.path()).filePath(u"da.mp3"_s), 10));
    if (situation == QLatin1String("seen other"))
        QVERIFY(testsupport::writeFile(source.filePath(u"andere.mp3"_s), 10));
    if (situation == QLatin1String("read-only"))
        QVERIFY(remountReadOnly(medium.path()));
    const QString target =
        situation == QLatin1String("no folder") ? QDir(medium.path()).filePath(u"fehlt"_s) : medium.path();
    const QStringList before = entriesOf(medium.path());
    const std::optional<qint64> freeBefore = fs::availableBytes(medium.path());
    QVERIFY(freeBefore);

    if (situation == QLatin1String("fresh")) {
        QFile touched(file);
        QVERIFY(touched.open(QIODevice::ReadWrite)
                && touched.setFileTime(QDateTime::currentDateTime(), QFileDevice::FileModificationTime));
    }
    std::atomic_bool cancel = false;
    CopyOptions options;
    options.cancel = &cancel;
    if (situation == QLatin1String("seen other"))
        options.expected = fs::Folder(source.path()).look(FileName::fromText(u"andere.mp3"_s));
    bool changed = false;
    options.progress = [&](qint64, qint64) {
        if (situation == QLatin1String("cancel"))
            cancel = true;
        if (changed)
            return;
        if (situation == QLatin1String("grow")) {
            QFile more(file);
            changed = more.open(QIODevice::Append) && more.write("mehr") == 4;
        } else if (situation == QLatin1String("replace")) {
            changed =
                testsupport::writeFile(file + u".neu"_s, 10)
                && ::rename(QFile::encodeName(file + u".neu"_s).constData(), QFile::encodeName(file).constData()) == 0;
        }
    };
    // A pipe without a writer would block a reader that waits for one.
    const FileResult result =
        testsupport::copyFile(fs::Folder(source.path()), FileName::fromNative(name), fs::Folder(target), options);

    QVERIFY2(result.status == status, qPrintable(tonvola::fs::describe(result)));
    QVERIFY(!tonvola::filetext::reason(result).isEmpty());
    QCOMPARE(entriesOf(medium.path()), before);
    QCOMPARE(fs::availableBytes(medium.path()), freeBefore);
}

void PlatformTest::copyNeverReplacesAFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("tmpfs") << u"size=4m"_s;
    // Without unnamed files, hard links or renames that refuse to replace.
    QTest::newRow("exFAT") << u"exfat"_s;
}

void PlatformTest::copyNeverReplacesAFile()
{
    QFETCH(QString, kind);
    QTemporaryDir source;
    Medium target(kind);
    QVERIFY(source.isValid());
    REQUIRE_FIXTURE(target);
    const QString existing = QDir(target.path()).filePath(u"lied.mp3"_s);
    const FileName lied = FileName::fromText(u"lied.mp3"_s);
    const FileName neu = FileName::fromText(u"neu.mp3"_s);
    QVERIFY(testsupport::writeFile(source.filePath(u"lied.mp3"_s), 3000, 'n'));
    QVERIFY(testsupport::writeFile(source.filePath(u"neu.mp3"_s), 2000, 'n'));
    const fs::Folder from(source.path());
    const fs::Folder to(target.path());
    {
        fs::WrittenRecord record(to);
        fs::CopyBatch batch(to);
        QVERIFY(batch.add(from, lied).ok());
        QVERIFY(batch.add(from, neu).ok());
        // Another program writes a file under the name while the copy waits for it.
        QVERIFY(testsupport::writeFile(existing, 1000, 'o'));
        const QList<fs::CopyBatch::Named> named = batch.commit(&record);
        QCOMPARE(named.size(), 2);
        QCOMPARE(named[0].result.status, FileResult::Status::AlreadyExists);
        QVERIFY(!named[0].named);
        QVERIFY(named[1].result.ok() && named[1].named);
    }
    QCOMPARE(testsupport::readBytes(existing), QByteArray(1000, 'o'));
    // The record claims only the copy that got its name: the other file under that name is not its.
    const fs::WrittenRecord record(to);
    QVERIFY(!record.contains(lied));
    QVERIFY(record.contains(neu));
    QCOMPARE(entriesOf(target.path()), (QStringList{u".tonvola-written"_s, u"lied.mp3"_s, u"neu.mp3"_s}));
}

// A killed run leaves temporary files in the player or, moving files back, in the collection;
// one whose writer still lives (another fill, moving its files back there) stays.
void PlatformTest::leftoversGoOnlyWithoutTheirWriter()
{
    QTemporaryDir folder;
    QTemporaryDir source;
    QVERIFY(folder.isValid() && source.isValid());
    QStringList left = {u".tonvola-9f3a0c.part"_s, u".tonvola-probe-1b"_s, u".tonvola-probe-77-\u00e4"_s,
                        u".tonvola-0000dead00000001.part"_s};
    QStringList usersOwn = {u".tonvola-notizen.part"_s, u".tonvola-9f3a0c.part.txt"_s, u"tonvola-1.part"_s,
                            u".tonvola-0000beef.lock"_s};
    // The portable platform's writers hold a lock file in the folder, named by the first half of
    // their files' numbers: one of a program that is gone, and one of a program on another
    // computer (a network share), which may still run. A QSaveFile that was cut short leaves its
    // file's name and six letters.
    QProcess gone;
    gone.start(u"true"_s);
    QVERIFY(gone.waitForStarted());
    const qint64 gonePid = gone.processId();
    QVERIFY(gone.waitForFinished());
    const QByteArray thisComputer = QSysInfo::machineHostName().toUtf8() + '\n' + QSysInfo::machineUniqueId() + '\n'
                                    + QSysInfo::bootUniqueId() + '\n';
    QVERIFY(testsupport::writeBytes(folder.filePath(u".tonvola-0000dead.lock"_s),
                                    QByteArray::number(gonePid) + "\ntrue\n" + thisComputer));
    QVERIFY(testsupport::writeBytes(folder.filePath(u".tonvola-0000beef.lock"_s),
                                    "4711\ntonvola\nanderer-rechner\n0123456789abcdef\n"));
    const QString elsewhere = u".tonvola-0000beef00000001.part"_s;
    if (testsupport::portablePlatform()) {
        left += {u".tonvola-0000dead.lock"_s, u".tonvola-9f3a0c.part.AbCdEf"_s};
        usersOwn.append(elsewhere);
    } else {
        left.append(elsewhere);
        usersOwn += {u".tonvola-0000dead.lock"_s, u".tonvola-9f3a0c.part.AbCdEf"_s};
    }
    for (const QString &name : left + usersOwn) {
        if (!QFileInfo::exists(folder.filePath(name)))
            QVERIFY(testsupport::writeFile(folder.filePath(name), 10));
    }
    QVERIFY(testsupport::writeFile(source.filePath(u"lied.mp3"_s), 10));
    // A copy that waits for its name, under a temporary one rather than none.
    const fs::Folder opened(folder.path());
    opened.abilities().unnamedFiles = false;
    fs::CopyBatch writing(opened);
    const QStringList before = entriesOf(folder.path());
    QVERIFY(writing.add(fs::Folder(source.path()), FileName::fromText(u"lied.mp3"_s)).ok());
    QStringList expected = usersOwn;
    for (const QString &name : entriesOf(folder.path())) {
        if (!before.contains(name))
            expected.append(name);
    }
    QVERIFY(expected.size() > usersOwn.size());

    fs::removeLeftovers(opened);
    expected.sort();
    QStringList now = entriesOf(folder.path());
    now.sort();
    QCOMPARE(now, expected);
}

void PlatformTest::filesCompareByTheirBytes_data()
{
    QTest::addColumn<QString>("other");
    QTest::addColumn<fs::Likeness>("likeness");
    // Whether the player's file is what a copy of the collection's cut short leaves.
    QTest::addColumn<bool>("cutShort");
    // The bytes the comparison reads of each file; -1: not asked.
    QTest::addColumn<qint64>("read");
    QTest::newRow("a copy") << u"copy"_s << fs::Likeness::SameBytes << false << qint64(300000);
    QTest::newRow("same size, other bytes") << u"other bytes"_s << fs::Likeness::OtherBytes << false << qint64(-1);
    QTest::newRow("shorter") << u"shorter"_s << fs::Likeness::OtherBytes << false << qint64(-1);
    QTest::newRow("large, only the last byte other") << u"last byte"_s << fs::Likeness::OtherBytes << false << 2 * MiB;
    QTest::newRow("large, a copy") << u"large copy"_s << fs::Likeness::SameBytes << false << large;
    QTest::newRow("a real prefix") << u"prefix"_s << fs::Likeness::OtherBytes << true << qint64(-1);
    QTest::newRow("large, a prefix with a zero tail")
        << u"zero tail"_s << fs::Likeness::OtherBytes << true << qint64(-1);
    QTest::newRow("a shorter file of other bytes")
        << u"shorter other"_s << fs::Likeness::OtherBytes << false << qint64(-1);
    // Deleting one because of the other would delete the only copy.
    QTest::newRow("a link to it") << u"link"_s << fs::Likeness::SameFile << false << qint64(-1);
    QTest::newRow("a hard link to it") << u"hard link"_s << fs::Likeness::SameFile << false << qint64(-1);
    QTest::newRow("not there") << u"gone"_s << fs::Likeness::Unreadable << false << qint64(-1);
    // Only the tags, for a copy that its record and both times vouch for.
    QTest::newRow("tags only: the middle differs, which tags cannot")
        << u"tags middle"_s << fs::Likeness::SameBytes << false << 2 * fs::tagSpan;
    QTest::newRow("tags only: the start differs") << u"tags start"_s << fs::Likeness::OtherBytes << false << qint64(0);
    QTest::newRow("tags only: the end differs") << u"tags end"_s << fs::Likeness::OtherBytes << false << fs::tagSpan;
    QTest::newRow("tags only: a small file is compared whole")
        << u"tags small"_s << fs::Likeness::SameBytes << false << qint64(200000);
}

void PlatformTest::filesCompareByTheirBytes()
{
    QFETCH(QString, other);
    QFETCH(fs::Likeness, likeness);
    QFETCH(bool, cutShort);
    QFETCH(qint64, read);
    QTemporaryDir player;
    QTemporaryDir collection;
    QVERIFY(player.isValid() && collection.isValid());
    if (other == u"hard link"_s)
        SKIP_ON_PORTABLE_PLATFORM("knows no file numbers: a hard link compares as a copy, and removing one name "
                                  "leaves the file under the other");
    const QString file = player.filePath(u"lied.mp3"_s);
    const QString there = collection.filePath(u"lied.mp3"_s);
    QVERIFY(testsupport::writeFile(file, 300000, 'a'));
    if (other == u"copy"_s)
        QVERIFY(testsupport::writeFile(there, 300000, 'a'));
    else if (other == u"other bytes"_s)
        QVERIFY(testsupport::writeFile(there, 300000, 'b'));
    else if (other == u"shorter"_s)
        QVERIFY(testsupport::writeFile(there, 299999, 'a'));
    const bool tags = other.startsWith(u"tags"_s);
    if (other == u"last byte"_s || other == u"large copy"_s || (tags && other != u"tags small"_s)) {
        QVERIFY(testsupport::writeFile(file, large, 'a'));
        QVERIFY(testsupport::writeFile(there, large, 'a'));
    } else if (other == u"tags small"_s) {
        QVERIFY(testsupport::writeFile(file, 200000, 'a'));
        QVERIFY(testsupport::writeFile(there, 200000, 'a'));
    }
    if (other == u"prefix"_s || other == u"shorter other"_s) {
        QVERIFY(testsupport::writeFile(there, 300001, 'a'));
        QVERIFY(testsupport::writeFile(file, 1000, other == u"prefix"_s ? 'a' : 'o'));
    } else if (other == u"zero tail"_s) {
        QVERIFY(testsupport::writeFile(there, large + 1000, 'a'));
        QVERIFY(testsupport::writeBytes(file, QByteArray(large / 2, 'a') + QByteArray(large - large / 2, '\0')));
    }
    if (other == u"last byte"_s || other == u"tags middle"_s || other == u"tags start"_s || other == u"tags end"_s) {
        const qint64 at = other == u"tags middle"_s  ? large / 2
                          : other == u"tags start"_s ? 10
                          : other == u"tags end"_s   ? large - 10
                                                     : large - 1;
        QFile changed(there);
        QVERIFY(changed.open(QIODevice::ReadWrite) && changed.seek(at) && changed.write("b", 1) == 1);
    } else if (other == u"link"_s)
        QVERIFY(QFile::link(file, there));
    else if (other == u"hard link"_s)
        QCOMPARE(::link(QFile::encodeName(file).constData(), QFile::encodeName(there).constData()), 0);

    const FileName name = FileName::fromText(u"lied.mp3"_s);
    fs::Entry seen;
    qint64 wasRead = -1;
    QCOMPARE(fs::compareFiles(fs::Folder(collection.path()), name, fs::Folder(player.path()), name, nullptr, &seen,
                              tags ? fs::Span::Tags : fs::Span::Whole, &wasRead),
             likeness);
    if (read >= 0)
        QCOMPARE(wasRead, read);
    if (tags)
        return;
    QCOMPARE(fs::isCutShortOf(fs::Folder(collection.path()), name, fs::Folder(player.path()), name), cutShort);
    if (likeness == fs::Likeness::SameBytes || likeness == fs::Likeness::OtherBytes) {
        // What the comparison saw is what a deletion then checks; a change since keeps the file.
        // Qt tells times to the millisecond, so the portable platform sees a change in another one.
        const fs::Folder folder(player.path());
        if (testsupport::portablePlatform())
            QTest::qSleep(2);
        QVERIFY(testsupport::writeFile(file, 300000, 'c'));
        QCOMPARE(folder.removeIfUnchanged(name, seen).status, FileResult::Status::SourceChanged);
        QVERIFY(QFile::exists(file));
        QVERIFY(folder.removeIfUnchanged(name, folder.look(name)).ok());
        QVERIFY(!QFile::exists(file));
    }
}

void PlatformTest::freeSpaceFollowsCopyAndDelete()
{
    testsupport::TmpfsMount medium(u"size=4m"_s);
    REQUIRE_FIXTURE(medium);
    QTemporaryDir source;
    QVERIFY(source.isValid());
    const QString file = source.filePath(u"lied.mp3"_s);
    QVERIFY(testsupport::writeFile(file, MiB));

    QCOMPARE(fs::availableBytes(medium.path()), std::optional<qint64>(4 * MiB));
    QVERIFY(testsupport::copyInto(file, medium.path()).ok());
    QCOMPARE(fs::availableBytes(medium.path()), std::optional<qint64>(3 * MiB));
    QVERIFY(testsupport::removeFile(QDir(medium.path()).filePath(u"lied.mp3"_s)).ok());
    QCOMPARE(fs::availableBytes(medium.path()), std::optional<qint64>(4 * MiB));
    QCOMPARE(fs::availableBytes(QDir(medium.path()).filePath(u"fehlt"_s)), std::nullopt);
}

void PlatformTest::removeSaysWhyItFailed_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<FileResult::Status>("status");
    QTest::newRow("removable") << u"plain"_s << FileResult::Status::Ok;
    QTest::newRow("immutable file") << u"immutable"_s << FileResult::Status::PermissionDenied;
    QTest::newRow("no write permission") << u"read-only file"_s << FileResult::Status::PermissionDenied;
    QTest::newRow("read-only medium") << u"read-only"_s << FileResult::Status::ReadOnly;
    QTest::newRow("file gone") << u"gone"_s << FileResult::Status::NotFound;
    QTest::newRow("a folder") << u"folder"_s << FileResult::Status::Failed;
}

// A reason without words would leave a message ending in a colon; two alike would tell the user
// the same of different faults.
void PlatformTest::everyReasonIsWorded()
{
    using Reason = FileResult::Reason;
    const QMetaEnum reasons = QMetaEnum::fromType<Reason>();
    QHash<QString, QString> heldBy;
    for (int i = 0; i < reasons.keyCount(); ++i) {
        const auto reason = static_cast<Reason>(reasons.value(i));
        const QString words = tonvola::filetext::reason({FileResult::Status::Failed, reason, u"Input/output error"_s});
        QCOMPARE(words.isEmpty(), reason == Reason::None);
        if (reason == Reason::None)
            continue;
        QVERIFY2(!heldBy.contains(words), qPrintable(words + u" for "_s + heldBy.value(words)));
        heldBy.insert(words, QString::fromLatin1(reasons.key(i)));
    }
    // An error the program has no sentence for comes in the system's words.
    QCOMPARE(tonvola::filetext::reason(FileResult::fromErrno(EXDEV)), QString::fromLocal8Bit(std::strerror(EXDEV)));
}

void PlatformTest::removeSaysWhyItFailed()
{
    QFETCH(QString, situation);
    QFETCH(FileResult::Status, status);

    testsupport::TmpfsMount medium(u"size=4m"_s);
    REQUIRE_FIXTURE(medium);
    const QString file = QDir(medium.path()).filePath(u"lied.mp3"_s);
    if (situation == QLatin1String("folder"))
        QVERIFY(QDir(medium.path()).mkdir(u"lied.mp3"_s));
    else if (situation != QLatin1String("gone"))
        QVERIFY(testsupport::writeFile(file, 100));
    std::optional<testsupport::ImmutableFile> immutable;
    if (situation == QLatin1String("immutable")) {
        immutable.emplace(file);
        REQUIRE_FIXTURE(*immutable);
    }
    if (situation == QLatin1String("read-only"))
        QVERIFY(remountReadOnly(medium.path()));
    if (situation == QLatin1String("read-only file"))
        QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));

    const FileResult result = testsupport::removeFile(file);
    QCOMPARE(result.status, status);
    QCOMPARE(tonvola::filetext::reason(result).isEmpty(), result.ok());
    const bool shouldStay = situation != QLatin1String("plain") && situation != QLatin1String("gone");
    QCOMPARE(QFileInfo::exists(file), shouldStay);
}

void PlatformTest::folderCheckSaysWhy_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<FileResult::Status>("status");
    QTest::newRow("folder") << u"ordner"_s << FileResult::Status::Ok;
    QTest::newRow("missing") << u"fehlt"_s << FileResult::Status::NotFound;
    QTest::newRow("below a missing one") << u"fehlt/tiefer"_s << FileResult::Status::NotFound;
    QTest::newRow("a file") << u"datei.mp3"_s << FileResult::Status::NotFound;
    QTest::newRow("nothing given") << QString() << FileResult::Status::NotFound;
    QTest::newRow("Latin-1 name") << fs::pathFromNative("L\xe4tin") << FileResult::Status::Ok;
}

void PlatformTest::folderCheckSaysWhy()
{
    QFETCH(QString, name);
    QFETCH(FileResult::Status, status);
    if (name.contains(QChar::ReplacementCharacter))
        SKIP_ON_PORTABLE_PLATFORM(testsupport::portable::byteNames);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir(u"ordner"_s));
    // Made and removed by its bytes, which Qt's own names cannot reach.
    const QByteArray latin1 = fs::nativePath(dir.path()) + "/L\xe4tin";
    QVERIFY(::mkdir(latin1.constData(), 0755) == 0);
    const auto tidy = qScopeGuard([&] {
        testsupport::removeFiles(fs::pathFromNative(latin1));
        ::rmdir(latin1.constData());
    });
    QVERIFY(testsupport::writeFile(dir.filePath(u"datei.mp3"_s), 10));

    const FileResult result = fs::checkFolder(name.isEmpty() ? QString() : dir.filePath(name));
    QCOMPARE(result.status, status);
    QCOMPARE(tonvola::filetext::reason(result).isEmpty(), result.ok());
    if (!result.ok())
        return;
    // The folder list offers a folder under the very name that opens it, and follows it on disk.
    QVERIFY(fs::subFolders(dir.path()).contains(name));
    QFileSystemWatcher watcher;
    QVERIFY(fs::watchFolder(watcher, dir.filePath(name)));
    QSignalSpy changed(&watcher, &QFileSystemWatcher::directoryChanged);
    QVERIFY(testsupport::writeNative(dir.filePath(name), "neu.mp3", "x"));
    QVERIFY(changed.wait());
}

void PlatformTest::sameDirectoryHoweverSpelt()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkpath(u"a/b"_s));
    QVERIFY(QDir(dir.path()).mkdir(u"c"_s));
    QVERIFY(QFile::link(dir.filePath(u"a/b"_s), dir.filePath(u"link"_s)));

    QVERIFY(fs::isSameDirectory(dir.filePath(u"a/b"_s), dir.filePath(u"a/../a/b/"_s)));
    QVERIFY(fs::isSameDirectory(dir.filePath(u"a/b"_s), dir.filePath(u"link"_s)));
    QVERIFY(!fs::isSameDirectory(dir.filePath(u"a/b"_s), dir.filePath(u"c"_s)));
}

void PlatformTest::volumeListHasRootAndMediaButNoPseudoFileSystems()
{
    testsupport::TmpfsMount medium(u"size=4m"_s);
    REQUIRE_FIXTURE(medium);
    const QList<tonvola::fs::Volume> list = volumes::userVolumes();
    QVERIFY(listsVolume(list, QDir::rootPath()));
    QVERIFY(listsVolume(list, medium.path()));
    for (const tonvola::fs::Volume &volume : list) {
        QVERIFY2(!volume.root.startsWith(QLatin1String("/proc")) && !volume.root.startsWith(QLatin1String("/sys"))
                     && !volume.root.startsWith(QLatin1String("/dev")),
                 qPrintable(volume.root));
    }
}

void PlatformTest::volumeOfAPath()
{
    testsupport::TmpfsMount medium(u"size=4m"_s);
    REQUIRE_FIXTURE(medium);
    QVERIFY(QDir(medium.path()).mkdir(u"Musik"_s));
    const QString folder = QDir(medium.path()).filePath(u"Musik"_s);

    QCOMPARE(volumes::rootOf(folder), medium.path());
    QCOMPARE(volumes::rootOf(QDir(folder).filePath(u"fehlt/tiefer"_s)), medium.path());
    QVERIFY(volumes::isVolumeRoot(medium.path()));
    QVERIFY(!volumes::isVolumeRoot(folder));
    QVERIFY(volumes::checkReady(medium.path()).ok());
    QVERIFY(!volumes::checkReady(folder).ok());

    QVERIFY(unmount(medium.path()));
    const FileResult gone = volumes::checkReady(medium.path());
    QVERIFY(!gone.ok());
    QVERIFY(!tonvola::filetext::reason(gone).isEmpty());
    QCOMPARE(volumes::rootOf(medium.path()), volumes::rootOf(QFileInfo(medium.path()).path()));
}

void PlatformTest::currentFolderIsTheLastShownOnThatVolume()
{
    testsupport::TmpfsMount first(u"size=4m"_s);
    testsupport::TmpfsMount second(u"size=4m"_s);
    REQUIRE_FIXTURE(first);
    REQUIRE_FIXTURE(second);
    QVERIFY(QDir(first.path()).mkpath(u"a/b"_s));
    QVERIFY(QDir(second.path()).mkpath(u"x"_s));

    QCOMPARE(volumes::currentFolder(first.path()), first.path());

    volumes::rememberFolder(QDir(first.path()).filePath(u"a/b"_s));
    volumes::rememberFolder(QDir(second.path()).filePath(u"x"_s));
    QCOMPARE(volumes::currentFolder(first.path()), QDir(first.path()).filePath(u"a/b"_s));
    QCOMPARE(volumes::currentFolder(second.path()), QDir(second.path()).filePath(u"x"_s));

    volumes::rememberFolder(QDir(first.path()).filePath(u"a"_s));
    QCOMPARE(volumes::currentFolder(first.path()), QDir(first.path()).filePath(u"a"_s));

    volumes::rememberFolder(QDir(first.path()).filePath(u"a/b"_s));
    QVERIFY(QDir(QDir(first.path()).filePath(u"a"_s)).removeRecursively());
    QCOMPARE(volumes::currentFolder(first.path()), first.path());
}

QTEST_GUILESS_MAIN(PlatformTest)
#include "tst_platform.moc"
