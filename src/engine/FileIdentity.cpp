// Whether two paths reach one file: by their canonical paths, and off Windows by device and number too.
#include "FileIdentity.h"

#include <QFile>
#include <QFileInfo>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

namespace tarnwell {

bool IsSameFile(const QString &a, const QString &b)
{
    if (a == b)
        return true;
    const QFileInfo infoA(a);
    const QFileInfo infoB(b);
    if (!infoA.exists() || !infoB.exists())
        return false;
#ifdef Q_OS_WIN
    return infoA.canonicalFilePath().compare(infoB.canonicalFilePath(), Qt::CaseInsensitive) == 0;
#else
    if (infoA.canonicalFilePath() == infoB.canonicalFilePath())
        return true;
    // Hard links: two names, one file.
    struct stat statA
    {};
    struct stat statB
    {};
    return ::stat(QFile::encodeName(a).constData(), &statA) == 0
           && ::stat(QFile::encodeName(b).constData(), &statB) == 0 && statA.st_dev == statB.st_dev
           && statA.st_ino == statB.st_ino;
#endif
}

} // namespace tarnwell
