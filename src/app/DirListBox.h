#pragma once

#include "platform/FileOps.h"

#include <QTreeWidget>

// The folder list of a pane: the chain of folders down to the current one, then its
// sub-folders. A double-click or Enter opens a folder; a click only selects it.
class DirListBox : public QTreeWidget
{
    Q_OBJECT

public:
    explicit DirListBox(QWidget *parent = nullptr);

    [[nodiscard]] QString path() const;
    // Shows the folder; raises pathChanged when it differs from the one shown. A folder
    // that cannot be shown leaves the list as it was and says why.
    [[nodiscard]] tonvola::FileResult setPath(const QString &folder);
    // Reads the sub-folders again.
    void refresh();

signals:
    void pathChanged(const QString &path);
    void folderClicked();
    // A folder the user opened could not be shown.
    void openFailed(const QString &folder, const tonvola::FileResult &result);

private:
    void rebuild();
    void open(QTreeWidgetItem *item);

    QString m_path;
};
