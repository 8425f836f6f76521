#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

// Tells a list when the folder it shows changed on disk, or a medium came or went under it.
// A burst of changes (a copy of many files) is told once, after it settles.
class FolderWatch : public QObject
{
    Q_OBJECT

public:
    explicit FolderWatch(int settleMs, QObject *parent = nullptr);

    // Watches this folder instead of the last one; again after the watch was lost.
    void watch(const QString &folder);
    // Forgets changes not yet told: whoever calls it has read the folder since.
    void discardPending();

signals:
    void changed();

private:
    void settleThenTell();

    QFileSystemWatcher m_watcher;
    QTimer m_settle;
};
