// What the cases of the performance suite share: the table of figures, child processes with
// their time and peak memory, the corpus, the engine's host without the window and the main window
// driven offscreen.
#pragma once

#include "BenchPlatform.h"
#include "RecordingHost.h"
#include "engine/AppendJournal.h"
#include "engine/AppendRun.h"
#include "engine/ByteScan.h"
#include "window/Form1.h"
#include "window/Settings.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <functional>
#include <optional>
#include <random>
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

namespace tarnwell::bench {

inline const QString kCondition = QStringLiteral("Marker-Of-The-Condition");
inline const QString kAppendText = QStringLiteral("APPENDED");
inline bool g_failed = false;

inline void Fail(const QString &what)
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
inline std::vector<Row> g_rows;
// The cases not measured on this machine, each with why.
inline std::vector<std::pair<QString, QString>> g_skipped;

inline QString Figure(double v, const QString &unit)
{
    if (unit == QLatin1String("s"))
        return QString::number(v, 'f', 3) + QStringLiteral(" s");
    if (unit == QLatin1String("ms"))
        return QString::number(v, 'f', 1) + QStringLiteral(" ms");
    return QString::number(v, 'f', 0) + QLatin1Char(' ') + unit;
}

inline QString Spread(const Samples &s, const QString &unit)
{
    if (s.values.size() < 2)
        return Figure(s.Median(), unit);
    return Figure(s.Median(), unit) + QStringLiteral(" [")
           + QString::number(s.Min(), 'f', unit == QLatin1String("s") ? 3 : 1) + QLatin1Char('-')
           + QString::number(s.Max(), 'f', unit == QLatin1String("s") ? 3 : 1) + QLatin1Char(']');
}

inline void PrintTable()
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
    for (const auto &[name, why] : g_skipped)
        std::printf("%-34s skipped: %s\n", qPrintable(name), qPrintable(why));
}

// Runs the timed parts of one repetition in a new random order each time, so that no part always
// runs first, or always after the one that filled the caches or grew the files.
inline void RunShuffled(std::vector<std::function<void()>> parts)
{
    static std::mt19937 random(std::random_device{}());
    std::shuffle(parts.begin(), parts.end(), random);
    for (const std::function<void()> &part : parts)
        part();
}

// Writes the file system's dirty pages out and empties the page cache, so that the next part reads
// from the disk. Gives why it cannot (it takes root), else nothing.
inline QString DropCaches()
{
    ::sync();
    QFile control(QStringLiteral("/proc/sys/vm/drop_caches"));
    if (!control.open(QIODevice::WriteOnly) || control.write("3\n") != 2 || !control.flush())
        return QStringLiteral("cannot drop the page cache (%1; it takes root)").arg(control.errorString());
    return {};
}

inline double Seconds(const QElapsedTimer &timer)
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

inline std::vector<QByteArray> EnvironmentWith(const QList<QPair<QByteArray, QByteArray>> &overrides)
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
inline pid_t Spawn(const QStringList &args, const QList<QPair<QByteArray, QByteArray>> &overrides, int stdoutFd = -1)
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

inline ChildRun Wait(pid_t pid, const QElapsedTimer &since)
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

inline ChildRun RunChild(const QStringList &args, const QList<QPair<QByteArray, QByteArray>> &overrides = {})
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

inline double Shell(const QString &command)
{
    const ChildRun run = RunChild({QStringLiteral("/bin/sh"), QStringLiteral("-c"), command});
    if (run.exitCode != 0 && run.exitCode != 1) // grep answers 1 for "nothing found"
        Fail(QStringLiteral("baseline exited with %1: %2").arg(run.exitCode).arg(command));
    return run.seconds;
}

inline QString Quoted(const QString &path)
{
    return QLatin1Char('\'') + path + QLatin1Char('\'');
}

// ---- corpus -----------------------------------------------------------------------------------

// Deterministic text-like content: words from a fixed generator, broken into CR LF lines; with
// `withCondition` the condition text lies in the middle.
inline QByteArray MakeContent(quint32 seed, qint64 size, bool withCondition, bool codePageWords = false)
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

inline bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Cuts every file back to `size` and counts those that had grown: the files a run wrote.
inline int RestoreAndCountGrown(const QStringList &files, qint64 size)
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

// The engine's side of a run without the window: the files that do not hold the condition get the
// append text in place. Quiet: only the messages and error boxes are logged.
inline testing::RecordingHost EngineHost(const QStringList &files, const QString &folder)
{
    testing::RecordingHost host(
        {files, kAppendText, kCondition, folder, ConditionMode::DoesNot, SaveMode::EditInPlace});
    host.quiet = true;
    return host;
}

// The number of error boxes a run showed; the first few are printed.
inline qsizetype ErrorsOf(const testing::RecordingHost &host)
{
    const QStringList boxes = host.Boxes();
    for (qsizetype i = 0; i < std::min<qsizetype>(boxes.size(), 5); ++i)
        std::fprintf(stderr, "error: %s\n", qPrintable(boxes.at(i)));
    return boxes.size();
}

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

    // A control of the window, by the object name its layout gives it; the suite stops when the
    // window has none of that name and type.
    template <typename Control = QWidget>
    Control *Find(const char *name) const
    {
        auto *control = form->findChild<Control *>(QString::fromLatin1(name));
        if (!control)
            qFatal("the window has no %s named %s", Control::staticMetaObject.className(), name);
        return control;
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

// The cases, each adding its rows to the table (the P1 cases are in TarnwellBench.cpp).
void CaseP2(const Config &cfg, const QString &self);
void CaseP3P4(const Config &cfg, Samples &p6);
void CaseP5(const Config &cfg);
int BigFileChild(const QString &path, const QString &folder, const QString &kernel);

} // namespace tarnwell::bench
