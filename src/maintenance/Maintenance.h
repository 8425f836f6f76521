#pragma once

#include "platform/FileName.h"
#include "platform/FileResult.h"

#include <QString>
#include <QStringList>

// Clearing the player folder and deleting single files. What the user is asked and told about
// them is MaintenanceText's.
namespace tonvola::maintenance {

// What a deletion command did: how many files went, and the file it stopped at.
struct DeletionOutcome {
    qsizetype deleted = 0;
    QString stoppedAt;
    fs::FileResult failure;

    [[nodiscard]] bool ok() const { return failure.ok(); }
};

[[nodiscard]] bool exists(const fs::FilePath &path);

// Deletes the MP3 files among the paths, in their order; other names are left alone. Stops at
// the first file that cannot be deleted, a file the user protected included, so that the user
// hears of it at once; what was deleted before stays deleted.
[[nodiscard]] DeletionOutcome deleteMp3s(const QList<fs::FilePath> &paths);

} // namespace tonvola::maintenance
