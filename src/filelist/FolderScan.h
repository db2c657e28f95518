#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace tarnwell {

class FileList;

using YieldFn = std::function<void()>;

// Adds to `folders` (paths ending in the entry separator) every subfolder of theirs, however
// deep, breadth-first: each level in the order of its parents and of the listing. Hidden system
// folders are neither walked nor listed (except a drive root); names with an unusable character
// (on Windows also any "?"), "." and ".." are skipped; a folder that cannot be listed keeps what
// was found so far, and an unreadable one (permission denied) is dropped. A folder reached a
// second time through a link is not walked again, so link loops end. Yields per folder and per
// subfolder found.
void CollectSubfolders(QStringList &folders, const YieldFn &yield);

// True when a folder name holds a character that the system code page cannot hold (elsewhere than
// Windows: a name that did not decode), a code below 32, or a code from 127 to 159; a character
// that the code page writes with two bytes counts as unusable too, and on Windows so does "?",
// which is what a character the code page cannot hold reads back as.
bool HasUnusableChar(const QString &name);

// The bare names of the present files (hidden and system ones too, never folders) of `folder`
// that match the wildcard `pattern` ("*" any run, "?" one character, case ignored; "*.*" matches
// every name, also one without a dot), in listing order.
QStringList ListFilesInFolder(const QString &folder, const QString &pattern);

// True when the path names an existing entry that is not a folder and can be opened.
bool FileIsPresent(const QString &path);

// For every folder of `folders` in order: appends JoinEntryPath(folder, name) for each present
// listed name matching `pattern`, skipping names that begin with "~" and files whose attribute
// value is exactly 34 (hidden + archive). Each folder's entries go in as one batch, after which
// it yields once.
void AddFilesOfFolders(const QStringList &folders, const QString &pattern, FileList &list, const YieldFn &yield);

// The whole scan of one chosen folder: CollectSubfolders from it (with a final separator added
// unless it has one), then AddFilesOfFolders.
void ScanFolderIntoList(const QString &folder, const QString &pattern, FileList &list, const YieldFn &yield);

} // namespace tarnwell
