#include "platform/NameRules.h"

#include "platform/Folder.h"
#include "platform/Native_p.h"

#include <algorithm>

namespace tonvola::fs {

namespace {

QByteArray otherAsciiCase(const QByteArray &name)
{
    QByteArray other = name;
    for (char &c : other) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return other;
}

// The name with its letters beyond ASCII in the other case and the rest as it is; empty when
// it has none that has another case.
QByteArray otherCaseBeyondAscii(const FileName &name)
{
    if (!name.isExactText())
        return {};
    QString other = name.text();
    bool changed = false;
    for (QChar &c : other) {
        if (c.unicode() < 0x80 || c.isSurrogate())
            continue;
        const QChar swapped = c.isLower() ? c.toUpper() : c.toLower();
        changed = changed || swapped != c;
        c = swapped;
    }
    return changed ? FileName::fromText(other).native() : QByteArray();
}

} // namespace

LetterCase letterCase(const Folder &folder, const FileNames &listed, CaseProbe probe)
{
    if (!folder.isOpen())
        return LetterCase::Exact;
    const auto listedAs = [&listed](const QByteArray &native) {
        return std::any_of(listed.cbegin(), listed.cend(), [&](const FileName &n) { return n.native() == native; });
    };
    // A few names are enough; one whose other spelling is listed too says nothing.
    std::optional<bool> ascii;
    std::optional<bool> beyondAscii;
    const qsizetype tries = std::min<qsizetype>(listed.size(), 8);
    for (qsizetype i = 0; i < tries && !ascii; ++i) {
        const QByteArray &name = listed[i].native();
        if (const QByteArray other = otherAsciiCase(name); other != name && !listedAs(other))
            ascii = native::findsOtherSpelling(folder, name, other);
    }
    for (qsizetype i = 0; i < listed.size() && !beyondAscii && i < 64; ++i) {
        if (const QByteArray other = otherCaseBeyondAscii(listed[i]); !other.isEmpty() && !listedAs(other))
            beyondAscii = native::findsOtherSpelling(folder, listed[i].native(), other);
    }
    if (ascii == false)
        return LetterCase::Exact;
    if (ascii && beyondAscii)
        return *beyondAscii ? LetterCase::Ignored : LetterCase::IgnoredAscii;
    if (probe == CaseProbe::ListedNamesOnly)
        return ascii ? LetterCase::Ignored : LetterCase::Exact;
    // A short-lived file of a name with letters on both sides of ASCII answers both questions.
    LetterCase rule = LetterCase::Exact;
    const bool probed = native::withProbeFile(folder, [&](QByteArray &name) {
        const QByteArray original = name;
        const QByteArray accented = original + "-\xc3\xa4";
        if (native::renameWithin(folder, original, accented)) {
            name = accented;
            if (native::findsOtherSpelling(folder, accented, otherAsciiCase(accented)).value_or(false))
                rule = native::findsOtherSpelling(folder, accented, original + "-\xc3\x84").value_or(false)
                           ? LetterCase::Ignored
                           : LetterCase::IgnoredAscii;
        } else if (native::findsOtherSpelling(folder, original, otherAsciiCase(original)).value_or(false)) {
            // A medium that refuses the letter holds names in a narrower alphabet than Unicode.
            rule = LetterCase::IgnoredAscii;
        }
    });
    if (!probed)
        return ascii ? LetterCase::Ignored : LetterCase::Exact;
    return rule;
}

bool namesIgnoreCase(const Folder &folder, const FileNames &listed, CaseProbe probe)
{
    return letterCase(folder, listed, probe) != LetterCase::Exact;
}

namespace {

// True when the name is also a FAT short name (8.3): FAT keeps such a name in one entry of
// upper-case letters in its code page, so two of them that differ in any letter's case, not
// only in ASCII, cannot stand side by side.
bool isShortName(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const qsizetype base = dot < 0 ? name.size() : dot;
    const qsizetype extension = dot < 0 ? 0 : name.size() - dot - 1;
    if (base < 1 || base > 8 || extension > 3)
        return false;
    constexpr QByteArrayView marks("!#$%&'()-@^_`{}~");
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name.at(i).unicode();
        const bool fits = i == dot || (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z')
                          || (c < 0x80 && marks.contains(char(c)))
                          || (c >= 0xc0 && c < 0x100 && c != 0xd7 && c != 0xf7);
        if (!fits)
            return false;
    }
    return true;
}

} // namespace

QByteArray caseKey(const FileName &name, LetterCase rule)
{
    switch (rule) {
    case LetterCase::Exact:
        break;
    case LetterCase::IgnoredAscii:
        if (name.isExactText() && isShortName(name.text()))
            return name.text().toCaseFolded().toUtf8();
        return name.native().toLower();
    case LetterCase::Ignored:
        if (name.isExactText())
            return name.text().toCaseFolded().toUtf8();
        return name.native().toLower();
    }
    return name.native();
}

bool isSameName(const FileName &a, const FileName &b, LetterCase rule)
{
    return a == b || (rule != LetterCase::Exact && caseKey(a, rule) == caseKey(b, rule));
}

qint64 fatEntriesFor(const FileName &name)
{
    const QString text = name.text();
    const bool ascii = std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
    // A desktop mounts with shortname=mixed: a name in lower or mixed case gets a long name too.
    if (ascii && isShortName(text) && text == text.toUpper())
        return 1;
    constexpr qint64 perLongEntry = 13;
    return 1 + (text.size() + perLongEntry - 1) / perLongEntry;
}

bool fatRefuses(const FileName &name)
{
    for (const char c : name.native()) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || c == '"' || c == '*' || c == '/' || c == ':' || c == '<' || c == '>' || c == '?' || c == '\\'
            || c == '|')
            return true;
    }
    return false;
}

} // namespace tonvola::fs
