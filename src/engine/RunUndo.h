#pragma once

#include "engine/RunRecord.h"

#include <QString>
#include <QStringList>

namespace tarnwell {

struct UndoResult
{
    int restored = 0;      // files put back as they were before the run
    QStringList leftAlone; // "path: why" for every file the run wrote that was left as it is
};

// Takes back what the run of `record` did, and nothing else: an append in place is cut back only
// while the file is exactly its old length and the appended bytes (and gets its modification time
// from before the run back); a file the run made is removed, and one it replaced put back from its
// kept copy, only while the output is exactly as the run wrote it. Every other file is left as it
// is and named. Each cut-back is recorded first in the data folder, so a process killed in the
// middle leaves every file as before the undo or as before the run, and the next start finishes
// what it began (RecoverUndo). The record of the run is removed afterwards.
UndoResult UndoRun(const QString &dataFolder, const RunRecord &record);

// Finishes a cut-back that an undo was making when its process ended (its modification time).
// Never throws; gives one text for each file it could not finish.
QStringList RecoverUndo(const QString &dataFolder);

} // namespace tarnwell
