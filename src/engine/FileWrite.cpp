// Writing a file: appended in place, cut back on failure and recorded in the journal, or replaced
// by a new file written whole by the platform's half (FileWrite_posix.cpp, FileWrite_win.cpp).
#include "engine/FileWrite.h"

#include "FileIdentity.h"
#include "FileWriteSteps.h"
#include "engine/AppendJournal.h"
#include "engine/FileRead.h"

#include <QCryptographicHash>
#include <QFile>

#include <algorithm>

namespace tarnwell {

namespace {

qint64 WriteToDevice(QIODevice &device, QByteArrayView block)
{
    return device.write(block.data(), block.size());
}

// Appends `appendix` to the file without touching its bytes. Any failure cuts the file back to
// its original length (a file created here is removed again), so it stays exactly as it was. The
// journal records the append before it and closes the record after it, so a process killed in
// between leaves what the next start can cut back; an append it cannot record is not begun, and the
// file is not even cut back to its own length (which would change its time).
void AppendInPlace(const QString &path, const QByteArray &appendix, const BlockWriter &writeBlock,
                   AppendJournal *journal)
{
    QFile file(path);
    const bool existed = file.exists();
    if (journal != nullptr && !existed)
        journal->RecordAppend(path, -1, appendix); // before opening makes the file
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        if (journal != nullptr)
            journal->AppendDone();
        throw WriteFailure(path, file.errorString());
    }
    const qint64 originalSize = file.size();
    if (journal != nullptr && existed)
        journal->RecordAppend(path, originalSize, appendix);
    try {
        if (!file.seek(originalSize))
            throw WriteFailure(path, file.errorString());
        WriteAll(file, appendix, writeBlock, path);
        if (!file.flush())
            throw WriteFailure(path, file.errorString());
    } catch (const AppError &error) {
        throw AfterFailedAppend(error, existed ? file.resize(originalSize) : (file.close(), file.remove()), journal);
    }
    if (journal != nullptr)
        journal->AppendDone();
}

} // namespace

AppError WriteFailure(const QString &path, const QString &reason)
{
    return AppError(QStringLiteral("Could not write the file: %1 (%2)").arg(path, reason));
}

void WriteAll(QIODevice &device, QByteArrayView bytes, const BlockWriter &writeBlock, const QString &path)
{
    while (!bytes.isEmpty()) {
        const qint64 written = writeBlock(device, bytes.first(std::min<qsizetype>(bytes.size(), kFileBlockBytes)));
        if (written <= 0)
            throw WriteFailure(path, device.errorString());
        bytes = bytes.sliced(written);
    }
}

AppError AfterFailedAppend(const AppError &error, bool restored, AppendJournal *journal)
{
    if (restored && journal != nullptr)
        journal->AppendDone();
    QString description = error.description();
    description += restored ? QStringLiteral(" The file was left as it was.")
                            : QStringLiteral(" The file could not be restored to its original length.");
    return AppError(description, error.number());
}

void CopyAndAppend(QFileDevice &out, const QString &source, const QString &target, const QByteArray &appendix,
                   const BlockWriter &writeBlock)
{
    ReadWholeBytes(source, [&](QByteArrayView block) { WriteAll(out, block, writeBlock, target); });
    WriteAll(out, appendix, writeBlock, target);
}

QString PendingFileName(const QString &targetName)
{
    const QByteArray digest =
        QCryptographicHash::hash(NameAsCompared(targetName), QCryptographicHash::Sha256).first(8).toHex();
    return QLatin1Char('.') + QLatin1StringView(digest) + QStringLiteral(".tarnwell-new");
}

void WriteWholeFile(const QString &source, const QString &target, const QByteArray &appendix, ReadSession &session,
                    AppendJournal *journal)
{
    WriteWholeFile(source, target, appendix, WriteToDevice, &session, journal);
}

void WriteWholeFile(const QString &source, const QString &target, const QByteArray &appendix,
                    const BlockWriter &writeBlock, const ReadSession *session, AppendJournal *journal)
{
    if (!IsSameFile(source, target)) {
        ReplaceAtomically(source, target, appendix, writeBlock);
        return;
    }
    // The file just read, still open, is the target: append through it.
    const bool held = session != nullptr && source == target
                      && AppendThroughHeldFile(*session, target, appendix, writeBlock, journal);
    if (!held)
        AppendInPlace(target, appendix, writeBlock, journal);
}

} // namespace tarnwell
