// Runs the append engine over a corpus it generates (by default 20,000 files of 4 KiB in 200
// folders, half of them holding the condition text), mode "does not", editing in place, with a
// host that does nothing, and prints files per second and MB per second (median of the runs).
//
//   bench_engine [--files N] [--size BYTES] [--folders N] [--reps N] [--big-gib N]
//
// --big-gib N instead times one sparse file of N GiB and prints the peak memory of the process.

#include "AppendRun.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

using namespace tarnwell;

namespace {

const QString kCondition = QStringLiteral("Marker-Of-The-Condition");

class QuietHost final : public AppendHost
{
public:
    QStringList files;
    QString folder;
    int errors = 0;

    int EntryCount() override { return static_cast<int>(files.size()); }
    QString EntryText(int position) override { return files.at(position - 1); }
    QString Text1() override { return QStringLiteral("Appended by the benchmark."); }
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

// Deterministic text: words from a fixed generator, broken into lines; the condition text
// goes somewhere in the middle of every second file.
QByteArray MakeContent(quint32 seed, qint64 size, bool withCondition)
{
    static const char *const words[] = {"alpha", "beta", "gamma", "delta", "ByVal", "Kestrel", "tarn",
                                        "ledger", "value", "return", "index", "folder"};
    QByteArray text;
    text.reserve(size + 16);
    quint32 state = seed * 2654435761u + 1;
    while (text.size() < size) {
        state = state * 1664525u + 1013904223u;
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

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

long PeakMemoryMiB()
{
#ifdef Q_OS_UNIX
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
#else
    return -1;
#endif
}

qint64 Option(const QStringList &args, const QString &name, qint64 fallback)
{
    const qsizetype at = args.indexOf(name);
    return at >= 0 && at + 1 < args.size() ? args.at(at + 1).toLongLong() : fallback;
}

int BigFile(const QString &root, qint64 gib)
{
    const QString path = root + QStringLiteral("/big.txt");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !file.resize(gib << 30))
        return 1;
    file.close();
    QuietHost host;
    host.files = {path};
    host.folder = root;
    QElapsedTimer timer;
    timer.start();
    RunAppendJob(host);
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    std::printf("one file of %lld GiB: %.1f s, %.0f MB/s, peak memory %ld MiB, size after %lld bytes\n", gib, seconds,
                static_cast<double>(gib << 30) / 1e6 / seconds, PeakMemoryMiB(), QFileInfo(path).size());
    return host.errors == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int files = static_cast<int>(Option(args, QStringLiteral("--files"), 20000));
    const qint64 size = Option(args, QStringLiteral("--size"), 4096);
    const int folders = static_cast<int>(std::max<qint64>(1, Option(args, QStringLiteral("--folders"), 200)));
    const int reps = static_cast<int>(std::max<qint64>(1, Option(args, QStringLiteral("--reps"), 5)));

    QTemporaryDir root;
    if (!root.isValid())
        return 1;
    if (const qint64 gib = Option(args, QStringLiteral("--big-gib"), 0); gib > 0)
        return BigFile(root.path(), gib);

    QuietHost host;
    host.folder = root.path();
    for (int f = 0; f < folders; ++f)
        QDir(root.path()).mkdir(QStringLiteral("d%1").arg(f, 3, 10, QLatin1Char('0')));
    for (int i = 0; i < files; ++i) {
        const QString path = root.path() + QStringLiteral("/d%1/f%2.txt").arg(i % folders, 3, 10, QLatin1Char('0')).arg(i, 6, 10, QLatin1Char('0'));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(MakeContent(static_cast<quint32>(i), size, i % 2 == 0)) != size)
            return 1;
        host.files << path;
    }

    std::vector<double> seconds;
    for (int rep = 0; rep < reps; ++rep) {
        QElapsedTimer timer;
        timer.start();
        RunAppendJob(host);
        seconds.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e9);
        std::printf("run %d: %.3f s\n", rep + 1, seconds.back());
    }
    const double median = Median(seconds);
    std::printf("%d files of %lld bytes in %d folders, median of %d runs: %.0f files/s, %.1f MB/s\n", files, size,
                folders, reps, files / median, static_cast<double>(files) * static_cast<double>(size) / 1e6 / median);
    return host.errors == 0 ? 0 : 1;
}
