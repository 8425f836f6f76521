#include "platform/FileResult.h"

#include <QMetaEnum>

#include <cerrno>
#include <cstring>

namespace tonvola::fs {

FileResult FileResult::fromErrno(int error)
{
    switch (error) {
    case ENOENT:
        return failure(Status::NotFound, Reason::NoSuchEntry);
    case ENOTDIR:
        return failure(Status::NotFound, Reason::PathPartNotAFolder);
    case ENODEV:
    case ENXIO:
#ifdef ENOMEDIUM
    case ENOMEDIUM:
#endif
#ifdef ESTALE
    case ESTALE:
#endif
        return failure(Status::NotFound, Reason::MediumNotReady);
    case EISDIR:
        return failure(Status::Failed, Reason::IsAFolder);
    case EEXIST:
        return failure(Status::AlreadyExists, Reason::NameExists);
    case ENOSPC:
        return failure(Status::NoSpace, Reason::MediumFull);
#ifdef EDQUOT
    case EDQUOT:
        return failure(Status::NoSpace, Reason::QuotaUsedUp);
#endif
    case EFBIG:
        return failure(Status::TooLarge, Reason::FileTooLarge);
    case EROFS:
        return failure(Status::ReadOnly, Reason::MediumReadOnly);
    case EACCES:
        return failure(Status::PermissionDenied, Reason::AccessDenied);
    case EPERM:
        return failure(Status::PermissionDenied, Reason::NotPermitted);
    case EBUSY:
    case ETXTBSY:
        return failure(Status::Failed, Reason::FileBusy);
    case ENAMETOOLONG:
        return failure(Status::Failed, Reason::NameTooLong);
    case EIO:
        return failure(Status::Failed, Reason::InputOutput);
    default:
        return described(Status::Failed, QString::fromLocal8Bit(std::strerror(error)));
    }
}

QString describe(const FileResult &result)
{
    QString text = QString::fromLatin1(QMetaEnum::fromType<FileResult::Status>().valueToKey(int(result.status)));
    if (result.tells())
        text += u' ' + QString::fromLatin1(QMetaEnum::fromType<FileResult::Reason>().valueToKey(int(result.reason)));
    if (!result.words.isEmpty())
        text += QStringLiteral(": ") + result.words;
    return text;
}

} // namespace tonvola::fs
