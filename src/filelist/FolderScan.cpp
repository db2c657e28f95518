#include "FolderScan.h"

#include "FileAttributes.h"
#include "FileList.h"

#include <QSet>

namespace tarnwell {

namespace {

QString WithSeparator(const QString &folder)
{
    const QChar sep = EntrySeparator();
    return folder.endsWith(sep) ? folder : folder + sep;
}

// Folders with the value 22 (hidden, system, directory) or 1046 (the same and alias) are left out
// of a walk, except a drive's root.
bool IsHiddenSystemFolder(const QString &folder)
{
    if (!kSystemBitReported)
        return false;
    return IsHiddenSystemFolderValue(AttributesOf(folder)) && !IsDriveRoot(folder);
}

bool IsSkippedSubfolderName(const QString &name)
{
    return name.contains(QLatin1Char('?')) || HasUnusableChar(name) || name == QLatin1String(".")
           || name == QLatin1String("..");
}

// One level of the walk: examines `folders`, collects their subfolders, walks those as the next
// level and appends them. `walked` holds the identities of the folders examined so far in this
// walk, so a folder reached again through a link is dropped instead of walked twice.
void CollectLevel(QStringList &folders, const YieldFn &yield, QSet<QString> &walked)
{
    const QChar sep = EntrySeparator();
    QStringList found;
    for (qsizetype i = 0; i < folders.size();) {
        yield();
        const QString folder = folders.at(i);
        if (IsHiddenSystemFolder(folder)) {
            ++i; // stays listed, is not walked
            continue;
        }
        const QString identity = FolderIdentity(folder);
        if (!identity.isEmpty()) {
            if (walked.contains(identity)) {
                folders.removeAt(i); // its files are listed under the path that reached it first
                continue;
            }
            walked.insert(identity);
        }
        std::optional<AppError> failure;
        const QStringList names = SubfolderNames(folder, failure);
        for (const QString &name : names) {
            yield();
            if (!IsSkippedSubfolderName(name))
                found.append(folder + name + sep);
        }
        // A failed listing keeps what it found; an unreadable folder also loses its own files.
        if (failure && failure->number() == kErrPermissionDenied) {
            folders.removeAt(i);
            continue;
        }
        ++i;
    }
    if (!found.isEmpty())
        CollectLevel(found, yield, walked);
    for (const QString &folder : std::as_const(found)) {
        yield();
        if (!IsHiddenSystemFolder(folder))
            folders.append(folder);
    }
}

} // namespace

void CollectSubfolders(QStringList &folders, const YieldFn &yield)
{
    QSet<QString> walked;
    CollectLevel(folders, yield, walked);
}

bool HasUnusableChar(const QString &name)
{
    for (qsizetype i = 0; i < name.size(); ++i) {
        char32_t character = name.at(i).unicode();
        if (name.at(i).isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate()) {
            character = QChar::surrogateToUcs4(name.at(i), name.at(i + 1));
            ++i;
        }
        const int code = SystemCodePageCode(character);
        if (code == 63 || code < 32 || (code >= 127 && code <= 159))
            return true;
    }
    return false;
}

QStringList ListFilesInFolder(const QString &folder, const QString &pattern)
{
    QStringList names;
    names.reserve(100);
    for (const ListedFile &file : FilesIn(WithSeparator(folder), pattern)) {
        if (file.present)
            names.append(file.name);
    }
    return names;
}

void AddFilesOfFolders(const QStringList &folders, const QString &pattern, FileList &list, const YieldFn &yield)
{
    const QChar sep = EntrySeparator();
    for (const QString &folder : folders) {
        const QString bare = folder.endsWith(sep) ? folder.chopped(1) : folder;
        // The listing has already tested presence and read each file's attributes; asking again
        // a moment later would only cost time.
        QStringList entries;
        for (const ListedFile &file : FilesIn(WithSeparator(bare), pattern)) {
            if (!file.present || file.name.startsWith(QLatin1Char('~')))
                continue;
            if (IsHiddenArchiveFileValue(file.attributes))
                continue;
            entries.append(JoinEntryPath(bare, file.name));
        }
        // One update per folder keeps the order and spares the view one insert per file.
        list.AppendMany(entries);
        yield();
    }
}

void ScanFolderIntoList(const QString &folder, const QString &pattern, FileList &list, const YieldFn &yield)
{
    QStringList folders{WithSeparator(folder)};
    CollectSubfolders(folders, yield);
    AddFilesOfFolders(folders, pattern, list, yield);
}

} // namespace tarnwell
