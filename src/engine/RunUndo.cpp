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

#include <cstring>
#include <filesystem>
#include <system_error>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/stat.h>
#endif

namespace tarnwell {

namespace {

// The guard of a cut-back: written whole before it, its state byte set open, and closed once the
// file has its old length and time again. Each step is one write into the system's cache, which
// outlives a killed process.
//   0 magic (8)  8 state (1)  9 old length (8)  17 old time (8)  25 path length (4)  29 path (UTF-8)
constexpr char kGuardMagic[] = {'T', 'a', 'r', 'n', 'U', 'n', 'd', '1'};
constexpr qsizetype kGuardStateAt = 8, kGuardHeaderBytes = 29;
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

bool WriteAt(QFile &file, qint64 at, QByteArrayView bytes)
{
    return file.seek(at) && file.write(bytes.data(), bytes.size()) == bytes.size();
}

// Cuts the file back to its length before the run and gives it its time back, guarded. Gives ""
// when done, else why not.
QString CutBack(QFile &guard, const QString &path, qint64 oldLength, qint64 oldModifiedNs)
{
    const QByteArray name = path.toUtf8();
    QByteArray record(kGuardHeaderBytes, '\0');
    std::memcpy(record.data(), kGuardMagic, sizeof kGuardMagic);
    record[kGuardStateAt] = kGuardClosed;
    qToLittleEndian<qint64>(oldLength, record.data() + 9);
    qToLittleEndian<qint64>(oldModifiedNs, record.data() + 17);
    qToLittleEndian<quint32>(static_cast<quint32>(name.size()), record.data() + 25);
    record += name;
    if (!WriteAt(guard, 0, record) || !WriteAt(guard, kGuardStateAt, QByteArrayView(&kGuardOpen, 1)))
        return QStringLiteral("the record of the cut-back could not be written (%1)").arg(guard.errorString());
    QFile file(path);
    QString problem;
    if (!file.open(QIODevice::ReadWrite) || !file.resize(oldLength))
        problem = QStringLiteral("it could not be cut back (%1)").arg(file.errorString());
    else if (!SetModified(file, oldModifiedNs))
        problem = QStringLiteral("it was cut back, but its old modification time could not be set");
    file.close();
    WriteAt(guard, kGuardStateAt, QByteArrayView(&kGuardClosed, 1));
    return problem;
}

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

// An append in place: the file must hold its old length and then exactly the appended bytes.
QString UndoAppend(QFile &guard, const RunRecord &record, const RunEntry &e, bool &restored)
{
    const QFileInfo info(e.path);
    if (QString why = Missing(info); !why.isEmpty())
        return why;
    if (e.appendix < 0 || e.appendix >= record.appendices.size())
        return QStringLiteral("the record of its appended text is damaged");
    const QByteArray &appendix = record.appendices.at(e.appendix);
    const qint64 base = std::max<qint64>(e.oldLength, 0);
    if (info.size() == base && e.oldLength >= 0)
        return QStringLiteral("it already has its length from before the run");
    if (info.size() != base + appendix.size())
        return info.size() > base + appendix.size()
                   ? QStringLiteral("it has been changed since the run: it is longer than the run left it")
                   : QStringLiteral("it has been changed since the run: it is shorter than the run left it");
    QFile file(e.path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(base))
        return QStringLiteral("it could not be read (%1)").arg(file.errorString());
    const QByteArray tail = file.read(appendix.size());
    file.close();
    if (tail != appendix)
        return QStringLiteral("it has been changed since the run: its end is no longer the appended text");
    if (e.oldLength < 0) {
        // The append made the file: it holds the appended text alone.
        if (!QFile::remove(e.path))
            return QStringLiteral("it could not be removed");
    } else if (QString why = CutBack(guard, e.path, e.oldLength, e.oldModifiedNs); !why.isEmpty()) {
        return why;
    }
    restored = true;
    return {};
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
    QFile guard(GuardFile(dataFolder));
    const bool guarded = guard.open(QIODevice::ReadWrite | QIODevice::Truncate | QIODevice::Unbuffered);
    // The last write first: what the run did is taken back in the reverse order.
    for (auto it = record.entries.crbegin(); it != record.entries.crend(); ++it) {
        const RunEntry &e = *it;
        QString why;
        bool restored = false;
        if (e.outcome == EntryOutcome::InPlace)
            why = guarded
                      ? UndoAppend(guard, record, e, restored)
                      : QStringLiteral("the record of the cut-back could not be made (%1)").arg(guard.errorString());
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
    guard.close();
    guard.remove();
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
        if (file.size() == oldLength && (!file.open(QIODevice::ReadWrite) || !SetModified(file, oldModifiedNs)))
            problems << QStringLiteral("An undo that was cut short put %1 back, but could not give it its old "
                                       "modification time.")
                            .arg(QDir::toNativeSeparators(path));
    }
    guard.close();
    guard.remove();
    return problems;
}

} // namespace tarnwell
