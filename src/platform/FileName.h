#pragma once

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QString>

namespace tonvola::fs {

// A file's name as the system holds it, with the text to show for it. Names are compared,
// opened and deleted by their bytes; a name that is not valid in the system's encoding
// (Latin-1 from an old copy) shows replacement characters but still names its file. Only the
// bytes are kept, and the text is made when asked for: a fill holds tens of thousands of names
// several times over, and shows only a few of them.
class FileName
{
public:
    FileName() = default;
    // A name as a folder listing gave it.
    [[nodiscard]] static FileName fromNative(QByteArray native);
    // A name given as text, such as one typed by the user.
    [[nodiscard]] static FileName fromText(const QString &text);

    [[nodiscard]] const QByteArray &native() const { return m_native; }
    [[nodiscard]] QString text() const;
    [[nodiscard]] bool isEmpty() const { return m_native.isEmpty(); }
    // True when the text stands for exactly these bytes, so that comparing texts compares names.
    [[nodiscard]] bool isExactText() const { return m_exactText; }

    friend bool operator==(const FileName &a, const FileName &b) { return a.m_native == b.m_native; }

private:
    QByteArray m_native;
    bool m_exactText = true;
};

using FileNames = QList<FileName>;

// A name or path as it can be printed on one line and read back: unchanged unless it holds a
// control character (a line break, an escape sequence that would drive a terminal) or a byte
// that is no text (fs::pathFromNative), and then quoted as coreutils' ls quotes it in its
// shell-escape style, 'Lied'$'\n''kopiert: x.mp3' or 'Musik-'$'\344'.
[[nodiscard]] QString printableName(const QString &name);

// A file named by the folder it was listed in and its name.
struct FilePath {
    QString folder;
    FileName name;

    [[nodiscard]] bool isEmpty() const { return name.isEmpty(); }
    // The full path to show.
    [[nodiscard]] QString text() const;
    // The full path in the system's bytes.
    [[nodiscard]] QByteArray native() const;
    friend bool operator==(const FilePath &, const FilePath &) = default;
};

} // namespace tonvola::fs

Q_DECLARE_METATYPE(tonvola::fs::FileName)
Q_DECLARE_METATYPE(tonvola::fs::FileNames)
