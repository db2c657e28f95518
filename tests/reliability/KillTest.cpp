// A run killed at any moment loses nothing: the child runs the append job over files in four
// encodings, is killed with SIGKILL (TerminateProcess on Windows) at random moments in both save
// modes, and every file is checked byte for byte after each kill. A short text goes through the
// engine, a text of more than 1 MiB is typed into the window, which is started again after each kill.
#include "Reliability.h"
#include "TestRegistry.h"
#include "engine/AppendJournal.h"
#include "engine/AppendRun.h"
#include "engine/FileWrite.h"
#include "engine/RunRecord.h"
#include "engine/RunUndo.h"

#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QThread>
#include <QTimeZone>

#ifndef Q_OS_WIN
#include <signal.h>
#endif

using namespace tarnwell;
using namespace tarnwell::reliability;

namespace {

// Files of every encoding, some empty, a few of several blocks (only with `bigFiles`); two in
// three hold the condition; one in five has an older namesake in the output folder.
void AddFiles(Job &job, int count, QRandomGenerator &random, bool bigFiles)
{
    const FileEncoding encodings[] = {FileEncoding::CodePage, FileEncoding::Utf8Bom, FileEncoding::Utf16LE,
                                      FileEncoding::Utf16BE};
    const QStringConverter::Encoding converters[] = {QStringConverter::Utf8, QStringConverter::Utf8,
                                                     QStringConverter::Utf16LE, QStringConverter::Utf16BE};
    for (int i = 0; i < count; ++i) {
        const bool qualifies = i % 3 != 2 && i % 97 != 0;
        const int lines = i % 97 == 0 ? 0 : bigFiles && i % 400 == 11 ? 30000 : random.bounded(1, bigFiles ? 80 : 30);
        QString text;
        for (int line = 0; line < lines; ++line)
            text += QStringLiteral("line %1 of file %2, caf\u00e9 \u20ac\r\n").arg(line).arg(i);
        if (qualifies)
            text.insert(random.bounded(text.size() + 1), QStringLiteral("MaRk"));
        // Code page files are in the system's code page (UTF-8 on Linux, Windows-1252 under Wine).
        QByteArray bytes;
        if (i % 4 == 0)
            QVERIFY(CodePage::System().Encode(text, bytes));
        else if (!text.isEmpty())
            bytes = QStringEncoder(converters[i % 4], QStringConverter::Flag::WriteBom).encode(text);
        job.Add(QStringLiteral("f%1.txt").arg(i, 5, 10, QLatin1Char('0')), bytes, encodings[i % 4], qualifies,
                i % 5 == 0 ? "older output " + QByteArray::number(i) : QByteArray());
    }
}

} // namespace

class KillTest : public QObject
{
    Q_OBJECT
private slots:
    void killedRunLosesNothing_data()
    {
        QTest::addColumn<bool>("longText");
        QTest::newRow("short text, the engine") << false;
        QTest::newRow("1 MiB text, the program started again after each kill") << true;
    }
    void killedRunLosesNothing()
    {
        QFETCH(bool, longText);
        const auto size = [](const char *name, int fallback) {
            const int value = qEnvironmentVariableIntValue(name);
            return value > 0 ? value : fallback;
        };
        const int kills = longText ? size("TARNWELL_LONG_KILLS", 12) : size("TARNWELL_KILLS", 20);
        const int fileCount = longText ? size("TARNWELL_LONG_FILES", 200) : size("TARNWELL_KILL_FILES", 400);
        const quint32 seed = QRandomGenerator::global()->generate();
        qInfo("kill test: seed %u", seed);
        QRandomGenerator random(seed);
        // The long text in lines ended by LF alone, as the window's text box holds them (the
        // window writes them as CR LF).
        QString typed = longText ? QString() : QLatin1String(kAppendText);
        for (int line = 0; longText && typed.size() < (1 << 20); ++line)
            typed += QStringLiteral("appended line %1 of a long text, caf\u00e9 \u20ac\n").arg(line);
        Job job;
        job.appendText = QString(typed).replace(u'\n', QLatin1String("\r\n"));
        AddFiles(job, fileCount, random, !longText);
        job.dir.File(QStringLiteral("text"), typed.toUtf8());
        const QStringList window{QStringLiteral("window"), job.Data() + QStringLiteral("/settings.ini"), job.Data()};
        const auto args = [&](bool inPlace) {
            return longText ? window
                                  + QStringList{QLatin1String(inPlace ? "inplace" : "newfiles"), job.out, job.List(),
                                                job.dir.filePath(QStringLiteral("text"))}
                            : job.Args(inPlace);
        };
        QSet<QString> pendingNames;
        for (const Job::Item &item : std::as_const(job.items))
            pendingNames.insert(PendingFileName(item.name));
        int damaged = 0, leftovers = 0, pending = 0, written = 0, cutShort = 0, midRun = 0;
        // Checks every byte and every name, then puts the files back as they were. A complete new
        // file killed between its naming and its rename is hidden, ours, and removed by the next
        // run that writes its target. With `recordResolved`, the record must be gone as well.
        const auto checkAndRestore = [&](bool inPlace, bool recordResolved) {
            for (const Job::Item &item : std::as_const(job.items)) {
                const int outcome = job.Outcome(item, inPlace);
                written += outcome == 1;
                if (outcome < 0 && ++damaged <= 10)
                    qWarning("damaged: %s", qPrintable(item.name));
            }
            QStringList strays = job.Strays();
            pending += static_cast<int>(strays.removeIf(
                [&](const QString &name) { return pendingNames.contains(name) && QFile::exists(job.Out(name)); }));
            if (recordResolved)
                strays += FolderNames(job.Data()).filter(QRegularExpression(QStringLiteral("^append-")));
            for (const QString &name : std::as_const(strays)) {
                qWarning("left behind: %s", qPrintable(name));
                QFile::remove(job.In(name));
                QFile::remove(job.Out(name));
            }
            leftovers += static_cast<int>(strays.size());
            job.Restore(inPlace);
        };

        // An uninterrupted run of each mode completes every file and tells how long a run takes.
        qint64 runMs[2] = {0, 0};
        for (const bool inPlace : {true, false}) {
            const ChildResult whole = RunChild(args(inPlace));
            runMs[inPlace] = whole.ms;
            QVERIFY2(whole.Done() && whole.Starting(QStringLiteral("BOX")).isEmpty(), qPrintable(whole.Describe()));
            checkAndRestore(inPlace, true);
        }
        QVERIFY(damaged + leftovers + pending == 0 && written > fileCount);
        qInfo("kill test: an uninterrupted run takes %lld ms in place, %lld ms with new files", runMs[1], runMs[0]);

        for (int kill = 0; kill < kills; ++kill) {
            const bool inPlace = kill % 2 == 0;
            QProcess child;
            child.start(ChildProgram(), args(inPlace));
            QVERIFY(child.waitForStarted());
            while (!child.canReadLine()) // "START"
                QVERIFY2(child.waitForReadyRead(60000), "the child never began its run");
            QThread::usleep(random.bounded(static_cast<quint32>(runMs[inPlace] * 1000)));
#ifdef Q_OS_WIN
            child.kill(); // TerminateProcess: the process ends where it stands, as with SIGKILL
#else
            ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
#endif
            QVERIFY(child.waitForFinished());
            const int writtenBefore = written;
            for (const Job::Item &item : std::as_const(job.items)) {
                const qint64 length = QFileInfo(job.In(item.name)).size();
                cutShort += length > item.original.size() && length < item.complete.size();
            }
            if (longText) { // putting a file back as it was is no news: the start shows no box
                const ChildResult start = RunChild(window);
                QVERIFY2(start.Ok() && start.Starting(QStringLiteral("BOX")).isEmpty(), qPrintable(start.Describe()));
            }
            checkAndRestore(inPlace, longText);
            midRun += child.exitStatus() == QProcess::CrashExit && written > writtenBefore;
        }
        qInfo("kill test: %d kills (half in place, half new files), %d of them in the middle of writing, %d files "
              "checked after each, %d damaged, %d temporary files left (%d pending files of ours, which the next run "
              "removes); %d files found holding a part of the text after a kill, before the program started again",
              kills, midRun, fileCount, damaged, leftovers, pending, cutShort);
        QCOMPARE(damaged, 0);
        QCOMPARE(leftovers, 0);
        // The kills must land inside runs, or the test proves nothing.
        QVERIFY2(midRun >= kills / 4, qPrintable(QStringLiteral("only %1 kills in the middle of a run").arg(midRun)));
    }

    // An undo killed at any moment leaves, once the program has started again, every file as it was
    // before the undo or as it was before the run, its time included; never half cut.
    void killedUndoLeavesNoFileHalfCut()
    {
        const int kills = 6, fileCount = 500;
        QTemporaryDir dir;
        const QString data = dir.filePath(QStringLiteral("data"));
        const QDateTime oldTime = QDateTime::fromSecsSinceEpoch(1000000000, QTimeZone::utc());
        QRandomGenerator random(QRandomGenerator::global()->generate());
        QStringList files;
        QList<QByteArray> original;
        for (int i = 0; i < fileCount; ++i) {
            files << dir.filePath(QStringLiteral("f%1.txt").arg(i));
            original << QByteArray(random.bounded(1, 6000), char('a' + i % 25));
        }
        const QByteArray appendix = "\r\nTAIL";
        qint64 undoMs = 0;
        int damaged = 0, midUndo = 0;
        for (int kill = -1; kill < kills; ++kill) { // the first undo runs whole and tells how long one takes
            for (int i = 0; i < fileCount; ++i) {
                QFile file(files[i]);
                QVERIFY(file.open(QIODevice::WriteOnly) && file.write(original[i]) == original[i].size() && file.flush()
                        && file.setFileTime(oldTime, QFileDevice::FileModificationTime));
            }
            testing::RecordingHost host(testing::JobFields{files, QStringLiteral("TAIL"), QStringLiteral("zzz"), {}});
            host.job.outputFolder = dir.path();
            host.quiet = true;
            AppendJournal journal(data);
            RunRecorder recorder(data);
            RunAppendJob(host, QStringLiteral("PushButton2_Click"), CodePage::System(), &journal, &recorder);
            QCOMPARE(host.calls, QStringList{QStringLiteral("Message(Done.)")});
            const QStringList undo{QStringLiteral("undo"), data};
            if (kill < 0) {
                const ChildResult whole = RunChild(undo);
                QVERIFY2(whole.lines.contains(QStringLiteral("UNDONE %1 0").arg(fileCount)),
                         qPrintable(whole.Describe()));
                undoMs = std::max<qint64>(whole.ms, 1);
            } else {
                QProcess child;
                child.start(ChildProgram(), undo);
                QVERIFY(child.waitForStarted());
                while (!child.canReadLine()) // "START"
                    QVERIFY2(child.waitForReadyRead(60000), "the child never began its undo");
                QThread::usleep(random.bounded(static_cast<quint32>(undoMs * 1000)));
#ifdef Q_OS_WIN
                child.kill();
#else
                ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
#endif
                QVERIFY(child.waitForFinished());
                QCOMPARE(RecoverUndo(data), QStringList()); // the next start
            }
            int restored = 0;
            for (int i = 0; i < fileCount; ++i) {
                const QByteArray bytes = ReadBytes(files[i]);
                const bool before = bytes == original[i] && QFileInfo(files[i]).lastModified() == oldTime;
                restored += before;
                if (!before && bytes != original[i] + appendix && ++damaged <= 10)
                    qWarning("damaged: %s (%lld bytes)", qPrintable(files[i]), qint64(bytes.size()));
            }
            midUndo += restored > 0 && restored < fileCount;
            for (const QString &record : RunRecordFiles(data))
                RemoveRunRecord(record);
        }
        qInfo("undo kill test: an undo of %d appends takes %lld ms; %d kills, %d in the middle of the undo, %d files "
              "damaged",
              fileCount, undoMs, kills, midUndo, damaged);
        QCOMPARE(damaged, 0);
        QVERIFY2(midUndo >= 1, "no kill landed in the middle of an undo");
    }
};

TARNWELL_TEST_CLASS(KillTest)
#include "KillTest.moc"
