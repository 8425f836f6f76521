#include "platform/Listing.h"

#include "platform/Path.h"

#include <QCollator>

#include <algorithm>
#include <vector>

namespace tonvola::fs {

namespace {

// Folds code point by code point, as a case-insensitive comparison does: names that such a
// comparison holds equal get the same collation key, and so stand side by side.
QString caseFolded(const QString &name)
{
    QString folded(name.size(), Qt::Uninitialized);
    QChar *out = folded.data();
    const qsizetype n = name.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = name.at(i);
        if (c.isHighSurrogate() && i + 1 < n && name.at(i + 1).isLowSurrogate()) {
            const char32_t code = QChar::toCaseFolded(QChar::surrogateToUcs4(c, name.at(i + 1)));
            out[i] = QChar(QChar::highSurrogate(code));
            out[i + 1] = QChar(QChar::lowSurrogate(code));
            ++i;
        } else if (c.unicode() < 0x80) {
            out[i] = (c >= u'A' && c <= u'Z') ? QChar(c.unicode() + (u'a' - u'A')) : c;
        } else {
            out[i] = c.toCaseFolded();
        }
    }
    return folded;
}

bool isAscii(const QString &text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
}

// The German collation, one per thread: a collator must not be shared between threads, and
// both the window's and the fill's thread list folders.
const QCollator &listCollator()
{
    thread_local const QCollator collator = [] {
        QCollator german(QLocale(QLocale::German, QLocale::Germany));
        german.setCaseSensitivity(Qt::CaseInsensitive);
        german.setNumericMode(false);
        german.setIgnorePunctuation(false);
        return german;
    }();
    return collator;
}

// Between names the collation holds equal: first as a case-insensitive comparison has them,
// which keeps spellings of one name together, then by text and bytes, so that nothing is left
// to chance.
bool tieBefore(const FileName &a, const FileName &b)
{
    if (const int c = a.text().compare(b.text(), Qt::CaseInsensitive); c != 0)
        return c < 0;
    if (const int c = a.text().compare(b.text()); c != 0)
        return c < 0;
    return a.native() < b.native();
}

QCollatorSortKey collatedKey(const QString &text)
{
    return listCollator().sortKey(isAscii(text) ? text : caseFolded(text));
}

} // namespace

bool isMp3(QStringView name)
{
    return name.endsWith(u".mp3", Qt::CaseInsensitive);
}

ListKey::ListKey(FileName name) : m_collated(collatedKey(name.text())), m_name(std::move(name))
{}

bool operator<(const ListKey &a, const ListKey &b)
{
    if (const int c = a.m_collated.compare(b.m_collated); c != 0)
        return c < 0;
    return tieBefore(a.m_name, b.m_name);
}

std::vector<ListKey> inListOrder(FileNames names)
{
    std::vector<ListKey> keys;
    keys.reserve(static_cast<std::size_t>(names.size()));
    for (FileName &name : names)
        keys.emplace_back(std::move(name));
    std::sort(keys.begin(), keys.end());
    return keys;
}

FileNames namesOf(const std::vector<ListKey> &keys)
{
    FileNames names;
    names.reserve(static_cast<qsizetype>(keys.size()));
    for (const ListKey &key : keys)
        names.append(key.name());
    return names;
}

void sortInListOrder(QStringList &texts)
{
    FileNames names;
    names.reserve(texts.size());
    // By their bytes, so that a folder's name that is no text comes back as it went in.
    for (const QString &text : std::as_const(texts))
        names.append(FileName::fromNative(nativePath(text)));
    texts.clear();
    for (const ListKey &key : inListOrder(std::move(names)))
        texts.append(pathFromNative(key.name().native()));
}

} // namespace tonvola::fs
