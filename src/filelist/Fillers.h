#pragma once

#include "FolderScan.h"

#include <QString>
#include <QStringList>

namespace tarnwell {

class FileList;

// The files picked in the file-open dialog, as entries: one file as returned; several as
// JoinEntryPath(folder, name) each, in the dialog's order.
QStringList EntriesFromPickedFiles(const QStringList &pickedPaths);

// Appends dropped items in order: a folder is walked and every file of its tree listed ("*.*");
// anything else is appended exactly as given, without a test.
void AddDroppedPaths(const QStringList &droppedPaths, FileList &list, const YieldFn &yield);

// The sample folder beside the program, and its files as entries (program folder, "Samples",
// name, joined as they are); nothing is skipped.
QString SampleFolder(const QString &programFolder);
QStringList SampleEntries(const QString &programFolder);

} // namespace tarnwell
