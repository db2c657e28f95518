#include "files/Paths.h"

#include "files/FileSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace tarnwell {

bool FileExists(const QString &path)
{
    return !path.isEmpty() && QFileInfo::exists(path);
}

bool IsFolder(const QString &path)
{
    return !path.isEmpty() && QFileInfo(path).isDir();
}

QString FileNameOf(const QString &path)
{
#ifdef Q_OS_WIN
    const qsizetype cut = std::max(path.lastIndexOf(u'\\'), path.lastIndexOf(u'/'));
#else
    const qsizetype cut = path.lastIndexOf(u'/');
#endif
    return cut < 0 ? path : path.mid(cut + 1);
}

#ifdef Q_OS_WIN

// What a listing of ordinary files shows: no folders, no hidden and no system files.
bool IsPlainVisibleFile(const QString &path)
{
    const int attributes = AttributesOf(QDir::toNativeSeparators(path));
    return attributes != -1 && (attributes & (kAttrDirectory | kAttrHidden | kAttrSystem)) == 0;
}

#else

// Without hidden and system attributes, hidden is what the file managers of the desktop hide:
// a name beginning with "." or a name listed in the folder's ".hidden" file.
bool IsPlainVisibleFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return false;
    const QString name = info.fileName();
    if (name.startsWith(u'.'))
        return false;

    QFile hiddenList(info.dir().filePath(QStringLiteral(".hidden")));
    if (!hiddenList.open(QIODevice::ReadOnly))
        return true;
    const QList<QByteArray> listed = hiddenList.readAll().split('\n');
    hiddenList.close();
    for (const QByteArray &line : listed) {
        if (QString::fromUtf8(line).trimmed() == name)
            return false;
    }
    return true;
}

#endif

} // namespace tarnwell
