#pragma once

#include "files/FileSystem.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace tarnwell {

class FileList;

using YieldFn = std::function<void()>;

// The walk's two comparisons of attribute values (see FolderAttributeValue, FileAttributeValue):
// a hidden system folder (22, or 1046 as a link) is neither walked nor listed, a file of exactly
// hidden and archive (34) is not listed.
constexpr bool IsHiddenSystemFolderValue(int value)
{
    return value == kAttrHidden + kAttrSystem + kAttrDirectory
           || value == kAttrHidden + kAttrSystem + kAttrDirectory + kAttrAlias;
}
constexpr bool IsHiddenArchiveFileValue(int value)
{
    return value == kAttrHidden + kAttrArchive;
}

// The bare names of the present files (hidden and system ones too, never folders) of `folder`
// that match the wildcard `pattern` ("*" any run, "?" one character, case ignored; "*.*" matches
// every name, also one without a dot), in listing order.
QStringList ListFilesInFolder(const QString &folder, const QString &pattern);

// The whole scan of one chosen folder (with a final separator added unless it has one): first the
// walk, which gathers the folder and every subfolder of it, however deep, breadth-first: each level
// in the order of its parents and of the listing. Hidden system folders are neither walked nor
// listed (except a drive root); names with an unusable character (on Windows also any "?"), "."
// and ".." are skipped; a folder that cannot be listed keeps what was found so far, and an
// unreadable one (permission denied) is dropped. A folder reached a second time through a link is
// not walked again, so link loops end. Yields per folder and per subfolder found.
// Then, for every folder gathered, in order: appends JoinEntryPath(folder, name) for each present
// listed name matching `pattern`, skipping names that begin with "~" and files whose attribute
// value is exactly 34 (hidden + archive). Each folder's entries go in as one batch, after which
// it yields once.
void ScanFolderIntoList(const QString &folder, const QString &pattern, FileList &list, const YieldFn &yield);

} // namespace tarnwell
