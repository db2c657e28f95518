// The read-ahead of a run: reader threads open the next files and read their first block.
#include "ReadAhead.h"

#include "InputFile.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace tarnwell {

struct ReadAhead::Slot
{
    enum class State { Waiting, Opening, Opened };
    int position = 0;
    QString path;
    bool forAppend = false;
    State state = State::Waiting;
    std::unique_ptr<InputFile> file; // none when it could not be opened ahead
};

namespace {

// Opens the file and reads its first block into `block`; none when it is not a regular file or
// cannot be opened or read (its turn opens it again and reports what is wrong).
std::unique_ptr<InputFile> OpenAndRead(const QString &path, bool forAppend, char *block)
{
    if (!InputFile::MayOpenAhead(path))
        return nullptr;
    auto file = std::make_unique<InputFile>(true);
    try {
        FileId id;
        if (!file->Open(path, forAppend, id))
            return nullptr;
        file->Read(block, kFileBlockBytes);
    } catch (const std::exception &) {
        return nullptr;
    }
#ifdef Q_OS_WIN
    // On Windows an open file keeps its name from being removed or renamed over (where the system
    // keeps the older delete rules), so no file is held open ahead there: the reader only brings its
    // first block into the cache, and the run opens it at its turn.
    return nullptr;
#else
    return file;
#endif
}

} // namespace

ReadAhead::ReadAhead(int count, std::function<QString(int)> entryText)
    : m_count(count), m_entryText(std::move(entryText))
{
}

void ReadAhead::Reach(int position, bool forAppend)
{
    std::vector<std::shared_ptr<Slot>> passed; // closed outside the lock
    int added = 0;
    {
        const std::lock_guard lock(m_mutex);
        if (m_stopping)
            return;
        m_reached = position;
        while (!m_slots.empty() && m_slots.front()->position < position) {
            passed.push_back(std::move(m_slots.front()));
            m_slots.pop_front();
        }
        // The paths are asked for here, on the run's thread; the readers get them as texts.
        const int to = m_resting ? 0 : std::min(m_count, position + kDepth);
        for (int k = std::max(m_queuedTo, position) + 1; k <= to; ++k, ++added) {
            auto slot = std::make_shared<Slot>();
            slot->position = k;
            slot->path = m_entryText(k);
            slot->forAppend = forAppend;
            m_slots.push_back(std::move(slot));
        }
        m_queuedTo = std::max(m_queuedTo, to);
        if (added > 0 && m_threads.empty()) {
            for (int t = 0; t < kThreads; ++t)
                m_threads.emplace_back([this] { Work(); });
        }
    }
    for (int k = 0; k < std::min(added, kThreads); ++k)
        m_wakeReaders.notify_one();
}

std::unique_ptr<InputFile> ReadAhead::Take(const QString &path, bool forAppend)
{
    std::shared_ptr<Slot> slot;
    {
        const std::lock_guard lock(m_mutex);
        if (m_slots.empty() || m_slots.front()->position != m_reached)
            return nullptr;
        slot = m_slots.front();
        m_slots.pop_front();
        // A file not opened yet is opened by the run itself: waiting for a reader that the system
        // has not run yet can take longer than the open, and an open a reader has begun has
        // already asked the disk for the file.
        if (slot->state != Slot::State::Opened)
            return nullptr;
    }
    if (!slot->file || slot->path != path || slot->forAppend != forAppend || !slot->file->StillNamedBy(path))
        return nullptr;
    return std::move(slot->file);
}

void ReadAhead::RunOpened(qint64 nanoseconds)
{
    const std::lock_guard lock(m_mutex);
    Opened(nanoseconds);
}

void ReadAhead::Opened(qint64 nanoseconds)
{
    ++m_opens;
    m_slowOpens += nanoseconds >= kSlowOpenNs ? 1 : 0;
    if (m_opens < (m_resting ? 16 : 64))
        return;
    m_resting = m_resting ? m_slowOpens < 4 : m_slowOpens <= 4;
    m_opens = m_slowOpens = 0;
}

void ReadAhead::Stop()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wakeReaders.notify_all();
    for (std::thread &thread : m_threads)
        thread.join();
    m_threads.clear();
    m_slots.clear();
}

void ReadAhead::Work()
{
    auto block = std::make_unique_for_overwrite<char[]>(static_cast<std::size_t>(kFileBlockBytes));
    std::unique_lock lock(m_mutex);
    for (;;) {
        std::shared_ptr<Slot> slot;
        m_wakeReaders.wait(lock, [&] {
            if (m_stopping)
                return true;
            const auto waiting = std::find_if(m_slots.begin(), m_slots.end(),
                                              [](const auto &s) { return s->state == Slot::State::Waiting; });
            if (waiting != m_slots.end())
                slot = *waiting;
            return slot != nullptr;
        });
        if (m_stopping)
            return;
        slot->state = Slot::State::Opening;
        const QString path = slot->path;
        const bool forAppend = slot->forAppend;
        lock.unlock();
        const auto start = std::chrono::steady_clock::now();
        std::unique_ptr<InputFile> file = OpenAndRead(path, forAppend, block.get());
        const auto took = std::chrono::steady_clock::now() - start;
        lock.lock();
        Opened(std::chrono::duration_cast<std::chrono::nanoseconds>(took).count());
        slot->file = std::move(file);
        slot->state = Slot::State::Opened;
    }
}

} // namespace tarnwell
