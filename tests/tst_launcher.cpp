#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

// The program users start, as installed: it fills from the command line itself and hands the
// window over to its window program, wherever the install folders put that.
class tst_Launcher : public QObject
{
    Q_OBJECT

private slots:
    void installedProgramFindsItsWindow_data();
    void installedProgramFindsItsWindow();
    void commandLineLinesAreSafeToRead_data();
    void commandLineLinesAreSafeToRead();
    void menuEntryStartsInTheConfigFolder_data();
    void menuEntryStartsInTheConfigFolder();
    void windowNeedsItsProgramAndSaysSoWhenItIsMissing();
};

namespace {

const QString installed = QStringLiteral(TONVOLA_INSTALLED);

// Without a graphical session: no display named, and Qt left to its default platform.
QProcessEnvironment withoutDisplay()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    return environment;
}

QString run(const QString &program, const QStringList &arguments, int *exitCode,
            const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(60000))
        return QStringLiteral("did not finish");
    *exitCode = process.exitCode();
    return QString::fromLocal8Bit(process.readAll());
}

} // namespace

void tst_Launcher::installedProgramFindsItsWindow_data()
{
    QTest::addColumn<QString>("program");
    QTest::newRow("default folders") << installed + QStringLiteral("/default/" TONVOLA_INSTALL_BINDIR "/tonvola");
    QTest::newRow("multiarch libexec") << installed + QStringLiteral("/multiarch/bin/tonvola");
}

void tst_Launcher::installedProgramFindsItsWindow()
{
    QFETCH(QString, program);
    QVERIFY2(QFileInfo(program).isExecutable(), qPrintable(program));

    int code = -1;
    QCOMPARE(run(program, {QStringLiteral("--version")}, &code), QStringLiteral("Tonvola " TONVOLA_VERSION "\n"));
    QCOMPARE(code, 0);

    // The window program's own answer shows that it was found, and that Qt's window options
    // reach it.
    QString output = run(program, {QStringLiteral("-style"), QStringLiteral("fusion")}, &code, withoutDisplay());
    QCOMPARE(code, 1);
    QVERIFY2(output.startsWith(QStringLiteral("Tonvola braucht für sein Fenster eine grafische Sitzung")),
             qPrintable(output));
    QVERIFY2(output.contains(QStringLiteral("tonvola --fill SOURCE PLAYER")), qPrintable(output));
    // Qt's own English lines only repeat it.
    QVERIFY2(!output.contains(QStringLiteral("Qt: ")), qPrintable(output));
    QVERIFY2(!output.contains(QStringLiteral("display")), qPrintable(output));

    QTemporaryDir root;
    QVERIFY(root.isValid());
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("musik")) && QDir(root.path()).mkpath(QStringLiteral("player")));
    QVERIFY(testsupport::writeFile(root.filePath(QStringLiteral("musik/a.mp3")), 1000));
    QVERIFY(testsupport::writeFile(root.filePath(QStringLiteral("musik/b.mp3")), 1000));
    output = run(program,
                 {QStringLiteral("--fill"), QStringLiteral("--seed"), QStringLiteral("1"),
                  root.filePath(QStringLiteral("musik")), root.filePath(QStringLiteral("player"))},
                 &code);
    QCOMPARE(code, 0);
    QVERIFY2(output.contains(QStringLiteral("kopiert")), qPrintable(output));

    // A fill started from a script must not pay for loading the window's libraries.
    QProcess ldd;
    ldd.start(QStringLiteral("ldd"), {program});
    if (!ldd.waitForFinished(20000) || ldd.exitCode() != 0)
        QSKIP("ldd is not available here");
    const QString libraries = QString::fromLocal8Bit(ldd.readAll());
    QVERIFY2(!libraries.contains(QStringLiteral("Qt6Widgets")), qPrintable(libraries));
    QVERIFY2(!libraries.contains(QStringLiteral("Qt6Multimedia")), qPrintable(libraries));
}

void tst_Launcher::commandLineLinesAreSafeToRead_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("song"); // the one file in SOURCE
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("printed"); // all of it for a fill, a part of it otherwise
    QTest::addColumn<QString>("notPrinted");

    const QStringList fill{QStringLiteral("--fill"), QStringLiteral("--seed=1"), QStringLiteral("SOURCE"),
                           QStringLiteral("PLAYER")};
    const QString summary = QStringLiteral("1 Datei kopiert, 0 vom Player genommen, 0 zurück ins StammVerzeichnis\n");
    const QString ending = summary + QStringLiteral("Startwert: 1\n");
    QTest::newRow("a line break cannot forge a line")
        << fill << QStringLiteral("Lied\nkopiert: Fake.mp3") << 0
        << QStringLiteral("kopiert: 'Lied'$'\\n''kopiert: Fake.mp3'\n") + ending << QStringLiteral("\nkopiert: Fake");
    QTest::newRow("an escape sequence cannot drive the terminal")
        << fill << QStringLiteral("rot\x1b[31m.mp3") << 0
        << QStringLiteral("kopiert: 'rot'$'\\033''[31m.mp3'\n") + ending << QStringLiteral("\x1b");
    QTest::newRow("spaces and umlauts as they are")
        << fill << QStringLiteral("Ärger über's Lied.mp3") << 0
        << QStringLiteral("kopiert: Ärger über's Lied.mp3\n") + ending << QStringLiteral("$'");
    QTest::newRow("quiet: the summary alone")
        << QStringList{fill.mid(0, 2) + QStringList{QStringLiteral("-q")} + fill.mid(2)} << QStringLiteral("Lied.mp3")
        << 0 << summary << QStringLiteral("kopiert:");
    QTest::newRow("dry run, quiet: the summary says it was one")
        << QStringList{fill.mid(0, 2) + QStringList{QStringLiteral("--dry-run"), QStringLiteral("-q")} + fill.mid(2)}
        << QStringLiteral("Lied.mp3") << 0 << QStringLiteral("Probelauf: ") + summary << QString();
    QTest::newRow("the same folder twice: the message, and why")
        << QStringList{QStringLiteral("--fill"), QStringLiteral("SOURCE"), QStringLiteral("SOURCE/")}
        << QStringLiteral("Lied.mp3") << 1
        << QStringLiteral("Bitte wählen Sie ein anderes Verzeichnis!\nDas StammVerzeichnis SOURCE und das Mp3 Player "
                          "Verzeichnis SOURCE/ sind dasselbe Verzeichnis.\n")
        << QString();
    QTest::newRow("a missing folder, said once")
        << QStringList{QStringLiteral("--fill"), QStringLiteral("SOURCE"), QStringLiteral("PLAYER/nope")}
        << QStringLiteral("Lied.mp3") << 1 << QStringLiteral("Das Verzeichnis PLAYER/nope ist nicht vorhanden.\n")
        << QString();
    // Folders named in Latin-1 bytes reach the program through the shell, as they came.
    QTest::newRow("Latin-1 folders") << QStringList{QStringLiteral("LATIN1")} + fill << QStringLiteral("Lied.mp3") << 0
                                     << QStringLiteral("kopiert: Lied.mp3\n") + ending << QString();
    QTest::newRow("a missing folder below a Latin-1 one, quoted as the shell reads it")
        << QStringList{QStringLiteral("LATIN1"), QStringLiteral("--fill"), QStringLiteral("SOURCE"),
                       QStringLiteral("PLAYER/nope")}
        << QStringLiteral("Lied.mp3") << 1
        << QStringLiteral("Das Verzeichnis 'PLAYER'$'\\344''/nope' ist nicht vorhanden.\n") << QString();
    QTest::newRow("quiet without a fill is a wrong use") << QStringList{QStringLiteral("--quiet")} << QString() << 2
                                                         << QStringLiteral("nur zusammen mit --fill") << QString();
    QTest::newRow("sub-folders both taken and left out is a wrong use")
        << QStringList{fill.mid(0, 2) + QStringList{QStringLiteral("--subfolders"), QStringLiteral("--no-subfolders")}
                       + fill.mid(2)}
        << QStringLiteral("Lied.mp3") << 2
        << QStringLiteral("--subfolders und --no-subfolders schließen einander aus.\n") << QStringLiteral("kopiert:");
    // On a terminal one more line, updated in place, shows how far the copying has come.
    QTest::newRow("progress on a terminal")
        << QStringList{QStringLiteral("TERMINAL")} + fill << QStringLiteral("Lied.mp3") << 0
        << QStringLiteral("\rKopiere Lied.mp3 – Datei 1 von 1, 0 von 0 MB Daten\x1b[K\r\x1b[Kkopiert: Lied.mp3\n")
        << QString();
    QTest::newRow("no progress on a terminal with quiet")
        << QStringList{QStringLiteral("TERMINAL"), QStringLiteral("-q")} + fill << QStringLiteral("Lied.mp3") << 0
        << summary << QStringLiteral("Kopiere");
    QTest::newRow("help leaves Qt's options to help-all")
        << QStringList{QStringLiteral("--help")} << QString() << 0 << QStringLiteral("-q, --quiet")
        << QStringLiteral("-platform <");
    QTest::newRow("help-all names Qt's options") << QStringList{QStringLiteral("--help-all")} << QString() << 0
                                                 << QStringLiteral("-platform <NAME>") << QString();
}

void tst_Launcher::commandLineLinesAreSafeToRead()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, song);
    QFETCH(int, exitCode);
    QFETCH(QString, printed);
    QFETCH(QString, notPrinted);

    QTemporaryDir root;
    QVERIFY(root.isValid());
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("musik")) && QDir(root.path()).mkpath(QStringLiteral("player")));
    if (!song.isEmpty())
        QVERIFY(testsupport::writeFile(root.filePath(QStringLiteral("musik/") + song), 1000));
    // Renamed by their bytes, which Qt's names cannot stand for, and back for the cleanup.
    const bool latin1 = arguments.first() == QStringLiteral("LATIN1");
    const auto renameBoth = [&root](const QByteArray &from, const QByteArray &to) {
        bool renamed = true;
        for (const char *folder : {"/musik", "/player"}) {
            const QByteArray path = QFile::encodeName(root.path()) + folder;
            renamed = ::rename((path + from).constData(), (path + to).constData()) == 0 && renamed;
        }
        return renamed;
    };
    if (latin1)
        QVERIFY(renameBoth("", "\xe4"));
    const auto renameBack = qScopeGuard([&] { (void)(latin1 && renameBoth("\xe4", "")); });
    const QString ending = latin1 ? QStringLiteral("'$'\\344''") : QString();
    arguments.replaceInStrings(QStringLiteral("SOURCE"), root.filePath(QStringLiteral("musik")) + ending);
    arguments.replaceInStrings(QStringLiteral("PLAYER"), root.filePath(QStringLiteral("player")) + ending);
    printed.replace(QStringLiteral("SOURCE"), root.filePath(QStringLiteral("musik")));
    printed.replace(QStringLiteral("PLAYER"), root.filePath(QStringLiteral("player")));

    int code = -1;
    const QString program = installed + QStringLiteral("/default/" TONVOLA_INSTALL_BINDIR "/tonvola");
    QString output;
    const bool terminal = arguments.first() == QStringLiteral("TERMINAL");
    QString command = QStringLiteral("'%1'").arg(program);
    for (const QString &argument : arguments.mid(1))
        command += QStringLiteral(" '%1'").arg(argument);
    if (terminal) {
        // script gives the program a terminal of its own and passes on what it shows.
        output = run(QStringLiteral("script"), {QStringLiteral("-qec"), command, QStringLiteral("/dev/null")}, &code);
        output.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    } else if (latin1) {
        output = run(QStringLiteral("bash"), {QStringLiteral("-c"), command}, &code);
    } else {
        output = run(program, arguments, &code);
    }
    QCOMPARE(code, exitCode);
    // A wrong use is followed by the usage, which the row need not spell out.
    if (arguments.contains(QStringLiteral("--fill")) && !terminal && exitCode != 2)
        QCOMPARE(output, printed);
    else
        QVERIFY2(output.contains(printed), qPrintable(output));
    if (!notPrinted.isEmpty())
        QVERIFY2(!output.contains(notPrinted), qPrintable(output));
}

void tst_Launcher::menuEntryStartsInTheConfigFolder_data()
{
    QTest::addColumn<QString>("configHome");
    QTest::addColumn<QString>("folder");
    QTest::newRow("XDG_CONFIG_HOME") << QStringLiteral("HOME/einstellungen") << QStringLiteral("einstellungen/tonvola");
    QTest::newRow("default") << QString() << QStringLiteral(".config/tonvola");
    QTest::newRow("relative XDG_CONFIG_HOME is ignored")
        << QStringLiteral("einstellungen") << QStringLiteral(".config/tonvola");
}

void tst_Launcher::menuEntryStartsInTheConfigFolder()
{
    QFETCH(QString, configHome);
    QFETCH(QString, folder);

    const QString share = installed + QStringLiteral("/default/" TONVOLA_INSTALL_DATADIR);
    const QString entry =
        QString::fromUtf8(testsupport::readBytes(share + QStringLiteral("/applications/" TONVOLA_ID ".desktop")));
    const auto value = [&entry](const char *key) {
        return QRegularExpression(QStringLiteral("^%1=(.*)$").arg(QLatin1String(key)),
                                  QRegularExpression::MultilineOption)
            .match(entry)
            .captured(1);
    };
    const QString exec = value("Exec");
    const QString icon = value("Icon");
    QVERIFY2(QFileInfo(exec).isExecutable(), qPrintable(exec));
    QVERIFY(QFileInfo::exists(share + QStringLiteral("/icons/hicolor/scalable/apps/%1.svg").arg(icon)));
    // Menus that draw no SVG find a bitmap of the size they show.
    for (const int size : {48, 64, 128, 256})
        QCOMPARE(QImage(share + QStringLiteral("/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(icon)).size(),
                 QSize(size, size));

    QTemporaryDir home;
    QVERIFY(home.isValid());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.remove(QStringLiteral("XDG_CONFIG_HOME"));
    if (!configHome.isEmpty())
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"),
                           QString(configHome).replace(QStringLiteral("HOME"), home.path()));

    QProcess window;
    window.setProcessEnvironment(environment);
    window.setWorkingDirectory(home.path());
    window.start(exec, {});
    QVERIFY(window.waitForStarted());
    // Where the running window keeps config.dat: its working folder.
    const QString cwd = QStringLiteral("/proc/%1/cwd").arg(window.processId());
    QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(cwd).symLinkTarget(), home.filePath(folder), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(QStringLiteral("/proc/%1/exe").arg(window.processId()))
                                 .symLinkTarget()
                                 .endsWith(QStringLiteral("/tonvola-window")),
                             20000);
    window.kill();
    QVERIFY(window.waitForFinished());
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
    QVERIFY2(output.contains(QStringLiteral("tonvola-window fehlt")), qPrintable(output));
}

QTEST_GUILESS_MAIN(tst_Launcher)
#include "tst_launcher.moc"
