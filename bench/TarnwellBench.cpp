// The performance suite: builds its own corpus in a temporary folder, runs every case and its
// baseline side by side in the same run, and prints one table of medians, spreads and ratios.
//
//   tarnwell_bench [--smoke] [--reps N] [--cases P1,P1C,P1A,P2,P3,P4,P5] [--big-gib 1,3]
//
// P1C is P1 with the page cache dropped before each timed part (as root), P1A P1 from the window
// with the accessibility bridge on. The timed parts of each repetition run in a random order.
//
// --smoke runs every case on a few hundred files (and a small big file) once; it checks the work
// was done but not the targets. The window cases drive the real main window, offscreen, with a
// scripted desktop answering its dialogs. Exit status 1 when a run did not do its work.
#include "BenchKit.h"
#include "engine/RunRecord.h"
#include "engine/RunUndo.h"

using namespace tarnwell;

namespace tarnwell::bench {

namespace {

// The P1 job: files of 4 KiB in folders of their own; every other one holds the condition, and the
// others get the text appended in place.
struct P1Corpus
{
    QString dir;
    QStringList files;
    qint64 size = 4096;
    int expected = 0; // the files a run writes
};

std::optional<P1Corpus> MakeP1Corpus(const Config &cfg)
{
    const int fileCount = cfg.smoke ? 300 : 20000;
    const int folders = cfg.smoke ? 10 : 200;
    P1Corpus corpus{cfg.root + QStringLiteral("/p1"), {}, 4096, fileCount / 2};
    std::printf("P1: writing %d files of %lld bytes in %d folders...\n", fileCount, corpus.size, folders);
    std::fflush(stdout);
    for (int f = 0; f < folders; ++f)
        QDir().mkpath(corpus.dir + QStringLiteral("/d%1").arg(f, 3, 10, QLatin1Char('0')));
    for (int i = 0; i < fileCount; ++i) {
        const QString path =
            corpus.dir
            + QStringLiteral("/d%1/f%2.txt").arg(i % folders, 3, 10, QLatin1Char('0')).arg(i, 6, 10, QLatin1Char('0'));
        if (!WriteFile(path, MakeContent(static_cast<quint32>(i), corpus.size, i % 2 == 0))) {
            Fail(QStringLiteral("could not write ") + path);
            return std::nullopt;
        }
        corpus.files << path;
    }
    return corpus;
}

// Cuts the files back and fails when `what` did not write exactly the files it should have.
void CheckP1(const P1Corpus &corpus, const char *what)
{
    const int grown = RestoreAndCountGrown(corpus.files, corpus.size);
    if (grown != corpus.expected)
        Fail(QStringLiteral("%1 wrote %2 files, not %3").arg(QLatin1String(what)).arg(grown).arg(corpus.expected));
}

// The window set up for the P1 job: every file, "does not" the condition, in place.
void SetUpP1Window(Window &window, const QStringList &files, const QString &root)
{
    window.form->Files().AppendMany(files);
    window.Find<QPlainTextEdit>("Text1")->setPlainText(kAppendText);
    window.Find<QPlainTextEdit>("Text2")->setPlainText(kCondition);
    window.Find<QComboBox>("Combo1")->setCurrentIndex(1);
    window.Find<QRadioButton>("Option1")->setChecked(true);
    window.Find<QLineEdit>("Text3")->setText(root);
}

// Presses Start and gives the seconds until the run ended; fails when it did not end cleanly.
double TimedWindowRun(Window &window)
{
    window.platform.messages.clear();
    QElapsedTimer timer;
    timer.start();
    window.Find<QPushButton>("PushButton2")->click();
    const double seconds = Seconds(timer);
    if (window.platform.messages != QStringList{QStringLiteral("Done.")} || !window.platform.warnings.isEmpty())
        Fail(QStringLiteral("the window run did not end cleanly: ") + window.platform.messages.join(QLatin1Char('|'))
             + window.platform.warnings.join(QLatin1Char('|')));
    return seconds;
}

} // namespace

void CaseP1(const Config &cfg, const P1Corpus &corpus, Samples &p6)
{
    Window window(cfg.root);
    SetUpP1Window(window, corpus.files, cfg.root);
    GapRecorder gaps;

    Row windowRow{QStringLiteral("P1 run, window (%1 files)").arg(corpus.files.size()),
                  {},
                  QStringLiteral("s"),
                  QStringLiteral("grep|sed"),
                  {},
                  0.3,
                  true};
    Row engineRow{
        QStringLiteral("P1 run, engine alone"), {}, QStringLiteral("s"), QStringLiteral("cat"), {}, 1.0, true};
    // What the record of in-place appends costs the engine, plain and forced to the disk (fsync) at
    // the start and the end of the run: against the engine without a record, in the same repetition.
    Row recordRow{QStringLiteral("P1 engine, with vs without record"),
                  {},
                  QStringLiteral("s"),
                  QStringLiteral("no record"),
                  {},
                  1.1,
                  true};
    Row syncedRow{QStringLiteral("P1 engine, record fsynced"),
                  {},
                  QStringLiteral("s"),
                  QStringLiteral("no record"),
                  {},
                  1.1,
                  true};
    // The check of which files qualify over the same list, against the window run of the same repetition.
    Row checkRow{
        QStringLiteral("P1 check, window"), {}, QStringLiteral("s"), QStringLiteral("the window run"), {}, 1.1, true};
    // What the record of each run costs the engine (both with the record of in-place appends), and the
    // undo of the run's appends from that record.
    Row runRecordRow{QStringLiteral("P1 engine, with vs without the run's record"),
                     {},
                     QStringLiteral("s"),
                     QStringLiteral("no run record"),
                     {},
                     1.03,
                     true};
    Row undoRow{QStringLiteral("P1 undo of the run's appends"), {}, QStringLiteral("s"), QString(), {}, 1.0, false};
    const QString pipeline = QStringLiteral("grep -rLiF %1 %2 | xargs sed -i '$a %3'")
                                 .arg(Quoted(kCondition), Quoted(corpus.dir), kAppendText);
    const QString floor = QStringLiteral("find %1 -type f -exec cat {} + >/dev/null").arg(Quoted(corpus.dir));
    for (int rep = 0; rep < cfg.reps; ++rep) {
        double windowSeconds = 0, gapMs = 0, pipelineSeconds = 0, floorSeconds = 0;
        // The engine as the window runs it (recorded), without a record, and with the record fsynced.
        // The fourth: with the run's record too, then undone.
        double seconds[4] = {0, 0, 0, 0};
        double checkSeconds = 0, undoSeconds = 0;
        std::vector<std::function<void()>> parts{
            [&] {
                gaps.Start();
                windowSeconds = TimedWindowRun(window);
                gapMs = gaps.StopMs();
                CheckP1(corpus, "the window run");
            },
            [&] {
                pipelineSeconds = Shell(pipeline);
                CheckP1(corpus, "the grep|sed pipeline");
            },
            [&] { floorSeconds = Shell(floor); },
            [&] {
                QElapsedTimer timer;
                timer.start();
                window.form->mnuCheck_Click();
                checkSeconds = Seconds(timer);
                const FileList &list = window.form->Files();
                int qualifying = 0;
                for (int i = 1; i <= list.Count(); ++i)
                    qualifying += list.MarkAt(i).kind == EntryMark::Kind::Qualifies ? 1 : 0;
                if (qualifying != corpus.expected)
                    Fail(QStringLiteral("the check found %1 files qualifying, not %2")
                             .arg(qualifying)
                             .arg(corpus.expected));
            }};
        for (const int variant : {0, 1, 2, 3}) {
            parts.emplace_back([&, variant] {
                testing::RecordingHost host = EngineHost(corpus.files, cfg.root);
                const QString data = cfg.root + QStringLiteral("/data");
                AppendJournal journal(data);
                journal.SetSyncAtRunEnds(variant == 2);
                RunRecorder recorder(data);
                QElapsedTimer timer;
                timer.start();
                RunAppendJob(host, QStringLiteral("PushButton2_Click"), CodePage::System(),
                             variant == 1 ? nullptr : &journal, variant == 3 ? &recorder : nullptr);
                seconds[variant] = Seconds(timer);
                if (ErrorsOf(host) != 0)
                    Fail(QStringLiteral("the engine reported errors"));
                if (variant != 3) {
                    CheckP1(corpus, "the engine");
                    return;
                }
                QString error;
                const std::optional<RunRecord> record = LoadRunRecord(recorder.File(), error);
                if (!record)
                    Fail(QStringLiteral("the run kept no record: ") + error);
                timer.start();
                const UndoResult undone = UndoRun(data, *record);
                undoSeconds = Seconds(timer);
                if (undone.restored != corpus.expected || !undone.leftAlone.isEmpty()
                    || RestoreAndCountGrown(corpus.files, corpus.size) != 0)
                    Fail(
                        QStringLiteral("the undo restored %1 files, not %2").arg(undone.restored).arg(corpus.expected));
            });
        }
        RunShuffled(std::move(parts));
        windowRow.measured.Add(windowSeconds);
        windowRow.baseline.Add(pipelineSeconds);
        p6.Add(gapMs);
        engineRow.measured.Add(seconds[0]);
        engineRow.baseline.Add(floorSeconds);
        recordRow.measured.Add(seconds[0]);
        recordRow.baseline.Add(seconds[1]);
        syncedRow.measured.Add(seconds[2]);
        syncedRow.baseline.Add(seconds[1]);
        checkRow.measured.Add(checkSeconds);
        checkRow.baseline.Add(windowSeconds);
        runRecordRow.measured.Add(seconds[3]);
        runRecordRow.baseline.Add(seconds[0]);
        undoRow.measured.Add(undoSeconds);
        std::printf("  rep %d: window %.3f s, check %.3f s, grep|sed %.3f s, engine %.3f s, cat %.3f s, engine without "
                    "the record %.3f s, with the record fsynced %.3f s, with the run's record %.3f s, its undo %.3f s, "
                    "longest gap %.1f ms\n",
                    rep + 1, windowSeconds, checkSeconds, pipelineSeconds, seconds[0], floorSeconds, seconds[1],
                    seconds[2], seconds[3], undoSeconds, gapMs);
        std::fflush(stdout);
    }
    g_rows.push_back(windowRow);
    g_rows.push_back(engineRow);
    g_rows.push_back(recordRow);
    g_rows.push_back(syncedRow);
    g_rows.push_back(checkRow);
    g_rows.push_back(runRecordRow);
    g_rows.push_back(undoRow);
}

// P1 from the window on files that are not in memory: the page cache is dropped before each timed
// part. Against reading the files one at a time and eight at a time.
void CaseP1Cold(const Config &cfg, const P1Corpus &corpus)
{
    Row serialRow{QStringLiteral("P1 cold, window vs serial read"),
                  {},
                  QStringLiteral("s"),
                  QStringLiteral("xargs cat"),
                  {},
                  1.5,
                  true};
    Row eightRow{QStringLiteral("P1 cold, window vs 8-way read"),
                 {},
                 QStringLiteral("s"),
                 QStringLiteral("xargs -P 8"),
                 {},
                 1.5,
                 true};
    const QString why = cfg.smoke ? QStringLiteral("a smoke run leaves the page cache alone") : DropCaches();
    if (!why.isEmpty()) {
        g_skipped.emplace_back(QStringLiteral("P1 cold"), why);
        return;
    }
    Window window(cfg.root);
    SetUpP1Window(window, corpus.files, cfg.root);
    const QString list = QStringLiteral("find %1 -type f -print0 | xargs -0 ").arg(Quoted(corpus.dir));
    const QString serial = list + QStringLiteral("cat >/dev/null");
    const QString eightWay = list + QStringLiteral("-P 8 -n 250 cat >/dev/null");
    for (int rep = 0; rep < cfg.reps; ++rep) {
        double windowSeconds = 0, serialSeconds = 0, eightSeconds = 0;
        const auto cold = [](const std::function<void()> &part) {
            return [part] {
                if (const QString failed = DropCaches(); !failed.isEmpty())
                    Fail(failed);
                part();
            };
        };
        RunShuffled({cold([&] {
                         windowSeconds = TimedWindowRun(window);
                         CheckP1(corpus, "the cold window run");
                     }),
                     cold([&] { serialSeconds = Shell(serial); }), cold([&] { eightSeconds = Shell(eightWay); })});
        serialRow.measured.Add(windowSeconds);
        serialRow.baseline.Add(serialSeconds);
        eightRow.measured.Add(windowSeconds);
        eightRow.baseline.Add(eightSeconds);
        std::printf("  rep %d, cold: window %.3f s, serial cat %.3f s, eight-way cat %.3f s\n", rep + 1, windowSeconds,
                    serialSeconds, eightSeconds);
        std::fflush(stdout);
    }
    g_rows.push_back(serialRow);
    g_rows.push_back(eightRow);
}

// The child side of P1 with accessibility: the window run over every file under `folder`, on the
// platform its environment names; prints "window-run <seconds> <1 when an accessibility bridge
// listened, else 0>".
int WindowChild(const QString &folder, const QString &root)
{
    QStringList files;
    QDirIterator it(folder, {QStringLiteral("*.txt")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    files.sort();
    Window window(root);
    SetUpP1Window(window, files, root);
    const double seconds = TimedWindowRun(window);
    std::printf("window-run %.6f %d\n", seconds, QAccessible::isActive() ? 1 : 0);
    return g_failed ? 1 : 0;
}

// P1 from the window while the accessibility bridge is on (as with a screen reader): the window on
// a virtual X display, with a session bus and the AT-SPI registry, against the same run on the
// same display without them.
void CaseP1Accessible(const Config &cfg, const P1Corpus &corpus, const QString &self)
{
    Row row{
        QStringLiteral("P1 window, accessibility on"), {}, QStringLiteral("s"), QStringLiteral("off"), {}, 1.3, true};
    const QString launcher = QStringLiteral("/usr/libexec/at-spi-bus-launcher");
    const QString registry = QStringLiteral("/usr/libexec/at-spi2-registryd");
    QStringList lacking;
    for (const QString &tool : {QStringLiteral("dbus-run-session"), QStringLiteral("xvfb-run")})
        if (QStandardPaths::findExecutable(tool).isEmpty())
            lacking << tool;
    for (const QString &tool : {launcher, registry})
        if (!QFileInfo(tool).isExecutable())
            lacking << tool;
    if (!lacking.isEmpty()) {
        g_skipped.emplace_back(row.name, QStringLiteral("not installed: ") + lacking.join(QStringLiteral(", ")));
        return;
    }
    const QString root = cfg.root + QStringLiteral("/a11y");
    QDir().mkpath(root);
    const QStringList child{self, QStringLiteral("--window-child"), corpus.dir, root};
    // The bus and the registry live as long as the run; the child is told to speak to them.
    const QStringList withBridge =
        QStringList{QStringLiteral("dbus-run-session"),
                    QStringLiteral("--"),
                    QStringLiteral("/bin/sh"),
                    QStringLiteral("-c"),
                    QStringLiteral("%1 --launch-immediately & b=$!; %2 --use-gnome-session=false & r=$!; sleep 1; "
                                   "QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 xvfb-run -a \"$@\"; s=$?; kill $r $b; exit $s")
                        .arg(launcher, registry),
                    QStringLiteral("sh")}
        + child;
    const QStringList without = QStringList{QStringLiteral("xvfb-run"), QStringLiteral("-a")} + child;
    // Gives the seconds the child's run took, and whether the bridge listened.
    const auto runChild = [&](const QStringList &command) -> std::pair<double, bool> {
        QTemporaryFile out;
        if (!out.open())
            return {0, false};
        QStringList args{QStringLiteral("/usr/bin/env")};
        args << command;
        const pid_t pid = Spawn(args, {{"QT_QPA_PLATFORM", "xcb"}}, out.handle());
        QElapsedTimer since;
        since.start();
        if (pid < 0 || Wait(pid, since).exitCode != 0)
            Fail(QStringLiteral("the window child failed: ") + command.join(QLatin1Char(' ')));
        CheckP1(corpus, "the window child");
        out.seek(0);
        for (const QByteArray &line : out.readAll().split('\n'))
            if (line.startsWith("window-run ")) {
                const QList<QByteArray> fields = line.split(' ');
                return {fields.value(1).toDouble(), fields.value(2) == "1"};
            }
        return {0, false};
    };
    for (int rep = 0; rep < cfg.reps; ++rep) {
        std::pair<double, bool> on, off;
        RunShuffled({[&] { on = runChild(withBridge); }, [&] { off = runChild(without); }});
        if (!on.second) {
            g_skipped.emplace_back(row.name, QStringLiteral("the accessibility bridge did not come up"));
            return;
        }
        row.measured.Add(on.first);
        row.baseline.Add(off.first);
        std::printf("  rep %d: window with accessibility %.3f s, without %.3f s\n", rep + 1, on.first, off.first);
        std::fflush(stdout);
    }
    g_rows.push_back(row);
}

// The child side of P2: one run of the engine over the file, as a process of its own so that its
// peak memory is the whole process's; `kernel`, when not empty, pins the byte kernel ("avx2").
int BigFileChild(const QString &path, const QString &folder, const QString &kernel)
{
    if (kernel == QLatin1String("avx2") && !PinByteKernel(ByteKernel::Avx2))
        return 2;
    testing::RecordingHost host = EngineHost({path}, folder);
    RunAppendJob(host, QStringLiteral("PushButton2_Click"), CodePage::Windows1252());
    return ErrorsOf(host) == 0 ? 0 : 1;
}

void CaseP2(const Config &cfg, const QString &self)
{
    for (const int gib : cfg.bigGiB) {
        const qint64 size = cfg.smoke ? (qint64(8) << 20) : (qint64(gib) << 30);
        const QString path = cfg.root + QStringLiteral("/big-%1.txt").arg(gib);
        std::printf("P2: writing one Windows-1252 text file of %lld MiB...\n", size >> 20);
        std::fflush(stdout);
        {
            // 8 MiB of text repeated, each copy with a different first line so no two are equal.
            const QByteArray block = MakeContent(7, qint64(8) << 20, false, true);
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly))
                return Fail(QStringLiteral("could not write ") + path);
            for (qint64 written = 0, n = 0; written < size; written += block.size(), ++n) {
                const QByteArray head = "part " + QByteArray::number(n) + "\r\n";
                QByteArray copy = block;
                copy.replace(0, head.size(), head);
                if (file.write(copy.constData(), std::min<qint64>(copy.size(), size - written)) < 0)
                    return Fail(QStringLiteral("could not write ") + path);
            }
        }
        const QString label = cfg.smoke ? QStringLiteral("8 MiB") : QStringLiteral("%1 GiB").arg(gib);
        Row timeRow{QStringLiteral("P2 big file, %1").arg(label),
                    {},
                    QStringLiteral("s"),
                    QStringLiteral("grep -ciF"),
                    {},
                    2.0,
                    true};
        // The same with the AVX2 kernel pinned, where the processor has a better one: what a
        // processor without AVX-512 would see.
        const bool avx2Row = BestByteKernel() == ByteKernel::Avx512 && gib == cfg.bigGiB.first();
        Row avx2TimeRow{QStringLiteral("P2 big file, %1, AVX2").arg(label),
                        {},
                        QStringLiteral("s"),
                        QStringLiteral("grep -ciF"),
                        {},
                        2.0,
                        true};
        Row memoryRow{
            QStringLiteral("P2 peak memory, %1").arg(label), {}, QStringLiteral("MiB"), QString(), {}, 192, false};
        const QString grep = QStringLiteral("grep -ciF %1 %2 >/dev/null").arg(Quoted(kCondition), Quoted(path));
        const auto runEngine = [&](const QString &kernel, Row &row) {
            QStringList args{self, QStringLiteral("--big-file-child"), path, cfg.root};
            if (!kernel.isEmpty())
                args << kernel;
            const ChildRun run = RunChild(args);
            if (run.exitCode != 0)
                Fail(QStringLiteral("the big-file run failed"));
            row.measured.Add(run.seconds);
            const qint64 after = QFileInfo(path).size();
            if (after != size + 2 + kAppendText.size())
                Fail(QStringLiteral("the big file was not appended to: %1 bytes").arg(after));
            if (::truncate(QFile::encodeName(path).constData(), size) != 0)
                Fail(QStringLiteral("could not restore the big file"));
            return run;
        };
        const int reps = cfg.smoke ? 1 : std::max(1, gib >= 3 ? cfg.reps / 2 : cfg.reps);
        for (int rep = 0; rep < reps; ++rep) {
            const ChildRun run = runEngine(QString(), timeRow);
            memoryRow.measured.Add(static_cast<double>(run.maxRssKiB) / 1024.0);
            timeRow.baseline.Add(Shell(grep));
            std::printf("  rep %d: engine %.3f s (%.0f MB/s), peak %ld MiB, grep %.3f s\n", rep + 1, run.seconds,
                        static_cast<double>(size) / 1e6 / run.seconds, run.maxRssKiB / 1024,
                        timeRow.baseline.values.back());
            if (avx2Row) {
                const ChildRun avx2 = runEngine(QStringLiteral("avx2"), avx2TimeRow);
                avx2TimeRow.baseline.Add(Shell(grep));
                std::printf("         AVX2 kernel %.3f s, grep %.3f s\n", avx2.seconds,
                            avx2TimeRow.baseline.values.back());
            }
            std::fflush(stdout);
        }
        g_rows.push_back(timeRow);
        if (avx2Row)
            g_rows.push_back(avx2TimeRow);
        g_rows.push_back(memoryRow);
        QFile::remove(path);
    }
}

} // namespace tarnwell::bench

using namespace tarnwell::bench;

int main(int argc, char **argv)
{
    if ((argc == 4 || argc == 5) && QByteArray(argv[1]) == "--big-file-child") {
        QCoreApplication app(argc, argv);
        return BigFileChild(QFile::decodeName(argv[2]), QFile::decodeName(argv[3]),
                            argc == 5 ? QString::fromLatin1(argv[4]) : QString());
    }
    if (argc == 4 && QByteArray(argv[1]) == "--window-child") {
        QApplication app(argc, argv);
        return WindowChild(QFile::decodeName(argv[2]), QFile::decodeName(argv[3]));
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    Config cfg;
    cfg.smoke = args.contains(QStringLiteral("--smoke"));
    cfg.reps = cfg.smoke ? 1 : 5;
    for (qsizetype i = 1; i + 1 < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--reps"))
            cfg.reps = std::max(1, args.at(i + 1).toInt());
        else if (args.at(i) == QLatin1String("--cases"))
            cfg.cases = args.at(i + 1).toUpper().split(QLatin1Char(','));
        else if (args.at(i) == QLatin1String("--big-gib")) {
            cfg.bigGiB.clear();
            for (const QString &n : args.at(i + 1).split(QLatin1Char(',')))
                cfg.bigGiB << std::max(1, n.toInt());
        }
    }
    if (cfg.smoke)
        cfg.bigGiB = {1};
    QTemporaryDir root(QDir::tempPath() + QStringLiteral("/tarnwell-bench-XXXXXX"));
    if (!root.isValid())
        return 1;
    cfg.root = root.path();

    Samples gapsP1, gapsP3;
    if (cfg.Wants("P1") || cfg.Wants("P1C") || cfg.Wants("P1A")) {
        if (const std::optional<P1Corpus> corpus = MakeP1Corpus(cfg)) {
            if (cfg.Wants("P1"))
                CaseP1(cfg, *corpus, gapsP1);
            if (cfg.Wants("P1C"))
                CaseP1Cold(cfg, *corpus);
            if (cfg.Wants("P1A"))
                CaseP1Accessible(cfg, *corpus, QCoreApplication::applicationFilePath());
            QDir(corpus->dir).removeRecursively();
        }
    }
    if (cfg.Wants("P2"))
        CaseP2(cfg, QCoreApplication::applicationFilePath());
    if (cfg.Wants("P3") || cfg.Wants("P4"))
        CaseP3P4(cfg, gapsP3);
    if (cfg.Wants("P5"))
        CaseP5(cfg);
    if (!gapsP1.values.empty())
        g_rows.push_back(Row{
            QStringLiteral("P6 longest gap, P1 window run"), gapsP1, QStringLiteral("ms"), QString(), {}, 50, false});
    if (!gapsP3.values.empty())
        g_rows.push_back(
            Row{QStringLiteral("P6 longest gap, P3 scan"), gapsP3, QStringLiteral("ms"), QString(), {}, 50, false});

    PrintTable();
    if (g_failed)
        std::printf("\nSome runs did not do their work: see FAILED above.\n");
    return g_failed ? 1 : 0;
}
