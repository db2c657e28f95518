// How the file system's answers become the Windows numbers, names and listings the walk works with.
#include "FileAttributes.h"
#include "FolderScan.h"
#include "Fixture.h"
#include "TestRegistry.h"

#include <QFile>
#include <QMap>
#include <QTest>

#include <functional>

using namespace tarnwell;
using namespace tarnwell::testing;

class FileAttributesTest : public QObject
{
    Q_OBJECT

private slots:
    void attributeValues_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("expected");
        QTest::newRow("folder") << "dir" << 16;
        QTest::newRow("folder with its separator") << "dir/" << 16;
        QTest::newRow("hidden folder") << ".dir" << 18;
        QTest::newRow("file") << "dir/file.txt" << 32;
        QTest::newRow("hidden file") << ".file" << 34;
        QTest::newRow("file named with dots only in the middle") << "a.b.c" << 32;
        QTest::newRow("link to a file") << "to-file" << 1024 + 32;
        QTest::newRow("hidden link to a file") << ".to-file" << 1024 + 2 + 32;
        QTest::newRow("link to a folder") << "to-dir" << 1024 + 16;
        // lstat would look through "to-dir/" to the folder; the link is what was asked about.
        QTest::newRow("link to a folder, with separator") << "to-dir/" << 1024 + 16;
        QTest::newRow("dangling link") << "gone" << 1024;
        QTest::newRow("pipe") << "pipe" << 0;
        QTest::newRow("missing") << "missing" << -1;
        QTest::newRow("below a file") << "dir/file.txt/x" << -1;
        if (!RunningAsRoot()) { // root may write anything; the scanner checks this as another user
            QTest::newRow("read-only file") << "readonly.txt" << 33;
            QTest::newRow("read-only hidden file") << ".readonly" << 35;
            QTest::newRow("read-only folder") << "readonly-dir" << 17;
        }
    }

    void attributeValues()
    {
        QFETCH(QString, path);
        QFETCH(int, expected);
        Fixture tree;
        tree.File(QStringLiteral("dir/file.txt"));
        tree.Folder(QStringLiteral(".dir"));
        tree.File(QStringLiteral(".file"));
        tree.File(QStringLiteral("a.b.c"));
        tree.Link(QStringLiteral("to-file"), QStringLiteral("dir/file.txt"));
        tree.Link(QStringLiteral(".to-file"), QStringLiteral("dir/file.txt"));
        tree.Link(QStringLiteral("to-dir"), QStringLiteral("dir"));
        tree.Link(QStringLiteral("gone"), QStringLiteral("nothing-here"));
        tree.Fifo(QStringLiteral("pipe"));
        tree.File(QStringLiteral("readonly.txt"));
        tree.File(QStringLiteral(".readonly"));
        tree.Folder(QStringLiteral("readonly-dir"));
        tree.Mode(QStringLiteral("readonly.txt"), 0444);
        tree.Mode(QStringLiteral(".readonly"), 0444);
        tree.Mode(QStringLiteral("readonly-dir"), 0555);
        QCOMPARE(AttributesOf(tree.Path(path)), expected);
    }

    void rootAndIdentity()
    {
        // A folder, read-only to all but root.
        QCOMPARE(AttributesOf(QStringLiteral("/")) | kAttrReadOnly, kAttrDirectory | kAttrReadOnly);
        QVERIFY(IsDriveRoot(QStringLiteral("/")));
        QVERIFY(IsDriveRoot(QStringLiteral("//")));
        QVERIFY(!IsDriveRoot(QStringLiteral("/tmp")));
        QVERIFY(!IsDriveRoot(QStringLiteral("/tmp/")));
        QVERIFY(!IsDriveRoot(QString()));
        QCOMPARE(AttributesOf(QString()), -1);

        Fixture tree;
        tree.Folder(QStringLiteral("a"));
        tree.Folder(QStringLiteral("b"));
        tree.Link(QStringLiteral("to-a"), QStringLiteral("a"));
        const QString a = FolderIdentity(tree.Path(QStringLiteral("a")));
        QVERIFY(!a.isEmpty());
        QCOMPARE(FolderIdentity(tree.Path(QStringLiteral("a/"))), a);
        QCOMPARE(FolderIdentity(tree.Path(QStringLiteral("to-a/"))), a);
        QVERIFY(FolderIdentity(tree.Path(QStringLiteral("b"))) != a);
        QCOMPARE(FolderIdentity(tree.Path(QStringLiteral("missing"))), QString());
    }

    void subfolderListing()
    {
        Fixture tree;
        tree.Folder(QStringLiteral("plain"));
        tree.Folder(QStringLiteral(".hidden"));
        tree.Link(QStringLiteral("to-plain"), QStringLiteral("plain"));
        tree.Link(QStringLiteral("gone"), QStringLiteral("nothing-here"));
        tree.File(QStringLiteral("file"));
        tree.Link(QStringLiteral("to-file"), QStringLiteral("file"));
        tree.Fifo(QStringLiteral("pipe"));

        const QStringList expected = InListingOrder(
            tree.Root(), {QStringLiteral("plain"), QStringLiteral(".hidden"), QStringLiteral("to-plain")});
        QCOMPARE(SubfolderNames(tree.Root()), expected);
        QCOMPARE(SubfolderNames(tree.Root() + QLatin1Char('/')), expected);

        std::optional<AppError> failure;
        QCOMPARE(SubfolderNames(tree.Path(QStringLiteral("missing")), failure), QStringList());
        QVERIFY(failure.has_value());
        QVERIFY(failure->number() != kErrPermissionDenied);
        QVERIFY_THROWS_EXCEPTION(AppError, SubfolderNames(tree.Path(QStringLiteral("file"))));

        if (!RunningAsRoot()) {
            tree.Mode(QStringLiteral("plain"), 0);
            SubfolderNames(tree.Path(QStringLiteral("plain")), failure);
            QVERIFY(failure.has_value());
            QCOMPARE(failure->number(), kErrPermissionDenied);
        }
    }

    void fileListing()
    {
        Fixture tree;
        tree.File(QStringLiteral("a.txt"));
        tree.File(QStringLiteral(".hidden.txt"));
        tree.Folder(QStringLiteral("folder.txt"));
        tree.Link(QStringLiteral("to-folder.txt"), QStringLiteral("folder.txt"));
        tree.Link(QStringLiteral("to-a.txt"), QStringLiteral("a.txt"));
        tree.Link(QStringLiteral("gone.txt"), QStringLiteral("nothing-here"));
        tree.Fifo(QStringLiteral("pipe.txt"));
        tree.File(QStringLiteral("other.doc"));
        tree.RawFile(QByteArrayLiteral("bad\xff.txt"));

        // Present means a file that opens as one, under the name the list would hold.
        const QStringList present = InListingOrder(
            tree.Root(), {QStringLiteral("a.txt"), QStringLiteral(".hidden.txt"), QStringLiteral("to-a.txt")});
        QCOMPARE(ListFilesInFolder(tree.Root(), QStringLiteral("*.txt")), present);
        QCOMPARE(ListFilesInFolder(tree.Root() + QLatin1Char('/'), QStringLiteral("*.TXT")), present);
        QCOMPARE(ListFilesInFolder(tree.Path(QStringLiteral("missing")), QStringLiteral("*.*")), QStringList());

        // The raw listing also shows what is not present, with the values the skip rules read;
        // never a folder or a link to one.
        const QMap<QString, int> expected{{QStringLiteral("a.txt"), 32},
                                          {QStringLiteral(".hidden.txt"), 34},
                                          {QStringLiteral("to-a.txt"), 1024 + 32},
                                          {QStringLiteral("gone.txt"), 1024},
                                          {QStringLiteral("pipe.txt"), 0}};
        QMap<QString, int> listed;
        for (const ListedFile &file : FilesIn(tree.Root(), QStringLiteral("*.txt"))) {
            if (file.name.startsWith(QLatin1String("bad"))) {
                QVERIFY(!file.present); // the decoded name names no file
                continue;
            }
            listed.insert(file.name, file.attributes);
            QCOMPARE(file.present, present.contains(file.name));
        }
        QCOMPARE(listed, expected);
        QCOMPARE(FileNamesIn(tree.Root()).size(), 7);

        QVERIFY(FileIsPresent(tree.Path(QStringLiteral("a.txt"))));
        QVERIFY(FileIsPresent(tree.Path(QStringLiteral("to-a.txt"))));
        QVERIFY(!FileIsPresent(tree.Path(QStringLiteral("folder.txt"))));
        QVERIFY(!FileIsPresent(tree.Path(QStringLiteral("gone.txt"))));
        QVERIFY(!FileIsPresent(tree.Path(QStringLiteral("pipe.txt"))));
        QVERIFY(!FileIsPresent(tree.Path(QStringLiteral("missing"))));
    }

    void wildcards_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("matches");
        QTest::newRow("extension") << "*.txt" << "a.txt" << true;
        QTest::newRow("extension, other case") << "*.txt" << "A.TXT" << true;
        QTest::newRow("pattern in upper case") << "*.TXT" << "b.tXt" << true;
        QTest::newRow("longer extension") << "*.txt" << "a.txt1" << false;
        QTest::newRow("extension before another") << "*.txt" << "a.txt.bak" << false;
        QTest::newRow("the extension alone as name") << "*.txt" << "txt" << false;
        QTest::newRow("dot-file with the extension") << "*.txt" << ".txt" << true;
        QTest::newRow("star dot star, dotted") << "*.*" << "a.b" << true;
        QTest::newRow("star dot star, no dot") << "*.*" << "README" << true;
        QTest::newRow("star dot star, dot-file") << "*.*" << ".profile" << true;
        QTest::newRow("name dot star finds the bare name") << "read.*" << "read" << true;
        QTest::newRow("name dot star, other name") << "read.*" << "reader" << false;
        QTest::newRow("question mark is one character") << "a?c" << "abc" << true;
        QTest::newRow("question mark is not none") << "a?c" << "ac" << false;
        QTest::newRow("stars backtrack") << "a*b*c" << "aXbXbYc" << true;
        QTest::newRow("stars need the last part") << "a*b*c" << "aXbY" << false;
        QTest::newRow("non-ASCII case") << "*.ÄÖ" << "x.äö" << true;
        QTest::newRow("plain name") << "name" << "NAME" << true;
    }

    void wildcards()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, name);
        QFETCH(bool, matches);
        QCOMPARE(WildcardMatches(pattern, name), matches);
    }

    void unusableNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("unusable");
        QTest::newRow("plain") << "Reports 2017" << false;
        QTest::newRow("accented") << "Café" << false;
        QTest::newRow("no-break space U+00A0") << QStringLiteral("a\u00A0b") << false;
        QTest::newRow("CJK") << "資料" << false;
        QTest::newRow("emoji") << QString::fromUtf8("\xF0\x9F\x98\x80") << false;
        QTest::newRow("question mark") << "what?" << true;
        QTest::newRow("tab") << "a\tb" << true;
        QTest::newRow("code 1") << QString(QChar(1)) << true;
        QTest::newRow("DEL 127") << QStringLiteral("x\u007F") << true;
        QTest::newRow("C1 control U+0085") << QStringLiteral("x\u0085") << true;
        QTest::newRow("undecodable bytes") << QFile::decodeName(QByteArrayLiteral("bad\xff")) << true;
        QTest::newRow("lone surrogate") << QString(QChar(0xD800)) << true;
    }

    void unusableNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, unusable);
        QCOMPARE(HasUnusableChar(name), unusable);
    }
};

TARNWELL_TEST_CLASS(FileAttributesTest)
#include "FileAttributesTest.moc"
