#include "text/MixText.h"

#include "text/FileText.h"

#include <QDir>
#include <QLocale>
#include <QStringList>

#include <cmath>

namespace tonvola::mixtext {

namespace {

QString files(qsizetype n)
{
    return n == 1 ? QStringLiteral("1 Datei") : QStringLiteral("%1 Dateien").arg(n);
}

// A summary names this many skipped files; the rest are counted.
constexpr qsizetype skippedNamed = 5;

QString whyNothing(MixResult::NothingCopied why)
{
    switch (why) {
    case MixResult::NothingCopied::NoMp3Files:
        return QStringLiteral("im StammVerzeichnis sind keine MP3-Dateien");
    case MixResult::NothingCopied::NothingNew:
        return QStringLiteral("nichts Neues im StammVerzeichnis, der Player hat schon alle Dateien");
    case MixResult::NothingCopied::PassedOver:
        return QStringLiteral("alle neuen Dateien wurden übersprungen");
    case MixResult::NothingCopied::NoRoom:
        return QStringLiteral("auf dem Player ist kein Platz frei");
    }
    return {};
}

enum class Named { Bare, WithReason };

// The first few files by name, the rest counted.
QString namedAndCounted(const QList<MixStep> &steps, Named how)
{
    QStringList named;
    for (qsizetype i = 0; i < std::min(steps.size(), skippedNamed); ++i) {
        const QString name = fs::printableName(steps[i].name.text());
        named.append(how == Named::WithReason ? QStringLiteral("%1 (%2)").arg(name, reason(steps[i])) : name);
    }
    QString text = named.join(QStringLiteral(", "));
    if (steps.size() > skippedNamed)
        text += QStringLiteral(" und %1 weitere").arg(steps.size() - skippedNamed);
    return text;
}

QString megabytes(qint64 bytes)
{
    return QLocale(QLocale::German, QLocale::Germany).toString(double(bytes) / (1024.0 * 1024.0), 'f', 0);
}

} // namespace

QString reason(const MixStep &step)
{
    switch (step.why) {
    case MixReason::OtherContent:
        return QStringLiteral("anderer Inhalt im StammVerzeichnis");
    case MixReason::WriteProtected:
        return QStringLiteral("schreibgeschützt");
    case MixReason::NoFileInCollection:
        return QStringLiteral("im StammVerzeichnis keine Datei");
    case MixReason::NoFileOnPlayer:
        return QStringLiteral("auf dem Player keine Datei");
    case MixReason::NameRefused:
        return QStringLiteral("auf dem Player nicht erlaubt");
    case MixReason::NotAFile:
        return QStringLiteral("keine gewöhnliche Datei");
    case MixReason::GoneFromCollection:
        return QStringLiteral("nicht mehr im StammVerzeichnis");
    case MixReason::InUse:
        return QStringLiteral("wird gerade geschrieben, bleibt für einen späteren Lauf");
    case MixReason::Changed:
        return QStringLiteral("wurde während des Laufs verändert");
    case MixReason::SameFile:
        return QStringLiteral("im StammVerzeichnis nur ein Verweis auf diese Datei");
    case MixReason::TooLarge:
        return QStringLiteral("zu groß für den Datenträger des Players");
    case MixReason::NameTaken:
        if (!step.other.isEmpty())
            return QStringLiteral("Name auf dem Player schon vergeben an „%1“")
                .arg(fs::printableName(step.other.text()));
        return QStringLiteral("Name auf dem Player schon vergeben");
    case MixReason::CollectionRefuses:
        return QStringLiteral("das StammVerzeichnis nimmt die Datei nicht auf");
    case MixReason::Unreadable:
        return QStringLiteral("nicht lesbar");
    case MixReason::FolderUnreadable:
        return QStringLiteral("Ordner nicht lesbar, seine Dateien bleiben außen vor");
    case MixReason::None:
        break;
    }
    return {};
}

QString line(const MixStep &step)
{
    // A name that holds a line break would otherwise print a second, false line for scripts.
    QString name = fs::printableName(step.name.text());
    switch (step.action) {
    case MixAction::Copied:
        return QStringLiteral("kopiert: ") + name;
    case MixAction::TakenOff:
        return QStringLiteral("vom Player genommen: ") + name;
    case MixAction::MovedBack:
        return QStringLiteral("zurück ins StammVerzeichnis: ") + name;
    case MixAction::RemovedBroken:
        return QStringLiteral("beschädigte Kopie entfernt: ") + name;
    case MixAction::KeptOnPlayer:
        return QStringLiteral("auf dem Player belassen (%1): %2").arg(reason(step), name);
    case MixAction::NoRoom:
        return QStringLiteral("passte nicht mehr: ") + name;
    case MixAction::Skipped:
        return QStringLiteral("übersprungen: %1 (%2)").arg(name, reason(step));
    }
    return name;
}

QString summary(const MixResult &result)
{
    const MixCounts &counts = result.counts;
    QString text = QStringLiteral("%1 kopiert, %2 vom Player genommen, %3 zurück ins StammVerzeichnis")
                       .arg(files(counts.copied))
                       .arg(counts.takenOff)
                       .arg(counts.movedBack);
    // Written into the collection, or only deleted on the player because the collection has it:
    // the user wants to know which folder was written to.
    if (counts.movedBack > 0) {
        QStringList how;
        if (counts.intoCollection > 0)
            how << QStringLiteral("%1 dort neu geschrieben").arg(counts.intoCollection);
        if (counts.movedBack > counts.intoCollection)
            how << QStringLiteral("%1 dort schon vorhanden").arg(counts.movedBack - counts.intoCollection);
        text += QStringLiteral(" (%1)").arg(how.join(QStringLiteral(", ")));
    }
    if (counts.removedBroken > 0)
        text += counts.removedBroken == 1
                    ? QStringLiteral(", 1 beschädigte Kopie entfernt")
                    : QStringLiteral(", %1 beschädigte Kopien entfernt").arg(counts.removedBroken);
    if (counts.keptOnPlayer > 0)
        text += QStringLiteral(", %1 auf dem Player belassen").arg(counts.keptOnPlayer);
    if (counts.noRoom > 0)
        text += counts.noRoom == 1 ? QStringLiteral(", 1 passte nicht mehr")
                                   : QStringLiteral(", %1 passten nicht mehr").arg(counts.noRoom);
    if (const std::optional<MixResult::NothingCopied> why = result.whyNothingCopied())
        text += QStringLiteral("; nichts kopiert: ") + whyNothing(*why);
    // The list shows the collection folder's own files; the run took those below it too.
    if (result.treeFiles >= 0)
        text += QStringLiteral("; %1 im StammVerzeichnis mit Unterordnern").arg(files(result.treeFiles));
    if (!result.skipped.isEmpty())
        text += QStringLiteral("; übersprungen: ") + namedAndCounted(result.skipped, Named::WithReason);
    if (!result.refusedMovesBack.isEmpty())
        text += QStringLiteral("; nicht ins StammVerzeichnis zurückgelegt: ")
                + namedAndCounted(result.refusedMovesBack, Named::Bare);
    // A fill started meanwhile through another path would not be kept off.
    if (!result.lockNotTaken.ok())
        text += QStringLiteral("; Hinweis: der Player ließ sich nicht gegen eine zweite Füllung sperren (%1)")
                    .arg(filetext::reason(result.lockNotTaken));
    for (const fs::FileResult &note : result.notes)
        text += QStringLiteral("; Hinweis: ") + filetext::reason(note);
    // A dry run's counts are what a real run would do; its summary must not pass for one.
    if (result.dryRun)
        text = QStringLiteral("Probelauf: ") + text;
    switch (result.status) {
    case MixResult::Status::Cancelled:
        return QStringLiteral("Abgebrochen: ") + text;
    case MixResult::Status::Failed:
        return QStringLiteral("Fehler: ") + text;
    default:
        return text;
    }
}

QStringList namedLines(const MixResult &result)
{
    QStringList lines;
    lines.reserve(result.named.size());
    for (const MixStep &step : result.named)
        lines << line(step);
    return lines;
}

QString problem(const MixResult &result)
{
    using Status = MixResult::Status;
    using Step = MixResult::Step;
    const QString shown = fs::printableName(QDir::toNativeSeparators(result.path));
    QString why = filetext::reason(result.cause);
    switch (result.status) {
    case Status::Done:
    case Status::Cancelled:
        return {};
    case Status::SameFolder:
        return QStringLiteral("Bitte wählen Sie ein anderes Verzeichnis!");
    case Status::FolderMissing:
        return QStringLiteral("Das Verzeichnis %1 ist nicht vorhanden.").arg(shown);
    case Status::FolderUnreadable:
        return QStringLiteral("Das Verzeichnis %1 kann nicht gelesen werden: %2").arg(shown, why);
    case Status::PlayerBusy:
        return QStringLiteral("Auf diesem Player läuft bereits eine Füllung.");
    case Status::OnlyInSubfolders:
        return QStringLiteral("Das StammVerzeichnis enthält keine MP3-Dateien; Unterordner werden nicht berücksichtigt "
                              "(Extras → Unterordner einbeziehen).");
    case Status::Failed:
        break;
    }
    switch (result.failedStep) {
    case Step::Read:
        return QStringLiteral("Die Datei %1 konnte nicht gelesen werden: %2").arg(shown, why);
    case Step::Copy:
        return QStringLiteral("Die Datei %1 konnte nicht kopiert werden: %2").arg(shown, why);
    case Step::Delete:
        return QStringLiteral("Die Datei %1 konnte nicht vom Player gelöscht werden: %2").arg(shown, why);
    case Step::MoveBack: {
        const QString text =
            QStringLiteral("Die Datei %1 konnte nicht ins StammVerzeichnis zurückgelegt werden: %2.").arg(shown, why);
        if (result.refusedMovesBack.size() > 1)
            return text
                   + QStringLiteral(" Sie und %1 weitere bleiben auf dem Player.")
                         .arg(result.refusedMovesBack.size() - 1);
        return text + QStringLiteral(" Sie bleibt auf dem Player.");
    }
    case Step::FreeSpace:
        return QStringLiteral("Der freie Platz in %1 konnte nicht ermittelt werden: %2").arg(shown, why);
    case Step::Flush:
        return QStringLiteral("Die Dateien konnten nicht vollständig nach %1 geschrieben werden: %2").arg(shown, why);
    case Step::PlayerGone:
        return QStringLiteral("Der Player ist nicht mehr erreichbar.");
    case Step::FolderFull:
        return QStringLiteral("Das Verzeichnis %1 nimmt keine weiteren Dateien auf, obwohl auf dem Datenträger noch "
                              "Platz frei ist. Das oberste Verzeichnis einer FAT16-Karte fasst nur 512 Einträge, "
                              "lange Namen brauchen mehrere davon. Bitte legen Sie auf dem Player einen Unterordner "
                              "an und wählen Sie ihn als Mp3 Player Verzeichnis.")
            .arg(shown);
    case Step::None:
        break;
    }
    return why;
}

QString sameFolder(const QString &source, const QString &player)
{
    const QString shownSource = fs::printableName(QDir::toNativeSeparators(source));
    const QString shownPlayer = fs::printableName(QDir::toNativeSeparators(player));
    if (shownSource == shownPlayer)
        return QStringLiteral("StammVerzeichnis und Mp3 Player Verzeichnis sind beide %1.").arg(shownSource);
    return QStringLiteral("Das StammVerzeichnis %1 und das Mp3 Player Verzeichnis %2 sind dasselbe Verzeichnis.")
        .arg(shownSource, shownPlayer);
}

QString timeLeft(const MixTransfer &transfer, qint64 elapsedMs)
{
    // A guess from the first moments says little.
    constexpr qint64 guessAfterMs = 3000;
    if (transfer.action != MixAction::Copied || elapsedMs < guessAfterMs || transfer.bytesDone <= 0
        || transfer.bytesPlanned <= transfer.bytesDone)
        return {};
    const double left =
        double(transfer.bytesPlanned - transfer.bytesDone) * double(elapsedMs) / double(transfer.bytesDone) / 1000.0;
    if (left < 60)
        return QStringLiteral("noch etwa %1 s").arg(std::max<long>(5, std::lround(std::ceil(left / 5)) * 5));
    return QStringLiteral("noch etwa %1 min").arg(std::lround(left / 60));
}

QString progress(const MixTransfer &transfer, qint64 elapsedMs)
{
    const QString name = fs::printableName(transfer.name.text());
    if (transfer.action == MixAction::MovedBack)
        return QStringLiteral("Lege %1 zurück ins StammVerzeichnis – %2 von %3")
            .arg(name)
            .arg(transfer.filesDone + 1)
            .arg(transfer.filesPlanned);
    QString text = QStringLiteral("Kopiere %1 – Datei %2 von %3, %4 von %5 MB Daten")
                       .arg(name)
                       .arg(std::min(transfer.filesDone + 1, transfer.filesPlanned))
                       .arg(transfer.filesPlanned)
                       .arg(megabytes(transfer.bytesDone), megabytes(transfer.bytesPlanned));
    if (const QString left = timeLeft(transfer, elapsedMs); !left.isEmpty())
        text += QStringLiteral(", ") + left;
    return text;
}

QString preparing(const MixPreparing &preparing)
{
    if (preparing.stage == MixPreparing::Stage::Comparing)
        return QStringLiteral("Vergleiche Dateien mit dem StammVerzeichnis … %1 verglichen").arg(preparing.done);
    return QStringLiteral("Lese die Verzeichnisse … %1 von %2 Dateien").arg(preparing.done).arg(preparing.total);
}

QString flushing()
{
    return QStringLiteral("Daten werden auf den Player geschrieben …");
}

QString waiting(qsizetype files)
{
    return files == 1 ? QStringLiteral("Warte auf 1 Datei, die gerade ins StammVerzeichnis geschrieben wird …")
                      : QStringLiteral("Warte auf %1 Dateien, die gerade ins StammVerzeichnis geschrieben werden …")
                            .arg(files);
}

} // namespace tonvola::mixtext
