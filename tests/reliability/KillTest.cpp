// A run killed at any moment loses nothing. The child program runs the append job over a corpus
// of files in four encodings and is killed with SIGKILL at random moments, in both save modes;
// after every kill each file is checked byte for byte. TARNWELL_KILLS and TARNWELL_KILL_FILES set
// the size (20 kills of 400 files by default; `./build.sh reliability` runs 200 kills of 2,000).
#include "FileIO.h"
#include "Reliability.h"
#include "TestRegistry.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QStringEncoder>
#include <QTest>
#include <QThread>

#ifndef Q_OS_WIN
#include <signal.h>
#endif

using namespace tarnwell;
using namespace tarnwell::reliability;

namespace {

int EnvNumber(const char *name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value > 0 ? value : fallback;
}

struct Item
{
    QString name;
    QByteArray original;
    QByteArray complete; // original + appendix when the file qualifies, else original
    QByteArray oldOutput; // what the output folder holds before a run; null: nothing
};

QByteArray Encoded(const QString &text, FileEncoding encoding)
{
    switch (encoding) {
    case FileEncoding::CodePage:
        return text.toUtf8();
    case FileEncoding::Utf8Bom:
        return "\xEF\xBB\xBF" + text.toUtf8();
    case FileEncoding::Utf16LE:
        return "\xFF\xFE" + QByteArray(QStringEncoder(QStringConverter::Utf16LE).encode(text));
    case FileEncoding::Utf16BE:
        return "\xFE\xFF" + QByteArray(QStringEncoder(QStringConverter::Utf16BE).encode(text));
    }
    return {};
}

// The corpus: small files of every encoding, some empty, a few of several blocks; two in three
// hold the condition text; one in five has an older namesake in the output folder.
QList<Item> MakeCorpus(int count, QRandomGenerator &random)
{
    const FileEncoding encodings[] = {FileEncoding::CodePage, FileEncoding::Utf8Bom, FileEncoding::Utf16LE,
                                      FileEncoding::Utf16BE};
    QList<Item> items;
    for (int i = 0; i < count; ++i) {
        Item item;
        item.name = QStringLiteral("f%1.txt").arg(i, 5, 10, QLatin1Char('0'));
        const FileEncoding encoding = encodings[i % 4];
        const bool qualifies = i % 3 != 2 && i % 97 != 0;
        QString text;
        if (i % 97 != 0) {
            const int lines = i % 400 == 11 ? 30000 : random.bounded(1, 80);
            for (int line = 0; line < lines; ++line)
                text += QStringLiteral("line %1 of file %2, caf\u00e9 \u2713\r\n").arg(line).arg(i);
            if (qualifies)
                text.insert(random.bounded(text.size() + 1), QStringLiteral("MaRk"));
        }
        item.original = text.isEmpty() ? QByteArray("") : Encoded(text, encoding);
        const QByteArray appendix = EncodeAppendix(QLatin1String(kAppendText), encoding, CodePage::System());
        item.complete = qualifies ? item.original + appendix : item.original;
        if (i % 5 == 0)
            item.oldOutput = "older output " + QByteArray::number(i);
        items << item;
    }
    return items;
}

struct Tally
{
    int checkedFiles = 0;
    int damaged = 0;
    int leftovers = 0;
    int written = 0; // files found complete and changed by the run
    int pending = 0; // new files of ours killed before their rename
};

class Corpus
{
public:
    Corpus(const QList<Item> &items) : m_items(items)
    {
        QDir(m_dir.path()).mkpath(QStringLiteral("in"));
        QFile list(ListFile());
        list.open(QIODevice::WriteOnly);
        for (const Item &item : m_items) {
            Write(In(item.name), item.original);
            list.write(In(item.name).toUtf8() + '\n');
            m_inNames << item.name;
            m_outNames << item.name;
        }
        std::sort(m_inNames.begin(), m_inNames.end());
        ResetOutput();
    }

    QString ListFile() const { return m_dir.filePath(QStringLiteral("list")); }
    QString OutFolder() const { return m_dir.filePath(QStringLiteral("out")); }
    QString In(const QString &name) const { return m_dir.filePath(QStringLiteral("in/") + name); }
    QString Out(const QString &name) const { return m_dir.filePath(QStringLiteral("out/") + name); }

    void ResetOutput()
    {
        QDir(OutFolder()).removeRecursively();
        QDir().mkpath(OutFolder());
        for (const Item &item : m_items) {
            if (!item.oldOutput.isNull())
                Write(Out(item.name), item.oldOutput);
        }
    }

    // Checks every byte and every name, then puts the inputs back as they were.
    void CheckAndReset(bool inPlace, Tally &tally)
    {
        const auto damaged = [&](const QString &what) {
            if (++tally.damaged <= 10)
                qWarning("damaged: %s", qPrintable(what));
        };
        for (const Item &item : std::as_const(m_items)) {
            ++tally.checkedFiles;
            const QString in = In(item.name);
            const QByteArray input = ReadBytes(in);
            if (input == item.complete && item.complete != item.original) {
                if (!inPlace)
                    damaged(in + QStringLiteral(" was written in the new-files mode"));
                ++tally.written;
                QFile file(in);
                if (!file.resize(item.original.size()))
                    damaged(in + QStringLiteral(" cannot be put back"));
            } else if (input != item.original) {
                damaged(in + QStringLiteral(": %1 bytes, neither the original %2 nor the complete %3")
                                 .arg(input.size())
                                 .arg(item.original.size())
                                 .arg(item.complete.size()));
            }
            if (inPlace)
                continue;
            const QByteArray output = ReadBytes(Out(item.name));
            if (output.isNull() && item.oldOutput.isNull())
                continue;
            if (output == item.oldOutput)
                continue;
            if (output == item.complete && item.complete != item.original)
                ++tally.written;
            else
                damaged(Out(item.name) + QStringLiteral(": %1 bytes, neither absent, old nor complete").arg(output.size()));
        }
        const QStringList inNames = FolderNames(m_dir.filePath(QStringLiteral("in")));
        if (inNames != m_inNames) {
            tally.leftovers += static_cast<int>(inNames.size() - m_inNames.size());
            qWarning("input folder names differ: %s", qPrintable(Difference(inNames, m_inNames).join(u' ')));
        }
        const QStringList outNames = FolderNames(OutFolder());
        QStringList foreign;
        for (const QString &name : Difference(outNames, m_outNames)) {
            // A complete new file killed between its naming and its rename: hidden, ours, and
            // removed by the next run that writes its target.
            if (name.startsWith(QLatin1Char('.')) && name.endsWith(QLatin1String(".tarnwell-new")))
                ++tally.pending;
            else
                foreign << name;
        }
        if (!foreign.isEmpty()) {
            tally.leftovers += static_cast<int>(foreign.size());
            qWarning("left in the output folder: %s", qPrintable(foreign.join(u' ')));
            for (const QString &name : foreign)
                QFile::remove(Out(name));
        }
        if (!inPlace)
            ResetOutput();
    }

private:
    static void Write(const QString &path, const QByteArray &bytes)
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
    }
    static QStringList Difference(const QStringList &names, const QStringList &allowed)
    {
        const QSet<QString> known(allowed.begin(), allowed.end());
        QStringList extra;
        for (const QString &name : names) {
            if (!known.contains(name))
                extra << name;
        }
        return extra;
    }

    QTemporaryDir m_dir;
    QList<Item> m_items;
    QStringList m_inNames;
    QStringList m_outNames;
};

QStringList RunArgs(const Corpus &corpus, bool inPlace)
{
    return {QStringLiteral("run"), inPlace ? QStringLiteral("inplace") : QStringLiteral("newfiles"),
            corpus.OutFolder(), corpus.ListFile()};
}

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
        const int kills = EnvNumber("TARNWELL_KILLS", 20);
        const int fileCount = EnvNumber("TARNWELL_KILL_FILES", 400);
        const quint32 seed = QRandomGenerator::global()->generate();
        qInfo("kill test: seed %u", seed);
        QRandomGenerator random(seed);
        Corpus corpus(MakeCorpus(fileCount, random));

        // An uninterrupted run of each mode: it completes every file and tells how long a run takes.
        qint64 runMs[2] = {0, 0};
        for (const bool inPlace : {true, false}) {
            QElapsedTimer timer;
            timer.start();
            const ChildResult whole = RunChild(RunArgs(corpus, inPlace));
            runMs[inPlace] = std::max<qint64>(timer.elapsed(), 1);
            QVERIFY2(whole.finished && whole.exitCode == 0 && whole.lines.endsWith(QStringLiteral("MESSAGE Done.")),
                     qPrintable(whole.Describe()));
            QCOMPARE(whole.Starting(QStringLiteral("BOX")), QStringList());
            Tally tally;
            corpus.CheckAndReset(inPlace, tally);
            QCOMPARE(tally.damaged, 0);
            QCOMPARE(tally.leftovers, 0);
            QVERIFY(tally.written > fileCount / 2);
        }

        Tally tally;
        int midRun = 0;
        for (int kill = 0; kill < kills; ++kill) {
            const bool inPlace = kill % 2 == 0;
            QProcess child;
            child.start(ChildProgram(), RunArgs(corpus, inPlace));
            QVERIFY(child.waitForStarted());
            while (!child.canReadLine())
                QVERIFY2(child.waitForReadyRead(30000), "the child never began its run");
            // Somewhere in the run: the first uninterrupted run's length, startup included.
            QThread::usleep(random.bounded(static_cast<quint32>(runMs[inPlace] * 1000)));
            ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
            QVERIFY(child.waitForFinished());
            const int writtenBefore = tally.written;
            corpus.CheckAndReset(inPlace, tally);
            if (child.exitStatus() == QProcess::CrashExit && tally.written > writtenBefore)
                ++midRun;
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
