#pragma once

// The existence and path helpers: each answers through its result and never fails.
#include <QString>

namespace tarnwell {

// Whether the path names an existing file or folder.
bool FileExists(const QString &path);

// True when the path names an existing folder.
bool IsFolder(const QString &path);

// The part of a path after its last separator; a path without one is returned whole.
QString FileNameOf(const QString &path);

// True when `path` is a regular file that a plain directory listing shows: not a folder, and
// neither hidden nor a system file. On Windows that is the file's hidden and system attributes.
// Elsewhere there are no such attributes, so a file counts as hidden the way the desktop's file
// managers see it: its name begins with "." or its name is listed in the ".hidden" file of its
// folder (one name a line).
bool IsPlainVisibleFile(const QString &path);

} // namespace tarnwell
