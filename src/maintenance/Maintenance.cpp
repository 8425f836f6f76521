#include "maintenance/Maintenance.h"

#include "platform/Folder.h"
#include "platform/Listing.h"

namespace tonvola::maintenance {

bool exists(const fs::FilePath &path)
{
    return fs::Folder(path.folder).look(path.name).kind != fs::Entry::Kind::Missing;
}

DeletionOutcome deleteMp3s(const QList<fs::FilePath> &paths)
{
    DeletionOutcome outcome;
    fs::Folder folder;
    for (const fs::FilePath &path : paths) {
        if (!fs::isMp3(path.name.text()))
            continue;
        // Clearing a folder opens it once, not once per file.
        if (folder.path() != path.folder)
            folder = fs::Folder(path.folder);
        const fs::FileResult result = folder.remove(path.name);
        if (!result.ok()) {
            outcome.stoppedAt = path.text();
            outcome.failure = result;
            break;
        }
        ++outcome.deleted;
    }
    return outcome;
}

} // namespace tonvola::maintenance
