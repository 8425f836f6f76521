#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// The program users start: it fills from the command line itself and hands the window over.
class tst_Launcher : public QObject
{
    Q_OBJECT

private slots:
    void fillRunsWithoutTheGuiLibraries();
    void windowNeedsItsProgramAndSaysSoWhenItIsMissing();
};

namespace {

QString run(const QString &program, const QStringList &arguments, int *exitCode)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(60000))
        return QStringLiteral("did not finish");
    *exitCode = process.exitCode();
    return QString::fromLocal8Bit(process.readAll());
}

} // namespace

void tst_Launcher::fillRunsWithoutTheGuiLibraries()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("musik")) && QDir(root.path()).mkpath(QStringLiteral("player")));
    const QString song = root.filePath(QStringLiteral("musik/a.mp3"));
    QVERIFY(testsupport::writeFile(song, 1000));
    QVERIFY(testsupport::writeFile(root.filePath(QStringLiteral("musik/b.mp3")), 1000));

    int code = -1;
    const QString output = run(QStringLiteral(TONVOLA_PROGRAM),
                               {QStringLiteral("--fill"), QStringLiteral("--seed"), QStringLiteral("1"),
                                root.filePath(QStringLiteral("musik")), root.filePath(QStringLiteral("player"))},
                               &code);
    QCOMPARE(code, 0);
    QVERIFY2(output.contains(QStringLiteral("kopiert")), qPrintable(output));

    // A fill started from a script must not pay for loading the window's libraries.
    QProcess ldd;
    ldd.start(QStringLiteral("ldd"), {QStringLiteral(TONVOLA_PROGRAM)});
    if (!ldd.waitForFinished(20000) || ldd.exitCode() != 0)
        QSKIP("ldd is not available here");
    const QString libraries = QString::fromLocal8Bit(ldd.readAll());
    QVERIFY2(!libraries.contains(QStringLiteral("Qt6Widgets")), qPrintable(libraries));
    QVERIFY2(!libraries.contains(QStringLiteral("Qt6Multimedia")), qPrintable(libraries));
}

void tst_Launcher::windowNeedsItsProgramAndSaysSoWhenItIsMissing()
{
    QVERIFY(QFileInfo(QStringLiteral(TONVOLA_WINDOW_PROGRAM)).isExecutable());

    QTemporaryDir alone;
    QVERIFY(alone.isValid());
    const QString copy = alone.filePath(QStringLiteral("tonvola"));
    QVERIFY(QFile::copy(QStringLiteral(TONVOLA_PROGRAM), copy));
    int code = -1;
    const QString output = run(copy, {}, &code);
    QCOMPARE(code, 1);
    QVERIFY2(output.startsWith(QStringLiteral("Das Fenster von Tonvola konnte nicht gestartet werden: ")),
             qPrintable(output));
}

QTEST_GUILESS_MAIN(tst_Launcher)
#include "tst_launcher.moc"
