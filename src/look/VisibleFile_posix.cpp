#include "Look.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tarnwell {

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

} // namespace tarnwell
