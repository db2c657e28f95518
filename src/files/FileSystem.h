#pragma once

// What differs per platform: listing a folder (its subfolders, its files and whether each is
// present, its identity), attribute values, the drive root and the system code page.
// FileSystem_posix.cpp and FileSystem_win.cpp implement it; the build takes one.
#include "trap/AppError.h"

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

// One file of a folder listing, with what the listing learned of it.
struct ListedFile
{
    QString name;   // bare name
    bool present;   // an existing entry that is not a folder and can be opened
    int attributes; // attribute value; see ListFolder
};

// One reading of a folder, for the walk:
// - its subfolders: the names of the immediate subfolders (links to folders included, "." and ".."
//   never), in listing order;
// - its files (never folders) whose names match the wildcard `pattern` (see WildcardMatches; none
//   for an empty pattern), hidden ones included, in listing order. The attribute values are the
//   listing's own file values where it gives them (Windows, see FileAttributeValue); elsewhere a
//   plain file that is not hidden is taken as archive 32 without a further query, so its read-only
//   bit is not read: no rule of the scan looks at it, and asking would double the cost of a large
//   scan;
// - its identity: a stable identity of the folder (device and inode, or volume and file id), links
//   followed; empty when unknown.
// When the listing fails, what was read so far is returned and `failure` receives the error,
// numbered kErrPermissionDenied when permission is denied.
struct FolderListing
{
    QStringList subfolders;
    QList<ListedFile> files;
    QString identity;
};
FolderListing ListFolder(const QString &folder, const QString &pattern, std::optional<AppError> &failure);

// The code that one character has in the system's code page as a byte-oriented program sees it:
// its byte value when the code page holds it in one byte, 63 ("?") when the code page cannot hold
// it, and 0 when the code page writes it with two bytes. Where the code page is UTF-8 (every
// platform but Windows here), every character fits and keeps its code point, except the
// replacement character that a name which did not decode was given, and a lone surrogate: 63.
int SystemCodePageCode(char32_t character);

} // namespace tarnwell
