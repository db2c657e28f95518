// The cases of the folder scan (P3, P4) and of the start (P5).
#include "BenchKit.h"

namespace tarnwell::bench {

// P3 and P4 share a tree: four levels of folders (10, 10, 10, 5 below each), 20 files in each
// folder of the last level, half of them .txt.
QStringList MakeTree(const QString &dir, int leafFolders, int filesPerLeaf)
{
    QStringList all;
    int made = 0;
    for (int a = 0; a < 10 && made < leafFolders; ++a)
        for (int b = 0; b < 10 && made < leafFolders; ++b)
            for (int c = 0; c < 10 && made < leafFolders; ++c)
                for (int d = 0; d < 5 && made < leafFolders; ++d, ++made) {
                    const QString leaf = dir + QStringLiteral("/a%1/b%2/c%3/d%4").arg(a).arg(b).arg(c).arg(d);
                    QDir().mkpath(leaf);
                    for (int f = 0; f < filesPerLeaf; ++f) {
                        const QString path = leaf
                                             + QStringLiteral("/file%1.%2")
                                                   .arg(f)
                                                   .arg(f % 2 ? QStringLiteral("dat") : QStringLiteral("txt"));
                        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                        if (fd < 0) {
                            Fail(QStringLiteral("could not write ") + path);
                            return all;
                        }
                        ::close(fd);
                        all << path;
                    }
                }
    return all;
}

void CaseP3P4(const Config &cfg, Samples &p6)
{
    const int leaves = cfg.smoke ? 15 : 5000;
    const QString dir = cfg.root + QStringLiteral("/p3");
    std::printf("P3/P4: writing %d files in %d folders, four levels deep...\n", leaves * 20, leaves);
    std::fflush(stdout);
    const QStringList all = MakeTree(dir, leaves, 20);
    const int txt = static_cast<int>(all.size() / 2);
    Window window(cfg.root);
    Form1 &form = *window.form;
    GapRecorder gaps;

    if (cfg.Wants("P3")) {
        Row row{QStringLiteral("P3 scan (%1 files)").arg(all.size()),
                {},
                QStringLiteral("s"),
                QStringLiteral("find"),
                {},
                1.3,
                true};
        const QString find = QStringLiteral("find %1 -iname '*.txt' >/dev/null").arg(Quoted(dir));
        for (int rep = 0; rep < cfg.reps; ++rep) {
            form.Files().Clear();
            QCoreApplication::processEvents();
            window.platform.inputAnswers = {QStringLiteral("txt")};
            window.platform.folderAnswers = {dir};
            QElapsedTimer timer;
            gaps.Start();
            timer.start();
            window.Find<QPushButton>("PushButton1")->click();
            row.measured.Add(Seconds(timer));
            p6.Add(gaps.StopMs());
            if (form.Files().Count() != txt || !window.platform.warnings.isEmpty())
                Fail(QStringLiteral("the scan listed %1 entries, not %2").arg(form.Files().Count()).arg(txt));
            row.baseline.Add(Shell(find));
            std::printf("  rep %d: window %.3f s, find %.3f s, longest gap %.1f ms\n", rep + 1,
                        row.measured.values.back(), row.baseline.values.back(), p6.values.back());
            std::fflush(stdout);
        }
        g_rows.push_back(row);
    }

    if (cfg.Wants("P4")) {
        Row row{QStringLiteral("P4 filter (%1 entries)").arg(all.size()),
                {},
                QStringLiteral("ms"),
                QString(),
                {},
                100,
                false};
        for (int rep = 0; rep < cfg.reps; ++rep) {
            form.Files().Clear();
            form.Files().AppendMany(all);
            QCoreApplication::processEvents();
            window.platform.inputAnswers = {QStringLiteral(".TXT")};
            QElapsedTimer timer;
            timer.start();
            window.Find<QPushButton>("PushButton11")->click();
            row.measured.Add(Seconds(timer) * 1000);
            if (form.Files().Count() != txt || !window.platform.warnings.isEmpty())
                Fail(QStringLiteral("the filter kept %1 entries, not %2").arg(form.Files().Count()).arg(txt));
        }
        std::printf("  P4: %.1f ms median\n", row.measured.Median());
        g_rows.push_back(row);
    }
    form.Files().Clear();
    QDir(dir).removeRecursively();
}

// P5: the probe is the main window started as the program starts it; it prints a line at its
// first paint. The program itself is timed to its first wait in the event loop, seen from outside
// as the main thread's first poll system call.
void CaseP5(const Config &cfg)
{
    const QString bin = QCoreApplication::applicationDirPath();
    Row probeRow{QStringLiteral("P5 start, to first paint"), {}, QStringLiteral("ms"), QString(), {}, 250, false};
    Row idleRow{QStringLiteral("P5 start, tarnwell to idle"), {}, QStringLiteral("ms"), QString(), {}, 250, false};
    for (int rep = 0; rep < cfg.reps; ++rep) {
        QTemporaryDir home;
        const QList<QPair<QByteArray, QByteArray>> env{
            {"HOME", QFile::encodeName(home.path())},
            {"XDG_CONFIG_HOME", QFile::encodeName(home.path() + QStringLiteral("/config"))},
            {"QT_QPA_PLATFORM", "offscreen"}};
        int fds[2];
        if (::pipe(fds) != 0)
            return Fail(QStringLiteral("pipe"));
        QElapsedTimer timer;
        timer.start();
        const pid_t probe = Spawn({bin + QStringLiteral("/tarnwell_startup_probe")}, env, fds[1]);
        ::close(fds[1]);
        char line[16] = {};
        const ssize_t got = ::read(fds[0], line, sizeof line - 1);
        const double shownMs = Seconds(timer) * 1000;
        ::close(fds[0]);
        const ChildRun probeRun = Wait(probe, timer);
        if (got <= 0 || QByteArray(line).trimmed() != "shown" || probeRun.exitCode != 0)
            Fail(QStringLiteral("the start-up probe did not show its window"));
        probeRow.measured.Add(shownMs);

        QTemporaryDir home2;
        const QList<QPair<QByteArray, QByteArray>> env2{
            {"HOME", QFile::encodeName(home2.path())},
            {"XDG_CONFIG_HOME", QFile::encodeName(home2.path() + QStringLiteral("/config"))},
            {"QT_QPA_PLATFORM", "offscreen"}};
        timer.start();
        const pid_t program = Spawn({bin + QStringLiteral("/tarnwell")}, env2);
        const QByteArray syscallFile = "/proc/" + QByteArray::number(program) + "/syscall";
        double idleMs = -1;
        while (timer.elapsed() < 10000) {
            const int fd = ::open(syscallFile.constData(), O_RDONLY);
            char text[32] = {};
            const ssize_t n = fd >= 0 ? ::read(fd, text, sizeof text - 1) : -1;
            if (fd >= 0)
                ::close(fd);
            if (n > 0) {
                const long number = std::atol(text);
                if ((text[0] >= '0' && text[0] <= '9') && (number == 7 || number == 271)) { // poll, ppoll
                    idleMs = Seconds(timer) * 1000;
                    break;
                }
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        ::kill(program, SIGKILL);
        Wait(program, timer);
        if (idleMs < 0)
            Fail(QStringLiteral("tarnwell never waited in its event loop"));
        idleRow.measured.Add(idleMs);
        std::printf("  P5 rep %d: probe shown %.1f ms, tarnwell idle %.1f ms\n", rep + 1, shownMs, idleMs);
        std::fflush(stdout);
    }
    g_rows.push_back(probeRow);
    g_rows.push_back(idleRow);
}

} // namespace tarnwell::bench
