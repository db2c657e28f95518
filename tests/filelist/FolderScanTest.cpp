#include "FolderScan.h"
#include "ErrorTrap.h"
#include "FileAttributes.h"
#include "FileList.h"
#include "Fillers.h"
#include "Fixture.h"
#include "TestRegistry.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <pwd.h>

using namespace tarnwell;
using namespace tarnwell::testing;
using namespace Qt::StringLiterals;

namespace {

QStringList Scan(const QString &folder, const QString &pattern)
{
    FileList list;
    ScanFolderIntoList(folder, pattern, list, [] {});
    return list.Entries();
}

} // namespace

class FolderScanTest : public QObject
{
    Q_OBJECT

private slots:
    void filesComeFolderByFolderBreadthFirstAcrossThreeLevels()
    {
        Fixture tree;
        for (const char *file : {"a/a/a/f", "a/a/f", "a/f", "b/b/f", "b/f", "f"})
            tree.File(file);
        // Level by level, each in the order of its parents; depth-first would put a/a before b.
        QStringList expected{tree.Path(u"f"_s)};
        for (const QString &pattern : {u"%1/f"_s, u"%1/%1/f"_s})
            for (const QString &folder : InListingOrder(tree.Root(), {u"a"_s, u"b"_s}))
                expected.append(tree.Path(pattern.arg(folder)));
        QCOMPARE(Scan(tree.Root(), u"*"_s), expected << tree.Path(u"a/a/a/f"_s));
    }

    void scanListsEachKeptFileOnce_data()
    {
        QTest::addColumn<QByteArrayList>("made"); // files, and links as "link>target"
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QStringList>("listed");
        const QByteArrayList names{"a.txt", "B.TXT", "c.TxT", "d.txt.bak", "noext", "sub.txt/in.txt"};
        // A folder never becomes an entry, whatever its name; its files do.
        const QStringList txt{u"a.txt"_s, u"B.TXT"_s, u"c.TxT"_s, u"sub.txt/in.txt"_s};
        const QStringList all = txt + QStringList{u"d.txt.bak"_s, u"noext"_s};
        QTest::newRow("txt in any letter case") << names << u"*.txt"_s << txt;
        QTest::newRow("star dot star takes names without a dot") << names << u"*.*"_s << all;
        QTest::newRow("star takes every name") << names << u"*"_s << all;
        // Skipped: "~" files (not folders) and a plain dot-file, 2 + 32 = 34. A hidden link is
        // 1058 and listed; a read-only dot-file, 35, is listed in the unreadable folder test.
        QTest::newRow("tilde files and dot-files of value 34 skipped, hidden link listed")
            << QByteArrayList{"plain.txt", "~lock.txt", ".dot.txt", ".link.txt>plain.txt", "~dir/in.txt"} << u"*.*"_s
            << QStringList{u"plain.txt"_s, u".link.txt"_s, u"~dir/in.txt"_s};
        const QStringList top{u"top"_s};
        QTest::newRow("folder with a control character not walked")
            << QByteArrayList{"top", "c\x01/in"} << u"*"_s << top;
        QTest::newRow("folder with an undecodable name not walked")
            << QByteArrayList{"top", "b\xff/in"} << u"*"_s << top;
        QTest::newRow("folder with a well-encoded accent walked")
            << QByteArrayList{"top", "caf\xc3\xa9/in"} << u"*"_s << top + QStringList{u"caf\u00e9/in"_s};
        // Every folder is first reached without a link, so each file keeps its own path.
        const QByteArrayList tree{"top.txt", "a/a.txt", "a/b/b.txt", "c/c.txt"};
        const QStringList once{u"top.txt"_s, u"a/a.txt"_s, u"a/b/b.txt"_s, u"c/c.txt"_s};
        QTest::newRow("link to its own parent") << tree + QByteArrayList{"a/b/up>.."} << u"*.*"_s << once;
        QTest::newRow("two folders linking to each other")
            << tree + QByteArrayList{"a/to-c>../c", "c/to-a>../a"} << u"*.*"_s << once;
        QTest::newRow("link to the root of the tree") << tree + QByteArrayList{"a/b/root>../.."} << u"*.*"_s << once;
    }

    void scanListsEachKeptFileOnce()
    {
        QFETCH(QByteArrayList, made);
        QFETCH(QString, pattern);
        QFETCH(QStringList, listed);
        Fixture tree;
        for (const QByteArray &item : made) {
            const qsizetype arrow = item.indexOf('>');
            if (arrow < 0)
                tree.File(item);
            else
                tree.Link(item.left(arrow), QFile::decodeName(item.mid(arrow + 1)));
        }
        QStringList entries = Scan(tree.Root(), pattern).replaceInStrings(tree.Root() + u'/', QString());
        entries.sort(); // the order is the breadth-first test's concern
        listed.sort();
        QCOMPARE(entries, listed);
    }

    // Root reads every folder, so as root the scanner program runs as "nobody" through setpriv.
    // A folder that can be listed but not entered lists none of its files.
    void unreadableFolderIsDroppedSilentlyAndReadOnlyDotFileListed()
    {
        Fixture tree;
        for (const char *file : {"top.txt", "open/a.txt", "open/shut/deep.txt", "shut/b.txt", "shut/sub/c.txt",
                                 "listed/x.txt", "listed/sub/y.txt"})
            tree.File(file);
        tree.File(".readonly", 0444); // hidden and read-only to the scanning user: 35, listed
        tree.File(".writable", 0666); // hidden and writable by that user: 34, skipped
        tree.Shut("shut");
        tree.Shut("open/shut");
        tree.Shut("listed", 0444); // its names can be read, but none of its files opened

        Fixture bin; // a copy the unprivileged user can surely run, wherever the build lies
        const QString program = bin.Path(u"scanas"_s);
        QVERIFY(QFile::copy(QStringLiteral(TARNWELL_SCANAS_PROGRAM), program));
        QStringList command;
        if (::geteuid() == 0) {
            const passwd *nobody = ::getpwnam("nobody");
            const QString setpriv = QStandardPaths::findExecutable(u"setpriv"_s);
            if (nobody == nullptr || setpriv.isEmpty())
                QSKIP("as root, a user \"nobody\" and setpriv are needed to be refused a folder");
            command << setpriv << u"--reuid=%1"_s.arg(nobody->pw_uid) << u"--regid=%1"_s.arg(nobody->pw_gid)
                    << u"--clear-groups"_s;
        }
        command << program << tree.Root();
        QProcess scan;
        scan.start(command.takeFirst(), command);
        QVERIFY(scan.waitForFinished(60000));
        // An instrumented build's counters, which that user may not write, are no error of the scan.
        const QString errors = QString::fromLocal8Bit(scan.readAllStandardError())
                                   .remove(
                                       QRegularExpression(u"^profiling:.*\\n"_s, QRegularExpression::MultilineOption));
        QVERIFY2(scan.exitStatus() == QProcess::NormalExit && scan.exitCode() == 0 && errors.isEmpty(),
                 qPrintable(errors));
        QStringList listed = QFile::decodeName(scan.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        listed.sort();
        QCOMPARE(listed, (QStringList{tree.Path(u".readonly"_s), tree.Path(u"open/a.txt"_s), tree.Path(u"top.txt"_s)}));
    }

    void attributeValues_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("expected");
        QTest::newRow("folder") << u"dir"_s << 16;
        QTest::newRow("regular file") << u"dir/f.txt"_s << 32;
        QTest::newRow("dot-file") << u".f"_s << 2 + 32;
        QTest::newRow("link to a file") << u"to-f"_s << 1024 + 32;
        QTest::newRow("link to a folder") << u"to-dir"_s << 1024 + 16;
    }

    void attributeValues()
    {
        QFETCH(QString, path);
        QFETCH(int, expected);
        Fixture tree;
        tree.File("dir/f.txt");
        tree.File(".f");
        tree.Link("to-f", u"dir/f.txt"_s);
        tree.Link("to-dir", u"dir"_s);
        QCOMPARE(AttributesOf(tree.Path(path)), expected);
    }

    void drops_data()
    {
        QTest::addColumn<QStringList>("dropped");
        QTest::addColumn<int>("stopAt"); // the window's yield throws once the list holds this many
        QTest::addColumn<QStringList>("entries");
        // A folder lists every file of its tree but "~" names; a file goes in as given, untested.
        const QStringList loose{u"loose.txt"_s}, one{u"one"_s}, tilde{u"~temp.txt"_s};
        const QStringList inOne{u"one/noext"_s, u"one/inner/i.doc"_s};
        QTest::newRow("file then folder") << loose + one << 0 << loose + inOne;
        QTest::newRow("folder then file") << one + loose << 0 << inOne + loose;
        QTest::newRow("the same file twice") << loose + loose << 0 << loose + loose;
        QTest::newRow("a ~ file dropped directly is added") << tilde << 0 << tilde;
        QTest::newRow("a stopped drop keeps what it added") << loose + one + loose << 2 << loose + inOne.first(1);
    }

    void drops()
    {
        QFETCH(QStringList, dropped);
        QFETCH(int, stopAt);
        QFETCH(QStringList, entries);
        Fixture tree;
        for (const char *file : {"loose.txt", "~temp.txt", "one/noext", "one/~skipped.txt", "one/inner/i.doc"})
            tree.File(file);
        for (QStringList *paths : {&dropped, &entries})
            for (QString &path : *paths)
                path.prepend(tree.Root() + u'/');
        FileList list;
        const auto yield = [&] {
            if (stopAt > 0 && list.Count() >= stopAt)
                throw AppError(u"stop"_s, 5);
        };
        try {
            AddDroppedPaths(dropped, list, yield);
            QCOMPARE(stopAt, 0);
        } catch (const AppError &) { // reaches the caller; the later items are not handled
            QVERIFY(stopAt > 0);
        }
        QCOMPARE(list.Entries(), entries);
    }

    void samplesListedTwiceGiveEverySampleTwiceHiddenOnesIncluded()
    {
        Fixture program;
        for (const char *file : {"Samples/one.txt", "Samples/.hidden.txt", "Samples/sub/deeper.txt"})
            program.File(file); // the dot-file (34) is a sample too; subfolders are not searched
        FileList list;
        list.AppendMany(SampleEntries(program.Root()));
        list.AppendMany(SampleEntries(program.Root()));
        QStringList once = list.Entries().mid(0, 2);
        QCOMPARE(list.Entries(), once + once);
        once.sort();
        QCOMPARE(once, (QStringList{program.Path(u"Samples/.hidden.txt"_s), program.Path(u"Samples/one.txt"_s)}));
    }
};

TARNWELL_TEST_CLASS(FolderScanTest)
#include "FolderScanTest.moc"
