// The folder walk and the listing of its files: order, patterns, the skip rules, names that are
// not walked, link loops and unreadable folders.
#include "FileAttributes.h"
#include "FileList.h"
#include "FolderScan.h"
#include "Fixture.h"
#include "TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tarnwell;
using namespace tarnwell::testing;

namespace {

QStringList Scan(const QString &folder, const QString &pattern)
{
    FileList list;
    ScanFolderIntoList(folder, pattern, list, [] {});
    return list.Entries();
}

QStringList Walk(const QString &folder)
{
    QStringList folders{folder + QLatin1Char('/')};
    CollectSubfolders(folders, [] {});
    return folders;
}

// The folder, "/" and each name, the names in the order the platform lists them.
QStringList Under(const QString &folder, const QStringList &names)
{
    QStringList paths;
    for (const QString &name : InListingOrder(folder, names))
        paths.append(folder + QLatin1Char('/') + name);
    return paths;
}

QStringList WithSlash(const QStringList &folders)
{
    QStringList paths;
    for (const QString &folder : folders)
        paths.append(folder + QLatin1Char('/'));
    return paths;
}

// The three-level tree: files at every level, an empty folder, a hidden one.
void BuildLevels(Fixture &tree)
{
    for (const char *file : {"r1.txt", "r2.txt", "a/a1.txt", "a/x/ax.txt", "a/y/ay.txt", "b/b1.txt",
                             "b/z/bz.txt", ".h/h1.txt", "a/x/deep/d.txt"})
        tree.File(QString::fromUtf8(file));
    tree.Folder(QStringLiteral("c"));
}

} // namespace

class FolderScanTest : public QObject
{
    Q_OBJECT

private slots:
    void breadthFirstAcrossThreeLevels()
    {
        Fixture tree;
        BuildLevels(tree);
        const QString r = tree.Root();

        // Levels one after another; within a level the parents' order, then the listing's.
        const QStringList level1 = Under(r, {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"),
                                             QStringLiteral(".h")});
        QStringList level2;
        for (const QString &parent : level1) {
            if (parent.endsWith(QLatin1String("/a")))
                level2 += Under(parent, {QStringLiteral("x"), QStringLiteral("y")});
            else if (parent.endsWith(QLatin1String("/b")))
                level2 += Under(parent, {QStringLiteral("z")});
        }
        const QString level3 = r + QStringLiteral("/a/x/deep");
        QCOMPARE(Walk(r), WithSlash(QStringList{r} + level1 + level2 + QStringList{level3}));

        // Then the files, folder by folder in that order.
        const QMap<QString, QString> fileOf{{QStringLiteral("a"), QStringLiteral("a1.txt")},
                                            {QStringLiteral("b"), QStringLiteral("b1.txt")},
                                            {QStringLiteral(".h"), QStringLiteral("h1.txt")},
                                            {QStringLiteral("x"), QStringLiteral("ax.txt")},
                                            {QStringLiteral("y"), QStringLiteral("ay.txt")},
                                            {QStringLiteral("z"), QStringLiteral("bz.txt")}};
        QStringList expected = Under(r, {QStringLiteral("r1.txt"), QStringLiteral("r2.txt")});
        for (const QString &folder : level1 + level2) {
            const QString name = QFileInfo(folder).fileName();
            if (fileOf.contains(name))
                expected.append(folder + QLatin1Char('/') + fileOf.value(name));
        }
        expected.append(level3 + QStringLiteral("/d.txt"));
        const QStringList entries = Scan(r, QStringLiteral("*.txt"));
        QCOMPARE(entries, expected);
        QCOMPARE(entries.size(), 9);
        QVERIFY(entries.at(0).startsWith(r + QStringLiteral("/r")));
        QVERIFY(entries.at(1).startsWith(r + QStringLiteral("/r")));
        QCOMPARE(entries.constLast(), level3 + QStringLiteral("/d.txt"));
    }

    void yieldsPerFolderAndSubfolder()
    {
        Fixture tree;
        BuildLevels(tree);
        int yields = 0;
        QStringList folders{tree.Root() + QLatin1Char('/')};
        CollectSubfolders(folders, [&yields] { ++yields; });
        // 9 folders examined, 8 subfolders found, and each found folder handed up once per level
        // it passes: the 4 of level one, 3 of level two and 1 of level three climb 1, 2 and 3
        // levels, so 4 + 3 * 2 + 1 * 3 = 13.
        QCOMPARE(folders.size(), 9);
        QCOMPARE(yields, 9 + 8 + 13);

        // The listing yields once per folder, after that folder's entries are in the list.
        FileList list;
        QList<int> countsAtYield;
        AddFilesOfFolders(folders, QStringLiteral("*.*"), list,
                          [&] { countsAtYield.append(list.Count()); });
        QCOMPARE(countsAtYield.size(), 9);
        QCOMPARE(countsAtYield.constFirst(), 2);
        QCOMPARE(countsAtYield.constLast(), 9);
    }

    void patterns_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QStringList>("names");
        const QStringList txt{QStringLiteral("a.txt"), QStringLiteral("B.TXT"), QStringLiteral("c.TxT")};
        QTest::newRow("txt in any case") << "*.txt" << txt;
        QTest::newRow("TXT typed in capitals") << "*.TXT" << txt;
        QTest::newRow("star lists every file") << "*.*"
                                               << (txt + QStringList{QStringLiteral("d.txt.bak"), QStringLiteral("e.tx"),
                                                                     QStringLiteral("txt"), QStringLiteral("noext"),
                                                                     QStringLiteral("f.text")});
        QTest::newRow("doc finds nothing") << "*.doc" << QStringList();
    }

    void patterns()
    {
        QFETCH(QString, pattern);
        QFETCH(QStringList, names);
        Fixture tree;
        for (const char *name : {"a.txt", "B.TXT", "c.TxT", "d.txt.bak", "e.tx", "txt", "noext", "f.text"})
            tree.File(QString::fromUtf8(name));
        tree.File(QStringLiteral("sub.txt/inner.txt")); // a folder is never an entry, its files are
        QStringList expected = Under(tree.Root(), names);
        if (pattern != QLatin1String("*.doc"))
            expected.append(tree.Path(QStringLiteral("sub.txt/inner.txt")));
        QCOMPARE(Scan(tree.Root(), pattern), expected);
    }

    void skipsTildeNamesAndValue34()
    {
        Fixture tree;
        tree.File(QStringLiteral("plain.txt"));
        tree.File(QStringLiteral("~lock.txt"));           // "~" names never
        tree.File(QStringLiteral(".hidden.txt"));         // hidden 2 + archive 32 = 34
        tree.Link(QStringLiteral(".linked.txt"), QStringLiteral("plain.txt")); // 2 + 32 + 1024
        tree.Link(QStringLiteral("gone.txt"), QStringLiteral("nothing"));      // not present
        tree.File(QStringLiteral("sub/~x.txt"));
        tree.File(QStringLiteral("sub/y.txt"));
        tree.File(QStringLiteral("~folder/z.txt"));      // "~" skips files, not folders
        tree.File(QStringLiteral(".dotdir/in.txt"));      // a hidden folder is walked
        QStringList kept{QStringLiteral("plain.txt"), QStringLiteral(".linked.txt")};
        if (!RunningAsRoot()) {
            // read-only 1 + 34 = 35: hidden, but not the one value that is skipped
            tree.File(QStringLiteral(".readonly.txt"));
            tree.Mode(QStringLiteral(".readonly.txt"), 0444);
            kept.append(QStringLiteral(".readonly.txt"));
        }
        QStringList expected = Under(tree.Root(), kept);
        for (const QString &folder :
             Under(tree.Root(), {QStringLiteral("sub"), QStringLiteral("~folder"), QStringLiteral(".dotdir")})) {
            if (folder.endsWith(QLatin1String("/sub")))
                expected.append(folder + QStringLiteral("/y.txt"));
            else if (folder.endsWith(QLatin1String("/~folder")))
                expected.append(folder + QStringLiteral("/z.txt"));
            else
                expected.append(folder + QStringLiteral("/in.txt"));
        }
        QCOMPARE(Scan(tree.Root(), QStringLiteral("*.txt")), expected);
    }

    void unusableFolderNamesAreNotWalked_data()
    {
        QTest::addColumn<QByteArray>("folderName");
        QTest::addColumn<bool>("walked");
        QTest::newRow("control character") << QByteArrayLiteral("ctrl\x01" "dir") << false;
        QTest::newRow("tab") << QByteArrayLiteral("a\tb") << false;
        QTest::newRow("undecodable byte") << QByteArrayLiteral("bad\xff" "name") << false;
        QTest::newRow("overlong encoding") << QByteArrayLiteral("x\xc0\xaf") << false;
        QTest::newRow("question mark") << QByteArrayLiteral("what?") << false;
        QTest::newRow("DEL") << QByteArrayLiteral("del\x7f") << false;
        QTest::newRow("C1 control U+0085") << QByteArrayLiteral("c1\xc2\x85") << false;
        QTest::newRow("accented, well encoded") << QByteArrayLiteral("caf\xc3\xa9") << true;
        QTest::newRow("blank and dots") << QByteArrayLiteral("a b.c") << true;
    }

    void unusableFolderNamesAreNotWalked()
    {
        QFETCH(QByteArray, folderName);
        QFETCH(bool, walked);
        Fixture tree;
        tree.File(QStringLiteral("top.txt"));
        tree.RawFolder(folderName);
        tree.RawFile(folderName + "/inner.txt");
        tree.RawFile(folderName + "/deeper/inner2.txt");

        QStringList expectedFolders{tree.Root() + QLatin1Char('/')};
        QStringList expectedEntries{tree.Path(QStringLiteral("top.txt"))};
        if (walked) {
            const QString folder = QFile::decodeName(tree.NativePath(folderName));
            expectedFolders << folder + QLatin1Char('/') << folder + QStringLiteral("/deeper/");
            expectedEntries << folder + QStringLiteral("/inner.txt") << folder + QStringLiteral("/deeper/inner2.txt");
        }
        QCOMPARE(Walk(tree.Root()), expectedFolders);
        QCOMPARE(Scan(tree.Root(), QStringLiteral("*.txt")), expectedEntries);
    }

    void linkLoopsEndWithEachFileOnce_data()
    {
        QTest::addColumn<QString>("linkPath");
        QTest::addColumn<QString>("target"); // "@" stands for the tree's root
        QTest::newRow("link to its own folder") << "a/self" << ".";
        QTest::newRow("link to its parent") << "a/b/up" << "..";
        QTest::newRow("link to the root of the tree") << "a/b/root" << "@";
        QTest::newRow("two folders linking to each other") << "a/to-c" << "../c";
    }

    void linkLoopsEndWithEachFileOnce()
    {
        QFETCH(QString, linkPath);
        QFETCH(QString, target);
        Fixture tree;
        for (const char *file : {"top.txt", "a/a.txt", "a/b/b.txt", "c/c.txt", "c/d/d.txt"})
            tree.File(QString::fromUtf8(file));
        tree.Link(QStringLiteral("c/to-a"), QStringLiteral("../a")); // c and a point at each other
        tree.Link(linkPath, target == QLatin1String("@") ? tree.Root() : target);

        const QStringList entries = Scan(tree.Root(), QStringLiteral("*.*"));
        QSet<QString> files;
        for (const QString &entry : entries)
            files.insert(QFileInfo(entry).canonicalFilePath());
        QCOMPARE(entries.size(), files.size()); // no file twice, under any path
        const QSet<QString> expected{QFileInfo(tree.Path(QStringLiteral("top.txt"))).canonicalFilePath(),
                                     QFileInfo(tree.Path(QStringLiteral("a/a.txt"))).canonicalFilePath(),
                                     QFileInfo(tree.Path(QStringLiteral("a/b/b.txt"))).canonicalFilePath(),
                                     QFileInfo(tree.Path(QStringLiteral("c/c.txt"))).canonicalFilePath(),
                                     QFileInfo(tree.Path(QStringLiteral("c/d/d.txt"))).canonicalFilePath()};
        QCOMPARE(files, expected);
        // Reached first by its own path, each file keeps that path, not one through a link.
        const QString link = QLatin1Char('/') + QFileInfo(linkPath).fileName() + QLatin1Char('/');
        for (const QString &entry : entries) {
            QVERIFY2(!entry.contains(link) && !entry.contains(QLatin1String("/to-a/")), qPrintable(entry));
        }
    }

    void linkToAnOutsideFolderIsWalked()
    {
        Fixture outside;
        outside.File(QStringLiteral("o.txt"));
        Fixture tree;
        tree.Link(QStringLiteral("out"), outside.Root());
        tree.Link(QStringLiteral("out-again"), outside.Root());
        const QStringList entries = Scan(tree.Root(), QStringLiteral("*.txt"));
        QCOMPARE(entries.size(), 1); // the second link reaches a folder already walked
        QVERIFY(entries.at(0) == tree.Path(QStringLiteral("out/o.txt"))
                || entries.at(0) == tree.Path(QStringLiteral("out-again/o.txt")));
    }

    void missingFolderAddsNothing()
    {
        Fixture tree;
        const QString missing = tree.Path(QStringLiteral("missing"));
        QCOMPARE(Walk(missing), QStringList{missing + QLatin1Char('/')}); // kept: not a permission failure
        QCOMPARE(Scan(missing, QStringLiteral("*.*")), QStringList());
    }

    // The unreadable folders are dropped without any report, together with their subtrees, and
    // the rest of the walk goes on. Root reads everything, so as root the scan runs as "nobody".
    void unreadableFoldersAreDropped()
    {
        Fixture tree;
        tree.File(QStringLiteral("top.txt"));
        tree.File(QStringLiteral("open/a.txt"));
        tree.File(QStringLiteral("open/shut/deep.txt"));
        tree.File(QStringLiteral("shut/b.txt"));
        tree.File(QStringLiteral("shut/sub/c.txt"));
        tree.File(QStringLiteral(".readonly"));  // hidden, read-only to the scanning user: 35
        tree.File(QStringLiteral(".writable"));  // hidden, writable by all: 34, skipped
        tree.Mode(QStringLiteral(".readonly"), 0444);
        tree.Mode(QStringLiteral(".writable"), 0666);
        tree.Mode(QStringLiteral("shut"), 0);
        tree.Mode(QStringLiteral("open/shut"), 0);

        QStringList lines;
        if (RunningAsRoot()) {
            const passwd *nobody = ::getpwnam("nobody");
            const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
            if (nobody == nullptr || setpriv.isEmpty())
                QSKIP("running as root without a user \"nobody\" and setpriv to be refused a folder");
            lines = ScanAs(setpriv, *nobody, tree.Root(), {tree.Path(QStringLiteral(".readonly"))});
            if (QTest::currentTestFailed())
                return;
        } else {
            QStringList folders{tree.Root() + QLatin1Char('/')};
            CollectSubfolders(folders, [] {});
            FileList list;
            AddFilesOfFolders(folders, QStringLiteral("*.*"), list, [] {});
            for (const QString &folder : std::as_const(folders))
                lines.append(QStringLiteral("FOLDER ") + folder);
            for (const QString &entry : list.Entries())
                lines.append(QStringLiteral("ENTRY ") + entry);
            lines.append(QStringLiteral("ATTRIBUTES %1 ").arg(AttributesOf(tree.Path(QStringLiteral(".readonly"))))
                         + tree.Path(QStringLiteral(".readonly")));
        }

        QStringList expected{QStringLiteral("FOLDER ") + tree.Root() + QLatin1Char('/'),
                             QStringLiteral("FOLDER ") + tree.Path(QStringLiteral("open/"))};
        for (const QString &entry : Under(tree.Root(), {QStringLiteral("top.txt"), QStringLiteral(".readonly")}))
            expected.append(QStringLiteral("ENTRY ") + entry);
        expected.append(QStringLiteral("ENTRY ") + tree.Path(QStringLiteral("open/a.txt")));
        expected.append(QStringLiteral("ATTRIBUTES 35 ") + tree.Path(QStringLiteral(".readonly")));
        QCOMPARE(lines, expected);
    }

private:
    // Runs the scanner program as `user` on `folder` and returns its output lines.
    static QStringList ScanAs(const QString &setpriv, const passwd &user, const QString &folder,
                              const QStringList &attributePaths)
    {
        // A copy the unprivileged user can surely run, wherever the build tree lies.
        QTemporaryDir programDir;
        const QString program = programDir.filePath(QStringLiteral("scanas"));
        if (!programDir.isValid() || !QFile::copy(QStringLiteral(TARNWELL_SCANAS_PROGRAM), program)) {
            QTest::qFail("cannot copy the scanner program", __FILE__, __LINE__);
            return {};
        }
        ::chmod(QFile::encodeName(programDir.path()).constData(), 0755);
        ::chmod(QFile::encodeName(program).constData(), 0755);

        QProcess scan;
        scan.start(setpriv, QStringList{QStringLiteral("--reuid=%1").arg(user.pw_uid),
                                        QStringLiteral("--regid=%1").arg(user.pw_gid),
                                        QStringLiteral("--clear-groups"), program, folder}
                                + attributePaths);
        if (!scan.waitForFinished(60000) || scan.exitStatus() != QProcess::NormalExit || scan.exitCode() != 0) {
            QTest::qFail(qPrintable(QStringLiteral("the scanner failed (exit %1): %2 %3")
                                        .arg(scan.exitCode())
                                        .arg(QString::fromLocal8Bit(scan.readAllStandardOutput()),
                                             QString::fromLocal8Bit(scan.readAllStandardError()))),
                         __FILE__, __LINE__);
            return {};
        }
        return QFile::decodeName(scan.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
};

TARNWELL_TEST_CLASS(FolderScanTest)
#include "FolderScanTest.moc"
