#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace testsupport {

// Folder that holds the MP3s scripts/make-test-mp3s made for the tests.
[[nodiscard]] QString testDataDir();

// Writes a file of the given size (its bytes are not audio); fails the test on error.
[[nodiscard]] bool writeFile(const QString &path, qint64 size, char fill = 'x');

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

// Answers the next modal message box with the given button as soon as it appears and
// records its text. Call before the action that opens the box.
class MessageBoxAnswerer
{
public:
    explicit MessageBoxAnswerer(QMessageBox::StandardButton answer);
    ~MessageBoxAnswerer();

    [[nodiscard]] QStringList texts() const { return *m_texts; }
    [[nodiscard]] int count() const { return static_cast<int>(m_texts->size()); }

private:
    std::shared_ptr<QStringList> m_texts = std::make_shared<QStringList>();
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

} // namespace testsupport
