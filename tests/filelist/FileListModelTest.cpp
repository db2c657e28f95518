#include "FileList.h"
#include "TestRegistry.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

using namespace tarnwell;

namespace {

QStringList Entries(const FileList &list)
{
    QStringList entries;
    for (int position = 1; position <= list.Count(); ++position)
        entries.append(list.EntryAt(position));
    return entries;
}

QStringList Strings(std::initializer_list<const char *> texts)
{
    QStringList strings;
    for (const char *text : texts)
        strings.append(QString::fromUtf8(text));
    return strings;
}

} // namespace

class FileListModelTest : public QObject
{
    Q_OBJECT

private slots:
    void appendKeepsOrderPositionsAndDuplicates()
    {
        FileList list;
        QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy inserted(&list, &QAbstractItemModel::rowsInserted);

        list.Append(QStringLiteral("/d/a.txt"));
        list.AppendMany(Strings({"/d/b.txt", "/d/a.txt", "/d/c.txt"}));
        list.AppendMany({}); // no update for nothing
        list.Append(QStringLiteral("/d/a.txt"));

        QCOMPARE(list.Count(), 5);
        QCOMPARE(Entries(list), Strings({"/d/a.txt", "/d/b.txt", "/d/a.txt", "/d/c.txt", "/d/a.txt"}));
        QCOMPARE(list.EntryAt(0), QString());
        QCOMPARE(list.EntryAt(6), QString());
        QCOMPARE(list.rowCount(), 5);
        QCOMPARE(list.data(list.index(3)).toString(), QStringLiteral("/d/c.txt"));

        // One insert per call, at the end, covering exactly the new rows.
        QCOMPARE(inserted.count(), 3);
        QCOMPARE(inserted.at(1).at(1).toInt(), 1);
        QCOMPARE(inserted.at(1).at(2).toInt(), 3);
        QCOMPARE(inserted.at(2).at(1).toInt(), 4);
        QCOMPARE(inserted.at(2).at(2).toInt(), 4);
    }

    void removeAtMovesLaterEntriesUp()
    {
        FileList list;
        QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::QtTest);
        list.AppendMany(Strings({"1", "2", "3", "4", "5"}));
        QSignalSpy removed(&list, &QAbstractItemModel::rowsRemoved);

        list.RemoveAt(3);
        QCOMPARE(Entries(list), Strings({"1", "2", "4", "5"}));
        QCOMPARE(list.EntryAt(3), QStringLiteral("4"));
        QCOMPARE(removed.count(), 1);
        QCOMPARE(removed.at(0).at(1).toInt(), 2); // row 2 is position 3

        list.RemoveAt(0);
        list.RemoveAt(5);
        QCOMPARE(removed.count(), 1);
        QCOMPARE(list.Count(), 4);

        list.RemoveAt(4);
        list.RemoveAt(1);
        QCOMPARE(Entries(list), Strings({"2", "4"}));
    }

    void removePositions_data()
    {
        QTest::addColumn<QList<int>>("positions");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("every other") << QList<int>{1, 3, 5} << Strings({"b", "d", "f"});
        QTest::newRow("first and last") << QList<int>{1, 6} << Strings({"b", "c", "d", "e"});
        QTest::newRow("a run") << QList<int>{2, 3, 4} << Strings({"a", "e", "f"});
        QTest::newRow("all") << QList<int>{1, 2, 3, 4, 5, 6} << QStringList();
        QTest::newRow("none") << QList<int>{} << Strings({"a", "b", "c", "d", "e", "f"});
        QTest::newRow("outside the list") << QList<int>{0, 2, 9} << Strings({"a", "c", "d", "e", "f"});
    }

    void removePositions()
    {
        QFETCH(QList<int>, positions);
        QFETCH(QStringList, expected);
        FileList list;
        QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::QtTest);
        list.AppendMany(Strings({"a", "b", "c", "d", "e", "f"}));
        list.RemovePositions(positions);
        QCOMPARE(Entries(list), expected);
        QCOMPARE(list.rowCount(), static_cast<int>(expected.size()));
    }

    void clearAndHeader()
    {
        FileList list;
        QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy header(&list, &QAbstractItemModel::headerDataChanged);
        list.SetHeader(QStringLiteral("Text File(s)"));
        QCOMPARE(header.count(), 1);
        QCOMPARE(list.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Text File(s)"));
        list.AppendMany(Strings({"a", "b"}));
        list.Clear();
        QCOMPARE(list.Count(), 0);
        list.Append(QStringLiteral("c"));
        QCOMPARE(Entries(list), Strings({"c"}));
    }

    void joinEntryPath_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
#ifdef Q_OS_WIN
        QTest::newRow("drive root") << "C:\\" << "x.txt" << "C:\\x.txt";
        QTest::newRow("folder") << "C:\\Data" << "x.txt" << "C:\\Data\\x.txt";
        QTest::newRow("folder with its separator") << "C:\\Data\\" << "x.txt" << "C:\\Data\\x.txt";
        QTest::newRow("three in a row become two") << "C:\\Data\\\\" << "x.txt" << "C:\\Data\\\\x.txt";
        QTest::newRow("doubled inside") << "C:\\a\\\\b" << "x.txt" << "C:\\a\\b\\x.txt";
        QTest::newRow("network path keeps its pair") << "\\\\server\\share" << "x.txt"
                                                     << "\\\\server\\share\\x.txt";
#else
        QTest::newRow("root") << "/" << "x.txt" << "/x.txt";
        QTest::newRow("folder") << "/data" << "x.txt" << "/data/x.txt";
        QTest::newRow("folder with its separator") << "/data/" << "x.txt" << "/data/x.txt";
        QTest::newRow("three in a row become two") << "/data//" << "x.txt" << "/data//x.txt";
        QTest::newRow("doubled inside") << "/a//b" << "x.txt" << "/a/b/x.txt";
        QTest::newRow("backslash is a name character") << "/a\\\\b" << "x.txt" << "/a\\\\b/x.txt";
        QTest::newRow("empty folder") << "" << "x.txt" << "/x.txt";
#endif
    }

    void joinEntryPath()
    {
        QFETCH(QString, folder);
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QCOMPARE(JoinEntryPath(folder, name), expected);
    }
};

TARNWELL_TEST_CLASS(FileListModelTest)
#include "FileListModelTest.moc"
