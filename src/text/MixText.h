#pragma once

#include "mix/MixEngine.h"

#include <QString>
#include <QStringList>

// The sentences for what a fill did and why: the engine and the platform return statuses and
// subjects, and the window and the command line show these texts.
namespace tonvola::mixtext {

// Why a file was passed over or left on the player, e.g. "auf dem Player nicht erlaubt".
[[nodiscard]] QString reason(const MixStep &step);

// A step as a line of its own, e.g. "kopiert: Lied.mp3". Scripts read these lines.
[[nodiscard]] QString line(const MixStep &step);

// What the run did, e.g. "12 Dateien kopiert, 3 vom Player genommen, 2 zurück ins StammVerzeichnis".
[[nodiscard]] QString summary(const MixResult &result);

// The German sentence for a run that could not do its work; empty for Done and Cancelled.
[[nodiscard]] QString problem(const MixResult &result);

// Why the folders given are one, beside the message of a SameFolder run.
[[nodiscard]] QString sameFolder(const QString &source, const QString &player);

// The lines of the files a run named (MixResult::named), as the command line prints them.
[[nodiscard]] QStringList namedLines(const MixResult &result);

// How far the copying has come, e.g. "Kopiere Lied.mp3 – Datei 3 von 40, 12 von 160 MB Daten,
// noch etwa 2 min"; elapsedMs is the time since the copying began, for the time left. The MB are
// the files' data, not the medium's room they take, which small files make larger: hence "Daten".
[[nodiscard]] QString progress(const MixTransfer &transfer, qint64 elapsedMs);

// Why the run has not begun yet: "Warte auf 3 Dateien, die gerade ins StammVerzeichnis
// geschrieben werden …".
[[nodiscard]] QString waiting(qsizetype files);

// Why nothing seems to happen at the end: the copies are being written out onto the medium.
[[nodiscard]] QString flushing();

// What the run does before its plan is made: "Lese die Verzeichnisse … 5000 von 20000 Dateien",
// "Vergleiche Dateien mit dem StammVerzeichnis … 12 verglichen".
[[nodiscard]] QString preparing(const MixPreparing &preparing);

// The time left, once it can be told; empty before.
[[nodiscard]] QString timeLeft(const MixTransfer &transfer, qint64 elapsedMs);

} // namespace tonvola::mixtext
