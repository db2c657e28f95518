#include "Fillers.h"
#include "ErrorTrap.h"
#include "FileList.h"
#include "Fixture.h"
#include "TestRegistry.h"

#include <QTest>

using namespace tarnwell;
using namespace tarnwell::testing;
using namespace Qt::StringLiterals;

class FillersTest : public QObject
{
    Q_OBJECT

private slots:
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

TARNWELL_TEST_CLASS(FillersTest)
#include "FillersTest.moc"
