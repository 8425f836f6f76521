#include "platform/Temporary.h"

#include "platform/Native_p.h"

#include <algorithm>

namespace tonvola::fs {

namespace {

constexpr QByteArrayView prefix(".tonvola-");
constexpr QByteArrayView probe("probe-");
constexpr QByteArrayView part(".part");

bool isHexNumber(QByteArrayView digits)
{
    return !digits.isEmpty() && digits.size() <= 16 && std::all_of(digits.cbegin(), digits.cend(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
    });
}

} // namespace

QByteArray temporaryName(Temporary kind, quint64 number)
{
    const QByteArray digits = QByteArray::number(number, 16).rightJustified(16, '0');
    if (kind == Temporary::Probe)
        return prefix.toByteArray() + probe.toByteArray() + digits;
    return prefix.toByteArray() + digits + part.toByteArray();
}

QByteArrayView native::leftoverNumber(QByteArrayView name)
{
    if (!name.startsWith(prefix))
        return {};
    name = name.sliced(prefix.size());
    QByteArrayView number;
    if (name.startsWith(probe)) {
        // The letter-case probe renames itself to a name with an accented letter.
        constexpr QByteArrayView accented("-\xc3\xa4");
        name = name.sliced(probe.size());
        number = name.endsWith(accented) ? name.chopped(accented.size()) : name;
    } else if (name.endsWith(part)) {
        number = name.chopped(part.size());
    }
    return isHexNumber(number) ? number : QByteArrayView();
}

bool isLeftoverName(QByteArrayView name)
{
    return !native::leftoverNumber(name).isEmpty();
}

} // namespace tonvola::fs
