#include "EngineTestKit.h"
#include "TestRegistry.h"

#include <QTemporaryDir>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

using namespace tarnwell;
using namespace tarnwell::testing;

// The run as the window drives it: the preconditions, what it shows for each file, where it saves,
// when it reads the fields, and how a failing file is reported.
class AppendRunTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString Path(const QString &name) const { return m_dir->filePath(name); }

    // A job over the named files of the test folder, each written with `content`, saved in place.
    Job Files(const QStringList &names, const QByteArray &content = "data")
    {
        Job job;
        job.text3 = m_dir->path();
        for (const QString &name : names) {
            WriteBytes(Path(name), content);
            job.entries << Path(name);
        }
        return job;
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid() && QDir(m_dir->path()).mkdir(u"out"_s));
    }

    void preconditions_data()
    {
        QTest::addColumn<bool>("emptyList");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("inPlace");
        QTest::addColumn<QString>("message");
        const QString noFiles = u"No files added."_s;
        const QString noFolder = u"Folder does not exist. Please select another folder."_s;
        QTest::newRow("empty list is checked before the folder") << true << u"missing"_s << true << noFiles;
        QTest::newRow("missing folder, in place") << false << u"missing"_s << true << noFolder;
        QTest::newRow("missing folder, new files") << false << u"missing"_s << false << noFolder;
        QTest::newRow("folder text names a file") << false << u"a.txt"_s << false << noFolder;
    }
    void preconditions()
    {
        QFETCH(bool, emptyList);
        QFETCH(QString, folder);
        QFETCH(bool, inPlace);
        QFETCH(QString, message);
        Job job = Files({u"a.txt"_s});
        if (emptyList)
            job.entries.clear();
        job.text3 = folder.isEmpty() ? QString() : Path(folder);
        job.option1 = inPlace;
        QCOMPARE(Run(job).calls, QStringList{u"Message(%1)"_s.arg(message)});
        QCOMPARE(ReadBytes(Path(u"a.txt"_s)), "data"_ba);
        QCOMPARE(TreeNames(m_dir->path()), (QStringList{u"a.txt"_s, u"out"_s}));
    }

    // Every file shows the same steps, whether it is written or not; then the end state.
    void callSequenceAndEndState()
    {
        const Job job = Files({u"f1.txt"_s, u"f2.txt"_s, u"f3.txt"_s, u"f4.txt"_s});
        WriteBytes(Path(u"f2.txt"_s), "zzz");
        QStringList expected;
        for (int i = 1; i <= 4; ++i) {
            expected << u"Yield"_s << u"Pointer(11)"_s << u"Progress(%1)"_s.arg(25 * i) << u"EntryText(%1)"_s.arg(i)
                     << u"ProgressText(Processing: f%1.txt)"_s.arg(i) << u"Yield"_s << u"Pointer(11)"_s;
        }
        expected << u"Pointer(0)"_s << u"Progress(0)"_s << u"ProgressText(Progress Bar)"_s << u"Message(Done.)"_s;
        QCOMPARE(Run(job).calls, expected);
        QCOMPARE(ReadBytes(Path(u"f2.txt"_s)), "zzz"_ba);
        QCOMPARE(ReadBytes(Path(u"f4.txt"_s)), "data\r\nTAIL"_ba);
    }

    // New files: of two inputs of one name, the later one's is left, whole, even when it is the shorter;
    // an input already in the output folder is appended to in place (another name of it sees that).
    void outputFolder_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::newRow("same text") << QString();
        QTest::newRow("trailing separator") << u"/"_s;
        QTest::newRow("through a dot") << u"/."_s;
    }
    void outputFolder()
    {
        QFETCH(QString, suffix);
        QVERIFY(QDir(m_dir->path()).mkdir(u"one"_s) && QDir(m_dir->path()).mkdir(u"two"_s));
        Job job = Files({u"one/same.txt"_s, u"two/same.txt"_s, u"in.txt"_s}, "the longer first");
        WriteBytes(Path(u"two/same.txt"_s), "2nd");
#ifndef Q_OS_WIN
        QTemporaryDir elsewhere; // another name of in.txt sees the append: the file is not replaced
        const QString other = elsewhere.filePath(u"other"_s);
        QCOMPARE(::link(QFile::encodeName(Path(u"in.txt"_s)).constData(), QFile::encodeName(other).constData()), 0);
#endif
        job.option1 = false;
        job.text3 += suffix;
        QCOMPARE(Run(job).boxes, QStringList());
        QCOMPARE(ReadBytes(Path(u"same.txt"_s)), "2nd\r\nTAIL"_ba);
        QCOMPARE(ReadBytes(Path(u"in.txt"_s)), "the longer first\r\nTAIL"_ba);
#ifndef Q_OS_WIN
        QCOMPARE(ReadBytes(other), "the longer first\r\nTAIL"_ba);
#endif
        QCOMPARE(ReadBytes(Path(u"one/same.txt"_s)) + ReadBytes(Path(u"two/same.txt"_s)), "the longer first2nd"_ba);
        QCOMPARE(TreeNames(m_dir->path()), (QStringList{u"in.txt"_s, u"one"_s, u"one/same.txt"_s, u"out"_s,
                                                        u"same.txt"_s, u"two"_s, u"two/same.txt"_s}));
    }

    // An edit made during the run holds from the next file on.
    void fieldsAreReadForEachFile()
    {
        const QStringList entries = Files({u"1.txt"_s, u"2.txt"_s}, "alpha beta").entries;
        FakeHost host({entries, u"one"_s, u"alpha"_s, m_dir->path(), 0, true}); // "does" alpha, in place
        host.onCall = [&](const QString &call) {
            if (call == u"EntryText(2)"_s) // "does not" gamma, new files
                host.job = {entries, u"two"_s, u"GAMMA"_s, Path(u"out"_s), 1, false};
        };
        RunAppendJob(host, CodePage::Windows1252());
        QCOMPARE(ReadBytes(Path(u"1.txt"_s)), "alpha beta\r\none"_ba);
        QCOMPARE(ReadBytes(Path(u"2.txt"_s)), "alpha beta"_ba);
        QCOMPARE(ReadBytes(Path(u"out/2.txt"_s)), "alpha beta\r\ntwo"_ba);
    }

    // A failing file gets one box naming it, from "PushButton2_Click" at the failing line, and keeps
    // its bytes; the run goes on with the next file and ends with "Done.".
    void failingFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("line");
        QTest::newRow("folder listed as a file") << u"folder"_s << 112;
        QTest::newRow("CJK into windows-1252") << u"cjk"_s << 116;
        QTest::newRow("starts with ÿþ, odd length") << u"odd16"_s << 116;
        QTest::newRow("target is a folder") << u"targetIsFolder"_s << 118;
    }
    void failingFile()
    {
        QFETCH(QString, kind);
        QFETCH(int, line);
        Job job = Files({u"bad.txt"_s, u"good.txt"_s});
        const QString bad = Path(u"bad.txt"_s);
        QString named = bad; // in the box
        QByteArray badBytes = "data", goodAfter = "data\r\nTAIL";
        if (kind == u"folder"_s) {
            QVERIFY(QFile::remove(bad) && QDir().mkdir(bad));
            badBytes.clear();
        } else if (kind == u"cjk"_s) {
            job.text1 = u"漢"_s;
            WriteBytes(Path(u"good.txt"_s), "\xEF\xBB\xBF"
                                            "data"); // UTF-8 with a mark can take it
            goodAfter = "\xEF\xBB\xBF"
                        "data\r\n\xE6\xBC\xA2";
        } else if (kind == u"odd16"_s) {
            WriteBytes(bad, badBytes = "\xFF\xFE\x61\x00\x62");
        } else {
            job.option1 = false;
            job.text3 = Path(u"out"_s);
            QVERIFY(QDir().mkdir(named = Path(u"out/bad.txt"_s)));
        }
        const FakeHost host = Run(job);
        QCOMPARE(host.boxes.size(), 1);
        // The output folder is typed with "/" here; on Windows the run joins it with "\".
        QVERIFY2(QDir::fromNativeSeparators(host.boxes[0]).contains(named)
                     && host.boxes[0].endsWith(u"|PushButton2_Click|%1"_s.arg(line)),
                 qPrintable(host.boxes[0]));
        QVERIFY2(kind != u"cjk"_s || host.boxes[0].contains(u"windows-1252"_s), qPrintable(host.boxes[0]));
        QCOMPARE(host.calls.last(), u"Message(Done.)"_s);
        QCOMPARE(ReadBytes(bad), badBytes);
        QCOMPARE(ReadBytes(job.option1 ? Path(u"good.txt"_s) : Path(u"out/good.txt"_s)), goodAfter);
    }
};

TARNWELL_TEST_CLASS(AppendRunTest)
#include "AppendRunTest.moc"
