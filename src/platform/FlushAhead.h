#pragma once

#include <QtGlobal>

#include <memory>

namespace tonvola::fs {

class Folder;

// Keeps a medium in user space writing while the program hands it the next files. There the
// system starts no writing of its own: what the file system's process passes on waits in the
// device's cache until the volume is flushed, so a batch that flushes only once its last file is
// handed over leaves the stick idle meanwhile. A thread of its own flushes the volume whenever
// asked, and the batch's own flush then finds little left to write. It only adds flushes: the
// batch still flushes everything itself before it names a copy, and a failure here is the
// batch's own flush's to report.
// FlushAhead_posix.cpp; FlushAhead_portable.cpp does nothing, as Qt offers no flush of a volume.
class FlushAhead
{
public:
    // Only for media that need it (fs::closingHandsOver); the folder must stay open while this
    // object lives.
    explicit FlushAhead(const Folder &volume);
    ~FlushAhead();
    FlushAhead(const FlushAhead &) = delete;
    FlushAhead &operator=(const FlushAhead &) = delete;

    // Counts what was handed to the medium, and asks for a flush once that is several megabytes:
    // each flush writes the file system's tables anew too, which a flush per small file would
    // make more than the files themselves. One asked for while one runs follows it.
    void wrote(qint64 bytes);
    // Drops what was counted and asked for and not begun, once the caller flushes everything itself.
    void drop();

private:
    struct Worker;
    std::unique_ptr<Worker> m_worker;
};

} // namespace tonvola::fs
