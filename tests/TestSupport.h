#pragma once

#include "platform/Copy.h"
#include "platform/FileResult.h"

#include <QByteArray>
#include <QMessageBox>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

class QAbstractItemView;
class frm_Start;

namespace testsupport {

// Folder that holds the MP3s scripts/make-test-mp3s made for the tests.
[[nodiscard]] QString testDataDir();

// Writes a file of the given size (its bytes are not audio); fails the test on error.
[[nodiscard]] bool writeFile(const QString &path, qint64 size, char fill = 'x');

// Whole-file read and write; an unreadable file reads as empty.
[[nodiscard]] QByteArray readBytes(const QString &path);
[[nodiscard]] bool writeBytes(const QString &path, const QByteArray &content);

// A list written as "a|b|c", for compact test tables.
[[nodiscard]] QStringList names(const char *list);

// The entries of a file list as the user reads them.
[[nodiscard]] QStringList entriesOf(const QAbstractItemView *list);

// Clicks (or double-clicks, as the window system delivers one) the entry of that name.
[[nodiscard]] bool clickEntry(QAbstractItemView *list, const QString &name, bool doubleClick = false);

// Chooses the entry of that name with the keyboard as a user would: Home, Down, Space.
[[nodiscard]] bool chooseWithKeys(QAbstractItemView *list, const QString &name);

// Activates the control's window and presses Tab until the control has the focus.
[[nodiscard]] bool tabTo(QWidget *control);

// A fresh temporary working folder for as long as it lives: config.dat is read from there.
class WorkFolder
{
public:
    WorkFolder();
    ~WorkFolder();
    WorkFolder(const WorkFolder &) = delete;
    WorkFolder &operator=(const WorkFolder &) = delete;

    [[nodiscard]] bool valid() const { return m_entered; }
    [[nodiscard]] QString path() const { return m_dir.path(); }
    [[nodiscard]] QString filePath(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    QString m_previous;
    bool m_entered = false;
};

// The main window shown as a user meets it; nullptr when it never came on screen.
[[nodiscard]] std::unique_ptr<frm_Start> showStartWindow();

// True when the tests run as root, which mounting media and chattr need.
[[nodiscard]] bool runningAsRoot();

// A small tmpfs mounted for one test, so that filling a medium never touches the
// machine's own disk. Needs root; valid() is false where mounting is not possible.
class TmpfsMount
{
public:
    // options like "size=4m" or "size=4m,nr_inodes=8"
    explicit TmpfsMount(const QString &options);
    ~TmpfsMount();
    TmpfsMount(const TmpfsMount &) = delete;
    TmpfsMount &operator=(const TmpfsMount &) = delete;

    [[nodiscard]] bool valid() const { return m_mounted; }
    [[nodiscard]] QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
};

// An exFAT medium, as cards and sticks come: an image file on a loop device, mounted through
// FUSE as many desktops do. Needs root, loop devices, FUSE and exfat-fuse with
// exfatprogs; valid() is false where any of them is missing.
class ExfatMount
{
public:
    // Sizes as truncate takes them; a large one is sparse and takes little of the disk.
    explicit ExfatMount(const QString &size = QStringLiteral("48M"));
    ~ExfatMount();
    ExfatMount(const ExfatMount &) = delete;
    ExfatMount &operator=(const ExfatMount &) = delete;

    [[nodiscard]] bool valid() const { return m_mounted; }
    // What this machine lacks for it (loop devices, FUSE, the tools); empty where it has all.
    [[nodiscard]] QString unavailable() const { return m_unavailable; }
    [[nodiscard]] QString path() const { return m_dir.filePath(QStringLiteral("mnt")); }

private:
    QTemporaryDir m_dir;
    QString m_device;
    QString m_unavailable;
    bool m_mounted = false;
};

// A FAT32 or FAT16 stick mounted through the Linux kernel's own vfat driver, as a desktop mounts
// one: tests/tools/fatstick boots a user-mode Linux kernel whose root is this machine's file
// system, so a command run there sees the same files, and only the stick is a vfat medium. The
// stick is an image file that lives as long as the fixture, between runs. Times inside are not
// real. Needs root (the tool installs its packages) and a machine that runs the kernel.
class FatStick
{
public:
    explicit FatStick(const QString &size = QStringLiteral("64M"), int fat = 32);

    [[nodiscard]] bool valid() const { return m_valid; }
    [[nodiscard]] QString unavailable() const { return m_unavailable; }
    [[nodiscard]] QString mountPoint() const { return m_dir.filePath(QStringLiteral("stick")); }
    [[nodiscard]] QString image() const { return m_dir.filePath(QStringLiteral("stick.img")); }

    struct Run {
        int exitCode = -1;
        QString output;
    };
    // Runs a shell command with the stick mounted; with cutAfterSeconds the power is cut then,
    // as when a stick is pulled (exit code 124).
    [[nodiscard]] Run run(const QString &command, double cutAfterSeconds = 0);

private:
    QTemporaryDir m_dir;
    QString m_size;
    int m_fat;
    bool m_valid = false;
    QString m_unavailable;
};

// A D-Bus bus of the test program's own, standing in for the desktop's session or system bus:
// the program's connections find it through the environment. Made once per test program,
// before anything uses that bus, since a process keeps its first connection to it.
class PrivateBus
{
public:
    enum class Kind { Session, System };
    explicit PrivateBus(Kind kind);
    ~PrivateBus();
    PrivateBus(const PrivateBus &) = delete;
    PrivateBus &operator=(const PrivateBus &) = delete;

    [[nodiscard]] bool valid() const { return !m_address.isEmpty(); }
    [[nodiscard]] QString unavailable() const { return m_unavailable; }
    [[nodiscard]] QString address() const { return m_address; }

private:
    QProcess m_daemon;
    QString m_address;
    QString m_unavailable;
};

// Why a fixture cannot be had on this machine at all; empty for fixtures that only need root.
template<typename Fixture> [[nodiscard]] QString unavailable(const Fixture &fixture)
{
    if constexpr (requires { fixture.unavailable(); })
        return fixture.unavailable();
    return {};
}

// The platform layer the program was built with (TONVOLA_PLATFORM): the POSIX one, or the
// portable one, which asks only Qt and so does without what only POSIX offers.
[[nodiscard]] constexpr bool portablePlatform()
{
    return TONVOLA_PORTABLE_PLATFORM != 0;
}

// What the portable platform cannot do, for the cases it skips.
namespace portable {
inline constexpr char byteNames[] =
    "reaches files through Qt's names, which cannot stand for bytes that are no valid text";
inline constexpr char fileEntries[] =
    "learns from Qt only that no file could be made, not that the medium has no file entries left";
inline constexpr char mediumSerial[] = "learns from Qt a medium's label, not its serial number";
} // namespace portable

// The platform's file operations for files given by their paths, as tests name them.
[[nodiscard]] tonvola::fs::FileResult copyFile(const tonvola::fs::Folder &from, const tonvola::fs::FileName &name,
                                               const tonvola::fs::Folder &to,
                                               const tonvola::fs::CopyOptions &options = {});
[[nodiscard]] tonvola::fs::FileResult copyInto(const QString &source, const QString &folder,
                                               const tonvola::fs::CopyOptions &options = {});
[[nodiscard]] tonvola::fs::FileResult removeFile(const QString &path);
// True when both files hold the same bytes; false also when either cannot be read.
[[nodiscard]] bool haveSameContent(const QString &a, const QString &b);

// Writes a file whose name is given by its bytes, such as a Latin-1 name from an old copy.
[[nodiscard]] bool writeNative(const QString &folder, const QByteArray &name, const QByteArray &content);

// The files of a folder, hidden ones too, by their names' bytes and in their order: Qt's own
// listing passes over names that are not valid text.
[[nodiscard]] QList<QByteArray> fileNamesIn(const QString &folder);

// Deletes the files of a folder by their names' bytes, which QTemporaryDir cannot do for
// names that are not valid text.
void removeFiles(const QString &folder);

// Makes a file impossible to delete, even for root (chattr +i), for as long as it lives.
class ImmutableFile
{
public:
    explicit ImmutableFile(QString path);
    ~ImmutableFile();
    ImmutableFile(const ImmutableFile &) = delete;
    ImmutableFile &operator=(const ImmutableFile &) = delete;

    [[nodiscard]] bool valid() const { return m_set; }

private:
    QString m_path;
    bool m_set = false;
};

// Answers every modal message box that comes up while it lives with the given button (NoButton:
// a bare Enter; a box without that button is closed) and records what each box showed.
// Create it before the action that opens the box.
class MessageBoxAnswerer
{
public:
    struct Box {
        QString text;
        QStringList buttons; // sorted
        QString defaultButton;
    };

    // whileShown runs as each box is seen, before it is answered.
    explicit MessageBoxAnswerer(QMessageBox::StandardButton answer, std::function<void()> whileShown = {});
    ~MessageBoxAnswerer();

    [[nodiscard]] QList<Box> boxes() const { return *m_boxes; }
    [[nodiscard]] QStringList texts() const;
    [[nodiscard]] int count() const { return static_cast<int>(m_boxes->size()); }

private:
    std::shared_ptr<QList<Box>> m_boxes = std::make_shared<QList<Box>>();
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

} // namespace testsupport

// For a case that checks what only the POSIX platform can do: the portable build skips it and
// says why.
#define SKIP_ON_PORTABLE_PLATFORM(why)                                                                                 \
    do {                                                                                                               \
        if (testsupport::portablePlatform())                                                                           \
            QSKIP(qPrintable(QStringLiteral("the portable platform ") + QString::fromUtf8(why)));                      \
    } while (false)

// For fixtures that need root (TmpfsMount, ImmutableFile and the like): a normal user skips the
// test with the reason, root fails it, since there the fixture should have worked. A machine
// without what a fixture needs (ExfatMount without loop devices or FUSE) skips it, saying so.
#define REQUIRE_FIXTURE(fixture)                                                                                       \
    do {                                                                                                               \
        if (!(fixture).valid()) {                                                                                      \
            if (const QString why = testsupport::unavailable(fixture); !why.isEmpty())                                 \
                QSKIP(qPrintable(QString::fromUtf8(#fixture " cannot be set up here: ") + why));                       \
            if (!testsupport::runningAsRoot())                                                                         \
                QSKIP("needs root to set up " #fixture " (mount, chattr, loop device); run the tests as root");        \
            QFAIL("could not set up " #fixture " although running as root");                                           \
        }                                                                                                              \
    } while (false)
