// The run opens the next files ahead of their turn: what it tests and writes is still what each path
// holds at its own turn, and nothing opened ahead outlives the run.
#include "RecordingHost.h"
#include "TestRegistry.h"
#include "engine/AppendRun.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <filesystem>

using namespace tarnwell;
using namespace tarnwell::testing;
using namespace Qt::StringLiterals;

namespace {

bool WriteBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray ReadBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// What this process has open and running, where the system tells it.
QString OpenFilesAndThreads()
{
    return u"%1 files, %2 threads"_s.arg(QDir(u"/proc/self/fd"_s).count()).arg(QDir(u"/proc/self/task"_s).count());
}

} // namespace

class ReadAheadTest : public QObject
{
    Q_OBJECT

    enum Change { Rewritten, Replaced, Removed, MadeAFolder };

private slots:
    // A file changed after the files before it were taken up (by then it has been opened ahead) is
    // tested and written as it is at its turn: rewritten to hold the condition, it is left alone;
    // another file renamed over it gets the append, not the file it replaced; removed, it is made
    // anew; a folder in its place is an error of its turn. The files after it are appended to.
    void changedBeforeItsTurn_data()
    {
        QTest::addColumn<int>("change");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<int>("boxes");
        QTest::newRow("rewritten, same length") << int(Rewritten) << "zzzz"_ba << 0;
        QTest::newRow("replaced by a rename") << int(Replaced) << "more\r\nTAIL"_ba << 0;
        QTest::newRow("removed") << int(Removed) << "\r\nTAIL"_ba << 0;
        QTest::newRow("made a folder") << int(MadeAFolder) << "<unreadable>"_ba << 1;
    }
    void changedBeforeItsTurn()
    {
        QFETCH(int, change);
        QFETCH(QByteArray, expected);
        QFETCH(int, boxes);
        QTemporaryDir dir;
        JobFields job;
        job.outputFolder = dir.path();
        for (int i = 1; i <= 6; ++i) {
            job.files << dir.filePath(u"f%1.txt"_s.arg(i));
            QVERIFY(WriteBytes(job.files.last(), "data"));
        }
        const QString changed = job.files.at(3);
        RecordingHost host(job);
        host.onCall = [&](const QString &call) {
            if (call != u"EntryText(2)"_s)
                return;
            QThread::msleep(100); // the readers have opened the next files
            QFile file(changed);
            if (change == Rewritten) {
                QVERIFY(file.open(QIODevice::ReadWrite) && file.write("zzzz") == 4);
            } else if (change == Replaced) {
                QVERIFY(WriteBytes(changed + u".new"_s, "more"));
                // Over the old name in one step, as editors save (on Windows a name removed while a
                // file is open under it may stay taken until that file is closed).
                std::error_code error;
                std::filesystem::rename(std::filesystem::path(QString(changed + u".new"_s).toStdU16String()),
                                        std::filesystem::path(changed.toStdU16String()), error);
                QVERIFY2(!error, error.message().c_str());
            } else {
                QVERIFY(file.remove() && (change == Removed || QDir().mkdir(changed)));
            }
        };
        RunAppendJob(host, u"PushButton2_Click"_s, CodePage::Windows1252());
        QCOMPARE(host.Boxes().size(), boxes);
        QCOMPARE(ReadBytes(changed), expected);
        for (const QString &after : job.files.mid(4))
            QCOMPARE(ReadBytes(after), "data\r\nTAIL"_ba);
    }

    // A run over many more files than are opened ahead: each is tested at its turn (half hold the
    // condition), and when "Done." shows, every file opened ahead is closed and every reader ended.
    void nothingOutlivesTheRun()
    {
#ifdef Q_OS_WIN
        QSKIP("the open files and threads are counted through /proc");
#endif
        QTemporaryDir dir;
        JobFields job;
        job.outputFolder = dir.path();
        for (int i = 0; i < 300; ++i) {
            job.files << dir.filePath(u"f%1.txt"_s.arg(i));
            QVERIFY(WriteBytes(job.files.last(), i % 2 ? "zzz" : "data"));
        }
        const QString before = OpenFilesAndThreads();
        QString atDone;
        RecordingHost host(job);
        host.onCall = [&](const QString &call) {
            if (call.startsWith(u"Message"_s))
                atDone = OpenFilesAndThreads();
        };
        RunAppendJob(host, u"PushButton2_Click"_s, CodePage::Windows1252());
        QCOMPARE(atDone, before);
        for (int i = 0; i < 300; ++i)
            QCOMPARE(ReadBytes(job.files.at(i)), i % 2 ? "zzz"_ba : "data\r\nTAIL"_ba);
    }
};

TARNWELL_TEST_CLASS(ReadAheadTest)
#include "ReadAheadTest.moc"
