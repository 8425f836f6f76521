#include "TestSupport.h"

#include "config/ConfigFile.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

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

QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool writeBytes(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.flush();
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
    const QString musik = folder(QStringLiteral("Musik"));
    const QString player = folder(QStringLiteral("media/player"));
    QTest::newRow("plain folders") << musik << player << line(musik + sep) + line(player + sep);
    QTest::newRow("root folder keeps its own separator") << musik << root << line(musik + sep) + line(root + sep);
    QTest::newRow("empty field is a lone separator") << QString() << QString() << line(sep) + line(sep);
    const QString comma = folder(QStringLiteral("Rock, Pop"));
    QTest::newRow("comma stays inside the quotes") << comma << musik << line(comma + sep) + line(musik + sep);
    const QString hits = folder(QStringLiteral("Musik/Größte Hits"));
    const QString card = folder(QStringLiteral("Spieler/Übertragen"));
    QTest::newRow("umlauts in the local encoding") << hits << card << line(hits + sep) + line(card + sep);
}

void tst_Config::serializeWritesQuotedRecordsWithSeparator()
{
    QFETCH(QString, source);
    QFETCH(QString, player);
    QFETCH(QByteArray, expected);
    QCOMPARE(config::serialize(source, player), expected);
}

void tst_Config::parseReadsFirstTwoFields_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("player");

    const QString a = QStringLiteral("C:\\Musik\\");
    const QString b = QStringLiteral("E:\\\\");
    QTest::newRow("CR LF") << QByteArray("\"C:\\Musik\\\"\r\n\"E:\\\\\"\r\n") << a << b;
    QTest::newRow("LF alone") << QByteArray("\"C:\\Musik\\\"\n\"E:\\\\\"\n") << a << b;
    QTest::newRow("CR alone") << QByteArray("\"C:\\Musik\\\"\r\"E:\\\\\"\r") << a << b;
    QTest::newRow("no final line end") << QByteArray("\"C:\\Musik\\\"\r\n\"E:\\\\\"") << a << b;
    QTest::newRow("further lines ignored")
        << QByteArray("\"C:\\Musik\\\"\r\n\"E:\\\\\"\r\n\"F:\\Mehr\\\"\r\nx,y\r\n") << a << b;
    QTest::newRow("tail of an old longer file")
        << QByteArray("\"C:\\Musik\\\"\r\n\"E:\\\\\"\r\nrer\\Ordner\\\"\r\n\"F:\\Lange\\Liste\\\"\r\n") << a << b;
    QTest::newRow("tail with a stray quote") << QByteArray("\"C:\\Musik\\\"\r\n\"E:\\\\\"\r\nsik\\\"\r\n") << a << b;
    QTest::newRow("comma inside quotes") << QByteArray("\"D:\\Rock, Pop\\\"\r\n\"E:\\\\\"\r\n")
                                         << QStringLiteral("D:\\Rock, Pop\\") << b;
    QTest::newRow("unquoted values") << QByteArray("C:\\Musik\\\r\nE:\\\\\r\n") << a << b;
    QTest::newRow("unquoted value ends at its first comma")
        << QByteArray("D:\\Rock, Pop\\\r\n\"E:\\\\\"\r\n") << QStringLiteral("D:\\Rock") << QStringLiteral("Pop\\");
    QTest::newRow("unquoted values lose surrounding blanks")
        << QByteArray("  C:\\Musik\\ \t\r\n\tE:\\\\  \r\n") << a << b;
    QTest::newRow("blanks before a quote") << QByteArray(" \t\"C:\\Musik\\\"\r\n  \"E:\\\\\"\r\n") << a << b;
    QTest::newRow("text after a closing quote skipped")
        << QByteArray("\"C:\\Musik\\\"  alt\r\n\"E:\\\\\"x,\"nicht\"\r\n") << a << b;
    QTest::newRow("both fields on one line") << QByteArray("\"C:\\Musik\\\",\"E:\\\\\"\r\n") << a << b;
    QTest::newRow("lone separators") << QByteArray("\"\\\"\r\n\"/\"\r\n") << QStringLiteral("\\")
                                     << QStringLiteral("/");
    QTest::newRow("empty quoted fields") << QByteArray("\"\"\r\n\"\"\r\n") << QString() << QString();
    QTest::newRow("umlauts in the local encoding")
        << bytes(QStringLiteral("\"/srv/Größte Hits/\"\r\n\"/media/Übertragen/\"\r\n"))
        << QStringLiteral("/srv/Größte Hits/") << QStringLiteral("/media/Übertragen/");
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

    QTest::newRow("plain") << folder(QStringLiteral("Musik")) << folder(QStringLiteral("media/player"));
    QTest::newRow("root folder") << folder(QStringLiteral("Musik")) << QDir::toNativeSeparators(QDir::rootPath());
    QTest::newRow("comma") << folder(QStringLiteral("Rock, Pop")) << folder(QStringLiteral("a,b,c"));
    QTest::newRow("umlauts and blanks") << folder(QStringLiteral("Größte Hits ")) << folder(QStringLiteral("Ü ä ö ß"));
    QTest::newRow("empty fields") << QString() << QString();
}

void tst_Config::saveThenLoadGivesTheFoldersBack()
{
    QFETCH(QString, source);
    QFETCH(QString, player);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("config.dat"));

    const tonvola::FileResult result = config::save(source, player, path);
    QVERIFY2(result.ok(), qPrintable(result.reason));
    QCOMPARE(readAll(path), config::serialize(source, player));

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
    const QString path = dir.filePath(QStringLiteral("config.dat"));
    QVERIFY(writeBytes(path, config::serialize(folder(QStringLiteral("eine/sehr/lange/Ordnerkette/Musik")),
                                               folder(QStringLiteral("media/ein/langer/Spieler/Ordner")))));

    QVERIFY(config::save(folder(QStringLiteral("a")), folder(QStringLiteral("b")), path).ok());
    QCOMPARE(readAll(path), config::serialize(folder(QStringLiteral("a")), folder(QStringLiteral("b"))));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("config.dat")});
}

void tst_Config::loadReadsTheOldTailedForm()
{
    // Earlier versions overwrote the file in place without shortening it.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("config.dat"));
    QByteArray content = config::serialize(folder(QStringLiteral("eine/sehr/lange/Ordnerkette/Musik")),
                                           folder(QStringLiteral("media/ein/langer/Spieler/Ordner")));
    const QByteArray shorter = config::serialize(folder(QStringLiteral("a")), folder(QStringLiteral("b")));
    content.replace(0, shorter.size(), shorter);
    QVERIFY(writeBytes(path, content));

    const std::optional<StoredFolders> stored = config::load(path);
    QVERIFY(stored.has_value());
    QCOMPARE(stored->source, folder(QStringLiteral("a")) + sep);
    QCOMPARE(stored->player, folder(QStringLiteral("b")) + sep);
}

void tst_Config::loadFailsWithoutAReadableFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(!config::load(dir.filePath(QStringLiteral("config.dat"))).has_value());

    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("ordner.dat")));
    QVERIFY(!config::load(dir.filePath(QStringLiteral("ordner.dat"))).has_value());
}

void tst_Config::loadUsesTheWorkingFolder()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    const auto restore = qScopeGuard([&] { QDir::setCurrent(previous); });

    QVERIFY(config::save(folder(QStringLiteral("Musik")), folder(QStringLiteral("Spieler"))).ok());
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("config.dat"))));
    const std::optional<StoredFolders> stored = config::load();
    QVERIFY(stored.has_value());
    QCOMPARE(stored->source, folder(QStringLiteral("Musik")) + sep);
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
    const QString path = dir.filePath(QStringLiteral("config.dat"));
    const QByteArray old =
        config::serialize(folder(QStringLiteral("alt/Musik")), folder(QStringLiteral("alt/Spieler")));
    QVERIFY(writeBytes(path, old));

    {
        testsupport::ImmutableFile locked(lockFolder ? dir.path() : path);
        QVERIFY(locked.valid());
        const tonvola::FileResult result =
            config::save(folder(QStringLiteral("neu")), folder(QStringLiteral("neu2")), path);
        QVERIFY(!result.ok());
        QVERIFY(!result.reason.isEmpty());
    }
    QCOMPARE(readAll(path), old);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("config.dat")});
}

QTEST_GUILESS_MAIN(tst_Config)
#include "tst_config.moc"
