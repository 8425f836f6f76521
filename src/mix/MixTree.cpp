#include "mix/MixTree.h"

#include "platform/Listing.h"

#include <QCryptographicHash>
#include <QString>

#include <algorithm>
#include <deque>

namespace tonvola {

namespace {

// What FAT's and exFAT's long names hold, counted as they count them.
constexpr qsizetype longestUtf16 = 255;

// The bytes of text cut to at most `bytes`, at a character's start.
QByteArray cutAt(const QByteArray &text, qsizetype bytes)
{
    qsizetype cut = std::min(bytes, text.size());
    while (cut > 0 && cut < text.size() && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    return text.first(cut);
}

} // namespace

qsizetype MixTree::add(fs::Folder folder, QByteArray path)
{
    const auto index = static_cast<qsizetype>(m_folders.size());
    m_byPath.insert(path, index);
    m_folders.push_back({std::move(folder), std::move(path)});
    return index;
}

void MixTree::walk(std::vector<File> &files, QList<Unreadable> &unreadable, const std::atomic_bool *cancel)
{
    // Breadth first through an explicit list: no depth of folders can exhaust a stack.
    const auto visit = [&](qsizetype parent) {
        const fs::Listing below = folder(parent).subFolders();
        if (!below.result.ok()) {
            unreadable.append({path(parent), below.result.reason});
            return;
        }
        for (const FileName &name : below.names) {
            const QByteArray childPath = parent < 0 ? name.native() : path(parent) + '/' + name.native();
            fs::Folder child = folder(parent).child(name);
            if (!child.isOpen()) {
                // A link to a folder, or another medium mounted there, is no part of the collection.
                if (child.opened().status != FileResult::Status::NotFound
                    && child.opened().status != FileResult::Status::NotAFile)
                    unreadable.append({childPath, child.opened().reason});
                continue;
            }
            const fs::Listing mp3 = child.mp3Files(fs::Folder::Order::None);
            if (!mp3.result.ok()) {
                unreadable.append({childPath, mp3.result.reason});
                continue;
            }
            const qsizetype index = add(std::move(child), childPath);
            for (const FileName &own : mp3.names)
                files.push_back({index, own});
        }
    };
    visit(-1);
    for (std::size_t next = 0; next < m_folders.size(); ++next) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            return;
        visit(static_cast<qsizetype>(next));
    }
}

qsizetype MixTree::find(const QByteArray &path)
{
    if (path.isEmpty() || m_missing.contains(path))
        return -1;
    if (const auto found = m_byPath.constFind(path); found != m_byPath.cend())
        return *found;
    const qsizetype slash = path.lastIndexOf('/');
    const qsizetype parent = slash < 0 ? -1 : find(path.first(slash));
    if (slash >= 0 && parent < 0) {
        m_missing.insert(path, true);
        return -1;
    }
    fs::Folder child = folder(parent).child(FileName::fromNative(slash < 0 ? path : path.sliced(slash + 1)));
    if (!child.isOpen()) {
        m_missing.insert(path, true);
        return -1;
    }
    return add(std::move(child), path);
}

bool hasMp3Below(const fs::Folder &root)
{
    // Breadth first: an album folder near the top answers soonest.
    std::deque<fs::Folder> next;
    const auto holds = [&next](const fs::Folder &folder) {
        for (const FileName &name : folder.subFolders().names) {
            fs::Folder child = folder.child(name);
            if (!child.isOpen())
                continue;
            if (!child.mp3Files(fs::Folder::Order::None).names.isEmpty())
                return true;
            next.push_back(std::move(child));
        }
        return false;
    };
    if (holds(root))
        return true;
    while (!next.empty()) {
        const fs::Folder folder = std::move(next.front());
        next.pop_front();
        if (holds(folder))
            return true;
    }
    return false;
}

FileName treeName(const QByteArray &path, const FileName &own, qsizetype longest)
{
    QByteArray joined = path;
    joined.replace('/', " - ");
    joined += " - " + own.native();
    const auto fits = [longest](const QByteArray &name) {
        return name.size() <= longest && QString::fromUtf8(name).size() <= longestUtf16;
    };
    if (fits(joined))
        return FileName::fromNative(joined);
    // ".mp3" in the letters the file has.
    const QByteArray ending = own.native().last(std::min<qsizetype>(4, own.native().size()));
    const QByteArray mark =
        " ~" + QCryptographicHash::hash(path + '/' + own.native(), QCryptographicHash::Sha1).toHex().first(8);
    const QByteArray stem = joined.first(joined.size() - ending.size());
    qsizetype room = std::min(longest, longestUtf16) - mark.size() - ending.size();
    QByteArray cut = cutAt(stem, room);
    while (!cut.isEmpty() && !fits(cut + mark + ending))
        cut = cutAt(stem, --room);
    // Not a separator cut in half.
    while (cut.endsWith(' ') || cut.endsWith('-'))
        cut.chop(1);
    return FileName::fromNative(cut + mark + ending);
}

} // namespace tonvola
