#pragma once

#include "platform/FileResult.h"

#include <QString>

// What the windows tell and ask at run time: the message boxes, the status bar's notes and the
// texts composed from folders and figures. The windows' fixed captions stay in their forms.
namespace tonvola::windowtext {

// Commands act only on a folder the user chose.
[[nodiscard]] QString choosePlayerFolderFirst();
[[nodiscard]] QString chooseSourceFolderFirst();

// The folder panes: a drive or folder that cannot be shown, and one that went away.
[[nodiscard]] QString driveNotReady(const QString &root, const fs::FileResult &why);
[[nodiscard]] QString folderNotShown(const QString &folder, const fs::FileResult &why);
// The field Ctrl+L opens over a folder list: its name for screen readers, and what it shows while
// empty.
[[nodiscard]] QString pathFieldName();
[[nodiscard]] QString pathFieldHint();
// The tooltip over a folder that was chosen and is gone: "/media/STICK/Musik ist nicht erreichbar."
[[nodiscard]] QString lostFolder(const QString &folder);
[[nodiscard]] QString folderGone(const QString &folder);

// A folder waited for, short for the status bar and explained for its tooltip.
[[nodiscard]] QString sourceMissing(const QString &folder);
[[nodiscard]] QString sourceMissingExplained(const QString &folder);
[[nodiscard]] QString playerMissing(const QString &folder);
[[nodiscard]] QString playerMissingExplained(const QString &folder);

// The free room in the player folder; unreachable while the folder is waited for.
[[nodiscard]] QString freeRoom(qint64 bytes);
[[nodiscard]] QString freeRoomUnknown();
[[nodiscard]] QString freeRoomUnreachable();

[[nodiscard]] QString fillRunning();
[[nodiscard]] QString fillCancelling();
[[nodiscard]] QString ejecting();

// Where the two folders are kept, for the menu entry and the save button of the configuration.
[[nodiscard]] QString configKeptIn(const QString &file);
[[nodiscard]] QString configSavesIn(const QString &file);
[[nodiscard]] QString saveSameFolderQuestion(const QString &folder);
[[nodiscard]] QString configNotSaved(const QString &file, const fs::FileResult &why);

// "Extras → Austausch je Lauf …" and "Unterordner einbeziehen".
[[nodiscard]] QString exchangeTitle();
[[nodiscard]] QString exchangeQuestion();
[[nodiscard]] QString settingNotSaved();

} // namespace tonvola::windowtext
