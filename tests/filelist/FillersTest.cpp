// The fillers other than the folder scan: picked files, dropped items, sample files.
#include "ErrorTrap.h"
#include "FileList.h"
#include "Fillers.h"
#include "Fixture.h"
#include "TestRegistry.h"

#include <QTest>

using namespace tarnwell;
using namespace tarnwell::testing;

namespace {

QStringList Strings(std::initializer_list<const char *> texts)
{
    QStringList strings;
    for (const char *text : texts)
        strings.append(QString::fromUtf8(text));
    return strings;
}

QStringList Drop(const QStringList &paths)
{
    FileList list;
    AddDroppedPaths(paths, list, [] {});
    return list.Entries();
}

} // namespace

class FillersTest : public QObject
{
    Q_OBJECT

private slots:
    void pickedFiles_data()
    {
        QTest::addColumn<QStringList>("picked");
        QTest::addColumn<QStringList>("entries");
        // One file stays exactly as the dialog gave it; several are joined, which tidies them.
        QTest::newRow("one file") << Strings({"/data/a.txt"}) << Strings({"/data/a.txt"});
        QTest::newRow("one file, untouched") << Strings({"/data//a.txt"}) << Strings({"/data//a.txt"});
        QTest::newRow("three files in dialog order")
            << Strings({"/data/c.txt", "/data/a.txt", "/data/b.txt"})
            << Strings({"/data/c.txt", "/data/a.txt", "/data/b.txt"});
        QTest::newRow("several, joined") << Strings({"/data//a.txt", "/data//b.txt"})
                                         << Strings({"/data/a.txt", "/data/b.txt"});
        QTest::newRow("several in the root") << Strings({"/a.txt", "/b.txt"}) << Strings({"/a.txt", "/b.txt"});
        QTest::newRow("the same file twice") << Strings({"/d/a.txt", "/d/a.txt"}) << Strings({"/d/a.txt", "/d/a.txt"});
        QTest::newRow("nothing") << QStringList() << QStringList();
    }

    void pickedFiles()
    {
        QFETCH(QStringList, picked);
        QFETCH(QStringList, entries);
        QCOMPARE(EntriesFromPickedFiles(picked), entries);
    }

    void dropsKeepTheOrderOfTheItems()
    {
        Fixture tree;
        tree.File(QStringLiteral("loose.txt"));
        tree.File(QStringLiteral("one/noext"));
        tree.File(QStringLiteral("one/inner/i.doc"));
        tree.File(QStringLiteral("one/~skipped.txt"));
        tree.File(QStringLiteral("one/.skipped"));
        tree.File(QStringLiteral("two/t.txt"));
        const QString loose = tree.Path(QStringLiteral("loose.txt"));
        const QStringList one{tree.Path(QStringLiteral("one/noext")), tree.Path(QStringLiteral("one/inner/i.doc"))};
        const QStringList two{tree.Path(QStringLiteral("two/t.txt"))};

        // A folder lists every file of its tree but the "~" names and value 34; a file goes in as is.
        QCOMPARE(Drop({loose, tree.Path(QStringLiteral("one"))}), QStringList{loose} + one);
        QCOMPARE(Drop({tree.Path(QStringLiteral("one")), loose}), one + QStringList{loose});
        QCOMPARE(Drop({tree.Path(QStringLiteral("two")), tree.Path(QStringLiteral("one"))}), two + one);
        QCOMPARE(Drop({tree.Path(QStringLiteral("one/")), loose}), one + QStringList{loose});
    }

    void droppedFilesAreNotTested()
    {
        Fixture tree;
        tree.File(QStringLiteral("a.txt"));
        tree.File(QStringLiteral("~temp.txt"));
        tree.File(QStringLiteral(".hidden"));
        const QString a = tree.Path(QStringLiteral("a.txt"));
        const QString tilde = tree.Path(QStringLiteral("~temp.txt"));
        const QString hidden = tree.Path(QStringLiteral(".hidden")); // value 34
        const QString missing = tree.Path(QStringLiteral("missing.txt"));
        const QString odd = tree.Root() + QStringLiteral("//a.txt");
        QCOMPARE(Drop({a, a}), (QStringList{a, a}));
        QCOMPARE(Drop({tilde, hidden, missing, odd}), (QStringList{tilde, hidden, missing, odd}));
    }

    void aFailingDropKeepsWhatItAdded()
    {
        Fixture tree;
        tree.File(QStringLiteral("a.txt"));
        tree.File(QStringLiteral("f/b.txt"));
        tree.File(QStringLiteral("g/c.txt"));
        const QString a = tree.Path(QStringLiteral("a.txt"));
        FileList list;
        // The window's yield may fail mid-walk (here once the folder's file is in); the failure
        // reaches the caller, the entries stay, the later items are not handled.
        const auto yield = [&list] {
            if (list.Count() >= 2)
                throw AppError(QStringLiteral("stop"), 5);
        };
        QVERIFY_THROWS_EXCEPTION(AppError, AddDroppedPaths({a, tree.Path(QStringLiteral("f")), a,
                                                            tree.Path(QStringLiteral("g"))},
                                                           list, yield));
        QCOMPARE(list.Entries(), (QStringList{a, tree.Path(QStringLiteral("f/b.txt"))}));
    }

    void sampleFiles()
    {
        Fixture program;
        program.File(QStringLiteral("Samples/one.txt"));
        program.File(QStringLiteral("Samples/.hidden.txt")); // hidden, value 34: listed here
        program.File(QStringLiteral("Samples/~draft.txt"));  // listed here too
        program.File(QStringLiteral("Samples/noext"));
        program.File(QStringLiteral("Samples/sub/deeper.txt")); // subfolders are not searched
        const QString root = program.Root();
        QCOMPARE(SampleFolder(root), root + QStringLiteral("/Samples"));

        QStringList expected;
        for (const QString &name : InListingOrder(root + QStringLiteral("/Samples"),
                                                  Strings({"one.txt", ".hidden.txt", "~draft.txt", "noext"})))
            expected.append(root + QStringLiteral("/Samples/") + name);
        QCOMPARE(SampleEntries(root), expected);

        // Loading them twice lists every sample twice.
        FileList list;
        list.AppendMany(SampleEntries(root));
        list.AppendMany(SampleEntries(root));
        QCOMPARE(list.Entries(), expected + expected);

        // The program folder is taken as it is, not tidied.
        const QStringList untidy = SampleEntries(root + QLatin1Char('/'));
        QCOMPARE(untidy.size(), expected.size());
        QCOMPARE(untidy.constFirst(), QString(expected.constFirst()).replace(root, root + QLatin1Char('/')));
        Fixture empty;
        QCOMPARE(SampleEntries(empty.Root()), QStringList());
    }
};

TARNWELL_TEST_CLASS(FillersTest)
#include "FillersTest.moc"
