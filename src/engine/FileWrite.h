#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>

class QIODevice;

namespace tarnwell {

class AppendJournal;
class ReadSession;

// Writes one block to the device and gives the number of bytes written, or -1 on failure, like
// QIODevice::write. WriteWholeFile writes every block through one; tests pass one that fails
// part-way to prove that a failed write loses nothing.
using BlockWriter = std::function<qint64(QIODevice &device, QByteArrayView block)>;

// Writes `target` as the bytes of `source` (nothing when it is missing) followed by `appendix`.
// When target and source are the same file, the appendix is appended in place and the original
// bytes are never rewritten; a failed append cuts the file back to its original length, and with
// a `journal` the append is recorded first, so a killed process leaves no part of it either. Any
// other target is replaced atomically: a failure leaves the old target or none, never a partial
// file. Throws AppError on failure. The append in place goes through the file that `session`
// holds open when it is the target.
void WriteWholeFile(const QString &source, const QString &target, const QByteArray &appendix,
                    const BlockWriter &writeBlock, const ReadSession *session = nullptr,
                    AppendJournal *journal = nullptr);
// The same, each block written as it is.
void WriteWholeFile(const QString &source, const QString &target, const QByteArray &appendix, ReadSession &session,
                    AppendJournal *journal = nullptr);

// The hidden name beside a target under which its new file waits to replace it, from the target's
// file name: 30 characters whatever the target's length, so it fits wherever the target's name does,
// and the same each time, so that one left by a killed process is removed when that target is next
// written.
QString PendingFileName(const QString &targetName);

// Whether a new file is first made unnamed (O_TMPFILE) where the system supports it; on by default.
// Some file systems refuse unnamed files (vfat, NFS, SMB), and new files are then made under their
// pending name; tests turn this off to take that way anywhere. Windows always takes it.
void UseUnnamedFiles(bool use);

} // namespace tarnwell
