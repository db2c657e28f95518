#pragma once

// The steps of writing that its shared part (FileWrite.cpp) and its platform halves
// (FileWrite_posix.cpp, FileWrite_win.cpp) give each other.
#include "engine/FileWrite.h"
#include "trap/AppError.h"

class QFileDevice;

namespace tarnwell {

// Shared.
AppError WriteFailure(const QString &path, const QString &reason);
// Writes all of `bytes` through `writeBlock`, a block at a time; throws on the first failure.
void WriteAll(QIODevice &device, QByteArrayView bytes, const BlockWriter &writeBlock, const QString &path);
// The error of a failed append, saying whether the file was put back as it was; a file put back
// closes its record, one that could not be keeps it open for the next start.
AppError AfterFailedAppend(const AppError &error, bool restored, AppendJournal *journal);
// Writes the source's bytes and the appendix to the output file `out`.
void CopyAndAppend(QFileDevice &out, const QString &source, const QString &target, const QByteArray &appendix,
                   const BlockWriter &writeBlock);

// Per platform.
// The bytes of a file name as the system compares names, from which its pending name is made.
QByteArray NameAsCompared(const QString &fileName);
// Appends `appendix` to `path` through the file that `session` holds open, when it holds that one;
// gives false, having done nothing, when it holds none. A failure cuts the file back to the length
// it was read with; the journal records the append as AppendInPlace does.
bool AppendThroughHeldFile(const ReadSession &session, const QString &path, const QByteArray &appendix,
                           const BlockWriter &writeBlock, AppendJournal *journal);
// Writes `target` anew from the source's bytes and the appendix: it appears whole or not at all.
void ReplaceAtomically(const QString &source, const QString &target, const QByteArray &appendix,
                       const BlockWriter &writeBlock);

} // namespace tarnwell
