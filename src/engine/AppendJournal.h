#pragma once

#include "trap/AppError.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

class QLockFile;

namespace tarnwell {

// Makes every in-place append all or nothing across a killed process. Before an append the
// record names the file, its length and the bytes about to be appended (each distinct appendix
// of a run is kept once, in a file of its own); after it the record is marked done: two small
// stores per file into the record, which is mapped into memory, none forced to the disk. A record left open by a
// process that ended in the middle of an append is resolved when the program or a run starts: a file that holds its old
// bytes and a part of the appendix is cut back to its old length, one that holds the whole
// appendix is left so, and a file changed in any other way is left alone and reported.
//
// The record lives in the program's per-user data folder. Each running copy of the program takes
// a slot there, held by a lock file for the length of a run, so one copy never resolves an append
// another is still making.
class AppendJournal final
{
public:
    explicit AppendJournal(QString folder);
    ~AppendJournal();
    AppendJournal(const AppendJournal &) = delete;
    AppendJournal &operator=(const AppendJournal &) = delete;

    // Resolves every record left open by a process that is gone. Never throws; gives one text for
    // each file it could not restore and each record it could not read, for the error box.
    QStringList Recover();

    // Before a run: resolves what is left, as Recover(), then takes a slot for the run. Throws
    // AppError with what could not be resolved. When no slot can be taken, the run keeps no record
    // (Recording() is false) and every RecordAppend of it fails, so no file is appended to without
    // its record.
    void BeginRun();
    // After a run: closes the record and frees the slot. Never throws.
    void EndRun();

    // Whether the run keeps its record: it took a slot, and every appendix so far could be kept.
    // Once it does not, it does not for the rest of the run.
    bool Recording() const { return m_map != nullptr && m_unavailable.isEmpty(); }
    // Why the run keeps no record, numbered kErrNoAppendRecord; RecordAppend throws it.
    AppError NoRecord() const;

    // Before appending `appendix` to `path`, whose length is `oldLength` (-1: the file does not
    // exist and the append creates it). Throws AppError when the record cannot be written; the
    // file must then be left as it is.
    void RecordAppend(const QString &path, qint64 oldLength, const QByteArray &appendix);
    // After the append has completed, or the file has been put back. Never throws.
    void AppendDone();

    // Also forces the record to the disk (fsync) at the start and the end of each run and each
    // kept appendix when it is written. Off by default.
    void SetSyncAtRunEnds(bool sync) { m_sync = sync; }

    // Lets go of the slot as a killed process would: the record stays as it is (tests).
    void Abandon();

private:
    QString SlotFile(int slot, const QString &suffix) const;
    void ResolveSlot(int slot, QStringList &problems) const;
    void RemoveSlotFiles(int slot) const;
    void TakeSlot(QStringList &problems);

    QString m_folder;
    std::unique_ptr<QLockFile> m_lock;
    int m_slot = 0;
    QFile m_record;
    uchar *m_map = nullptr; // the record file, mapped for the run
    QString m_unavailable;  // why this run has no record, when it has none
    struct Kept
    {
        QByteArray bytes;
        quint64 checksum = 0;
    };
    QList<Kept> m_texts; // the appendices kept in this run, by number
    bool m_inFlight = false;
    bool m_sync = false;
};

} // namespace tarnwell
