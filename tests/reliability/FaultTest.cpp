// Failed writes, files that cannot be written, and permissions: every failing file keeps its
// bytes and gets one error box, every other file is written, and the run reaches "Done.".
#include "AppendJournal.h"
#include "AppendRun.h"
#include "FileIO.h"
#include "Reliability.h"
#include "TestRegistry.h"

#include <QFileInfo>
#include <QSet>
#include <QStringEncoder>

#include <cerrno>

using namespace tarnwell;
using namespace tarnwell::reliability;

namespace {

// A small job in a shared folder: input files in "in", an empty output folder "out"; in-place
// appends are recorded in a folder of their own, where the shim does not fail writes.
struct Job
{
    SharedDir dir;
    SharedDir record;
    QStringList names;
    QHash<QString, QByteArray> originals;
    QSet<QString> qualifying; // the files that hold the condition

    Job() { dir.Folder(QStringLiteral("out")); }
    void Add(const QString &name, const QByteArray &bytes, bool qualifies = true)
    {
        dir.File(QStringLiteral("in/") + name, bytes);
        names << name;
        originals.insert(name, bytes);
        if (qualifies)
            qualifying.insert(name);
    }
    QString In(const QString &name = QString()) const
    {
        return QDir::cleanPath(dir.filePath(QStringLiteral("in/") + name));
    }
    QString Out(const QString &name = QString()) const
    {
        return QDir::cleanPath(dir.filePath(QStringLiteral("out/") + name));
    }
    QByteArray Complete(const QString &name) const
    {
        const QByteArray &bytes = originals.value(name);
        const FileEncoding encoding = bytes.startsWith("\xFF\xFE") ? FileEncoding::Utf16LE : FileEncoding::CodePage;
        return bytes + EncodeAppendix(QLatin1String(kAppendText), encoding, CodePage::System());
    }
    QStringList Paths() const
    {
        QStringList paths = names;
        for (QString &name : paths)
            name = In(name);
        return paths;
    }
    QStringList Args(bool inPlace) const
    {
        dir.File(QStringLiteral("list"), Paths().join(u'\n').toUtf8());
        return RunArgs(inPlace, Out(), dir.filePath(QStringLiteral("list"))) << Record();
    }
    QString Record() const { return record.filePath(QStringLiteral("data")); }
};

// The environment that preloads the write-failing shim. The sanitizer's runtime wants to be
// loaded first; the shim only wraps libc calls.
#ifdef TARNWELL_FAILWRITE_SHIM
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
    // that open file), in both save modes: the file whose write failed keeps its bytes (or its
    // older output), it gets exactly one box, and every other file is written.
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
                QByteArray("\xFF\xFE")
                    + QByteArray(QStringEncoder(QStringConverter::Utf16LE).encode(QStringLiteral("MARK \u00e9"))));
        job.Add(QStringLiteral("skipped.txt"), "nothing here", false);
        job.Add(QStringLiteral("big.txt"), big + "mark");
        job.Add(QStringLiteral("bom.txt"), "\xEF\xBB\xBFmark\r\n"); // its output has an older namesake
        const auto oldOutput = [](const QString &name) {
            return QByteArray(name == QLatin1String("bom.txt") ? "older output" : nullptr);
        };
        const auto restore = [&] {
            for (const QString &name : std::as_const(job.names))
                job.dir.File(QStringLiteral("in/") + name, job.originals.value(name));
            QDir(job.Out()).removeRecursively();
            job.dir.File(QStringLiteral("out/bom.txt"), oldOutput(QStringLiteral("bom.txt")));
        };
        int injected = 0, boxes = 0, identical = 0;
        const struct
        {
            int error;
            bool half;
            const char *name;
        } faults[] = {{ENOSPC, false, "ENOSPC"}, {EIO, false, "EIO"}, {ENOSPC, true, "half written, then ENOSPC"}};
        for (const bool inPlace : {true, false}) {
            restore();
            QProcessEnvironment env = ShimEnvironment(QStringLiteral("TARNWELL_FAIL_UNDER"), job.dir.path());
            env.insert(QStringLiteral("TARNWELL_FAIL_COUNT"), job.dir.filePath(QStringLiteral("count")));
            const ChildResult counting = RunChild(job.Args(inPlace), false, env);
            QVERIFY2(counting.Done() && counting.Starting(QStringLiteral("BOX")).isEmpty(),
                     qPrintable(counting.Describe()));
            const int writes = ReadBytes(job.dir.filePath(QStringLiteral("count"))).trimmed().toInt();
            QVERIFY2(writes >= 4, qPrintable(QStringLiteral("only %1 writes counted").arg(writes)));
            for (const auto &fault : faults) {
                for (int n = 1; n <= writes; ++n) {
                    restore();
                    const QString where = QStringLiteral("%1, write %2 of %3, %4: ")
                                              .arg(inPlace)
                                              .arg(n)
                                              .arg(writes)
                                              .arg(QLatin1String(fault.name));
                    env.insert(QStringLiteral("TARNWELL_FAIL_AT"), QString::number(n));
                    env.insert(QStringLiteral("TARNWELL_FAIL_ERRNO"), QString::number(fault.error));
                    env.insert(QStringLiteral("TARNWELL_FAIL_SHORT"), QString::number(fault.half));
                    const ChildResult run = RunChild(job.Args(inPlace), false, env);
                    ++injected;
                    const QStringList runBoxes = run.Starting(QStringLiteral("BOX"));
                    QVERIFY2(run.Done() && runBoxes.size() == 1 && runBoxes.first().startsWith(QStringLiteral("118 ")),
                             qPrintable(where + run.Describe()));
                    ++boxes;
                    // The one file the box names is unchanged; every other qualifying one is written.
                    QStringList failed, outNames{QStringLiteral("bom.txt")};
                    for (const QString &name : std::as_const(job.names)) {
                        const QString target = inPlace ? job.In(name) : job.Out(name);
                        const bool named = runBoxes.first().contains(target);
                        const bool written = !named && job.qualifying.contains(name);
                        failed << QStringList(named ? 1 : 0, name);
                        outNames << QStringList(written && !inPlace ? 1 : 0, name);
                        const QByteArray before = inPlace ? job.originals.value(name) : oldOutput(name);
                        QVERIFY2(ReadBytes(target) == (written ? job.Complete(name) : before),
                                 qPrintable(where + name));
                        QVERIFY2(inPlace || ReadBytes(job.In(name)) == job.originals.value(name),
                                 qPrintable(where + name));
                    }
                    QVERIFY2(failed.size() == 1,
                             qPrintable(where + QStringLiteral("the box names no one file: ") + runBoxes.first()));
                    ++identical;
                    QCOMPARE(FolderNames(job.In()), Sorted(job.names));
                    outNames.removeDuplicates();
                    QVERIFY(inPlace || FolderNames(job.Out()) == Sorted(outNames));
                }
            }
        }
        qInfo("failed-write test: %d injected failures (ENOSPC, EIO, half written then ENOSPC; every write of "
              "both save modes in turn): %d error boxes, %d failing files byte-identical, every run reached Done.",
              injected, boxes, identical);
#endif
    }

    // A run killed after a new file is complete but before it replaces its older namesake, or
    // killed while writing where unnamed files are not supported, leaves a hidden file of ours at
    // most, never a stray name, and the next run removes it.
    void killedBeforeTheRenameLeavesNoStrayFile_data()
    {
        QTest::addColumn<bool>("unnamedFiles");
        QTest::addColumn<bool>("olderOutput");
        QTest::newRow("unnamed file, older output replaced") << true << true;
        QTest::newRow("no unnamed files, new output") << false << false;
        QTest::newRow("no unnamed files, older output replaced") << false << true;
    }
    void killedBeforeTheRenameLeavesNoStrayFile()
    {
#ifndef TARNWELL_FAILWRITE_SHIM
        QSKIP("The shim that kills the child at its rename is preloaded with LD_PRELOAD, which only Linux has here.");
#else
        QFETCH(bool, unnamedFiles);
        QFETCH(bool, olderOutput);
        Job job;
        job.Add(QStringLiteral("a.txt"), "mark a");
        if (olderOutput)
            job.dir.File(QStringLiteral("out/a.txt"), "older output");
        QProcessEnvironment env = ShimEnvironment(QStringLiteral("TARNWELL_KILL_AT_RENAME"), QStringLiteral("1"));
        env.insert(QStringLiteral("TARNWELL_NO_TMPFILE"), QString::number(!unnamedFiles));
        const ChildResult killed = RunChild(job.Args(false), false, env);
        QVERIFY2(killed.exitCode == -1, qPrintable(killed.Describe())); // it really died at the rename
        QCOMPARE(ReadBytes(job.Out(QStringLiteral("a.txt"))), olderOutput ? QByteArray("older output") : QByteArray());
        for (const QString &name : FolderNames(job.Out()))
            QVERIFY2(name == QLatin1String("a.txt") || name == QLatin1String(".a.txt.tarnwell-new"), qPrintable(name));
        QVERIFY(RunChild(job.Args(false)).Done());
        QCOMPARE(FolderNames(job.Out()), QStringList{QStringLiteral("a.txt")});
        QCOMPARE(ReadBytes(job.Out(QStringLiteral("a.txt"))), job.Complete(QStringLiteral("a.txt")));
#endif
    }

    // Files that cannot be written are left alone: closed by a mode (the child runs as an
    // unprivileged user, since the superuser may write anything), or changed when the run takes
    // c.txt (a run inside the test). a.txt never qualifies; b, c and d do.
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
        QTest::newRow("read-only output folder") << QStringLiteral("readOnlyFolder") << QStringLiteral("out") << 0555
                                                 << false << list("118 b.txt,118 c.txt,118 d.txt") << list("");
        QTest::newRow("output folder removed")
            << QStringLiteral("removeOutput") << QString() << 0 << false << list("118 c.txt,118 d.txt") << list("");
        QTest::newRow("file replaced by a folder")
            << QStringLiteral("folder") << QString() << 0 << true << list("112 c.txt") << list("b.txt,d.txt");
        QTest::newRow("file deleted") << QStringLiteral("delete") << QString() << 0 << true << list("")
                                      << list("b.txt,d.txt");
    }
    void unwritableFilesAreLeftAlone()
    {
        QFETCH(QString, kind);
        QFETCH(QString, closed);
        QFETCH(int, mode);
        QFETCH(bool, inPlace);
        QFETCH(QStringList, boxes);
        QFETCH(QStringList, written);
#ifdef Q_OS_WIN
        if (!closed.isEmpty())
            QSKIP("File modes and the user nobody are POSIX; the read-only attribute and a file held open are in "
                  "WindowsOnlyTest.");
#endif
        Job job;
        job.Add(QStringLiteral("a.txt"), "plain a", false);
        for (const char *name : {"b.txt", "c.txt", "d.txt"})
            job.Add(QLatin1String(name), "mark " + QByteArray(name));
        const QString c = job.In(QStringLiteral("c.txt"));
        QStringList lines;
        if (!closed.isEmpty()) {
            job.dir.Mode(closed, static_cast<unsigned>(mode));
            const ChildResult run = RunChild(job.Args(inPlace), true);
            QVERIFY2(run.finished && run.exitCode == 0, qPrintable(run.Describe()));
            lines = run.lines;
        } else {
            ScriptedHost host;
            host.entries = job.Paths();
            host.outputFolder = job.Out();
            host.inPlace = inPlace;
            host.report = [&](const QString &line) { lines << line; };
            host.onEntry = [&](int position) {
                if (position == 3 && kind == QLatin1String("removeOutput"))
                    QDir(job.Out()).removeRecursively();
                else if (position == 3 && QFile::remove(c) && kind == QLatin1String("folder"))
                    QDir().mkdir(c);
            };
            AppendJournal journal(job.Record());
            RunAppendJob(host, CodePage::System(), &journal);
        }
        QCOMPARE(Tagged(lines, QStringLiteral("MESSAGE")), QStringList{QStringLiteral("Done.")});
        const QStringList seen = Tagged(lines, QStringLiteral("BOX"));
        QCOMPARE(seen.size(), boxes.size());
        for (qsizetype i = 0; i < seen.size(); ++i) {
            const QString prefix = boxes.at(i).section(u' ', 0, 0) + QStringLiteral(" PushButton2_Click ");
            QVERIFY2(seen.at(i).startsWith(prefix)
                         && QDir::fromNativeSeparators(seen.at(i)).contains(u'/' + boxes.at(i).section(u' ', 1)),
                     qPrintable(seen.at(i)));
        }
        QStringList inNames = job.names;
        if (kind == QLatin1String("folder") || kind == QLatin1String("delete")) {
            QCOMPARE(FolderNames(c), QStringList()); // a folder is left empty; a deleted file is not made again
            QCOMPARE(QFileInfo(c).isDir(), kind == QLatin1String("folder"));
            QCOMPARE(QFileInfo::exists(c), kind == QLatin1String("folder"));
            inNames.removeOne(QStringLiteral("c.txt"));
        }
        for (const QString &name : std::as_const(inNames))
            QCOMPARE(ReadBytes(job.In(name)), written.contains(name) ? job.Complete(name) : job.originals.value(name));
        QCOMPARE(FolderNames(job.In()), Sorted(kind == QLatin1String("delete") ? inNames : job.names));
        QCOMPARE(FolderNames(job.Out()), QStringList()); // nothing written there, a removed one not made again
        QCOMPARE(QFileInfo::exists(job.Out()), kind != QLatin1String("removeOutput"));
        qInfo("unwritable files, %s: %lld error boxes as expected, nothing else touched", qPrintable(kind),
              static_cast<long long>(seen.size()));
    }

    // Permission is respected by the scan and the run of an unprivileged user: a folder it may
    // not read is dropped from the walk, a file it may not read is listed, reported and skipped.
    void permissionIsRespected()
    {
#ifdef Q_OS_WIN
        QSKIP("File modes and the user nobody are POSIX; Windows access lists are not set by these tests.");
#endif
        Job job;
        job.Add(QStringLiteral("open.txt"), "mark open");
        job.Add(QStringLiteral("closed.txt"), "mark closed");
        job.Add(QStringLiteral("deep/seen.txt"), "mark seen");
        job.dir.File(QStringLiteral("in/shut/hidden.txt"), "mark hidden");
        job.dir.File(QStringLiteral("in/deep/shut/hidden.txt"), "mark hidden");
        job.dir.Mode(QStringLiteral("in/closed.txt"), 0200);
        job.dir.Mode(QStringLiteral("in/shut"), 0);
        job.dir.Mode(QStringLiteral("in/deep/shut"), 0300);
        const ChildResult scan = RunChild({QStringLiteral("scan"), job.In()}, true);
        QVERIFY2(scan.finished && scan.exitCode == 0, qPrintable(scan.Describe()));
        QCOMPARE(Sorted(scan.Starting(QStringLiteral("ENTRY"))), Sorted(job.Paths()));

        const ChildResult run = RunChild(job.Args(true), true); // over what the scan listed
        const QStringList boxes = run.Starting(QStringLiteral("BOX"));
        QVERIFY2(run.Done() && boxes.size() == 1 && boxes.first().startsWith(QStringLiteral("112 "))
                     && boxes.first().contains(job.In(QStringLiteral("closed.txt"))),
                 qPrintable(run.Describe()));
        job.dir.Mode(QStringLiteral("in/shut"), 0777);
        job.dir.Mode(QStringLiteral("in/deep/shut"), 0777);
        QCOMPARE(ReadBytes(job.In(QStringLiteral("closed.txt"))), QByteArray("mark closed"));
        QCOMPARE(ReadBytes(job.In(QStringLiteral("shut/hidden.txt")))
                     + ReadBytes(job.In(QStringLiteral("deep/shut/hidden.txt"))),
                 QByteArray("mark hiddenmark hidden"));
        QCOMPARE(ReadBytes(job.In(QStringLiteral("open.txt"))), job.Complete(QStringLiteral("open.txt")));
        QCOMPARE(ReadBytes(job.In(QStringLiteral("deep/seen.txt"))), job.Complete(QStringLiteral("deep/seen.txt")));
        qInfo("permission test (as %s): 2 closed folders dropped from the walk, 1 unreadable file reported and "
              "skipped, nothing else touched",
              RunningAsRoot() ? "nobody" : "this user");
    }
};

TARNWELL_TEST_CLASS(FaultTest)
#include "FaultTest.moc"
