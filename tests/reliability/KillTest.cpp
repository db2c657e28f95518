// A run killed at any moment loses nothing: the child runs the append job over files in four
// encodings and is killed with SIGKILL at random moments, in both save modes, and every file is
// checked byte for byte after each kill. TARNWELL_KILLS and TARNWELL_KILL_FILES set the size (20
// kills of 400 files by default; `./build.sh reliability` runs 200 kills of 2,000).
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
    int written = 0; // files found complete and changed by the run
    int pending = 0; // new files of ours killed before their rename
};

// Small files of every encoding, some empty, a few of several blocks; two in three hold the
// condition; one in five has an older namesake in the output folder.
class Corpus
{
public:
    Corpus(int count, QRandomGenerator &random)
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
            for (int line = 0, lines = i % 97 == 0     ? 0
                                       : i % 400 == 11 ? 30000
                                                       : random.bounded(1, 80);
                 line < lines; ++line)
                text += QStringLiteral("line %1 of file %2, caf\u00e9 \u2713\r\n").arg(line).arg(i);
            if (qualifies)
                text.insert(random.bounded(text.size() + 1), QStringLiteral("MaRk"));
            if (!text.isEmpty()) // code page files are in the system's code page: UTF-8 here
                item.original = QStringEncoder(converters[i % 4], i % 4 ? QStringConverter::Flag::WriteBom
                                                                        : QStringConverter::Flag::Default)
                                    .encode(text);
            item.complete = item.original
                            + (qualifies
                                   ? EncodeAppendix(QLatin1String(kAppendText), encodings[i % 4], CodePage::System())
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

    QStringList Args(bool inPlace) const { return RunArgs(inPlace, Out(QString()), ListFile()); }

    // Checks every byte and every name, then puts the files back as they were.
    void CheckAndReset(bool inPlace, Tally &tally)
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

} // namespace

class KillTest : public QObject
{
    Q_OBJECT
private slots:
    void killedRunLosesNothing()
    {
#ifdef Q_OS_WIN
        QSKIP("SIGKILL is a POSIX signal; on Windows the process would be ended with TerminateProcess.");
#else
        const auto size = [](const char *name, int fallback) {
            const int value = qEnvironmentVariableIntValue(name);
            return value > 0 ? value : fallback;
        };
        const int kills = size("TARNWELL_KILLS", 20);
        const int fileCount = size("TARNWELL_KILL_FILES", 400);
        const quint32 seed = QRandomGenerator::global()->generate();
        qInfo("kill test: seed %u", seed);
        QRandomGenerator random(seed);
        Corpus corpus(fileCount, random);

        // An uninterrupted run of each mode completes every file and tells how long a run takes.
        qint64 runMs[2] = {0, 0};
        for (const bool inPlace : {true, false}) {
            QElapsedTimer timer;
            timer.start();
            const ChildResult whole = RunChild(corpus.Args(inPlace));
            runMs[inPlace] = std::max<qint64>(timer.elapsed(), 1);
            QVERIFY2(whole.Done() && whole.Starting(QStringLiteral("BOX")).isEmpty(), qPrintable(whole.Describe()));
            Tally tally;
            corpus.CheckAndReset(inPlace, tally);
            QCOMPARE(tally.damaged + tally.leftovers + tally.pending, 0);
            QVERIFY(tally.written > fileCount / 2);
        }

        Tally tally;
        int midRun = 0;
        for (int kill = 0; kill < kills; ++kill) {
            const bool inPlace = kill % 2 == 0;
            QProcess child;
            child.start(ChildProgram(), corpus.Args(inPlace));
            QVERIFY(child.waitForStarted());
            while (!child.canReadLine()) // "START"
                QVERIFY2(child.waitForReadyRead(30000), "the child never began its run");
            QThread::usleep(random.bounded(static_cast<quint32>(runMs[inPlace] * 1000)));
            ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
            QVERIFY(child.waitForFinished());
            const int writtenBefore = tally.written;
            corpus.CheckAndReset(inPlace, tally);
            midRun += child.exitStatus() == QProcess::CrashExit && tally.written > writtenBefore;
        }
        qInfo("kill test: %d kills (half in place, half new files), %d of them in the middle of writing, "
              "%d files checked after each, %d damaged, %d temporary files left (%d pending files of ours, "
              "which the next run removes)",
              kills, midRun, fileCount, tally.damaged, tally.leftovers, tally.pending);
        QCOMPARE(tally.damaged, 0);
        QCOMPARE(tally.leftovers, 0);
        // The kills must land inside runs, or the test proves nothing.
        QVERIFY2(midRun >= kills / 4, qPrintable(QStringLiteral("only %1 kills in the middle of a run").arg(midRun)));
#endif
    }
};

TARNWELL_TEST_CLASS(KillTest)
#include "KillTest.moc"
