// Failed writes, files that cannot be written, and permissions: every failing file keeps its
// bytes and gets one error box, every other file is written, and the run reaches "Done.".
#include "AppendRun.h"
#include "FileIO.h"
#include "Reliability.h"
#include "TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStringEncoder>
#include <QTest>

#include <cerrno>

using namespace tarnwell;
using namespace tarnwell::reliability;

namespace {

const QByteArray kAppendix = EncodeAppendix(QLatin1String(kAppendText), FileEncoding::CodePage, CodePage::System());

// A small job in a shared folder: files that qualify (hold "mark") and one that does not.
struct Job
{
    SharedDir dir;
    QStringList names;
    QHash<QString, QByteArray> originals;
    QSet<QString> qualifying;

    void Add(const QString &name, const QByteArray &bytes, bool qualifies = true)
    {
        dir.File(QStringLiteral("in/") + name, bytes);
        names << name;
        originals.insert(name, bytes);
        if (qualifies)
            qualifying.insert(name);
    }
    QString In(const QString &name) const { return dir.filePath(QStringLiteral("in/") + name); }
    QString Out(const QString &name) const { return dir.filePath(QStringLiteral("out/") + name); }
    QString OutFolder() const { return dir.filePath(QStringLiteral("out")); }
    QString ListFile() const
    {
        QStringList paths;
        for (const QString &name : names)
            paths << In(name);
        dir.File(QStringLiteral("list"), paths.join(QLatin1Char('\n')).toUtf8());
        return dir.filePath(QStringLiteral("list"));
    }
    QByteArray Appendix(const QString &name) const
    {
        const QByteArray &bytes = originals.value(name);
        if (bytes.startsWith("\xFF\xFE"))
            return EncodeAppendix(QLatin1String(kAppendText), FileEncoding::Utf16LE, CodePage::System());
        return kAppendix;
    }
    QStringList Args(bool inPlace) const
    {
        return {QStringLiteral("run"), inPlace ? QStringLiteral("inplace") : QStringLiteral("newfiles"), OutFolder(),
                ListFile()};
    }
};

QByteArray Pattern(qsizetype size, const QByteArray &marker)
{
    QByteArray bytes;
    bytes.reserve(size + marker.size());
    for (qsizetype i = 0; bytes.size() < size; ++i)
        bytes += "row " + QByteArray::number(i) + "\r\n";
    return bytes + marker;
}

} // namespace

class FaultTest : public QObject
{
    Q_OBJECT
private slots:
    // Every write of a run fails in turn (a shim preloaded into the child makes the Nth write
    // fail, and every later write to that open file): the file whose write failed stays byte
    // for byte as it was, it gets exactly one error box, and every other file is written.
    void failedWriteChangesNothingAndIsReported()
    {
#ifndef TARNWELL_FAILWRITE_SHIM
        QSKIP("The write-failing shim is preloaded with LD_PRELOAD, which only Linux has here.");
#else
        Job job;
        job.dir.Folder(QStringLiteral("out"));
        job.Add(QStringLiteral("small.txt"), "a mark");
        job.Add(QStringLiteral("utf16.txt"), QByteArray("\xFF\xFE") + QByteArray(QStringEncoder(QStringConverter::Utf16LE).encode(QStringLiteral("MARK \u00e9"))));
        job.Add(QStringLiteral("skipped.txt"), "nothing here", false);
        job.Add(QStringLiteral("big.txt"), Pattern(3 * kFileBlockBytes + 5, "mark"));
        job.Add(QStringLiteral("bom.txt"), "\xEF\xBB\xBFmark\r\n");
        job.dir.File(QStringLiteral("out/bom.txt"), OldOutput(QStringLiteral("bom.txt")));

        int injected = 0;
        int boxes = 0;
        int identical = 0;
        const struct { int error; bool shortFirst; const char *name; } faults[] = {
            {ENOSPC, false, "ENOSPC"}, {EIO, false, "EIO"}, {ENOSPC, true, "half written, then ENOSPC"}};
        for (const bool inPlace : {true, false}) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(TARNWELL_FAILWRITE_SHIM));
            env.insert(QStringLiteral("TARNWELL_FAIL_UNDER"), job.dir.path());
            // The sanitizer's runtime wants to be loaded first; the shim only wraps libc calls.
            env.insert(QStringLiteral("ASAN_OPTIONS"),
                       env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":verify_asan_link_order=0"));
            const QString countFile = job.dir.filePath(QStringLiteral("count"));
            env.insert(QStringLiteral("TARNWELL_FAIL_COUNT"), countFile);
            env.insert(QStringLiteral("TARNWELL_FAIL_AT"), QStringLiteral("0"));
            const ChildResult counting = RunChild(job.Args(inPlace), false, env);
            QVERIFY2(counting.lines.endsWith(QStringLiteral("MESSAGE Done.")), qPrintable(counting.Describe()));
            QCOMPARE(counting.Starting(QStringLiteral("BOX")), QStringList());
            const int writes = ReadBytes(countFile).trimmed().toInt();
            QVERIFY2(writes >= 4, qPrintable(QStringLiteral("only %1 writes counted").arg(writes)));
            Restore(job, inPlace);

            for (const auto &fault : faults) {
                for (int n = 1; n <= writes; ++n) {
                    const QString where = QStringLiteral("%1, write %2 of %3, %4")
                                              .arg(inPlace ? QStringLiteral("in place") : QStringLiteral("new files"))
                                              .arg(n)
                                              .arg(writes)
                                              .arg(QLatin1String(fault.name));
                    env.insert(QStringLiteral("TARNWELL_FAIL_AT"), QString::number(n));
                    env.insert(QStringLiteral("TARNWELL_FAIL_ERRNO"), QString::number(fault.error));
                    env.insert(QStringLiteral("TARNWELL_FAIL_SHORT"), fault.shortFirst ? QStringLiteral("1") : QStringLiteral("0"));
                    const ChildResult run = RunChild(job.Args(inPlace), false, env);
                    ++injected;
                    QVERIFY2(run.finished && run.exitCode == 0 && run.lines.endsWith(QStringLiteral("MESSAGE Done.")),
                             qPrintable(where + QLatin1Char('\n') + run.Describe()));
                    const QStringList runBoxes = run.Starting(QStringLiteral("BOX"));
                    QVERIFY2(runBoxes.size() == 1, qPrintable(where + QLatin1Char('\n') + run.Describe()));
                    ++boxes;
                    // The one file whose write failed is the one the box names; it is unchanged.
                    QString failed;
                    for (const QString &name : std::as_const(job.names)) {
                        const QString target = inPlace ? job.In(name) : job.Out(name);
                        const bool named = runBoxes.first().contains(target);
                        const QByteArray expectedOld = inPlace ? job.originals.value(name) : OldOutput(name);
                        const QByteArray complete = job.originals.value(name) + job.Appendix(name);
                        const QByteArray now = ReadBytes(target);
                        if (named) {
                            failed = name;
                            QVERIFY2(now == expectedOld, qPrintable(where + QStringLiteral(": ") + name + QStringLiteral(" changed")));
                        } else if (job.qualifying.contains(name)) {
                            QVERIFY2(now == complete, qPrintable(where + QStringLiteral(": ") + name + QStringLiteral(" not written")));
                        } else {
                            QVERIFY2(now == expectedOld, qPrintable(where + QStringLiteral(": ") + name + QStringLiteral(" touched")));
                        }
                        if (!inPlace)
                            QCOMPARE(ReadBytes(job.In(name)), job.originals.value(name));
                    }
                    QVERIFY2(!failed.isEmpty(), qPrintable(where + QStringLiteral(": the box names no file: ") + runBoxes.first()));
                    QVERIFY2(runBoxes.first().startsWith(QStringLiteral("118 ")), qPrintable(runBoxes.first()));
                    ++identical;
                    QCOMPARE(FolderNames(job.dir.filePath(QStringLiteral("in"))), Sorted(job.names));
                    if (!inPlace) {
                        QStringList expected{QStringLiteral("bom.txt")};
                        for (const QString &name : std::as_const(job.names))
                            if (job.qualifying.contains(name) && name != failed)
                                expected << name;
                        expected.removeDuplicates();
                        QCOMPARE(FolderNames(job.OutFolder()), Sorted(expected));
                    }
                    Restore(job, inPlace);
                }
            }
        }
        qInfo("failed-write test: %d injected failures (ENOSPC, EIO, half written then ENOSPC; every write of "
              "both save modes in turn): %d error boxes, %d failing files byte-identical, every run reached Done.",
              injected, boxes, identical);
#endif
    }

    // A run killed after a new file is complete but before it replaces its older namesake, or
    // killed while writing where unnamed files are not supported: what it leaves is a hidden file
    // of ours at most, never a stray name, and the next run removes it.
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
        job.dir.Folder(QStringLiteral("out"));
        job.Add(QStringLiteral("a.txt"), "mark a");
        if (olderOutput)
            job.dir.File(QStringLiteral("out/a.txt"), "older output");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(TARNWELL_FAILWRITE_SHIM));
        env.insert(QStringLiteral("ASAN_OPTIONS"),
                   env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":verify_asan_link_order=0"));
        env.insert(QStringLiteral("TARNWELL_KILL_AT_RENAME"), QStringLiteral("1"));
        env.insert(QStringLiteral("TARNWELL_NO_TMPFILE"), unnamedFiles ? QStringLiteral("0") : QStringLiteral("1"));
        const ChildResult killed = RunChild(job.Args(false), false, env);
        QVERIFY2(killed.exitCode == -1, qPrintable(killed.Describe())); // it really died at the rename
        QCOMPARE(ReadBytes(job.Out(QStringLiteral("a.txt"))), olderOutput ? QByteArray("older output") : QByteArray());
        for (const QString &name : FolderNames(job.OutFolder()))
            QVERIFY2(name == QLatin1String("a.txt") || name == QLatin1String(".a.txt.tarnwell-new"), qPrintable(name));
        const ChildResult next = RunChild(job.Args(false));
        QVERIFY2(next.lines.endsWith(QStringLiteral("MESSAGE Done.")), qPrintable(next.Describe()));
        QCOMPARE(FolderNames(job.OutFolder()), QStringList{QStringLiteral("a.txt")});
        QCOMPARE(ReadBytes(job.Out(QStringLiteral("a.txt"))), "mark a" + kAppendix);
#endif
    }

    // Files that cannot be written are left alone. The permission cases run the child as an
    // unprivileged user, since the superuser may write anything.
    void unwritableFilesAreLeftAlone_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("inPlace");
        QTest::addColumn<QStringList>("failing"); // the files that get a box
        QTest::addColumn<int>("line");
        QTest::newRow("read-only file") << QStringLiteral("readOnlyFile") << true << QStringList{QStringLiteral("b.txt")} << 118;
        QTest::newRow("unreadable file") << QStringLiteral("unreadableFile") << true << QStringList{QStringLiteral("b.txt")} << 112;
        QTest::newRow("read-only output folder") << QStringLiteral("readOnlyFolder") << false
                                                 << QStringList{QStringLiteral("a.txt"), QStringLiteral("b.txt"), QStringLiteral("c.txt")} << 118;
    }
    void unwritableFilesAreLeftAlone()
    {
        QFETCH(QString, kind);
        QFETCH(bool, inPlace);
        QFETCH(QStringList, failing);
        QFETCH(int, line);
        Job job;
        job.dir.Folder(QStringLiteral("out"));
        for (const char *name : {"a.txt", "b.txt", "c.txt"})
            job.Add(QLatin1String(name), "mark " + QByteArray(name));
        job.Add(QStringLiteral("no.txt"), "plain", false);
        if (kind == QLatin1String("readOnlyFile"))
            job.dir.Mode(QStringLiteral("in/b.txt"), 0444);
        if (kind == QLatin1String("unreadableFile"))
            job.dir.Mode(QStringLiteral("in/b.txt"), 0222);
        if (kind == QLatin1String("readOnlyFolder"))
            job.dir.Mode(QStringLiteral("out"), 0555);

        const ChildResult run = RunChild(job.Args(inPlace), true);
        QVERIFY2(run.finished && run.lines.endsWith(QStringLiteral("MESSAGE Done.")), qPrintable(run.Describe()));
        const QStringList boxes = run.Starting(QStringLiteral("BOX"));
        QCOMPARE(boxes.size(), failing.size());
        for (qsizetype i = 0; i < boxes.size(); ++i) {
            QVERIFY2(boxes.at(i).startsWith(QString::number(line) + QLatin1Char(' ')), qPrintable(boxes.at(i)));
            QVERIFY2(boxes.at(i).contains(QLatin1Char('/') + failing.at(i)), qPrintable(boxes.at(i)));
        }
        for (const QString &name : std::as_const(job.names)) {
            const bool written = job.qualifying.contains(name) && !failing.contains(name);
            const QByteArray complete = job.originals.value(name) + kAppendix;
            QCOMPARE(ReadBytes(job.In(name)), inPlace && written ? complete : job.originals.value(name));
            if (!inPlace)
                QCOMPARE(ReadBytes(job.Out(name)), written ? complete : QByteArray());
        }
        QCOMPARE(FolderNames(job.dir.filePath(QStringLiteral("in"))), Sorted(job.names));
        if (kind == QLatin1String("readOnlyFolder"))
            QCOMPARE(FolderNames(job.OutFolder()), QStringList());
        qInfo("unwritable files, %s: %lld error boxes as expected, nothing else touched", qPrintable(kind),
              static_cast<long long>(boxes.size()));
    }

    // Changes made to the files while a run goes on: the run reports what it cannot do, touches
    // nothing else, and reaches "Done.".
    void changesDuringTheRun_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("boxes"); // "line name" of each error box
        QTest::newRow("output folder removed") << QStringLiteral("removeOutput")
                                               << QStringList{QStringLiteral("118 c.txt"), QStringLiteral("118 d.txt")};
        QTest::newRow("file replaced by a folder") << QStringLiteral("folder") << QStringList{QStringLiteral("112 c.txt")};
        QTest::newRow("file deleted") << QStringLiteral("delete") << QStringList();
    }
    void changesDuringTheRun()
    {
        QFETCH(QString, kind);
        QFETCH(QStringList, boxes);
        QTemporaryDir dir;
        QDir root(dir.path());
        QVERIFY(root.mkpath(QStringLiteral("out")));
        RecordingHost host;
        host.text1 = QLatin1String(kAppendText);
        host.text2 = QLatin1String(kConditionText);
        host.combo1 = 0;
        host.option1 = kind != QLatin1String("removeOutput");
        host.text3 = root.filePath(QStringLiteral("out"));
        QHash<QString, QByteArray> originals;
        for (const char *name : {"a.txt", "b.txt", "c.txt", "d.txt"}) {
            const QString path = root.filePath(QLatin1String(name));
            originals.insert(QLatin1String(name), "mark " + QByteArray(name));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(originals.value(QLatin1String(name)));
            host.entries << path;
        }
        const QString c = root.filePath(QStringLiteral("c.txt"));
        host.onEntry = [&](int position) {
            if (position != 3)
                return;
            if (kind == QLatin1String("removeOutput")) {
                QDir(host.text3).removeRecursively();
            } else {
                QFile::remove(c);
                if (kind == QLatin1String("folder"))
                    QDir().mkdir(c);
            }
        };
        RunAppendJob(host);

        QStringList seen;
        for (const auto &box : std::as_const(host.errorBoxes)) {
            QVERIFY2(box.procedure == QLatin1String("PushButton2_Click"), qPrintable(box.procedure));
            seen << QStringLiteral("%1 %2").arg(box.line).arg(FileNameOf(box.description.section(QLatin1Char(' '), 5, 5)));
        }
        QCOMPARE(seen, boxes);
        QCOMPARE(host.messages, QStringList{QStringLiteral("Done.")});
        for (const QString &name : originals.keys()) {
            const QString path = root.filePath(name);
            if (name == QLatin1String("c.txt") && kind != QLatin1String("removeOutput"))
                continue;
            const bool changed = kind != QLatin1String("removeOutput");
            QCOMPARE(ReadBytes(path), changed ? originals.value(name) + kAppendix : originals.value(name));
        }
        if (kind == QLatin1String("removeOutput"))
            QVERIFY(!QFileInfo::exists(host.text3)); // not made again
        if (kind == QLatin1String("folder"))
            QCOMPARE(FolderNames(c), QStringList()); // the folder is left empty
        if (kind == QLatin1String("delete"))
            QVERIFY(!QFileInfo::exists(c)); // a deleted file holds no mark: nothing is made
        qInfo("changed during the run, %s: %lld error boxes as expected, nothing else touched", qPrintable(kind),
              static_cast<long long>(seen.size()));
    }

    // Permission is respected by the scan and the run of an unprivileged user: a folder it may
    // not read is dropped from the walk, a file it may not read is reported and skipped.
    void permissionIsRespected()
    {
        Job job;
        job.dir.Folder(QStringLiteral("out"));
        job.Add(QStringLiteral("open.txt"), "mark open");
        job.Add(QStringLiteral("closed.txt"), "mark closed");
        job.dir.File(QStringLiteral("in/shut/hidden.txt"), "mark hidden");
        job.dir.File(QStringLiteral("in/deep/shut/hidden.txt"), "mark hidden");
        job.dir.File(QStringLiteral("in/deep/seen.txt"), "mark seen");
        job.dir.Mode(QStringLiteral("in/closed.txt"), 0200);
        job.dir.Mode(QStringLiteral("in/shut"), 0);
        job.dir.Mode(QStringLiteral("in/deep/shut"), 0300);

        const ChildResult scan = RunChild({QStringLiteral("scan"), job.dir.filePath(QStringLiteral("in"))}, true);
        QVERIFY2(scan.finished && scan.exitCode == 0, qPrintable(scan.Describe()));
        // The closed folders are dropped; the unreadable file is listed (it is there), for the run
        // to report.
        const QStringList listed = scan.Starting(QStringLiteral("ENTRY"));
        QCOMPARE(Sorted(listed), Sorted({job.In(QStringLiteral("open.txt")), job.In(QStringLiteral("closed.txt")),
                                         job.In(QStringLiteral("deep/seen.txt"))}));

        // The run over what the scan listed reports the unreadable file and skips it.
        job.names.clear();
        for (const QString &entry : listed)
            job.names << entry.mid(job.In(QString()).size());
        job.originals.insert(QStringLiteral("deep/seen.txt"), "mark seen");
        const ChildResult run = RunChild(job.Args(true), true);
        QVERIFY2(run.finished && run.lines.endsWith(QStringLiteral("MESSAGE Done.")), qPrintable(run.Describe()));
        const QStringList boxes = run.Starting(QStringLiteral("BOX"));
        QCOMPARE(boxes.size(), 1);
        QVERIFY2(boxes.first().startsWith(QStringLiteral("112 ")) && boxes.first().contains(job.In(QStringLiteral("closed.txt"))),
                 qPrintable(boxes.first()));
        QCOMPARE(ReadBytes(job.In(QStringLiteral("closed.txt"))), QByteArray("mark closed"));
        QCOMPARE(ReadBytes(job.In(QStringLiteral("open.txt"))), "mark open" + kAppendix);
        QCOMPARE(ReadBytes(job.In(QStringLiteral("deep/seen.txt"))), "mark seen" + kAppendix);
        QCOMPARE(ReadBytes(job.In(QStringLiteral("shut/hidden.txt"))), QByteArray("mark hidden"));
        qInfo("permission test (as %s): 2 closed folders dropped from the walk, 1 unreadable file reported and "
              "skipped, nothing else touched", RunningAsRoot() ? "nobody" : "this user");
        job.dir.Mode(QStringLiteral("in/shut"), 0777);
        job.dir.Mode(QStringLiteral("in/deep/shut"), 0777);
    }

private:
    static QStringList Sorted(QStringList names)
    {
        names.sort();
        return names;
    }

    // What the output folder holds before a run: an older "bom.txt", nothing else.
    static QByteArray OldOutput(const QString &name)
    {
        return name == QLatin1String("bom.txt") ? QByteArray("older output") : QByteArray();
    }

    // Puts the inputs back and the output folder as it was before the run.
    static void Restore(const Job &job, bool inPlace)
    {
        for (const QString &name : job.names)
            job.dir.File(QStringLiteral("in/") + name, job.originals.value(name));
        if (inPlace)
            return;
        QDir(job.OutFolder()).removeRecursively();
        job.dir.File(QStringLiteral("out/bom.txt"), OldOutput(QStringLiteral("bom.txt")));
    }
};

TARNWELL_TEST_CLASS(FaultTest)
#include "FaultTest.moc"
