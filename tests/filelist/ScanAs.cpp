// Scans one folder tree with pattern "*.*" and prints what the walk kept and what it listed, one
// line each, then the attribute value of every further path given. Run by the file list tests
// under an unprivileged user.
#include "FileAttributes.h"
#include "FileList.h"
#include "FolderScan.h"

#include <QFile>

#include <cstdio>

namespace {

void Print(const char *tag, const QString &text)
{
    std::printf("%s %s\n", tag, QFile::encodeName(text).constData());
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER [PATH...]\n", argv[0]);
        return 2;
    }
    using namespace tarnwell;
    try {
        QStringList folders{QFile::decodeName(argv[1]) + EntrySeparator()};
        CollectSubfolders(folders, [] {});
        FileList list;
        AddFilesOfFolders(folders, QStringLiteral("*.*"), list, [] {});
        for (const QString &folder : std::as_const(folders))
            Print("FOLDER", folder);
        for (const QString &entry : list.Entries())
            Print("ENTRY", entry);
        for (int i = 2; i < argc; ++i)
            std::printf("ATTRIBUTES %d %s\n", AttributesOf(QFile::decodeName(argv[i])), argv[i]);
    } catch (const AppError &error) {
        Print("ERROR", error.description());
        return 3;
    }
    return 0;
}
