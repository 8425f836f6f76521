#pragma once

#include "platform/FileResult.h"

#include <QCommandLineOption>
#include <QList>
#include <QString>

// What tonvola says on the command line: its help, its answers to a wrong use and the lines
// around a fill's summary. The sentences of the fill itself are MixText's.
namespace tonvola::clitext {

// The options of a fill and Qt's own window options (QGuiApplication's and QApplication's, which
// the window program gets as they were given), each with the words the help gives it.
[[nodiscard]] QList<QCommandLineOption> fillOptions();
[[nodiscard]] QList<QCommandLineOption> windowOptions();
[[nodiscard]] QString description();
[[nodiscard]] QString sourceArgument();
[[nodiscard]] QString playerArgument();
// The two forms of use, in place of Qt's first line of the help, which knows one form only.
[[nodiscard]] QString usage();

// A wrong use: the problem, the usage lines and where to read more.
[[nodiscard]] QString wrongUse(const QString &problem);
[[nodiscard]] QString unknownOption(const QString &option);
[[nodiscard]] QString onlyWithFill();
[[nodiscard]] QString unexpectedArgument(const QString &argument);
[[nodiscard]] QString nothingToDo();
[[nodiscard]] QString windowOnly(const QString &option);
[[nodiscard]] QString twoFolders();
[[nodiscard]] QString notAPercent(const QString &value);
[[nodiscard]] QString subfoldersOrNot();
[[nodiscard]] QString notASeed(const QString &value);

// After the summary of a fill: the seed that repeats it, and that a dry run changed nothing.
[[nodiscard]] QString seedLine(quint64 seed);
[[nodiscard]] QString dryRunChangedNothing();

// The window program could not be started: it is not where the install put it, or the system
// refused to start it. Each ends in a line break.
[[nodiscard]] QString windowMissing(const QString &program);
[[nodiscard]] QString windowNotStarted(const fs::FileResult &why);
// The window program finds no graphical session to open its window in, and where to read why.
[[nodiscard]] QString noGraphicalSession();
[[nodiscard]] QString howToSeeQtsReasons();

} // namespace tonvola::clitext
