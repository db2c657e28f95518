#include "EngineTestKit.h"
#include "TestRegistry.h"

#include <QTemporaryDir>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

using namespace tarnwell;
using namespace tarnwell::testing;

// The run as the window drives it: preconditions, what it shows per file, when it reads the fields, where it saves.
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

    // Without files (checked first) or an output folder, in either save mode, the run only says so.
    void preconditions()
    {
        const QStringList noFolder{u"Message(Folder does not exist. Please select another folder.)"_s};
        Job job = Files({u"a.txt"_s});
        for (const QString &folder : {u"missing"_s, u"a.txt"_s}) {
            for (const bool inPlace : {true, false}) {
                job.text3 = Path(folder);
                job.option1 = inPlace;
                QCOMPARE(Run(job).calls, noFolder);
            }
        }
        job.entries.clear();
        QCOMPARE(Run(job).calls, QStringList{u"Message(No files added.)"_s});
        QCOMPARE(ReadBytes(Path(u"a.txt"_s)), "data"_ba);
        QCOMPARE(TreeNames(m_dir->path()), (QStringList{u"a.txt"_s, u"out"_s}));
    }

    // Every file shows the same steps, written or not, then the end state; an edit made during the run
    // holds from the next file on.
    void callSequenceAndEndState()
    {
        FakeHost host(Files({u"f1.txt"_s, u"f2.txt"_s, u"f3.txt"_s, u"f4.txt"_s}));
        WriteBytes(Path(u"f2.txt"_s), "zzz");
        host.onCall = [&](const QString &call) {
            if (call == u"EntryText(3)"_s) // "does" DATA, new files
                host.job = {host.job.entries, u"two"_s, u"DATA"_s, Path(u"out"_s), 0, false};
        };
        RunAppendJob(host, CodePage::Windows1252());
        QStringList expected;
        for (int i = 1; i <= 4; ++i) {
            expected << u"Yield"_s << u"Pointer(11)"_s << u"Progress(%1)"_s.arg(25 * i) << u"EntryText(%1)"_s.arg(i)
                     << u"ProgressText(Processing: f%1.txt)"_s.arg(i) << u"Yield"_s << u"Pointer(11)"_s;
        }
        expected << u"Pointer(0)"_s << u"Progress(0)"_s << u"ProgressText(Progress Bar)"_s << u"Message(Done.)"_s;
        QCOMPARE(host.calls, expected);
        QCOMPARE(ReadBytes(Path(u"f1.txt"_s)), "data\r\nTAIL"_ba);
        QCOMPARE(ReadBytes(Path(u"f2.txt"_s)), "zzz"_ba);
        QCOMPARE(ReadBytes(Path(u"f3.txt"_s)), "data"_ba);
        QCOMPARE(ReadBytes(Path(u"out/f3.txt"_s)), "data\r\ntwo"_ba);
    }

    // New files: of two inputs of one name the later one's is left, whole; an input already in the output
    // folder is appended to in place (another name of it sees that); a folder in a new file's place gets
    // one box, and the run goes on.
    void outputFolder_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::newRow("same text") << QString();
        QTest::newRow("through a dot") << u"/."_s;
    }
    void outputFolder()
    {
        QFETCH(QString, suffix);
        QVERIFY(QDir(m_dir->path()).mkdir(u"one"_s) && QDir(m_dir->path()).mkdir(u"two"_s));
        Job job = Files({u"one/same.txt"_s, u"one/blocked.txt"_s, u"two/same.txt"_s, u"in.txt"_s}, "the longer first");
        QVERIFY(QDir().mkdir(Path(u"blocked.txt"_s)));
        WriteBytes(Path(u"two/same.txt"_s), "2nd");
#ifndef Q_OS_WIN
        QTemporaryDir elsewhere; // another name of in.txt sees the append: the file is not replaced
        const QString other = elsewhere.filePath(u"other"_s);
        QCOMPARE(::link(QFile::encodeName(Path(u"in.txt"_s)).constData(), QFile::encodeName(other).constData()), 0);
#endif
        job.option1 = false;
        job.text3 += suffix;
        const FakeHost host = Run(job);
        QCOMPARE(host.boxes.size(), 1);
        QVERIFY2(host.boxes[0].contains(u"blocked.txt"_s) && host.boxes[0].endsWith(u"|PushButton2_Click|118"_s),
                 qPrintable(host.boxes[0]));
        QCOMPARE(host.calls.last(), u"Message(Done.)"_s);
        QCOMPARE(ReadBytes(Path(u"same.txt"_s)), "2nd\r\nTAIL"_ba);
        QCOMPARE(ReadBytes(Path(u"in.txt"_s)), "the longer first\r\nTAIL"_ba);
#ifndef Q_OS_WIN
        QCOMPARE(ReadBytes(other), "the longer first\r\nTAIL"_ba);
#endif
        QCOMPARE(ReadBytes(Path(u"one/same.txt"_s)) + ReadBytes(Path(u"two/same.txt"_s)), "the longer first2nd"_ba);
        QCOMPARE(TreeNames(m_dir->path()),
                 (QStringList{u"blocked.txt"_s, u"in.txt"_s, u"one"_s, u"one/blocked.txt"_s, u"one/same.txt"_s,
                              u"out"_s, u"same.txt"_s, u"two"_s, u"two/same.txt"_s}));
    }
};

TARNWELL_TEST_CLASS(AppendRunTest)
#include "AppendRunTest.moc"
