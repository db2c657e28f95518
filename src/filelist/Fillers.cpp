#include "filelist/Fillers.h"

#include "filelist/FileList.h"
#include "files/FileSystem.h"

#include <QDir>

namespace tarnwell {

QStringList EntriesFromPickedFiles(const QStringList &pickedPaths)
{
    // Qt's dialogs answer with "/" everywhere; entries carry the platform's own separator.
    if (pickedPaths.size() == 1)
        return {QDir::toNativeSeparators(pickedPaths.front())};
    const QChar sep = EntrySeparator();
    QStringList entries;
    entries.reserve(pickedPaths.size());
    for (const QString &picked : pickedPaths) {
        const QString path = QDir::toNativeSeparators(picked);
        const qsizetype cut = path.lastIndexOf(sep);
        entries.append(cut < 0 ? path : JoinEntryPath(path.left(cut), path.mid(cut + 1)));
    }
    return entries;
}

void AddDroppedPaths(const QStringList &droppedPaths, FileList &list, const YieldFn &yield)
{
    for (const QString &path : droppedPaths) {
        const int attributes = AttributesOf(path);
        if (attributes != -1 && (attributes & kAttrDirectory) != 0)
            ScanFolderIntoList(path, QStringLiteral("*.*"), list, yield);
        else
            list.Append(path);
    }
}

QString SampleFolder(const QString &programFolder)
{
    return programFolder + EntrySeparator() + QStringLiteral("Samples");
}

QStringList SampleEntries(const QString &programFolder)
{
    const QString folder = SampleFolder(programFolder);
    QStringList entries;
    for (const QString &name : ListFilesInFolder(folder, QStringLiteral("*.*")))
        entries.append(folder + EntrySeparator() + name);
    return entries;
}

} // namespace tarnwell
