#pragma once

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <optional>

namespace tonvola {

// Result of one file operation: what happened and, on failure, the system's own words.
struct FileResult {
    enum class Status { Ok, NotFound, AlreadyExists, NoSpace, ReadOnly, PermissionDenied, Cancelled, Failed };

    Status status = Status::Ok;
    QString reason;

    [[nodiscard]] bool ok() const { return status == Status::Ok; }
    [[nodiscard]] static FileResult success() { return {}; }
    [[nodiscard]] static FileResult failure(Status status, QString reason) { return {status, std::move(reason)}; }
};

enum class Overwrite { No, Yes };

struct CopyOptions {
    Overwrite overwrite = Overwrite::No;
    // Checked between chunks, so that even a large file gives way within moments.
    const std::atomic_bool *cancel = nullptr;
    std::function<void(qint64 copied, qint64 total)> progress;
    // Forces the data onto the medium before the name appears. Costly per file on slow
    // sticks; a run of many copies flushes the volume once at its end instead.
    bool durable = false;
};

namespace fs {

// The program's one test for an MP3: the name ends in ".mp3", in any letter case.
[[nodiscard]] bool isMp3(QStringView name);

// Folder and name joined with exactly one separator, also at a volume's root.
[[nodiscard]] QString joinPath(const QString &folder, const QString &name);

// The MP3 files of a folder (names only, no sub-folders, no hidden files), in a stable
// case-insensitive alphabetical order. Empty when the folder cannot be read.
[[nodiscard]] QStringList mp3Files(const QString &folder);

// The order mp3Files() uses; lists kept by callers stay in the same order with it.
[[nodiscard]] bool listsBefore(const QString &a, const QString &b);

// Bytes available to the user on the volume holding the folder, read afresh at every call.
[[nodiscard]] std::optional<qint64> availableBytes(const QString &folder);

// Copies a file into a folder under its own name. The data goes to a temporary file in the
// target folder first and is renamed into place only when complete, so a failure or a
// cancel never leaves a partial file. An existing file of that name is replaced only with
// Overwrite::Yes.
[[nodiscard]] FileResult copyInto(const QString &source, const QString &folder, const CopyOptions &options = {});

[[nodiscard]] FileResult remove(const QString &path);

// Writes everything still cached for the volume holding the folder onto the medium, so
// that it may be pulled out once this returns.
[[nodiscard]] FileResult flushVolume(const QString &folder);

// Size of a file in bytes; nothing when it is not there or cannot be looked at.
[[nodiscard]] std::optional<qint64> fileSize(const QString &path);

// True when the file system holding the folder treats names that differ only in letter case
// as the same name (FAT and exFAT sticks, network shares, case-folding folders).
[[nodiscard]] bool namesIgnoreCase(const QString &folder);

// True when both name the same directory on disk, however they are spelt.
[[nodiscard]] bool isSameDirectory(const QString &a, const QString &b);

// True when both files exist and hold the same bytes.
[[nodiscard]] bool haveSameContent(const QString &a, const QString &b);

[[nodiscard]] bool isDirectory(const QString &path);

// Ok when the folder exists and its entries can be read; otherwise says why.
[[nodiscard]] FileResult checkFolder(const QString &folder);

} // namespace fs
} // namespace tonvola
