// Taking back a recorded run: each file checked against what the run wrote, cut back, removed or
// put back only when it proves to be as the run left it; the cut-backs guarded against a kill.
#include "engine/RunUndo.h"

#include "engine/FileRead.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QTimeZone>
#include <QtEndian>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <system_error>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/stat.h>
#endif

namespace tarnwell {

namespace {

// The guard of a cut-back: stored whole before it, its state byte set open, and closed once the file
// has its old length and time again. The guard file is mapped into memory, as the record of in-place
// appends is: its pages are the system's cache of the file, so what is stored outlives a killed
// process, and a cut-back costs no system call for its guard.
//   0 magic (8)  8 state (1)  9 old length (8)  17 old time (8)  25 path length (4)  29 path (UTF-8)
constexpr char kGuardMagic[] = {'T', 'a', 'r', 'n', 'U', 'n', 'd', '1'};
constexpr qsizetype kGuardStateAt = 8, kGuardHeaderBytes = 29, kGuardFileBytes = kGuardHeaderBytes + (1 << 16);
constexpr char kGuardOpen = 'O', kGuardClosed = 'C';

QString GuardFile(const QString &dataFolder)
{
    return dataFolder + QStringLiteral("/undo.guard");
}

QString LockFile(const QString &dataFolder)
{
    return dataFolder + QStringLiteral("/undo.lock");
}

bool SetModified(QFile &file, qint64 ns)
{
#ifdef Q_OS_WIN
    return file.setFileTime(QDateTime::fromMSecsSinceEpoch(ns / 1000000, QTimeZone::utc()),
                            QFileDevice::FileModificationTime);
#else
    const timespec times[2] = {{0, UTIME_OMIT},
                               {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)}};
    return ::futimens(file.handle(), times) == 0;
#endif
}

// A killed process stops between two instructions: no store of the guard may move across this one.
void StoreState(uchar *guard, char state)
{
    std::atomic_signal_fence(std::memory_order_seq_cst);
    guard[kGuardStateAt] = static_cast<uchar>(state);
    std::atomic_signal_fence(std::memory_order_seq_cst);
}

class Guard
{
public:
    explicit Guard(const QString &dataFolder) : m_file(GuardFile(dataFolder))
    {
        if (m_file.open(QIODevice::ReadWrite | QIODevice::Truncate) && m_file.resize(kGuardFileBytes))
            m_map = m_file.map(0, kGuardFileBytes);
    }
    ~Guard()
    {
        if (m_map != nullptr)
            m_file.unmap(m_map);
        m_file.close();
        m_file.remove();
    }
    Guard(const Guard &) = delete;
    Guard &operator=(const Guard &) = delete;
    QString Problem() const
    {
        return m_map != nullptr
                   ? QString()
                   : QStringLiteral("the record of the cut-back could not be made (%1)").arg(m_file.errorString());
    }
    bool Open(const QString &path, qint64 oldLength, qint64 oldModifiedNs)
    {
        const QByteArray name = path.toUtf8();
        if (m_map == nullptr || kGuardHeaderBytes + name.size() > kGuardFileBytes)
            return false;
        StoreState(m_map, kGuardClosed);
        std::memcpy(m_map, kGuardMagic, sizeof kGuardMagic);
        qToLittleEndian<qint64>(oldLength, m_map + 9);
        qToLittleEndian<qint64>(oldModifiedNs, m_map + 17);
        qToLittleEndian<quint32>(static_cast<quint32>(name.size()), m_map + 25);
        std::memcpy(m_map + kGuardHeaderBytes, name.constData(), static_cast<std::size_t>(name.size()));
        StoreState(m_map, kGuardOpen);
        return true;
    }
    void Close() { StoreState(m_map, kGuardClosed); }

private:
    QFile m_file;
    uchar *m_map = nullptr;
};

// The file's length and SHA-256, or "" when it cannot be read.
QByteArray HashOf(const QString &path, qint64 &length)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    length = 0;
    try {
        ReadWholeBytes(path, [&](QByteArrayView block) {
            hash.addData(block);
            length += block.size();
        });
    } catch (const AppError &) {
        return {};
    }
    return hash.result();
}

// Why a file the run wrote is not there to be taken back, or "" when it is.
QString Missing(const QFileInfo &info)
{
    if (!info.exists())
        return QStringLiteral("it no longer exists");
    if (!info.isFile())
        return QStringLiteral("it is no longer a file");
    return {};
}

// An append in place: the file must hold its old length and then exactly the appended bytes. It is
// opened once, to check it and to cut it back.
QString UndoAppend(Guard &guard, const RunRecord &record, const RunEntry &e, bool &restored)
{
    if (e.appendix < 0 || e.appendix >= record.appendices.size())
        return QStringLiteral("the record of its appended text is damaged");
    QFile file(e.path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered | QIODevice::ExistingOnly)) {
        const QString missing = Missing(QFileInfo(e.path));
        return missing.isEmpty() ? QStringLiteral("it could not be opened to cut it back (%1)").arg(file.errorString())
                                 : missing;
    }
    const QByteArray &appendix = record.appendices.at(e.appendix);
    const qint64 base = std::max<qint64>(e.oldLength, 0), size = file.size();
    if (size == base && e.oldLength >= 0)
        return QStringLiteral("it already has its length from before the run");
    if (size != base + appendix.size())
        return size > base + appendix.size()
                   ? QStringLiteral("it has been changed since the run: it is longer than the run left it")
                   : QStringLiteral("it has been changed since the run: it is shorter than the run left it");
    if (!file.seek(base) || file.read(appendix.size()) != appendix)
        return QStringLiteral("it has been changed since the run: its end is no longer the appended text");
    if (e.oldLength < 0) {
        // The append made the file: it holds the appended text alone.
        file.close();
        if (!QFile::remove(e.path))
            return QStringLiteral("it could not be removed");
        restored = true;
        return {};
    }
    if (!guard.Open(e.path, e.oldLength, e.oldModifiedNs))
        return guard.Problem().isEmpty() ? QStringLiteral("its path is too long for the record of the cut-back")
                                         : guard.Problem();
    QString problem;
    if (!file.resize(e.oldLength))
        problem = QStringLiteral("it could not be cut back (%1)").arg(file.errorString());
    else if (!SetModified(file, e.oldModifiedNs))
        problem = QStringLiteral("it was cut back, but its old modification time could not be set");
    guard.Close();
    restored = problem.isEmpty();
    return problem;
}

// A new or replaced output: it must still be exactly as written.
QString UndoOutput(const RunRecord &record, const RunEntry &e, bool &restored)
{
    const QFileInfo info(e.target);
    if (QString why = Missing(info); !why.isEmpty())
        return why;
    qint64 length = 0;
    if (e.newHash.isEmpty() || info.size() != e.newLength || HashOf(e.target, length) != e.newHash
        || length != e.newLength)
        return QStringLiteral("it has been changed since the run");
    if (e.outcome == EntryOutcome::NewFile) {
        if (!QFile::remove(e.target))
            return QStringLiteral("it could not be removed");
        restored = true;
        return {};
    }
    if (e.kept.isEmpty())
        return e.detail.isEmpty() ? QStringLiteral("its old content was not kept") : e.detail;
    // The kept copy is written beside the output under a hidden name and moved over it once whole,
    // with its old time, so a kill leaves the output as the run wrote it or as it was before.
    const QString kept = RunKeptFile(record, e);
    const QFileInfo target(e.target);
    const QString pending = target.path() + QStringLiteral("/.") + target.fileName() + QStringLiteral(".tarnwell-undo");
    QFile::remove(pending);
    if (!QFile::copy(kept, pending))
        return QStringLiteral("its old content could not be put back (the kept copy cannot be read)");
    QFile copy(pending);
    if (copy.open(QIODevice::ReadWrite))
        SetModified(copy, e.oldModifiedNs);
    copy.close();
    std::error_code error;
    std::filesystem::rename(std::filesystem::path(pending.toStdU16String()),
                            std::filesystem::path(e.target.toStdU16String()), error);
    if (error) {
        QFile::remove(pending);
        return QStringLiteral("its old content could not be put back (%1)")
            .arg(QString::fromLocal8Bit(error.message()));
    }
    restored = true;
    return {};
}

} // namespace

UndoResult UndoRun(const QString &dataFolder, const RunRecord &record)
{
    UndoResult result;
    QLockFile lock(LockFile(dataFolder));
    lock.setStaleLockTime(0);
    if (!lock.tryLock(0)) {
        result.leftAlone << QStringLiteral("Another copy of the program is undoing a run. Nothing was changed.");
        return result;
    }
    for (const QString &problem : RecoverUndo(dataFolder))
        result.leftAlone << problem;
    Guard guard(dataFolder);
    // The last write first: what the run did is taken back in the reverse order.
    for (auto it = record.entries.crbegin(); it != record.entries.crend(); ++it) {
        const RunEntry &e = *it;
        QString why;
        bool restored = false;
        if (e.outcome == EntryOutcome::InPlace)
            why = guard.Problem().isEmpty() ? UndoAppend(guard, record, e, restored) : guard.Problem();
        else if (e.outcome == EntryOutcome::NewFile || e.outcome == EntryOutcome::Replaced)
            why = UndoOutput(record, e, restored);
        else
            continue;
        if (restored)
            ++result.restored;
        else
            result.leftAlone << QDir::toNativeSeparators(e.outcome == EntryOutcome::InPlace ? e.path : e.target)
                                    + QStringLiteral(": ") + why;
    }
    RemoveRunRecord(record.file);
    return result;
}

QStringList RecoverUndo(const QString &dataFolder)
{
    QStringList problems;
    QFile guard(GuardFile(dataFolder));
    if (dataFolder.isEmpty() || !guard.exists())
        return problems;
    QLockFile lock(LockFile(dataFolder));
    lock.setStaleLockTime(0);
    if (!lock.tryLock(0))
        return problems; // a running undo's own
    if (!guard.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        return problems << QStringLiteral("The record of an undo that was cut short could not be read (%1).")
                               .arg(guard.errorString());
    const QByteArray bytes = guard.readAll();
    if (bytes.size() >= kGuardHeaderBytes && bytes.startsWith(QByteArrayView(kGuardMagic, sizeof kGuardMagic))
        && bytes[kGuardStateAt] == kGuardOpen) {
        const qint64 oldLength = qFromLittleEndian<qint64>(bytes.constData() + 9);
        const qint64 oldModifiedNs = qFromLittleEndian<qint64>(bytes.constData() + 17);
        const auto nameBytes = qFromLittleEndian<quint32>(bytes.constData() + 25);
        const QString path = QString::fromUtf8(
            bytes.sliced(kGuardHeaderBytes).first(std::min<qsizetype>(nameBytes, bytes.size() - kGuardHeaderBytes)));
        // Cut back already: only its time is missing. Not cut yet: it stays as the run left it.
        QFile file(path);
        if (file.size() == oldLength
            && (!file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly) || !SetModified(file, oldModifiedNs)))
            problems << QStringLiteral("An undo that was cut short put %1 back, but could not give it its old "
                                       "modification time.")
                            .arg(QDir::toNativeSeparators(path));
    }
    guard.close();
    guard.remove();
    return problems;
}

} // namespace tarnwell
