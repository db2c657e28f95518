// The performance suite: builds its own corpus in a temporary folder, runs every case and its
// baseline side by side in the same run, and prints one table of medians, spreads and ratios.
//
//   tarnwell_bench [--smoke] [--reps N] [--cases P1,P2,P3,P4,P5] [--big-gib 1,3]
//
// --smoke runs every case on a few hundred files (and a small big file) once; it checks the work
// was done but not the targets. The window cases drive the real main window, offscreen, with a
// scripted desktop answering its dialogs. Exit status 1 when a run did not do its work.
#include "AppendJournal.h"
#include "AppendRun.h"
#include "BenchPlatform.h"
#include "ByteScan.h"
#include "Form1.h"
#include "Settings.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

using namespace tarnwell;

namespace {

const QString kCondition = QStringLiteral("Marker-Of-The-Condition");
const QString kAppendText = QStringLiteral("APPENDED");
bool g_failed = false;

void Fail(const QString &what)
{
    g_failed = true;
    std::fprintf(stderr, "FAILED: %s\n", qPrintable(what));
}

// ---- measurements ---------------------------------------------------------------------------

struct Samples
{
    std::vector<double> values;
    void Add(double v) { values.push_back(v); }
    double Median() const
    {
        if (values.empty())
            return 0;
        std::vector<double> sorted = values;
        std::sort(sorted.begin(), sorted.end());
        const std::size_t n = sorted.size();
        return n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    }
    double Min() const { return values.empty() ? 0 : *std::min_element(values.begin(), values.end()); }
    double Max() const { return values.empty() ? 0 : *std::max_element(values.begin(), values.end()); }
};

struct Row
{
    QString name;
    Samples measured;
    QString unit; // "s", "ms" or "MiB"
    QString baselineName;
    Samples baseline;
    double target = 0;     // ratio limit when there is a baseline, else an absolute limit in `unit`
    bool inclusive = true; // "at most" (<=) or "under" (<)
};
std::vector<Row> g_rows;

QString Figure(double v, const QString &unit)
{
    if (unit == QLatin1String("s"))
        return QString::number(v, 'f', 3) + QStringLiteral(" s");
    if (unit == QLatin1String("ms"))
        return QString::number(v, 'f', 1) + QStringLiteral(" ms");
    return QString::number(v, 'f', 0) + QLatin1Char(' ') + unit;
}

QString Spread(const Samples &s, const QString &unit)
{
    if (s.values.size() < 2)
        return Figure(s.Median(), unit);
    return Figure(s.Median(), unit) + QStringLiteral(" [")
           + QString::number(s.Min(), 'f', unit == QLatin1String("s") ? 3 : 1) + QLatin1Char('-')
           + QString::number(s.Max(), 'f', unit == QLatin1String("s") ? 3 : 1) + QLatin1Char(']');
}

void PrintTable()
{
    std::printf("\n%-34s %-28s %-36s %-7s %-10s %s\n", "case", "measured: median [min-max]",
                "baseline: median [min-max]", "ratio", "target", "met");
    for (const Row &row : g_rows) {
        const bool hasBaseline = !row.baseline.values.empty();
        const double value = hasBaseline ? row.measured.Median() / row.baseline.Median() : row.measured.Median();
        const bool met = row.inclusive ? value <= row.target : value < row.target;
        const QString baseline = hasBaseline ? row.baselineName + QLatin1Char(' ') + Spread(row.baseline, row.unit)
                                             : QStringLiteral("-");
        const QString ratio = hasBaseline ? QString::number(value, 'f', 2) + QLatin1Char('x') : QStringLiteral("-");
        const QString target = (row.inclusive ? QStringLiteral("<= ") : QStringLiteral("< "))
                               + (hasBaseline ? QString::number(row.target, 'f', 1) + QLatin1Char('x')
                                              : Figure(row.target, row.unit));
        std::printf("%-34s %-28s %-36s %-7s %-10s %s\n", qPrintable(row.name),
                    qPrintable(Spread(row.measured, row.unit)), qPrintable(baseline), qPrintable(ratio),
                    qPrintable(target), met ? "yes" : "NO");
    }
}

double Seconds(const QElapsedTimer &timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

// The longest time between two turns of the event loop, from a 0 ms timer in the window's thread.
class GapRecorder
{
public:
    GapRecorder()
    {
        m_timer.setInterval(0);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Mark(); });
    }
    void Start()
    {
        m_clock.start();
        m_last = 0;
        m_max = 0;
        m_timer.start();
    }
    double StopMs()
    {
        Mark();
        m_timer.stop();
        return static_cast<double>(m_max) / 1e6;
    }

private:
    void Mark()
    {
        const qint64 now = m_clock.nsecsElapsed();
        m_max = std::max(m_max, now - m_last);
        m_last = now;
    }
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_max = 0;
};

// ---- child processes ------------------------------------------------------------------------

struct ChildRun
{
    double seconds = 0;
    long maxRssKiB = 0;
    int exitCode = -1;
};

std::vector<QByteArray> EnvironmentWith(const QList<QPair<QByteArray, QByteArray>> &overrides)
{
    std::vector<QByteArray> env;
    for (char **e = environ; *e; ++e) {
        const QByteArray entry(*e);
        const bool replaced = std::any_of(overrides.begin(), overrides.end(),
                                          [&](const auto &o) { return entry.startsWith(QByteArray(o.first + '=')); });
        if (!replaced)
            env.push_back(entry);
    }
    for (const auto &o : overrides)
        env.push_back(QByteArray(o.first + '=' + o.second));
    return env;
}

// Starts `args` with the given environment changes; standard output goes to `stdoutFd` (or
// /dev/null when -1).
pid_t Spawn(const QStringList &args, const QList<QPair<QByteArray, QByteArray>> &overrides, int stdoutFd = -1)
{
    std::vector<QByteArray> argBytes;
    for (const QString &a : args)
        argBytes.push_back(QFile::encodeName(a));
    std::vector<char *> argv;
    for (QByteArray &a : argBytes)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<QByteArray> env = EnvironmentWith(overrides);
    std::vector<char *> envp;
    for (QByteArray &e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdoutFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

ChildRun Wait(pid_t pid, const QElapsedTimer &since)
{
    ChildRun run;
    int status = 0;
    rusage usage{};
    while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    run.seconds = Seconds(since);
    run.maxRssKiB = usage.ru_maxrss;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

ChildRun RunChild(const QStringList &args, const QList<QPair<QByteArray, QByteArray>> &overrides = {})
{
    QElapsedTimer timer;
    timer.start();
    const pid_t pid = Spawn(args, overrides);
    if (pid < 0) {
        Fail(QStringLiteral("could not start ") + args.join(QLatin1Char(' ')));
        return {};
    }
    return Wait(pid, timer);
}

double Shell(const QString &command)
{
    const ChildRun run = RunChild({QStringLiteral("/bin/sh"), QStringLiteral("-c"), command});
    if (run.exitCode != 0 && run.exitCode != 1) // grep answers 1 for "nothing found"
        Fail(QStringLiteral("baseline exited with %1: %2").arg(run.exitCode).arg(command));
    return run.seconds;
}

QString Quoted(const QString &path)
{
    return QLatin1Char('\'') + path + QLatin1Char('\'');
}

// ---- corpus -----------------------------------------------------------------------------------

// Deterministic text-like content: words from a fixed generator, broken into CR LF lines; with
// `withCondition` the condition text lies in the middle.
QByteArray MakeContent(quint32 seed, qint64 size, bool withCondition, bool codePageWords = false)
{
    static const char *const words[] = {"alpha",  "beta",  "gamma",  "delta", "ByVal",  "Kestrel", "tarn",
                                        "ledger", "value", "return", "index", "folder", "Marker",  "condition"};
    // Windows-1252: café, naïve, don't with a typographic apostrophe, 10 euro.
    static const char *const codePage[] = {"caf\xE9", "na\xEFve", "don\x92t", "10 \x80"};
    QByteArray text;
    text.reserve(size + 16);
    quint32 state = seed * 2654435761u + 1;
    while (text.size() < size) {
        state = state * 1664525u + 1013904223u;
        if (codePageWords && (state >> 28) == 0)
            text += codePage[(state >> 8) % 4];
        else
            text += words[(state >> 16) % (sizeof words / sizeof *words)];
        text += (state & 7) == 0 ? "\r\n" : " ";
    }
    text.truncate(size);
    if (withCondition) {
        const QByteArray marker = kCondition.toUtf8();
        text.replace(std::max<qint64>(0, size / 2 - marker.size()), marker.size(), marker);
    }
    return text;
}

bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Cuts every file back to `size` and counts those that had grown: the files a run wrote.
int RestoreAndCountGrown(const QStringList &files, qint64 size)
{
    int grown = 0;
    for (const QString &path : files) {
        const QByteArray native = QFile::encodeName(path);
        struct stat info
        {};
        if (::stat(native.constData(), &info) != 0) {
            Fail(QStringLiteral("missing after a run: ") + path);
            continue;
        }
        if (info.st_size != size) {
            ++grown;
            if (::truncate(native.constData(), size) != 0)
                Fail(QStringLiteral("could not restore ") + path);
        }
    }
    return grown;
}

class QuietHost final : public AppendHost
{
public:
    QStringList files;
    QString folder;
    int errors = 0;
    int EntryCount() override { return static_cast<int>(files.size()); }
    QString EntryText(int position) override { return files.at(position - 1); }
    QString Text1() override { return kAppendText; }
    QString Text2() override { return kCondition; }
    QString Text3() override { return folder; }
    int Combo1Position() override { return 1; }
    bool Option1Selected() override { return true; }
    void SetProgressValue(double) override {}
    void SetProgressText(const QString &) override {}
    void SetPointer(int) override {}
    void ShowMessage(const QString &) override {}
    void Yield() override {}
    void ShowErrorBox(const QString &description, const QString &, int) override
    {
        if (errors++ < 5)
            std::fprintf(stderr, "error: %s\n", qPrintable(description));
    }
};

// ---- the window -------------------------------------------------------------------------------

struct Window
{
    bench::BenchPlatform platform;
    std::unique_ptr<SettingsStore> settings;
    std::unique_ptr<Form1> form;

    explicit Window(const QString &root)
    {
        platform.desktop = root;
        platform.dataFolder = root + QStringLiteral("/data");
        settings = std::make_unique<SettingsStore>(root + QStringLiteral("/settings.ini"));
        form = std::make_unique<Form1>(platform, *settings);
        form->Form_Load();
        form->show();
        QCoreApplication::processEvents();
    }
};

// ---- the cases --------------------------------------------------------------------------------

struct Config
{
    bool smoke = false;
    int reps = 5;
    QStringList cases;
    QList<int> bigGiB{1, 3};
    QString root;
    bool Wants(const char *name) const { return cases.isEmpty() || cases.contains(QLatin1String(name)); }
};

void CaseP1(const Config &cfg, Samples &p6)
{
    const int fileCount = cfg.smoke ? 300 : 20000;
    const int folders = cfg.smoke ? 10 : 200;
    const qint64 size = 4096;
    const QString dir = cfg.root + QStringLiteral("/p1");
    std::printf("P1: writing %d files of %lld bytes in %d folders...\n", fileCount, size, folders);
    std::fflush(stdout);
    QStringList files;
    for (int f = 0; f < folders; ++f)
        QDir().mkpath(dir + QStringLiteral("/d%1").arg(f, 3, 10, QLatin1Char('0')));
    for (int i = 0; i < fileCount; ++i) {
        const QString path =
            dir
            + QStringLiteral("/d%1/f%2.txt").arg(i % folders, 3, 10, QLatin1Char('0')).arg(i, 6, 10, QLatin1Char('0'));
        if (!WriteFile(path, MakeContent(static_cast<quint32>(i), size, i % 2 == 0)))
            return Fail(QStringLiteral("could not write ") + path);
        files << path;
    }
    const int expected = fileCount / 2;
    const auto check = [&](const char *what) {
        const int grown = RestoreAndCountGrown(files, size);
        if (grown != expected)
            Fail(QStringLiteral("%1 wrote %2 files, not %3").arg(QLatin1String(what)).arg(grown).arg(expected));
    };

    Window window(cfg.root);
    Form1 &form = *window.form;
    form.Files().AppendMany(files);
    form.Text1->setPlainText(kAppendText);
    form.Text2->setPlainText(kCondition);
    form.Combo1->setCurrentIndex(1);
    form.Option1->setChecked(true);
    form.Text3->setText(cfg.root);
    GapRecorder gaps;

    Row windowRow{QStringLiteral("P1 run, window (%1 files)").arg(fileCount),
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
    const QString pipeline =
        QStringLiteral("grep -rLiF %1 %2 | xargs sed -i '$a %3'").arg(Quoted(kCondition), Quoted(dir), kAppendText);
    const QString floor = QStringLiteral("find %1 -type f -exec cat {} + >/dev/null").arg(Quoted(dir));
    for (int rep = 0; rep < cfg.reps; ++rep) {
        window.platform.messages.clear();
        QElapsedTimer timer;
        gaps.Start();
        timer.start();
        form.PushButton2->click();
        windowRow.measured.Add(Seconds(timer));
        p6.Add(gaps.StopMs());
        if (window.platform.messages != QStringList{QStringLiteral("Done.")} || !window.platform.warnings.isEmpty())
            Fail(QStringLiteral("the window run did not end cleanly: ")
                 + window.platform.messages.join(QLatin1Char('|')) + window.platform.warnings.join(QLatin1Char('|')));
        check("the window run");

        windowRow.baseline.Add(Shell(pipeline));
        check("the grep|sed pipeline");

        // The engine as the window runs it (recorded), without a record, and with the record fsynced.
        double seconds[3] = {0, 0, 0};
        for (const int variant : {0, 1, 2}) {
            QuietHost host;
            host.files = files;
            host.folder = cfg.root;
            AppendJournal journal(cfg.root + QStringLiteral("/data"));
            journal.SetSyncAtRunEnds(variant == 2);
            timer.start();
            RunAppendJob(host, CodePage::System(), variant == 1 ? nullptr : &journal);
            seconds[variant] = Seconds(timer);
            if (host.errors != 0)
                Fail(QStringLiteral("the engine reported errors"));
            check("the engine");
        }
        engineRow.measured.Add(seconds[0]);
        recordRow.measured.Add(seconds[0]);
        recordRow.baseline.Add(seconds[1]);
        syncedRow.measured.Add(seconds[2]);
        syncedRow.baseline.Add(seconds[1]);

        engineRow.baseline.Add(Shell(floor));
        std::printf("  rep %d: window %.3f s, grep|sed %.3f s, engine %.3f s, cat %.3f s, engine without the record "
                    "%.3f s, with the record fsynced %.3f s, longest gap %.1f ms\n",
                    rep + 1, windowRow.measured.values.back(), windowRow.baseline.values.back(), seconds[0],
                    engineRow.baseline.values.back(), seconds[1], seconds[2], p6.values.back());
        std::fflush(stdout);
    }
    g_rows.push_back(windowRow);
    g_rows.push_back(engineRow);
    g_rows.push_back(recordRow);
    g_rows.push_back(syncedRow);
    QDir(dir).removeRecursively();
}

// The child side of P2: one run of the engine over the file, as a process of its own so that its
// peak memory is the whole process's; `kernel`, when not empty, pins the byte kernel ("avx2").
int BigFileChild(const QString &path, const QString &folder, const QString &kernel)
{
    if (kernel == QLatin1String("avx2") && !PinByteKernel(ByteKernel::Avx2))
        return 2;
    QuietHost host;
    host.files = {path};
    host.folder = folder;
    RunAppendJob(host, CodePage::Windows1252());
    return host.errors == 0 ? 0 : 1;
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
            form.PushButton1->click();
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
            form.PushButton11->click();
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

} // namespace

int main(int argc, char **argv)
{
    if ((argc == 4 || argc == 5) && QByteArray(argv[1]) == "--big-file-child") {
        QCoreApplication app(argc, argv);
        return BigFileChild(QFile::decodeName(argv[2]), QFile::decodeName(argv[3]),
                            argc == 5 ? QString::fromLatin1(argv[4]) : QString());
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
    if (cfg.Wants("P1"))
        CaseP1(cfg, gapsP1);
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
