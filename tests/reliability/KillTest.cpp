// A run killed at any moment loses nothing: the child runs the append job over files in four
// encodings and is killed with SIGKILL (TerminateProcess on Windows) at random moments, in both save modes, and every
// file is checked byte for byte after each kill. Two sizes of append text: a short one through the engine
// (TARNWELL_KILLS and TARNWELL_KILL_FILES, 20 kills of 400 files by default), and a text of more
// than 1 MiB typed into the window, the program started again after each kill before the check
// (TARNWELL_LONG_KILLS and TARNWELL_LONG_FILES, 12 kills of 200 files by default);
// `./build.sh reliability` runs 200 kills of each.
#include "AppendJournal.h"
#include "FileIO.h"
#include "Reliability.h"
#include "TestRegistry.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTest>
#include <QThread>

#ifndef Q_OS_WIN
#include <signal.h>
#endif

using namespace tarnwell;
using namespace tarnwell::reliability;

namespace {

struct Item
{
    QString name;
    QByteArray original, complete; // complete: with the appendix when the file qualifies
    QByteArray oldOutput;          // what the output folder holds before a run; null: nothing
};

struct Tally
{
    int damaged = 0, leftovers = 0;
    int written = 0;  // files found complete and changed by the run
    int pending = 0;  // new files of ours killed before their rename
    int cutShort = 0; // files a kill left with a part of the appendix, before the program started again
};

// The text to append of the long variant: more than 1 MiB in lines ended by LF alone, as the
// window's text box holds them (the window writes them as CR LF).
QString LongAppendText()
{
    QString text;
    for (int line = 0; text.size() < (1 << 20); ++line)
        text += QStringLiteral("appended line %1 of a long text, caf\u00e9 \u20ac\n").arg(line);
    return text;
}

// Small files of every encoding, some empty, a few of several blocks (only with `bigFiles`); two
// in three hold the condition; one in five has an older namesake in the output folder.
class Corpus
{
public:
    Corpus(int count, QRandomGenerator &random, const QString &appendText, bool bigFiles)
    {
        const FileEncoding encodings[] = {FileEncoding::CodePage, FileEncoding::Utf8Bom, FileEncoding::Utf16LE,
                                          FileEncoding::Utf16BE};
        const QStringConverter::Encoding converters[] = {QStringConverter::Utf8, QStringConverter::Utf8,
                                                         QStringConverter::Utf16LE, QStringConverter::Utf16BE};
        QByteArray list;
        for (int i = 0; i < count; ++i) {
            Item item{QStringLiteral("f%1.txt").arg(i, 5, 10, QLatin1Char('0')), "", {}, {}};
            const bool qualifies = i % 3 != 2 && i % 97 != 0;
            QString text;
            for (int line = 0, lines = i % 97 == 0                 ? 0
                                       : bigFiles && i % 400 == 11 ? 30000
                                       : bigFiles                  ? random.bounded(1, 80)
                                                                   : random.bounded(1, 30);
                 line < lines; ++line)
                text += QStringLiteral("line %1 of file %2, caf\u00e9 \u20ac\r\n").arg(line).arg(i);
            if (qualifies)
                text.insert(random.bounded(text.size() + 1), QStringLiteral("MaRk"));
            // Code page files are in the system's code page (UTF-8 on Linux, Windows-1252 under Wine).
            if (i % 4 == 0)
                QVERIFY(text.isEmpty() || CodePage::System().Encode(text, item.original));
            else if (!text.isEmpty())
                item.original = QStringEncoder(converters[i % 4], QStringConverter::Flag::WriteBom).encode(text);
            item.complete = item.original
                            + (qualifies ? EncodeAppendix(appendText, encodings[i % 4], CodePage::System())
                                         : QByteArray());
            item.oldOutput = i % 5 == 0 ? "older output " + QByteArray::number(i) : QByteArray();
            m_dir.File(QStringLiteral("in/") + item.name, item.original);
            list += In(item.name).toUtf8() + '\n';
            m_names << item.name;
            m_items << item;
        }
        m_dir.File(QStringLiteral("list"), list);
        m_names.sort();
        ResetOutput();
    }

    // The engine's run, its record kept in the data folder.
    QStringList Args(bool inPlace) const { return RunArgs(inPlace, Out(QString()), ListFile()) << Data(); }
    // The program: started, the text typed, Start clicked.
    QStringList WindowArgs(bool inPlace, const QString &textFile) const
    {
        return {QStringLiteral("window"),
                QLatin1String(inPlace ? "inplace" : "newfiles"),
                Out(QString()),
                ListFile(),
                textFile,
                Data()};
    }
    // The program started again, as a user would after the kill.
    QStringList StartArgs() const { return {QStringLiteral("load"), Data() + QStringLiteral("/settings.ini"), Data()}; }
    QString Data() const { return m_dir.filePath(QStringLiteral("data")); }
    SharedDir &Dir() { return m_dir; }

    // The files a kill left with a part of their appendix.
    int CutShort() const
    {
        int found = 0;
        for (const Item &item : std::as_const(m_items)) {
            const QByteArray input = ReadBytes(In(item.name));
            found += input.size() > item.original.size() && input.size() < item.complete.size();
        }
        return found;
    }

    // Checks every byte and every name, then puts the files back as they were. With
    // `recordResolved`, the record a kill left must be gone as well.
    void CheckAndReset(bool inPlace, Tally &tally, bool recordResolved = false)
    {
        const auto damaged = [&](const QString &path, qsizetype size) {
            if (++tally.damaged <= 10)
                qWarning("damaged: %s, %lld bytes", qPrintable(path), static_cast<long long>(size));
        };
        for (const Item &item : std::as_const(m_items)) {
            const QByteArray input = ReadBytes(In(item.name));
            if (inPlace && input == item.complete && item.complete != item.original) {
                ++tally.written;
                if (!QFile(In(item.name)).resize(item.original.size()))
                    damaged(In(item.name) + QStringLiteral(" (cannot be put back)"), input.size());
            } else if (input != item.original) {
                damaged(In(item.name), input.size());
            }
            const QByteArray output = inPlace ? item.oldOutput : ReadBytes(Out(item.name));
            if (output == item.complete && item.complete != item.original)
                ++tally.written;
            else if (output != item.oldOutput || output.isNull() != item.oldOutput.isNull())
                damaged(Out(item.name), output.size());
        }
        for (const QString &name : Extra(FolderNames(In(QString()))) + Extra(FolderNames(Out(QString())))) {
            // A complete new file killed between its naming and its rename is hidden, ours, and
            // removed by the next run that writes its target.
            if (name.startsWith(u'.') && name.endsWith(QLatin1String(".tarnwell-new")) && QFile::exists(Out(name))) {
                ++tally.pending;
            } else {
                ++tally.leftovers;
                qWarning("left behind: %s", qPrintable(name));
                QFile::remove(Out(name));
            }
        }
        for (const QString &name : FolderNames(Data())) {
            if (recordResolved && name.startsWith(QLatin1String("append-"))) {
                ++tally.leftovers;
                qWarning("record left behind: %s", qPrintable(name));
            }
        }
        if (!inPlace)
            ResetOutput();
    }

private:
    QString ListFile() const { return m_dir.filePath(QStringLiteral("list")); }
    QString In(const QString &name) const { return m_dir.filePath(QStringLiteral("in/") + name); }
    QString Out(const QString &name) const { return QDir::cleanPath(m_dir.filePath(QStringLiteral("out/") + name)); }
    QStringList Extra(QStringList names) const
    {
        names.removeIf([&](const QString &name) { return std::binary_search(m_names.begin(), m_names.end(), name); });
        return names;
    }
    void ResetOutput()
    {
        QDir(Out(QString())).removeRecursively();
        m_dir.Folder(QStringLiteral("out"));
        for (const Item &item : std::as_const(m_items)) {
            if (!item.oldOutput.isNull())
                m_dir.File(QStringLiteral("out/") + item.name, item.oldOutput);
        }
    }

    SharedDir m_dir;
    QList<Item> m_items;
    QStringList m_names; // sorted
};

// Starts the child and gives the time from its "START" line to its end: how long its run takes.
qint64 TimedRun(const QStringList &args, ChildResult &result)
{
    QProcess child;
    child.start(ChildProgram(), args);
    if (!child.waitForStarted())
        return 0;
    while (!child.canReadLine() && child.waitForReadyRead(60000)) {
    }
    QElapsedTimer timer;
    timer.start();
    result.finished = child.waitForFinished(600000);
    const qint64 ms = std::max<qint64>(timer.elapsed(), 1);
    result.exitCode = child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
    result.lines = OutputLines(child.readAllStandardOutput());
    result.errors = QString::fromUtf8(child.readAllStandardError());
    return ms;
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
        const QString typed = longText ? LongAppendText() : QLatin1String(kAppendText);
        Corpus corpus(fileCount, random, QString(typed).replace(u'\n', QLatin1String("\r\n")), !longText);
        corpus.Dir().File(QStringLiteral("text"), typed.toUtf8());
        const QString textFile = corpus.Dir().filePath(QStringLiteral("text"));
        const auto args = [&](bool inPlace) {
            return longText ? corpus.WindowArgs(inPlace, textFile) : corpus.Args(inPlace);
        };

        // An uninterrupted run of each mode completes every file and tells how long a run takes.
        qint64 runMs[2] = {0, 0};
        for (const bool inPlace : {true, false}) {
            ChildResult whole;
            runMs[inPlace] = TimedRun(args(inPlace), whole);
            QVERIFY2(whole.Done() && whole.Starting(QStringLiteral("BOX")).isEmpty(), qPrintable(whole.Describe()));
            Tally tally;
            corpus.CheckAndReset(inPlace, tally, true);
            QCOMPARE(tally.damaged + tally.leftovers + tally.pending, 0);
            QVERIFY(tally.written > fileCount / 2);
        }
        qInfo("kill test: an uninterrupted run takes %lld ms in place, %lld ms with new files", runMs[1], runMs[0]);

        Tally tally;
        int midRun = 0;
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
            const int writtenBefore = tally.written;
            if (longText) {
                tally.cutShort += corpus.CutShort();
                const ChildResult start = RunChild(corpus.StartArgs());
                // Putting a file back as it was is no news: the start shows no box.
                QVERIFY2(start.finished && start.exitCode == 0 && start.Starting(QStringLiteral("BOX")).isEmpty(),
                         qPrintable(start.Describe()));
            }
            corpus.CheckAndReset(inPlace, tally, longText);
            midRun += child.exitStatus() == QProcess::CrashExit && tally.written > writtenBefore;
        }
        qInfo("kill test: %d kills (half in place, half new files), %d of them in the middle of writing, "
              "%d files checked after each, %d damaged, %d temporary files left (%d pending files of ours, "
              "which the next run removes)%s",
              kills, midRun, fileCount, tally.damaged, tally.leftovers, tally.pending,
              longText ? qPrintable(QStringLiteral("; %1 files found holding a part of the text after a kill, "
                                                   "before the program started again")
                                        .arg(tally.cutShort))
                       : "");
        QCOMPARE(tally.damaged, 0);
        QCOMPARE(tally.leftovers, 0);
        // The kills must land inside runs, or the test proves nothing.
        QVERIFY2(midRun >= kills / 4, qPrintable(QStringLiteral("only %1 kills in the middle of a run").arg(midRun)));
    }
};

TARNWELL_TEST_CLASS(KillTest)
#include "KillTest.moc"
