#include "FileList.h"
#include "ListFilters.h"
#include "TestRegistry.h"

#include <QElapsedTimer>
#include <QTest>

#include <limits>

using namespace tarnwell;

// Thinning the input list by a text in each entry's path.
class ListFiltersTest : public QObject
{
    Q_OBJECT

private slots:
    void filters_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("keptByContaining");    // what RemoveEntriesContaining leaves
        QTest::addColumn<QStringList>("keptByNotContaining"); // what RemoveEntriesNotContaining leaves
        const auto l = [](std::initializer_list<const char *> items) {
            QStringList list;
            for (const char *item : items)
                list << QString::fromUtf8(item);
            return list;
        };
        QTest::newRow("TXT in any case, anywhere in the path")
            << l({"/a/one.txt", "/a/TWO.TxT", "/txt/three.doc", "/b/four.doc", "/b/five.tx t"}) << QStringLiteral("TXT")
            << l({"/b/four.doc", "/b/five.tx t"}) << l({"/a/one.txt", "/a/TWO.TxT", "/txt/three.doc"});
        QTest::newRow("single blank") << l({"/a b/x", "/ab/y", "/ab/z w", "/c"}) << QStringLiteral(" ")
                                      << l({"/ab/y", "/c"}) << l({"/a b/x", "/ab/z w"});
        QTest::newRow("a folder") << l({"/p/in/1", "/p/out/2", "/p/in/3", "/p/inner/4"}) << QStringLiteral("/p/in/")
                                  << l({"/p/out/2", "/p/inner/4"}) << l({"/p/in/1", "/p/in/3"});
        QTest::newRow("no match") << l({"/x/1", "/x/2"}) << QStringLiteral("zzz") << l({"/x/1", "/x/2"}) << QStringList();
        QTest::newRow("locale lower case") << l({"/Ärger/1", "/ärger/2", "/arger/3"}) << QString::fromUtf8("äRGER")
                                           << l({"/arger/3"}) << l({"/Ärger/1", "/ärger/2"});
        QTest::newRow("duplicates keep their order") << l({"/d/1", "/k/2", "/d/1", "/k/3", "/d/1"}) << QStringLiteral("/d/")
                                                     << l({"/k/2", "/k/3"}) << l({"/d/1", "/d/1", "/d/1"});
        QTest::newRow("empty list") << QStringList() << QStringLiteral("x") << QStringList() << QStringList();
    }
    void filters()
    {
        QFETCH(QStringList, entries);
        QFETCH(QString, text);
        QFETCH(QStringList, keptByContaining);
        QFETCH(QStringList, keptByNotContaining);
        for (const bool containing : {true, false}) {
            FileList list;
            list.AppendMany(entries);
            int yields = 0;
            const auto yield = [&] { ++yields; };
            if (containing)
                RemoveEntriesContaining(list, text, yield);
            else
                RemoveEntriesNotContaining(list, text, yield);
            QCOMPARE(list.Entries(), containing ? keptByContaining : keptByNotContaining);
            QCOMPARE(yields, entries.size());
            // The entries that stay sit at consecutive positions from 1.
            for (int position = 1; position <= list.Count(); ++position)
                QCOMPARE(list.EntryAt(position), list.Entries().at(position - 1));
        }
    }

    void halfOfAHundredThousandEntriesQuickly()
    {
        QStringList entries;
        for (int i = 0; i < 100000; ++i)
            entries << QStringLiteral("C:\\Users\\someone\\Documents\\project %1\\notes\\file%2.%3")
                           .arg(i / 100)
                           .arg(i)
                           .arg(i % 2 ? QStringLiteral("TXT") : QStringLiteral("log"));
        // The best of three runs, so a busy machine does not decide the outcome.
        qint64 elapsed = std::numeric_limits<qint64>::max();
        for (int round = 0; round < 3; ++round) {
            FileList list;
            list.AppendMany(entries);
            QElapsedTimer timer;
            timer.start();
            RemoveEntriesContaining(list, QStringLiteral(".txt"), [] {});
            elapsed = std::min(elapsed, timer.elapsed());
            QCOMPARE(list.Count(), 50000);
            QVERIFY(list.EntryAt(50000).endsWith(QLatin1String("file99998.log")));
        }
#if defined(__SANITIZE_ADDRESS__)
        const qint64 limit = 1000; // instrumented builds are several times slower
#else
        const qint64 limit = 100;
#endif
        QVERIFY2(elapsed < limit, qPrintable(QStringLiteral("%1 ms").arg(elapsed)));
    }
};

TARNWELL_TEST_CLASS(ListFiltersTest)
#include "ListFiltersTest.moc"
