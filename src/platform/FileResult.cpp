#include "platform/FileResult.h"

#include <cerrno>
#include <cstring>

namespace tonvola {

namespace {

// The system's reason in the program's language; the system's own words where we have none.
QString reasonFor(int error)
{
    switch (error) {
    case ENOENT:
        return QStringLiteral("Die Datei oder das Verzeichnis ist nicht vorhanden");
    case ENOTDIR:
        return QStringLiteral("Ein Teil des Pfades ist kein Verzeichnis");
    case EISDIR:
        return QStringLiteral("Das ist ein Verzeichnis, keine Datei");
    case EEXIST:
        return QStringLiteral("Eine Datei dieses Namens ist bereits vorhanden");
    case ENOSPC:
        return QStringLiteral("Auf dem Datenträger ist kein Platz mehr frei");
#ifdef EDQUOT
    case EDQUOT:
        return QStringLiteral("Das Speicherkontingent ist erschöpft");
#endif
    case EFBIG:
        return QStringLiteral("Die Datei ist zu groß für diesen Datenträger");
    case EROFS:
        return QStringLiteral("Der Datenträger ist schreibgeschützt");
    case EACCES:
        return QStringLiteral("Zugriff verweigert");
    case EPERM:
        return QStringLiteral("Der Vorgang ist nicht zulässig (die Datei ist geschützt)");
    case EBUSY:
    case ETXTBSY:
        return QStringLiteral("Die Datei wird gerade benutzt");
    case ENAMETOOLONG:
        return QStringLiteral("Der Name ist zu lang");
    case EIO:
        return QStringLiteral("Ein-/Ausgabefehler auf dem Datenträger");
    case ENODEV:
    case ENXIO:
#ifdef ENOMEDIUM
    case ENOMEDIUM:
#endif
#ifdef ESTALE
    case ESTALE:
#endif
        return QStringLiteral("Der Datenträger ist nicht bereit");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

} // namespace

FileResult FileResult::fromErrno(int error)
{
    Status status = Status::Failed;
    switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENODEV:
    case ENXIO:
#ifdef ENOMEDIUM
    case ENOMEDIUM:
#endif
#ifdef ESTALE
    case ESTALE:
#endif
        status = Status::NotFound;
        break;
    case EEXIST:
        status = Status::AlreadyExists;
        break;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
    case EFBIG:
        status = Status::NoSpace;
        break;
    case EROFS:
        status = Status::ReadOnly;
        break;
    case EACCES:
    case EPERM:
        status = Status::PermissionDenied;
        break;
    default:
        break;
    }
    return failure(status, reasonFor(error));
}

FileResult FileResult::cancelled()
{
    return failure(Status::Cancelled, QStringLiteral("Abgebrochen"));
}

} // namespace tonvola
