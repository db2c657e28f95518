// Recording the in-place appends of a run: a slot taken for the run, each append recorded before
// it is made and marked done after it.
#include "engine/AppendJournal.h"

#include "AppendRecordFormat.h"
#include "trap/ErrorNumbers.h"

#include <QDir>
#include <QLockFile>
#include <QtEndian>

#include <atomic>
#include <cstring>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

namespace tarnwell {

using namespace journal;

namespace {

constexpr int kMaxSlots = 64;

QByteArray EncodeRecord(const QString &path, qint64 oldLength, qint64 appendixSize, quint64 appendixChecksum,
                        quint32 number)
{
    const QByteArray name = path.toUtf8();
    QByteArray record(kHeaderBytes + name.size(), '\0');
    char *p = record.data();
    std::memcpy(p, kMagic, sizeof kMagic);
    p[kStateAt] = kOpen;
    qToLittleEndian<qint64>(oldLength, p + kBodyAt);
    qToLittleEndian<qint64>(appendixSize, p + kBodyAt + 8);
    qToLittleEndian<quint64>(appendixChecksum, p + kBodyAt + 16);
    qToLittleEndian<quint32>(number, p + kBodyAt + 24);
    qToLittleEndian<quint32>(static_cast<quint32>(name.size()), p + kBodyAt + 28);
    std::memcpy(p + kHeaderBytes, name.constData(), static_cast<std::size_t>(name.size()));
    qToLittleEndian<quint64>(Checksum(QByteArrayView(record).sliced(kBodyAt)), p + kChecksumAt);
    return record;
}

// Stores the state byte of the mapped record. A killed process is cut off between two
// instructions, so the compiler must not move a store of the record across this one.
void StoreState(uchar *record, char state)
{
    std::atomic_signal_fence(std::memory_order_seq_cst);
    record[kStateAt] = static_cast<uchar>(state);
    std::atomic_signal_fence(std::memory_order_seq_cst);
}

// Forces the file to the disk. Windows has no such step here: the record does without
// FlushFileBuffers there.
bool SyncToDisk(QFile &file)
{
#ifdef Q_OS_WIN
    Q_UNUSED(file);
    return true;
#else
    return ::fsync(file.handle()) == 0;
#endif
}

} // namespace

AppendJournal::AppendJournal(QString folder) : m_folder(std::move(folder)) {}

AppendJournal::~AppendJournal()
{
    EndRun();
}

QString AppendJournal::SlotFile(int slot, const QString &suffix) const
{
    return m_folder + QLatin1Char('/') + kSlotPrefix + QString::number(slot) + suffix;
}

void AppendJournal::RemoveSlotFiles(int slot) const
{
    QDir folder(m_folder);
    const QString prefix = kSlotPrefix + QString::number(slot);
    const QStringList names = folder.entryList({prefix + kRecordSuffix, prefix + kTextSuffix + QLatin1Char('*')},
                                               QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names)
        folder.remove(name);
}

void AppendJournal::BeginRun()
{
    EndRun();
    QStringList problems = Recover();
    TakeSlot(problems);
    if (!problems.isEmpty())
        throw AppError(problems.join(QStringLiteral("\r\n")));
}

void AppendJournal::TakeSlot(QStringList &problems)
{
    if (m_folder.isEmpty()) {
        m_unavailable = QStringLiteral("the system names no per-user data folder");
        return;
    }
    if (!QDir().mkpath(m_folder)) {
        m_unavailable = QStringLiteral("the folder cannot be made");
        return;
    }
    m_unavailable =
        QStringLiteral("each of its %1 places for a record is taken by a running copy of the program").arg(kMaxSlots);
    for (int slot = 1; slot <= kMaxSlots; ++slot) {
        auto lock = std::make_unique<QLockFile>(SlotFile(slot, kLockSuffix));
        lock->setStaleLockTime(0);
        if (!lock->tryLock(0)) {
            if (lock->error() == QLockFile::LockFailedError)
                continue; // another running copy's
            m_unavailable = lock->error() == QLockFile::PermissionError
                                ? QStringLiteral("a file cannot be made there: permission denied")
                                : QStringLiteral("a file cannot be made or written there");
            return;
        }
        ResolveSlot(slot, problems); // left by a process that ended since Recover() looked
        RemoveSlotFiles(slot);
        m_record.setFileName(SlotFile(slot, kRecordSuffix));
        if (m_record.open(QIODevice::ReadWrite | QIODevice::Truncate | QIODevice::Unbuffered)
            && m_record.resize(kRecordFileBytes))
            m_map = m_record.map(0, kRecordFileBytes);
        if (m_map == nullptr) {
            m_unavailable = QStringLiteral("its file cannot be made: %1").arg(m_record.errorString());
            m_record.close();
            return;
        }
        std::memcpy(m_map, kMagic, sizeof kMagic);
        StoreState(m_map, kClosed);
        if (m_sync)
            SyncToDisk(m_record);
        m_lock = std::move(lock);
        m_slot = slot;
        m_unavailable.clear();
        return;
    }
}

void AppendJournal::EndRun()
{
    if (!m_lock)
        return;
    if (!m_inFlight) {
        // A record still open (an append failed and its file could not be put back) stays for the
        // next start to resolve.
        if (m_sync)
            SyncToDisk(m_record);
        m_record.unmap(m_map);
        m_map = nullptr;
        m_record.close();
        RemoveSlotFiles(m_slot);
    }
    Abandon();
}

void AppendJournal::Abandon()
{
    if (m_map != nullptr)
        m_record.unmap(m_map);
    m_map = nullptr;
    m_record.close();
    if (m_lock)
        m_lock->unlock();
    m_lock.reset();
    m_slot = 0;
    m_texts.clear();
    m_inFlight = false;
    m_unavailable.clear();
}

AppError AppendJournal::NoRecord() const
{
    const QString where = m_folder.isEmpty() ? QString()
                                             : QStringLiteral(" in the folder ") + QDir::toNativeSeparators(m_folder);
    const QString why = m_unavailable.isEmpty() ? QStringLiteral("no run has begun") : m_unavailable;
    return AppError(QStringLiteral("The record of in-place appends cannot be kept%1: %2. No file is edited in place "
                                   "in this run.")
                        .arg(where, why),
                    kErrNoAppendRecord);
}

void AppendJournal::RecordAppend(const QString &path, qint64 oldLength, const QByteArray &appendix)
{
    if (!Recording())
        throw NoRecord();
    qsizetype number = 0;
    while (number < m_texts.size() && m_texts.at(number).bytes != appendix)
        ++number;
    if (number == m_texts.size()) {
        // Each distinct appendix of a run is kept once, before the first record that names it. One
        // that cannot be kept (a full disk) ends the record for the run, as a missing slot does.
        QFile text(SlotFile(m_slot, kTextSuffix + QString::number(number)));
        if (!text.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)
            || text.write(appendix) != appendix.size() || (m_sync && !SyncToDisk(text))) {
            m_unavailable = QStringLiteral("the text to append cannot be kept there (%1)").arg(text.errorString());
            throw NoRecord();
        }
        m_texts.append({appendix, Checksum(appendix)});
    }
    const Kept &kept = m_texts.at(number);
    const QByteArray record = EncodeRecord(path, oldLength, kept.bytes.size(), kept.checksum,
                                           static_cast<quint32>(number));
    if (record.size() > kRecordFileBytes)
        throw AppError(
            QStringLiteral("Could not record the append to %1 before making it: the path is too long.").arg(path));
    // Closed while it is rewritten and open once it is whole: a process cut off in between leaves
    // a closed record, and the file is not touched yet.
    StoreState(m_map, kClosed);
    std::memcpy(m_map, record.constData(), kStateAt);
    std::memcpy(m_map + kStateAt + 1, record.constData() + kStateAt + 1,
                static_cast<std::size_t>(record.size() - kStateAt - 1));
    StoreState(m_map, kOpen);
    m_inFlight = true;
}

void AppendJournal::AppendDone()
{
    if (!m_inFlight)
        return;
    m_inFlight = false;
    StoreState(m_map, kClosed);
}

} // namespace tarnwell
