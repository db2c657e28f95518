#pragma once

#include "filelist/FolderScan.h"

#include <QString>
#include <QStringList>

namespace tarnwell {

class FileList;

// The files picked in the file-open dialog, as entries with the platform's separators: one file
// as returned; several as JoinEntryPath(its folder, its name) each, in the dialog's order.
QStringList EntriesFromPickedFiles(const QStringList &pickedPaths);

// Appends dropped items in order: a folder (an existing path with the directory attribute) is
// walked and every file of its tree listed ("*.*"); anything else is appended exactly as given,
// without a test. Entries go into the list as they are found, so when something throws (an
// AppError, or whatever `yield` throws) every entry appended before it stays; the exception ends
// the drop and reaches the caller, which decides whether to report it.
void AddDroppedPaths(const QStringList &droppedPaths, FileList &list, const YieldFn &yield);

// The sample folder beside the program, and its files as entries (program folder, "Samples",
// name, joined as they are); nothing is skipped.
QString SampleFolder(const QString &programFolder);
QStringList SampleEntries(const QString &programFolder);

} // namespace tarnwell
