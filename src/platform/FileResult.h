#pragma once

#include <QObject>
#include <QString>

namespace tonvola::fs {

// Result of one file operation: what happened and, on failure, why. The reason is a code that
// the text room words in the user's language; where the system gave no reason the program
// knows, it comes in the system's own words. A success may still say what the system could not
// make sure of (a portable flush that cannot reach the medium), for the user to read.
struct FileResult {
    Q_GADGET

public:
    enum class Status {
        Ok,
        NotFound,
        AlreadyExists,
        NoSpace,
        ReadOnly,
        PermissionDenied,
        // The medium cannot hold a file of this name (FAT's reserved characters, an encoding it lacks).
        NameRefused,
        // Something other than a file holds the name: a folder, a pipe, a device.
        NotAFile,
        // Another entry holds the name on this medium: another spelling of it in letter case,
        // or the short name FAT made for a long one.
        NameTaken,
        // The folder takes no more entries, though the medium has room (the root of a FAT16 card).
        FolderFull,
        // The medium holds no file of this size (4 GiB and more on FAT32).
        TooLarge,
        // Another program wrote to the file moments ago, or while it was read.
        InUse,
        SourceChanged,
        Cancelled,
        Failed
    };

    // Why, in more detail than the status: several reasons share a status, and the user is told
    // the one that holds.
    enum class Reason {
        None,
        // The system's own words, in `words`: a reason the program has no sentence of its own for.
        System,

        // What the system says of a call that failed.
        NoSuchEntry,
        PathPartNotAFolder,
        MediumNotReady,
        IsAFolder,
        NameExists,
        MediumFull,
        QuotaUsedUp,
        FileTooLarge,
        MediumReadOnly,
        AccessDenied,
        NotPermitted,
        FileBusy,
        NameTooLong,
        InputOutput,

        // What the program found out for itself.
        NoFolderGiven,
        FolderMissing,
        NotAFolder,
        NotARegularFile,
        OtherMediumMounted,
        MediumNotMounted,
        MediumNotAnswering,
        FileWriteProtected,
        ChangedMeanwhile,
        ChangedWhileCopying,
        WrittenByOther,
        NoFileThatLarge,
        NameNotAllowed,
        FolderTakesNoMore,
        WriteFailed,
        LockFileRefused,
        // The collection folder a fill took its files from is out of reach since.
        CollectionGone,
        Cancelled,

        // What a success could not make sure of.
        TimesNotKept,
        FlushUnconfirmed,
    };
    Q_ENUM(Status)
    Q_ENUM(Reason)

    Status status = Status::Ok;
    Reason reason = Reason::None;
    // The system's words, for Reason::System.
    QString words;

    [[nodiscard]] bool ok() const { return status == Status::Ok; }
    // A reason to tell: a failure's, or what a success could not make sure of.
    [[nodiscard]] bool tells() const { return reason != Reason::None; }
    [[nodiscard]] static FileResult success() { return {}; }
    [[nodiscard]] static FileResult failure(Status status, Reason reason) { return {status, reason, {}}; }
    // A failure the system explains in words of its own (a Qt class's errorString()).
    [[nodiscard]] static FileResult described(Status status, QString words)
    {
        return {status, Reason::System, std::move(words)};
    }
    // The result for a failed system call.
    [[nodiscard]] static FileResult fromErrno(int error);
    [[nodiscard]] static FileResult cancelled() { return failure(Status::Cancelled, Reason::Cancelled); }

    friend bool operator==(const FileResult &, const FileResult &) = default;
};

// The result by the names of its status and reason, and the system's words: for logs and tests,
// not for the user.
[[nodiscard]] QString describe(const FileResult &result);

} // namespace tonvola::fs
