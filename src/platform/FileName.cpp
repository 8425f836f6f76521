#include "platform/FileName.h"

#include "platform/Path.h"

#include <QFile>

namespace tonvola::fs {

namespace {

bool isAscii(const QByteArray &bytes)
{
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

// Characters a terminal acts upon or that break a line: C0 and C1 controls, DEL and the
// Unicode line and paragraph separators.
bool isControl(QChar c)
{
    const QChar::Category category = c.category();
    return category == QChar::Other_Control || category == QChar::Separator_Line
           || category == QChar::Separator_Paragraph;
}

// What goes inside $'...': a control character or a byte of a path that is no text.
bool isEscaped(QStringView text, qsizetype i)
{
    return isControl(text[i]) || byteWithoutText(text, i) >= 0;
}

void appendOctal(QString &out, unsigned char value)
{
    out += QLatin1Char('\\');
    for (const int shift : {6, 3, 0})
        out += QLatin1Char(static_cast<char>('0' + ((value >> shift) & 7)));
}

// One escaped character inside $'...': a C escape where the shell has one, else the octal value
// of each of its bytes.
void appendEscaped(QString &out, QStringView text, qsizetype i)
{
    static constexpr char letters[] = "abtnvfr"; // \a (7) to \r (13)
    if (const int byte = byteWithoutText(text, i); byte >= 0) {
        appendOctal(out, static_cast<unsigned char>(byte));
        return;
    }
    const char16_t code = text[i].unicode();
    if (code >= 7 && code <= 13) {
        out += QLatin1Char('\\');
        out += QLatin1Char(letters[code - 7]);
        return;
    }
    for (const char byte : QString(text[i]).toUtf8())
        appendOctal(out, static_cast<unsigned char>(byte));
}

} // namespace

QString printableName(const QString &name)
{
    bool plain = true;
    for (qsizetype i = 0; i < name.size() && plain; ++i)
        plain = !isEscaped(name, i);
    if (plain)
        return name;
    // Plain runs go inside '...', the rest inside $'...'; a quote closes, escapes and reopens.
    QString out = QStringLiteral("'");
    bool inEscapes = false;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name[i];
        if (isEscaped(name, i)) {
            if (!inEscapes)
                out += QLatin1String("'$'");
            inEscapes = true;
            appendEscaped(out, name, i);
            continue;
        }
        if (c == QLatin1Char('\'')) {
            out += QLatin1String("'\\''");
        } else {
            if (inEscapes)
                out += QLatin1String("''");
            out += c;
        }
        inEscapes = false;
    }
    out += QLatin1Char('\'');
    return out;
}

FileName FileName::fromNative(QByteArray native)
{
    FileName name;
    // Most names are plain ASCII, which always decodes to itself.
    name.m_exactText = isAscii(native) || QFile::encodeName(QFile::decodeName(native)) == native;
    name.m_native = std::move(native);
    return name;
}

FileName FileName::fromText(const QString &text)
{
    FileName name;
    name.m_native = QFile::encodeName(text);
    return name;
}

QString FileName::text() const
{
    return QFile::decodeName(m_native);
}

QString FilePath::text() const
{
    return fs::joinPath(folder, name.text());
}

QByteArray FilePath::native() const
{
    QByteArray path = fs::nativePath(folder);
    if (!path.endsWith('/'))
        path += '/';
    return path + name.native();
}

} // namespace tonvola::fs
