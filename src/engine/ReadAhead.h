#pragma once

#include <QString>
#include <QtGlobal>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace tarnwell {

class InputFile;

// Opens the next files of a run on threads of its own and reads their first block, while the run
// tests and writes the file before them: a file that is not in the system's cache, or that a virus
// scanner or a file server is slow to open, is open and cached when its turn comes. Only the open
// is handed over: the run reads the bytes again through it at the file's turn (from the cache), so
// it tests what the file holds then, and appends through that one open.
// At most kDepth files are open ahead and kThreads blocks in memory; everything opened ahead is
// closed when the run passes it, and when the read-ahead ends.
class ReadAhead final
{
public:
    static constexpr int kDepth = 32;
    static constexpr int kThreads = 8;

    // `entryText` gives the path at a position of the run (from 1 to `count`); it is called only on
    // the thread that calls Reach.
    ReadAhead(int count, std::function<QString(int)> entryText);
    ~ReadAhead() { Stop(); }
    Q_DISABLE_COPY_MOVE(ReadAhead)

    // The run has come to `position`: the files before it are closed, and the files after it, up to
    // kDepth of them, are opened ahead, for appending too when `forAppend`.
    void Reach(int position, bool forAppend);
    // The file opened ahead for the position reached, when a reader has opened it, `path` still names
    // it and it was opened as `forAppend` asks; else none, and the caller opens the file itself.
    std::unique_ptr<InputFile> Take(const QString &path, bool forAppend);
    // How long the open of a file that the run opened itself took. Files that keep opening at once
    // (already in memory) need no readers, and the readers rest; a slow open (a file read from the
    // disk, a virus scanner, a file server) sets them to work again.
    void RunOpened(qint64 nanoseconds);
    // Closes every file opened ahead and ends the threads.
    void Stop();

    // Opens are counted in rounds: the readers rest after a round of 64 opens with at most 4 slow
    // ones, and work again after a round of 16 of the run's own opens with 4 slow ones or more (a
    // busy machine makes a quick open look slow now and then).
    static constexpr qint64 kSlowOpenNs = 50'000;

private:
    struct Slot;
    void Work();
    void Opened(qint64 nanoseconds); // under the lock

    const int m_count;
    const std::function<QString(int)> m_entryText;
    int m_reached = 0;
    int m_queuedTo = 0; // the last position handed to the readers
    std::mutex m_mutex;
    std::condition_variable m_wakeReaders;
    std::deque<std::shared_ptr<Slot>> m_slots; // in position order
    bool m_stopping = false;
    bool m_resting = false;
    int m_opens = 0, m_slowOpens = 0; // in this round
    std::vector<std::thread> m_threads;
};

} // namespace tarnwell
