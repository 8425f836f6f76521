#pragma once

#include <QString>

namespace tonvola::fs {

// Result of one file operation: what happened and, on failure, the system's own words. A success
// may still say what the system could not make sure of (a portable flush that cannot reach the
// medium), for the user to read.
struct FileResult {
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

    Status status = Status::Ok;
    QString reason;

    [[nodiscard]] bool ok() const { return status == Status::Ok; }
    [[nodiscard]] static FileResult success() { return {}; }
    [[nodiscard]] static FileResult failure(Status status, QString reason) { return {status, std::move(reason)}; }
    // The result for a failed system call, with its reason in the program's language.
    [[nodiscard]] static FileResult fromErrno(int error);
    [[nodiscard]] static FileResult cancelled();
};

} // namespace tonvola::fs
