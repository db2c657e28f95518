#include "TestRegistry.h"
#include "filelist/FileList.h"
#include "filelist/FolderScan.h"

#include <QAbstractItemModelTester>
#include <QTest>

using namespace tarnwell;
using namespace Qt::StringLiterals;

class ModelAndPathsTest : public QObject
{
    Q_OBJECT

private slots:
    void listKeepsPositionsDuplicatesAndOrderThroughRemovals()
    {
        FileList list;
        QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::QtTest);
        list.Append(u"a"_s);
        list.AppendMany({u"b"_s, u"a"_s, u"c"_s, u"d"_s, u"e"_s});
        QCOMPARE(list.EntryAt(1) + list.EntryAt(6), u"ae"_s); // positions count from 1 to Count
        QCOMPARE(list.EntryAt(0) + list.EntryAt(7), QString());
        QCOMPARE(list.data(list.index(3)).toString(), u"c"_s);
        list.RemoveAt(2); // later entries move up one
        list.RemoveAt(0);
        list.RemoveAt(6);
        QCOMPARE(list.Entries(), (QStringList{u"a"_s, u"a"_s, u"c"_s, u"d"_s, u"e"_s}));
        list.RemovePositions({1, 3, 5}); // the rest keep their order
        QCOMPARE(list.Entries(), (QStringList{u"a"_s, u"d"_s}));
    }

    // The check's marks move with their entries, an entry added later has none, Clear drops them,
    // and the tooltip gives the whole path with what the check found.
    void marksMoveWithTheirEntries()
    {
        FileList list;
        QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::QtTest);
        list.AppendMany({u"a"_s, u"b"_s, u"c"_s, u"d"_s});
        list.SetMarks({{EntryMark::Kind::Qualifies, {}}, {}, {EntryMark::Kind::Unreadable, u"denied"_s}, {}});
        list.RemoveAt(2);
        list.Append(u"e"_s);
        list.RemovePositions({1, 3});
        QCOMPARE(list.Entries().join(u' ') + u' ' + list.data(list.index(0), Qt::ToolTipRole).toString(),
                 u"c e c\nCould not be read: denied"_s);
        QCOMPARE(list.data(list.index(1), Qt::ToolTipRole).toString()
                     + list.data(list.index(1), kEntryMarkRole).toString(),
                 u"e0"_s);
        list.Clear();
        list.Append(u"f"_s);
        QCOMPARE(list.MarkAt(1).kind, EntryMark::Kind::None);
    }

    // A raw Windows attribute word reaches the walk's rules (22, 1046; 34) only through the reported bits.
    void attributeWordsReachTheRulesMasked_data()
    {
        const quint32 unreported = 0x2000 | 0x100 | 0x1000 | 0x400000 | 0x80000;
        QTest::addColumn<quint32>("raw");
        QTest::addColumn<bool>("hiddenSystemFolder"); // as a folder: neither walked nor listed
        QTest::addColumn<bool>("skippedFile");        // as a file: value 34, not listed
        QTest::newRow("hidden system folder, unreported bits") << (0x16u | unreported) << true << false;
        QTest::newRow("... junction, not content indexed: 1046") << 0x2416u << true << false;
        QTest::newRow("... archive too: 54") << 0x36u << false << false;
        QTest::newRow("... compressed: 2070") << 0x816u << false << false;
        QTest::newRow("hidden archive file, compressed, link, unreported") << (0xC22u | unreported) << false << true;
        QTest::newRow("... read-only too: 35") << 0x2023u << false << false;
        QTest::newRow("... system too: 38") << 0x26u << false << false;
    }
    void attributeWordsReachTheRulesMasked()
    {
        QFETCH(quint32, raw);
        QFETCH(bool, hiddenSystemFolder);
        QFETCH(bool, skippedFile);
        QCOMPARE(IsHiddenSystemFolderValue(FolderAttributeValue(raw)), hiddenSystemFolder);
        QCOMPARE(IsHiddenArchiveFileValue(FileAttributeValue(raw)), skippedFile);
    }

    void joinEntryPath_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("expected");
#ifdef Q_OS_WIN
        QTest::newRow("drive root") << u"C:\\"_s << u"C:\\x.txt"_s;
        QTest::newRow("folder") << u"C:\\Data"_s << u"C:\\Data\\x.txt"_s;
        QTest::newRow("doubled separator becomes one") << u"C:\\a\\\\b"_s << u"C:\\a\\b\\x.txt"_s;
        QTest::newRow("tripled separator becomes two") << u"C:\\Data\\\\"_s << u"C:\\Data\\\\x.txt"_s;
        QTest::newRow("network path keeps its pair") << u"\\\\srv\\share"_s << u"\\\\srv\\share\\x.txt"_s;
#else
        QTest::newRow("root") << u"/"_s << u"/x.txt"_s;
        QTest::newRow("doubled separator becomes one") << u"/a//b"_s << u"/a/b/x.txt"_s;
        QTest::newRow("tripled separator becomes two") << u"/data//"_s << u"/data//x.txt"_s;
#endif
    }

    void joinEntryPath()
    {
        QFETCH(QString, folder);
        QFETCH(QString, expected);
        QCOMPARE(JoinEntryPath(folder, u"x.txt"_s), expected);
    }
};

TARNWELL_TEST_CLASS(ModelAndPathsTest)
#include "ModelAndPathsTest.moc"
