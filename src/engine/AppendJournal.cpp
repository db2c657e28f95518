#include "AppendJournal.h"

#include "ErrorNumbers.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QtEndian>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <optional>
#include <set>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

namespace tarnwell {

namespace {

// A record is a header and the file's path in UTF-8. The state byte lies outside the checksum, so
// marking an append done is one byte written in place; everything after the checksum is covered
// by it, so a record cut short or overwritten with anything else is never taken for one. The
// record file has room for the longest path and is mapped into memory for the run: its pages are
// the system's cache of the file, so what is stored there outlives a killed process, and a record
// costs no system call.
//   0 magic (8)  8 state (1)  16 checksum (8)  24 old length (8, -1: no file)  32 appendix length (8)
//   40 appendix checksum (8)  48 appendix number (4)  52 path length (4)  56 path
constexpr char kMagic[] = {'T', 'a', 'r', 'n', 'R', 'e', 'c', '1'};
constexpr qsizetype kStateAt = 8;
constexpr qsizetype kChecksumAt = 16;
constexpr qsizetype kBodyAt = 24;
constexpr qsizetype kHeaderBytes = 56;
constexpr qsizetype kMaxPathBytes = qsizetype(1) << 16;
constexpr qsizetype kRecordFileBytes = kHeaderBytes + kMaxPathBytes;
constexpr char kOpen = 'O';
constexpr char kClosed = 'C';
constexpr int kMaxSlots = 64;

constexpr QLatin1StringView kSlotPrefix("append-");
constexpr QLatin1StringView kRecordSuffix(".record");
constexpr QLatin1StringView kLockSuffix(".lock");
constexpr QLatin1StringView kTextSuffix(".text");

struct Record
{
    QString path;
    qint64 oldLength = -1;
    qint64 appendixSize = 0;
    quint64 appendixChecksum = 0;
    quint32 number = 0;
};

// FNV-1a, 64 bits: enough to tell a damaged record from a whole one.
quint64 Checksum(QByteArrayView bytes)
{
    quint64 hash = 14695981039346656037ULL;
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ULL;
    }
    return hash;
}

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

// An open record, or nothing when the bytes are not a whole one.
std::optional<Record> DecodeOpenRecord(QByteArrayView bytes)
{
    if (bytes.size() < kHeaderBytes || !bytes.startsWith(QByteArrayView(kMagic, sizeof kMagic))
        || bytes[kStateAt] != kOpen)
        return std::nullopt;
    const char *p = bytes.data();
    const auto pathBytes = qFromLittleEndian<quint32>(p + kBodyAt + 28);
    if (pathBytes > kMaxPathBytes || bytes.size() < kHeaderBytes + qsizetype(pathBytes)
        || Checksum(bytes.sliced(kBodyAt, kHeaderBytes - kBodyAt + qsizetype(pathBytes)))
               != qFromLittleEndian<quint64>(p + kChecksumAt))
        return std::nullopt;
    Record record;
    record.oldLength = qFromLittleEndian<qint64>(p + kBodyAt);
    record.appendixSize = qFromLittleEndian<qint64>(p + kBodyAt + 8);
    record.appendixChecksum = qFromLittleEndian<quint64>(p + kBodyAt + 16);
    record.number = qFromLittleEndian<quint32>(p + kBodyAt + 24);
    record.path = QString::fromUtf8(bytes.sliced(kHeaderBytes, pathBytes));
    if (record.oldLength < -1 || record.appendixSize < 0 || record.path.isEmpty())
        return std::nullopt;
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

// Whether the bytes hold no record at all: a record file taken by a run that was cut off before
// it stored anything, or one whose contents never reached the disk.
bool Blank(QByteArrayView bytes)
{
    const QByteArrayView head = bytes.first(std::min<qsizetype>(bytes.size(), kStateAt + 1));
    return std::all_of(head.begin(), head.end(), [](char c) { return c == '\0'; });
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

// Puts the file back as it was before an append that was cut short. Gives what the user must
// hear about: nothing when the file holds its old bytes and a part of `appendix` (cut back), or
// all of it (left whole), or was never made; else why it was left alone.
QString ResolveFile(const QString &path, qint64 oldLength, const QByteArray &appendix)
{
    const auto problem = [&](const QString &what) {
        return QStringLiteral("A run that was cut short was appending text to %1, %2").arg(path, what);
    };
    const QFileInfo info(path);
    const bool created = oldLength < 0;
    if (!info.exists())
        return created ? QString() : problem(QStringLiteral("which no longer exists. Nothing was changed."));
    if (!info.isFile())
        return problem(QStringLiteral("which is no longer a file. Nothing was changed."));
    const qint64 base = created ? 0 : oldLength;
    const qint64 added = info.size() - base;
    if (added < 0 || added > appendix.size()) {
        return problem(added < 0 ? QStringLiteral("which has been changed since: it is shorter than before the "
                                                  "append. It was left as it is.")
                                 : QStringLiteral("which has been changed since: it is longer than its old bytes and "
                                                  "the whole text. It was left as it is."));
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(base)) {
        return problem(QStringLiteral("which could not be read (%1). It was left as it is and may end in "
                                      "part of the text.")
                           .arg(file.errorString()));
    }
    const QByteArray tail = file.read(added);
    file.close();
    if (tail.size() != added || !appendix.startsWith(tail))
        return problem(QStringLiteral("which has been changed since: its end is not the text that was being "
                                      "appended. It was left as it is."));
    if (added == appendix.size() || (added == 0 && !created))
        return QString();
    if (created ? file.remove() : file.resize(oldLength))
        return QString();
    return problem(QStringLiteral("which holds a part of the text and could not be put back as it was "
                                  "(%1).")
                       .arg(file.errorString()));
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

QStringList AppendJournal::Recover()
{
    QStringList problems;
    if (m_folder.isEmpty())
        return problems;
    std::set<int> found;
    const QStringList names = QDir(m_folder).entryList({kSlotPrefix + QLatin1Char('*')},
                                                       QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        bool number = false;
        const int slot = name.mid(kSlotPrefix.size()).section(QLatin1Char('.'), 0, 0).toInt(&number);
        if (number && slot > 0 && slot != m_slot)
            found.insert(slot);
    }
    for (const int slot : found) {
        QLockFile lock(SlotFile(slot, kLockSuffix));
        lock.setStaleLockTime(0); // only a process that is gone leaves a lock to take over
        if (!lock.tryLock(0))
            continue; // a running copy of the program owns it
        ResolveSlot(slot, problems);
        RemoveSlotFiles(slot);
    }
    return problems;
}

void AppendJournal::ResolveSlot(int slot, QStringList &problems) const
{
    QFile file(SlotFile(slot, kRecordSuffix));
    if (!file.exists())
        return;
    const auto unreadable = [&](const QString &why) {
        problems << QStringLiteral("The record of an append that a run was making when it was cut short could not "
                                   "be read (%1): %2. No file was changed; the file it names may end in part of "
                                   "the appended text.")
                        .arg(why, QDir::toNativeSeparators(file.fileName()));
    };
    if (!file.open(QIODevice::ReadOnly))
        return unreadable(file.errorString());
    const QByteArray bytes = file.read(kHeaderBytes + kMaxPathBytes);
    file.close();
    if (Blank(bytes)
        || (bytes.size() > kStateAt && bytes.startsWith(QByteArrayView(kMagic, sizeof kMagic))
            && bytes[kStateAt] == kClosed))
        return; // nothing was in flight
    const std::optional<Record> record = DecodeOpenRecord(bytes);
    if (!record)
        return unreadable(QStringLiteral("it is damaged"));
    QFile text(SlotFile(slot, kTextSuffix + QString::number(record->number)));
    QByteArray appendix;
    if (text.size() == record->appendixSize && text.open(QIODevice::ReadOnly))
        appendix = text.readAll();
    if (appendix.size() != record->appendixSize || Checksum(appendix) != record->appendixChecksum) {
        problems << QStringLiteral("A run that was cut short was appending text to %1, and the record of that "
                                   "text is damaged. The file was left as it is and may end in part of the text.")
                        .arg(record->path);
        return;
    }
    const QString problem = ResolveFile(record->path, record->oldLength, appendix);
    if (!problem.isEmpty())
        problems << problem;
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
