#pragma once

#include "AppError.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace tarnwell {

// Attribute bits as Windows numbers them; elsewhere they are mapped from what the file system says:
// directory 16; hidden 2 for a name beginning with "."; archive 32 for every regular file;
// read-only 1 when the user cannot write it; alias 1024 for a symbolic link; never system 4.
inline constexpr int kAttrReadOnly = 1;
inline constexpr int kAttrHidden = 2;
inline constexpr int kAttrSystem = 4;
inline constexpr int kAttrDirectory = 16;
inline constexpr int kAttrArchive = 32;
inline constexpr int kAttrAlias = 1024; // a symbolic link or junction

// What the walk's rules see of a raw Windows attribute word (GetFileAttributes, FindFirstFile),
// which also carries bits such as "not content indexed" (0x2000), "temporary" (0x100), "offline"
// (0x1000) or "pinned" (0x80000). A folder's value is what a folder object of the file-system
// object reports: read-only, hidden, system, volume, directory, archive, alias (a reparse point)
// and compressed. A file's value is what the attribute query of a file reports: read-only,
// hidden, system, volume, directory and archive (its alias bit 64 exists on the Macintosh only).
inline constexpr quint32 kFolderValueBits = 0x1 | 0x2 | 0x4 | 0x8 | 0x10 | 0x20 | 0x400 | 0x800;
inline constexpr quint32 kFileValueBits = 0x1 | 0x2 | 0x4 | 0x8 | 0x10 | 0x20;
constexpr int FolderAttributeValue(quint32 raw)
{
    return static_cast<int>(raw & kFolderValueBits);
}
constexpr int FileAttributeValue(quint32 raw)
{
    return static_cast<int>(raw & kFileValueBits);
}

// The walk's two comparisons: a hidden system folder (22, or 1046 as a link) is neither walked
// nor listed, a file of exactly hidden and archive (34) is not listed.
constexpr bool IsHiddenSystemFolderValue(int value)
{
    return value == kAttrHidden + kAttrSystem + kAttrDirectory
           || value == kAttrHidden + kAttrSystem + kAttrDirectory + kAttrAlias;
}
constexpr bool IsHiddenArchiveFileValue(int value)
{
    return value == kAttrHidden + kAttrArchive;
}

// Whether the platform ever reports the system bit. Without it no folder can be a hidden system
// folder (22 or 1046), and the walk need not ask.
#ifdef Q_OS_WIN
inline constexpr bool kSystemBitReported = true;
#else
inline constexpr bool kSystemBitReported = false;
#endif

// Whether a "?" in a name may stand for a character that the system code page cannot hold (it
// reads back as "?" through the code page), so that a name holding one is left out of the walk.
// Elsewhere the names are UTF-8, every character is held, and "?" is an ordinary character.
#ifdef Q_OS_WIN
inline constexpr bool kQuestionMarkMayStandForLoss = true;
#else
inline constexpr bool kQuestionMarkMayStandForLoss = false;
#endif

// The attribute value of a path (on Windows its folder value, see FolderAttributeValue), or -1
// when it cannot be read.
int AttributesOf(const QString &path);

// True for the root folder of a drive ("C:\" or "\\server\share\" on Windows, "/" elsewhere),
// with or without extra final separators.
bool IsDriveRoot(const QString &folder);

// A stable identity of a folder (device and inode, or volume and file id), links followed; empty
// when unknown.
QString FolderIdentity(const QString &folder);

// The names of the immediate subfolders of `folder` (links to folders included, "." and ".."
// never), in listing order. When the listing fails, the names read so far are returned and
// `failure` receives the error, numbered kErrPermissionDenied when permission is denied.
QStringList SubfolderNames(const QString &folder, std::optional<AppError> &failure);
// The same, throwing the failure instead.
QStringList SubfolderNames(const QString &folder);

// One file of a folder listing, with what the listing learned of it.
struct ListedFile
{
    QString name;   // bare name
    bool present;   // FileIsPresent holds for the folder, a separator and the name
    int attributes; // attribute value; see FilesIn
};

// The files (never folders) directly in `folder` whose names match the wildcard `pattern`,
// hidden ones included, in listing order. A folder that cannot be listed gives none. The
// attribute values are the listing's own file values where it gives them (Windows, see
// FileAttributeValue); elsewhere a plain file
// that is not hidden is taken as archive 32 without a further query, so its read-only bit is not
// read: no rule of the scan looks at it, and asking would double the cost of a large scan.
QList<ListedFile> FilesIn(const QString &folder, const QString &pattern);

// One reading of a folder, for the walk: its subfolders (as SubfolderNames gives them), its files
// that match `pattern` (as FilesIn gives them; none for an empty pattern) and its identity (as
// FolderIdentity gives it). A failure is reported as SubfolderNames reports it.
struct FolderListing
{
    QStringList subfolders;
    QList<ListedFile> files;
    QString identity;
};
FolderListing ListFolder(const QString &folder, const QString &pattern, std::optional<AppError> &failure);

// Whether `name` matches the wildcard `pattern` as Windows matches it: letter case ignored, "*"
// any run, "?" one character, and a final ".*" also matches a name without a dot ("*.*" matches
// every name).
bool WildcardMatches(const QString &pattern, const QString &name);

// The code that one character has in the system's code page as a byte-oriented program sees it:
// its byte value when the code page holds it in one byte, 63 ("?") when the code page cannot hold
// it, and 0 when the code page writes it with two bytes. Where the code page is UTF-8 (every
// platform but Windows here), every character fits and keeps its code point, except the
// replacement character that a name which did not decode was given, and a lone surrogate: 63.
int SystemCodePageCode(char32_t character);

} // namespace tarnwell
