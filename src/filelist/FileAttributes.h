#pragma once

#include <QString>
#include <QStringList>

namespace tarnwell {

// Attribute bits as Windows numbers them; elsewhere they are mapped from what the file system says.
inline constexpr int kAttrReadOnly = 1;
inline constexpr int kAttrHidden = 2;
inline constexpr int kAttrSystem = 4;
inline constexpr int kAttrDirectory = 16;
inline constexpr int kAttrArchive = 32;
inline constexpr int kAttrAlias = 1024; // a symbolic link or junction

// The attribute value of a path, or -1 when it cannot be read.
int AttributesOf(const QString &path);

// True for the root folder of a drive ("C:\" on Windows, "/" elsewhere).
bool IsDriveRoot(const QString &folder);

// A stable identity of a folder (device and inode, or volume and file id); empty when unknown.
QString FolderIdentity(const QString &folder);

// The names of the immediate subfolders of `folder`, in listing order. Throws AppError, with
// number 70 when permission is denied.
QStringList SubfolderNames(const QString &folder);

// The names of the files (never folders) directly in `folder`, hidden and system ones included.
QStringList FileNamesIn(const QString &folder);

// Whether `name` matches the wildcard `pattern` as Windows matches it.
bool WildcardMatches(const QString &pattern, const QString &name);

} // namespace tarnwell
