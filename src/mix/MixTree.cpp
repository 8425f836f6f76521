#include "mix/MixTree.h"

#include "platform/Listing.h"

#include <QCryptographicHash>
#include <QString>

#include <algorithm>

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

// Few enough to stay far below any limit of descriptors, enough for the folders a batch of
// copies or moves back uses at once.
constexpr std::size_t openAtMost = 256;

qsizetype MixTree::add(qsizetype parent, const fs::FileName &name)
{
    const auto index = static_cast<qsizetype>(m_known.size());
    QByteArray at = parent < 0 ? name.native() : path(parent) + '/' + name.native();
    m_byPath.insert(at, index);
    m_known.push_back({parent, name, std::move(at)});
    return index;
}

const fs::Folder &MixTree::folder(qsizetype index) const
{
    if (index < 0)
        return m_root;
    if (const auto open = m_open.find(index); open != m_open.end())
        return *open->second;
    const Known &known = m_known[static_cast<std::size_t>(index)];
    auto opened = std::make_unique<fs::Folder>(folder(known.parent).child(known.name));
    const fs::Folder &folder = *opened;
    m_open.emplace(index, std::move(opened));
    return folder;
}

void MixTree::trim() const
{
    if (m_open.size() > openAtMost)
        m_open.clear();
}

void MixTree::walk(std::vector<File> &files, QList<Unreadable> &unreadable, const std::atomic_bool *cancel,
                   bool firstOnly)
{
    // Depth first through an explicit list: no depth of folders can exhaust a stack, and the
    // folder a child is read from was visited just before. Only the folders that have folders
    // of their own stay open for it.
    fs::FileNames top;
    if (const fs::Listing own = m_root.mp3Files(fs::Folder::Order::None, &top); !own.result.ok()) {
        unreadable.append({QByteArray(), own.result});
        return;
    }
    std::vector<qsizetype> next;
    for (qsizetype k = top.size() - 1; k >= 0; --k)
        next.push_back(add(-1, top[k]));
    while (!next.empty()) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            return;
        const qsizetype at = next.back();
        next.pop_back();
        const Known &known = m_known[static_cast<std::size_t>(at)];
        const fs::Folder::Contents contents = folder(known.parent).readChild(known.name);
        if (!contents.result.ok()) {
            // A link put in a folder's place, or another medium mounted there, is no part of
            // the collection; a folder gone meanwhile has nothing to tell.
            const fs::FileResult::Status status = contents.result.status;
            if (status != fs::FileResult::Status::NotFound && status != fs::FileResult::Status::NotAFile)
                unreadable.append({known.path, contents.result});
            continue;
        }
        for (qsizetype k = 0; k < contents.files.size(); ++k)
            files.push_back({at, contents.files[k], contents.entries[static_cast<std::size_t>(k)]});
        if (firstOnly && !contents.files.isEmpty())
            return;
        for (qsizetype k = contents.folders.size() - 1; k >= 0; --k)
            next.push_back(add(at, contents.folders[k]));
        trim();
    }
}

qsizetype MixTree::find(const QByteArray &path)
{
    if (path.isEmpty() || m_missing.contains(path))
        return -1;
    // The paths come from a record on the player, which anyone may have written: none leads
    // above the collection or into a folder the walk leaves out.
    const QList<QByteArray> names = path.split('/');
    if (std::any_of(names.cbegin(), names.cend(),
                    [](const QByteArray &name) { return name.isEmpty() || name.startsWith('.'); })) {
        m_missing.insert(path, true);
        return -1;
    }
    qsizetype index = m_byPath.value(path, -1);
    if (index < 0) {
        const qsizetype slash = path.lastIndexOf('/');
        const qsizetype parent = slash < 0 ? -1 : find(path.first(slash));
        if (slash < 0 || parent >= 0)
            index = add(parent, fs::FileName::fromNative(slash < 0 ? path : path.sliced(slash + 1)));
    }
    if (index < 0 || !folder(index).isOpen()) {
        m_missing.insert(path, true);
        return -1;
    }
    return index;
}

bool hasMp3Below(const fs::Folder &root)
{
    MixTree tree(root);
    std::vector<MixTree::File> files;
    QList<MixTree::Unreadable> unreadable;
    tree.walk(files, unreadable, nullptr, true);
    return !files.empty();
}

fs::FileName treeName(const QByteArray &path, const fs::FileName &own, qsizetype longest)
{
    QByteArray joined = path;
    joined.replace('/', " - ");
    joined += " - " + own.native();
    const auto fits = [longest](const QByteArray &name) {
        return name.size() <= longest && QString::fromUtf8(name).size() <= longestUtf16;
    };
    if (fits(joined))
        return fs::FileName::fromNative(joined);
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
    return fs::FileName::fromNative(cut + mark + ending);
}

} // namespace tonvola
