// Scans one folder tree with "*.*" and prints each entry on its own line. FolderScanTest runs it as
// an unprivileged user, whom mode bits can refuse a folder; a failure ends it through terminate.
#include "FileList.h"
#include "FolderScan.h"

#include <QFile>

#include <cstdio>

int main(int argc, char **argv)
{
    tarnwell::FileList list;
    tarnwell::ScanFolderIntoList(QFile::decodeName(argv[argc - 1]), QStringLiteral("*.*"), list, [] {});
    for (const QString &entry : list.Entries())
        std::printf("%s\n", QFile::encodeName(entry).constData());
}
