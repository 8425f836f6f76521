#include "TestSupport.h"

#include "config/ConfigFile.h"
#include "platform/Path.h"
#include "text/FileText.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

using tonvola::StoredFolders;
namespace config = tonvola::config;

namespace {

const QString sep = QDir::separator();

// A folder the way this platform's folder lists report one, below its file-system root.
QString folder(const QString &relative)
{
    return QDir::toNativeSeparators(QDir::rootPath() + relative);
}

QByteArray bytes(const QString &text)
{
    return text.toLocal8Bit();
}

// One record as it stands in the file: the value between double quotes, then CR LF.
QByteArray line(const QString &value)
{
    return '"' + bytes(value) + "\"\r\n";
}

} // namespace

class tst_Config : public QObject
{
    Q_OBJECT

private slots:
    void serializeWritesQuotedRecordsWithSeparator_data();
    void serializeWritesQuotedRecordsWithSeparator();
    void parseReadsFirstTwoFields_data();
    void parseReadsFirstTwoFields();
    void parseFailsWithoutTwoFields_data();
    void parseFailsWithoutTwoFields();
    void saveThenLoadGivesTheFoldersBack_data();
    void saveThenLoadGivesTheFoldersBack();
    void saveReplacesALongerFileWhole();
    void loadReadsTheOldTailedForm();
    void loadFailsWithoutAReadableFile();
    void loadUsesTheWorkingFolder();
    void failedSaveKeepsTheOldFile_data();
    void failedSaveKeepsTheOldFile();
};

void tst_Config::serializeWritesQuotedRecordsWithSeparator_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("player");
    QTest::addColumn<QByteArray>("expected");

    const QString root = QDir::toNativeSeparators(QDir::rootPath());
    const QString musik = folder(u"Musik"_s);
    const QString player = folder(u"media/player"_s);
    QTest::newRow("plain folders") << musik << player << line(musik + sep) + line(player + sep);
    QTest::newRow("root folder keeps its own separator") << musik << root << line(musik + sep) + line(root + sep);
    QTest::newRow("empty field is a lone separator") << QString() << QString() << line(sep) + line(sep);
    const QString comma = folder(u"Rock, Pop"_s);
    QTest::newRow("comma stays inside the quotes") << comma << musik << line(comma + sep) + line(musik + sep);
    const QString hits = folder(u"Musik/Größte Hits"_s);
    const QString card = folder(u"Spieler/Übertragen"_s);
    QTest::newRow("umlauts in the local encoding") << hits << card << line(hits + sep) + line(card + sep);
    // Folders read from the command line or an older config.dat keep the bytes they came with.
    QTest::newRow("Latin-1 bytes as they were read")
        << tonvola::fs::pathFromNative("/Musik-\xe4") << tonvola::fs::pathFromNative("/Player-\xe4")
        << QByteArray("\"/Musik-\xe4/\"\r\n\"/Player-\xe4/\"\r\n");
}

void tst_Config::serializeWritesQuotedRecordsWithSeparator()
{
    QFETCH(QString, source);
    QFETCH(QString, player);
    QFETCH(QByteArray, expected);
    if (source.contains(QChar::ReplacementCharacter))
        SKIP_ON_PORTABLE_PLATFORM(testsupport::portable::byteNames);
    QCOMPARE(config::serialize(source, player), expected);
}

void tst_Config::parseReadsFirstTwoFields_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("player");

    const QString a = u"C:\\Musik\\"_s;
    const QString b = u"E:\\\\"_s;
    QTest::newRow("CR LF") << QByteArray("\"C:\\Musik\\\"\r\n\"E:\\\\\"\r\n") << a << b;
    QTest::newRow("LF alone") << QByteArray("\"C:\\Musik\\\"\n\"E:\\\\\"\n") << a << b;
    QTest::newRow("CR alone") << QByteArray("\"C:\\Musik\\\"\r\"E:\\\\\"\r") << a << b;
    QTest::newRow("no final line end") << QByteArray("\"C:\\Musik\\\"\r\n\"E:\\\\\"") << a << b;
    QTest::newRow("further lines ignored")
        << QByteArray("\"C:\\Musik\\\"\r\n\"E:\\\\\"\r\n\"F:\\Mehr\\\"\r\nx,y\r\n") << a << b;
    QTest::newRow("tail of an old longer file")
        << QByteArray("\"C:\\Musik\\\"\r\n\"E:\\\\\"\r\nrer\\Ordner\\\"\r\n\"F:\\Lange\\Liste\\\"\r\n") << a << b;
    QTest::newRow("tail with a stray quote") << QByteArray("\"C:\\Musik\\\"\r\n\"E:\\\\\"\r\nsik\\\"\r\n") << a << b;
    QTest::newRow("comma inside quotes") << QByteArray("\"D:\\Rock, Pop\\\"\r\n\"E:\\\\\"\r\n") << u"D:\\Rock, Pop\\"_s
                                         << b;
    QTest::newRow("unquoted values") << QByteArray("C:\\Musik\\\r\nE:\\\\\r\n") << a << b;
    QTest::newRow("unquoted value ends at its first comma")
        << QByteArray("D:\\Rock, Pop\\\r\n\"E:\\\\\"\r\n") << u"D:\\Rock"_s << u"Pop\\"_s;
    QTest::newRow("unquoted values lose surrounding blanks")
        << QByteArray("  C:\\Musik\\ \t\r\n\tE:\\\\  \r\n") << a << b;
    QTest::newRow("blanks before a quote") << QByteArray(" \t\"C:\\Musik\\\"\r\n  \"E:\\\\\"\r\n") << a << b;
    QTest::newRow("text after a closing quote skipped")
        << QByteArray("\"C:\\Musik\\\"  alt\r\n\"E:\\\\\"x,\"nicht\"\r\n") << a << b;
    QTest::newRow("both fields on one line") << QByteArray("\"C:\\Musik\\\",\"E:\\\\\"\r\n") << a << b;
    QTest::newRow("lone separators") << QByteArray("\"\\\"\r\n\"/\"\r\n") << u"\\"_s << u"/"_s;
    QTest::newRow("empty quoted fields") << QByteArray("\"\"\r\n\"\"\r\n") << QString() << QString();
    QTest::newRow("umlauts in the local encoding") << bytes(u"\"/srv/Größte Hits/\"\r\n\"/media/Übertragen/\"\r\n"_s)
                                                   << u"/srv/Größte Hits/"_s << u"/media/Übertragen/"_s;
}

void tst_Config::parseReadsFirstTwoFields()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, source);
    QFETCH(QString, player);

    const std::optional<StoredFolders> stored = config::parse(content);
    QVERIFY(stored.has_value());
    QCOMPARE(stored->source, source);
    QCOMPARE(stored->player, player);
}

void tst_Config::parseFailsWithoutTwoFields_data()
{
    QTest::addColumn<QByteArray>("content");

    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("blanks only") << QByteArray("  \t ");
    QTest::newRow("one field with line end") << QByteArray("\"C:\\Musik\\\"\r\n");
    QTest::newRow("one field without line end") << QByteArray("\"C:\\Musik\\\"");
    QTest::newRow("one field and a comma") << QByteArray("\"C:\\Musik\\\",");
    QTest::newRow("one unquoted field") << QByteArray("C:\\Musik\\\n");
    QTest::newRow("unclosed quote swallows the rest") << QByteArray("\"C:\\Musik\\\r\n\"E:\\\\\r\n");
}

void tst_Config::parseFailsWithoutTwoFields()
{
    QFETCH(QByteArray, content);
    QVERIFY(!config::parse(content).has_value());
}

void tst_Config::saveThenLoadGivesTheFoldersBack_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("player");

    QTest::newRow("plain") << folder(u"Musik"_s) << folder(u"media/player"_s);
    QTest::newRow("root folder") << folder(u"Musik"_s) << QDir::toNativeSeparators(QDir::rootPath());
    QTest::newRow("comma") << folder(u"Rock, Pop"_s) << folder(u"a,b,c"_s);
    QTest::newRow("umlauts and blanks") << folder(u"Größte Hits "_s) << folder(u"Ü ä ö ß"_s);
    QTest::newRow("empty fields") << QString() << QString();
}

void tst_Config::saveThenLoadGivesTheFoldersBack()
{
    QFETCH(QString, source);
    QFETCH(QString, player);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"config.dat"_s);

    const tonvola::fs::FileResult result = config::save(source, player, path);
    QVERIFY2(result.ok(), qPrintable(tonvola::fs::describe(result)));
    QCOMPARE(testsupport::readBytes(path), config::serialize(source, player));

    const std::optional<StoredFolders> stored = config::load(path);
    QVERIFY(stored.has_value());
    // The appended separator stays part of each value, as it always has.
    QCOMPARE(stored->source, source + sep);
    QCOMPARE(stored->player, player + sep);
}

void tst_Config::saveReplacesALongerFileWhole()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"config.dat"_s);
    QVERIFY(testsupport::writeBytes(path, config::serialize(folder(u"eine/sehr/lange/Ordnerkette/Musik"_s),
                                                            folder(u"media/ein/langer/Spieler/Ordner"_s))));

    QVERIFY(config::save(folder(u"a"_s), folder(u"b"_s), path).ok());
    QCOMPARE(testsupport::readBytes(path), config::serialize(folder(u"a"_s), folder(u"b"_s)));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"config.dat"_s});
}

void tst_Config::loadReadsTheOldTailedForm()
{
    // Earlier versions overwrote the file in place without shortening it.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"config.dat"_s);
    QByteArray content =
        config::serialize(folder(u"eine/sehr/lange/Ordnerkette/Musik"_s), folder(u"media/ein/langer/Spieler/Ordner"_s));
    const QByteArray shorter = config::serialize(folder(u"a"_s), folder(u"b"_s));
    content.replace(0, shorter.size(), shorter);
    QVERIFY(testsupport::writeBytes(path, content));

    const std::optional<StoredFolders> stored = config::load(path);
    QVERIFY(stored.has_value());
    QCOMPARE(stored->source, folder(u"a"_s) + sep);
    QCOMPARE(stored->player, folder(u"b"_s) + sep);
}

void tst_Config::loadFailsWithoutAReadableFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(!config::load(dir.filePath(u"config.dat"_s)).has_value());

    QVERIFY(QDir(dir.path()).mkdir(u"ordner.dat"_s));
    QVERIFY(!config::load(dir.filePath(u"ordner.dat"_s)).has_value());
}

void tst_Config::loadUsesTheWorkingFolder()
{
    const testsupport::WorkFolder dir;
    QVERIFY(dir.valid());

    QVERIFY(config::save(folder(u"Musik"_s), folder(u"Spieler"_s)).ok());
    QVERIFY(QFile::exists(dir.filePath(u"config.dat"_s)));
    const std::optional<StoredFolders> stored = config::load();
    QVERIFY(stored.has_value());
    QCOMPARE(stored->source, folder(u"Musik"_s) + sep);
}

void tst_Config::failedSaveKeepsTheOldFile_data()
{
    QTest::addColumn<bool>("lockFolder");
    QTest::newRow("folder cannot take new files") << true;
    QTest::newRow("file cannot be replaced") << false;
}

void tst_Config::failedSaveKeepsTheOldFile()
{
    QFETCH(bool, lockFolder);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"config.dat"_s);
    const QByteArray old = config::serialize(folder(u"alt/Musik"_s), folder(u"alt/Spieler"_s));
    QVERIFY(testsupport::writeBytes(path, old));

    {
        testsupport::ImmutableFile locked(lockFolder ? dir.path() : path);
        REQUIRE_FIXTURE(locked);
        const tonvola::fs::FileResult result = config::save(folder(u"neu"_s), folder(u"neu2"_s), path);
        QVERIFY(!result.ok());
        QVERIFY(!tonvola::filetext::reason(result).isEmpty());
    }
    QCOMPARE(testsupport::readBytes(path), old);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"config.dat"_s});
}

QTEST_GUILESS_MAIN(tst_Config)
#include "tst_config.moc"
