#include "filelist/FolderScan.h"

#include "filelist/FileList.h"
#include "trap/ErrorNumbers.h"

#include <QHash>
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

// True when a folder name holds a character that the system code page cannot hold (elsewhere than
// Windows: a name that did not decode), a code below 32, or a code from 127 to 159; a character
// that the code page writes with two bytes counts as unusable too, and on Windows so does "?",
// which is what a character the code page cannot hold reads back as.
bool HasUnusableChar(const QString &name)
{
    for (qsizetype i = 0; i < name.size(); ++i) {
        char32_t character = name.at(i).unicode();
        if (name.at(i).isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate()) {
            character = QChar::surrogateToUcs4(name.at(i), name.at(i + 1));
            ++i;
        }
        if (character == U'?' && !kQuestionMarkMayStandForLoss)
            continue;
        const int code = SystemCodePageCode(character);
        if (code == 63 || code < 32 || (code >= 127 && code <= 159))
            return true;
    }
    return false;
}

bool IsSkippedSubfolderName(const QString &name)
{
    return (kQuestionMarkMayStandForLoss && name.contains(QLatin1Char('?'))) || HasUnusableChar(name)
           || name == QLatin1String(".") || name == QLatin1String("..");
}

// What one walk has seen: the identities of the folders examined so far, so a folder reached again
// through a link is dropped instead of walked twice, and, when the walk lists files too, the files
// of each folder examined (matching `pattern`), so that no folder is listed twice in one scan.
struct Walk
{
    QSet<QString> walked;
    QString pattern;
    QHash<QString, QList<ListedFile>> files;
};

// One level of the walk: examines `folders`, collects their subfolders, walks those as the next
// level and appends them.
void CollectLevel(QStringList &folders, const YieldFn &yield, Walk &walk)
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
        std::optional<AppError> failure;
        FolderListing listing = ListFolder(folder, walk.pattern, failure);
        if (!listing.identity.isEmpty()) {
            if (walk.walked.contains(listing.identity)) {
                folders.removeAt(i); // its files are listed under the path that reached it first
                continue;
            }
            walk.walked.insert(listing.identity);
        }
        for (const QString &name : std::as_const(listing.subfolders)) {
            yield();
            if (!IsSkippedSubfolderName(name))
                found.append(folder + name + sep);
        }
        if (!walk.pattern.isEmpty())
            walk.files.emplace(folder, std::move(listing.files));
        // A failed listing keeps what it found; an unreadable folder also loses its own files.
        if (failure && failure->number() == kErrPermissionDenied) {
            folders.removeAt(i);
            continue;
        }
        ++i;
    }
    if (!found.isEmpty())
        CollectLevel(found, yield, walk);
    for (const QString &folder : std::as_const(found)) {
        yield();
        if (!IsHiddenSystemFolder(folder))
            folders.append(folder);
    }
}

// The files of `folder` that match `pattern`, as the listing gives them.
QList<ListedFile> FilesIn(const QString &folder, const QString &pattern)
{
    std::optional<AppError> failure; // a folder that cannot be listed gives what was read
    return ListFolder(folder, pattern, failure).files;
}

// For every folder of `folders` in order, the adding step of the scan (see ScanFolderIntoList).
void AddFilesOfFolders(const QStringList &folders, const QString &pattern, FileList &list, const YieldFn &yield,
                       const Walk &walk)
{
    const QChar sep = EntrySeparator();
    for (const QString &folder : folders) {
        const QString bare = folder.endsWith(sep) ? folder.chopped(1) : folder;
        // The listing has already tested presence and read each file's attributes; asking again
        // a moment later would only cost time. A folder the walk has listed is not listed again.
        const auto listed = walk.files.constFind(folder);
        const QList<ListedFile> files = listed != walk.files.cend() ? *listed : FilesIn(WithSeparator(bare), pattern);
        QStringList entries;
        for (const ListedFile &file : files) {
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

} // namespace

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

void ScanFolderIntoList(const QString &folder, const QString &pattern, FileList &list, const YieldFn &yield)
{
    // One listing per folder: the walk keeps each folder's matching files for the adding step.
    QStringList folders{WithSeparator(folder)};
    Walk walk;
    walk.pattern = pattern;
    CollectLevel(folders, yield, walk);
    AddFilesOfFolders(folders, pattern, list, yield, walk);
}

} // namespace tarnwell
