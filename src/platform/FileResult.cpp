#include "platform/FileResult.h"

#include <cerrno>
#include <cstring>

namespace tonvola::fs {

FileResult FileResult::fromErrno(int error)
{
    // The system's reason in the program's language; the system's own words where we have none.
    const auto as = [](Status what, const char16_t *why) { return failure(what, QString::fromUtf16(why)); };
    switch (error) {
    case ENOENT:
        return as(Status::NotFound, u"Die Datei oder das Verzeichnis ist nicht vorhanden");
    case ENOTDIR:
        return as(Status::NotFound, u"Ein Teil des Pfades ist kein Verzeichnis");
    case ENODEV:
    case ENXIO:
#ifdef ENOMEDIUM
    case ENOMEDIUM:
#endif
#ifdef ESTALE
    case ESTALE:
#endif
        return as(Status::NotFound, u"Der Datenträger ist nicht bereit");
    case EISDIR:
        return as(Status::Failed, u"Das ist ein Verzeichnis, keine Datei");
    case EEXIST:
        return as(Status::AlreadyExists, u"Eine Datei dieses Namens ist bereits vorhanden");
    case ENOSPC:
        return as(Status::NoSpace, u"Auf dem Datenträger ist kein Platz mehr frei");
#ifdef EDQUOT
    case EDQUOT:
        return as(Status::NoSpace, u"Das Speicherkontingent ist erschöpft");
#endif
    case EFBIG:
        return as(Status::TooLarge, u"Die Datei ist zu groß für diesen Datenträger");
    case EROFS:
        return as(Status::ReadOnly, u"Der Datenträger ist schreibgeschützt");
    case EACCES:
        return as(Status::PermissionDenied, u"Zugriff verweigert");
    case EPERM:
        return as(Status::PermissionDenied, u"Der Vorgang ist nicht zulässig (die Datei ist geschützt)");
    case EBUSY:
    case ETXTBSY:
        return as(Status::Failed, u"Die Datei wird gerade benutzt");
    case ENAMETOOLONG:
        return as(Status::Failed, u"Der Name ist zu lang");
    case EIO:
        return as(Status::Failed, u"Ein-/Ausgabefehler auf dem Datenträger");
    default:
        return failure(Status::Failed, QString::fromLocal8Bit(std::strerror(error)));
    }
}

FileResult FileResult::cancelled()
{
    return failure(Status::Cancelled, QStringLiteral("Abgebrochen"));
}

} // namespace tonvola::fs
