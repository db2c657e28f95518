// Failed writes, files that cannot be written, and permissions: every failing file keeps its
// bytes and gets one error box, every other file is written, and the run reaches "Done.". A
// record of in-place appends that cannot be kept gives one box for the run and touches no file.
#include "Reliability.h"
#include "TestRegistry.h"
#include "engine/AppendJournal.h"
#include "engine/AppendRun.h"
#include "engine/FileRead.h"
#include "engine/FileWrite.h"

#include <QFileInfo>
#include <QStringEncoder>

#include <algorithm>
#include <cerrno>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

using namespace tarnwell;
using namespace tarnwell::reliability;

namespace {

#ifdef TARNWELL_FAILWRITE_SHIM
// The environment that preloads the write-failing shim. The sanitizer's runtime wants to be
// loaded first; the shim only wraps libc calls.
QProcessEnvironment ShimEnvironment(const QString &name, const QString &value)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(TARNWELL_FAILWRITE_SHIM));
    env.insert(QStringLiteral("ASAN_OPTIONS"),
               env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":verify_asan_link_order=0"));
    env.insert(name, value);
    return env;
}
#endif

} // namespace

class FaultTest : public QObject
{
    Q_OBJECT
private slots:
    // Every write of a run fails in turn (the shim fails the Nth write and every later write to
    // that open file), in both save modes, until no write is left to fail: the file whose write
    // failed keeps its bytes (or its older output), it gets exactly one box, and every other file
    // is written.
    void failedWriteChangesNothingAndIsReported()
    {
#ifndef TARNWELL_FAILWRITE_SHIM
        QSKIP("The write-failing shim is preloaded with LD_PRELOAD, which only Linux has here.");
#else
        Job job;
        QByteArray big;
        for (int row = 0; big.size() < 3 * kFileBlockBytes + 5; ++row)
            big += "row " + QByteArray::number(row) + "\r\n";
        job.Add(QStringLiteral("small.txt"), "a mark");
        job.Add(QStringLiteral("utf16.txt"),
                QStringEncoder(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom)
                    .encode(QStringLiteral("MARK \u00e9")),
                FileEncoding::Utf16LE);
        job.Add(QStringLiteral("skipped.txt"), "nothing here", FileEncoding::CodePage, false);
        job.Add(QStringLiteral("big.txt"), big + "mark");
        job.Add(QStringLiteral("bom.txt"), "\xEF\xBB\xBFmark\r\n", FileEncoding::Utf8Bom, true, "older output");
        int injected = 0;
        // errno, and whether half the bytes are written first
        const std::pair<int, bool> faults[] = {{ENOSPC, false}, {EIO, false}, {ENOSPC, true}};
        for (const bool inPlace : {true, false}) {
            // The writes counted are those into the folder the run writes to, not into its record.
            QProcessEnvironment env = ShimEnvironment(QStringLiteral("TARNWELL_FAIL_UNDER"),
                                                      inPlace ? job.in : job.out);
            int writes = 0; // of a whole run, found by the first fault
            for (const auto &[error, half] : faults) {
                for (int n = 1; n <= (writes > 0 ? writes : 100); ++n) {
                    env.insert(QStringLiteral("TARNWELL_FAIL_AT"), QString::number(n));
                    env.insert(QStringLiteral("TARNWELL_FAIL_ERRNO"), QString::number(error));
                    env.insert(QStringLiteral("TARNWELL_FAIL_SHORT"), QString::number(half));
                    const ChildResult run = RunChild(job.Args(inPlace), false, env);
                    const QString where = env.toStringList().filter(QStringLiteral("TARNWELL_FAIL")).join(u' ') + u' ';
                    const QStringList boxes = run.Starting(QStringLiteral("BOX"));
                    QVERIFY2(run.Done() && boxes.size() <= 1
                                 && (boxes.isEmpty() || boxes.first().startsWith(QStringLiteral("118 "))),
                             qPrintable(where + run.Describe()));
                    // The one file the box names is unchanged; every other qualifying one is written.
                    int named = 0;
                    for (const Job::Item &item : std::as_const(job.items)) {
                        const bool failed = boxes.value(0).contains(inPlace ? job.In(item.name) : job.Out(item.name));
                        named += failed;
                        QVERIFY2(job.Outcome(item, inPlace) == (failed || item.complete == item.original ? 0 : 1),
                                 qPrintable(where + item.name));
                    }
                    QVERIFY2(named == boxes.size(), qPrintable(where + boxes.value(0))); // one file named
                    QCOMPARE(job.Strays(), QStringList());
                    job.Restore(inPlace);
                    if (boxes.isEmpty()) { // no write left to fail
                        writes = n - 1;
                        break;
                    }
                    ++injected;
                }
                QVERIFY2(writes >= 4, qPrintable(QStringLiteral("only %1 writes failed").arg(writes)));
            }
        }
        qInfo("failed-write test: %d injected failures (ENOSPC, EIO, half written then ENOSPC; every write of "
              "both save modes in turn): as many error boxes, each failing file byte-identical, every run reached "
              "Done.",
              injected);
#endif
    }

    // A data folder that cannot take the record of in-place appends (its writes fail in turn as on a
    // full disk: the lock file's, then the kept text's) gives a run in place one box, however many
    // files qualify, and no file is touched; refused at the lock, the run stops before its first file.
    void fullRecordFolderGivesOneBox()
    {
#ifndef TARNWELL_FAILWRITE_SHIM
        QSKIP("The write-failing shim is preloaded with LD_PRELOAD, which only Linux has here.");
#else
        Job job;
        for (int i = 0; i < 50; ++i)
            job.Add(QStringLiteral("f%1.txt").arg(i), "mark");
        QProcessEnvironment env = ShimEnvironment(QStringLiteral("TARNWELL_FAIL_UNDER"), job.Data());
        int refused = 0;
        for (int n = 1; n <= 10; ++n) {
            env.insert(QStringLiteral("TARNWELL_FAIL_AT"), QString::number(n));
            const ChildResult run = RunChild(job.Args(true), false, env);
            const QStringList boxes = run.Starting(QStringLiteral("BOX"));
            const int written = static_cast<int>(
                std::count_if(job.items.cbegin(), job.items.cend(),
                              [&](const Job::Item &item) { return job.Outcome(item, true) == 1; }));
            if (boxes.isEmpty()) { // no write left to fail
                QVERIFY2(run.Done() && written == 50, qPrintable(run.Describe()));
                break;
            }
            QVERIFY2(run.Ok() && boxes.size() == 1 && boxes[0].contains(QStringLiteral("record of in-place appends"))
                         && boxes[0].startsWith(QLatin1String(n == 1 ? "102 " : "118 ")) && run.Done() == (n > 1),
                     qPrintable(run.Describe()));
            QCOMPARE(written, 0);
            QCOMPARE(job.Strays(), QStringList());
            ++refused;
        }
        QCOMPARE(refused, 2);
        qInfo("full record folder: %d runs of 50 qualifying files refused (at the lock file, at the kept text): one "
              "box each, no file touched",
              refused);
#endif
    }

    // A run killed after a new file is complete but before it replaces its older namesake, or
    // killed while writing where unnamed files are not supported, leaves a hidden file of ours at
    // most (its pending name, whatever the length of the target's), and the next run removes it.
    void killedBeforeTheRenameLeavesNoStrayFile_data()
    {
        QTest::addColumn<bool>("unnamedFiles");
        QTest::addColumn<bool>("olderOutput");
        QTest::addColumn<int>("nameBytes");
        QTest::newRow("unnamed file, older output replaced") << true << true << 5;
        QTest::newRow("no unnamed files, new output") << false << false << 5;
        QTest::newRow("no unnamed files, older output replaced") << false << true << 5;
        QTest::newRow("no unnamed files, 250-byte name replaced") << false << true << 250;
    }
    void killedBeforeTheRenameLeavesNoStrayFile()
    {
#ifndef TARNWELL_FAILWRITE_SHIM
        QSKIP("The shim that kills the child at its rename is preloaded with LD_PRELOAD, which only Linux has here.");
#else
        QFETCH(bool, unnamedFiles);
        QFETCH(bool, olderOutput);
        QFETCH(int, nameBytes);
        const QString name = QString(nameBytes - 4, u'a') + QStringLiteral(".txt");
        Job job;
        job.Add(name, "mark a", FileEncoding::CodePage, true, olderOutput ? QByteArray("older output") : QByteArray());
        QProcessEnvironment env = ShimEnvironment(QStringLiteral("TARNWELL_KILL_AT_RENAME"), QStringLiteral("1"));
        env.insert(QStringLiteral("TARNWELL_NO_TMPFILE"), QString::number(!unnamedFiles));
        const ChildResult killed = RunChild(job.Args(false), false, env);
        QVERIFY2(killed.exitCode == -1, qPrintable(killed.Describe())); // it really died at the rename
        QCOMPARE(job.Outcome(job.items.first(), false), 0);
        const QStringList strays = job.Strays();
        QVERIFY2(strays.isEmpty() || strays == QStringList{PendingFileName(name)}, qPrintable(strays.join(u' ')));
        QVERIFY(RunChild(job.Args(false)).Done());
        QCOMPARE(job.Strays(), QStringList());
        QCOMPARE(job.Outcome(job.items.first(), false), 1);
#endif
    }

    // Files that cannot be written are left alone: closed by a mode (the child runs as an
    // unprivileged user, since the superuser may write anything), on Windows by the read-only
    // attribute or a handle that shares nothing (as another program holds a file it is writing), or
    // changed when the run takes c.txt (a run inside the test). a.txt never qualifies; b, c and d do.
    // Files in a folder that may not be entered are there all the same: each is reported, none
    // read as missing.
    // Closing something in the output folder gives b.txt an older output there, which a new file
    // may only replace where a plain write could change it.
    void unwritableFilesAreLeftAlone_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("closed"); // the file or folder given `mode`; none: changed mid-run
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("inPlace");
        QTest::addColumn<QStringList>("boxes");   // "<line> <file>" of each box, in order
        QTest::addColumn<QStringList>("written"); // the files that get the appendix
        const auto list = [](const char *names) { return QString::fromLatin1(names).split(u',', Qt::SkipEmptyParts); };
        const QString b = QStringLiteral("in/b.txt");
        QTest::newRow("read-only file") << QStringLiteral("readOnlyFile") << b << 0444 << true << list("118 b.txt")
                                        << list("c.txt,d.txt");
        QTest::newRow("unreadable file") << QStringLiteral("unreadableFile") << b << 0222 << true << list("112 b.txt")
                                         << list("c.txt,d.txt");
        QTest::newRow("folder that cannot be entered")
            << QStringLiteral("closedFolder") << QStringLiteral("in") << 0666 << false
            << list("112 a.txt,112 b.txt,112 c.txt,112 d.txt") << list("");
        QTest::newRow("read-only output folder") << QStringLiteral("readOnlyFolder") << QStringLiteral("out") << 0555
                                                 << false << list("118 b.txt,118 c.txt,118 d.txt") << list("");
        QTest::newRow("read-only file in the output folder")
            << QStringLiteral("readOnlyFile") << QStringLiteral("out/b.txt") << 0444 << false << list("118 b.txt")
            << list("c.txt,d.txt");
        QTest::newRow("output folder removed")
            << QStringLiteral("removeOutput") << QString() << 0 << false << list("118 c.txt,118 d.txt") << list("");
        QTest::newRow("file replaced by a folder")
            << QStringLiteral("folder") << QString() << 0 << true << list("112 c.txt") << list("b.txt,d.txt");
    }
    void unwritableFilesAreLeftAlone()
    {
        QFETCH(QString, kind);
        QFETCH(QString, closed);
        QFETCH(int, mode);
        QFETCH(bool, inPlace);
        QFETCH(QStringList, boxes);
        QFETCH(QStringList, written);
        Job job;
        job.Add(QStringLiteral("a.txt"), "plain a", FileEncoding::CodePage, false);
        for (const char *name : {"b.txt", "c.txt", "d.txt"}) {
            const bool older = name[0] == 'b' && closed.startsWith(QLatin1String("out"));
            job.Add(QLatin1String(name), "mark " + QByteArray(name), FileEncoding::CodePage, true,
                    older ? QByteArray("older output") : QByteArray());
        }
#ifdef Q_OS_WIN
        if (kind == QLatin1String("readOnlyFolder") || kind == QLatin1String("closedFolder"))
            QSKIP("Windows ignores the read-only attribute of a folder and has no mode that closes one.");
        const std::wstring b = QDir::toNativeSeparators(job.dir.filePath(closed)).toStdWString();
        HANDLE held = INVALID_HANDLE_VALUE;
        if (kind == QLatin1String("unreadableFile")) {
            held = ::CreateFileW(b.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
            QVERIFY(held != INVALID_HANDLE_VALUE);
        } else if (kind == QLatin1String("readOnlyFile")) {
            QVERIFY(::SetFileAttributesW(b.c_str(), FILE_ATTRIBUTE_READONLY));
            // Wine keeps the attribute as Unix permissions, which do not stop the superuser.
            const HANDLE probe = ::CreateFileW(b.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                               FILE_ATTRIBUTE_NORMAL, nullptr);
            if (probe != INVALID_HANDLE_VALUE) {
                ::CloseHandle(probe);
                ::SetFileAttributesW(b.c_str(), FILE_ATTRIBUTE_NORMAL);
                QSKIP("The read-only attribute does not stop writing here (Wine run by the superuser keeps it as "
                      "Unix permissions, which root passes).");
            }
        }
#endif
        const QString c = job.In(QStringLiteral("c.txt"));
        ChildResult run{0, 0, {}, {}}; // a run inside the test ends as a child that exited with 0
        if (!closed.isEmpty()) {
            job.dir.Mode(closed, static_cast<unsigned>(mode));
            run = RunChild(job.Args(inPlace), true);
            job.dir.Mode(closed, 0777); // opened again so that an ordinary user can check it
#ifdef Q_OS_WIN
            if (held != INVALID_HANDLE_VALUE)
                ::CloseHandle(held);
            ::SetFileAttributesW(b.c_str(), FILE_ATTRIBUTE_NORMAL);
#endif
        } else {
            testing::RecordingHost host(ChildJob(job.paths, job.out, inPlace));
            host.onCall = [&](const QString &call) {
                if (const std::optional<QString> line = BoxLine(call))
                    run.lines << *line;
                if (call != QLatin1String("EntryText(3)"))
                    return;
                if (kind == QLatin1String("removeOutput"))
                    QDir(job.out).removeRecursively();
                else if (QFile::remove(c))
                    QDir().mkdir(c);
            };
            AppendJournal journal(job.Data());
            RunAppendJob(host, QStringLiteral("PushButton2_Click"), CodePage::System(), &journal);
        }
        QVERIFY2(run.Done(), qPrintable(run.Describe()));
        const QStringList seen = run.Starting(QStringLiteral("BOX"));
        QCOMPARE(seen.size(), boxes.size());
        for (qsizetype i = 0; i < seen.size(); ++i) {
            const QString prefix = boxes.at(i).section(u' ', 0, 0) + QStringLiteral(" PushButton2_Click ");
            QVERIFY2(seen.at(i).startsWith(prefix)
                         && QDir::fromNativeSeparators(seen.at(i)).contains(u'/' + boxes.at(i).section(u' ', 1)),
                     qPrintable(seen.at(i)));
        }
        const bool cChanged = kind == QLatin1String("folder");
        if (cChanged) { // the folder is left empty
            QVERIFY(QFileInfo(c).isDir());
            QCOMPARE(FolderNames(c), QStringList());
        }
        for (const Job::Item &item : std::as_const(job.items)) {
            if (!cChanged || item.name != QLatin1String("c.txt"))
                QCOMPARE(job.Outcome(item, inPlace), written.contains(item.name) ? 1 : 0);
        }
        QCOMPARE(job.Strays(), QStringList());                                       // nothing written beside them
        QCOMPARE(QFileInfo::exists(job.out), kind != QLatin1String("removeOutput")); // not made again
        qInfo("unwritable files, %s: %lld error boxes as expected, nothing else touched", qPrintable(kind),
              static_cast<long long>(seen.size()));
    }
};

TARNWELL_TEST_CLASS(FaultTest)
#include "FaultTest.moc"
