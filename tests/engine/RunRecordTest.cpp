#include "engine/RunRecord.h"
#include "RecordingHost.h"
#include "TestRegistry.h"
#include "engine/AppendJournal.h"
#include "engine/AppendRun.h"
#include "engine/RunUndo.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using namespace tarnwell;
using namespace tarnwell::testing;
using namespace Qt::StringLiterals;

namespace {

const QDateTime kOldTime(QDate(2001, 2, 3), QTime(4, 5, 6), QTimeZone::utc());

struct Folder
{
    QTemporaryDir dir;
    QString Path(const QString &name) const { return dir.filePath(name); }
    QString Data() const { return Path(u"data"_s); }
    // A file with the given bytes and an old modification time.
    QString File(const QString &name, const QByteArray &bytes) const
    {
        QDir().mkpath(QFileInfo(Path(name)).path());
        QFile file(Path(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush()
            || !file.setFileTime(kOldTime, QFileDevice::FileModificationTime))
            qFatal("cannot write %s", qPrintable(name));
        return Path(name);
    }
    JobFields Job(const QStringList &files) const
    {
        JobFields job;
        job.files = files;
        job.outputFolder = dir.path();
        return job;
    }
    // Runs the job as the window does (with the record of appends and of the run) and reads the
    // newest record back, as a program started again would.
    RunRecord Run(JobFields job) const
    {
        RecordingHost host(std::move(job));
        AppendJournal journal(Data());
        RunRecorder recorder(Data());
        RunAppendJob(host, u"PushButton2_Click"_s, CodePage::Windows1252(), &journal, &recorder);
        const QStringList records = RunRecordFiles(Data());
        QString error;
        const std::optional<RunRecord> record = records.isEmpty() ? std::nullopt
                                                                  : LoadRunRecord(records.first(), error);
        if (!record)
            qFatal("no record: %s", qPrintable(error));
        return *record;
    }
};

QByteArray Bytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// RFC 4180: fields split at commas, quoted fields may hold commas, CR LF and doubled quotes.
QList<QStringList> ParseCsv(const QString &text)
{
    QList<QStringList> rows{{}};
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted && c == u'"' && text.mid(i + 1, 1) == u"\""_s)
            field += text.at(++i);
        else if (c == u'"')
            quoted = !quoted;
        else if (!quoted && c == u',')
            rows.last() << std::exchange(field, QString());
        else if (!quoted && c == u'\r' && text.mid(i + 1, 1) == u"\n"_s) {
            rows.last() << std::exchange(field, QString());
            rows << QStringList();
            ++i;
        } else
            field += c;
    }
    rows.removeLast(); // after the last CR LF
    return rows;
}

} // namespace

class RunRecordTest : public QObject
{
    Q_OBJECT
private slots:
    void recordsEveryOutcome_andSavesThemAsCsv()
    {
        Folder f;
        const QString a = f.File(u"a,1.txt"_s, "plain"), b = f.File(u"b.txt"_s, "holds zzz"),
                      missing = f.Path(u"missing.txt"_s);
        QDir().mkpath(f.Path(u"folder"_s));
        const RunRecord record = f.Run(f.Job({a, b, f.Path(u"folder"_s), a, missing}));
        QCOMPARE(record.job.appendText, u"TAIL"_s);
        QVERIFY(record.ended.isValid());
        QList<EntryOutcome> outcomes;
        for (const RunEntry &e : record.entries)
            outcomes << e.outcome;
        QCOMPARE(outcomes, (QList<EntryOutcome>{EntryOutcome::InPlace, EntryOutcome::Skipped, EntryOutcome::Failed,
                                                EntryOutcome::Skipped, EntryOutcome::InPlace}));
        QCOMPARE(record.entries.at(0).oldLength, 5);
        QCOMPARE(record.entries.at(4).oldLength, -1); // the append made it

        const QByteArray csv = RunRecordCsv(record);
        QVERIFY(csv.startsWith("\xEF\xBB\xBF"));
        const QList<QStringList> rows = ParseCsv(QString::fromUtf8(csv.sliced(3)));
        QCOMPARE(rows.size(), 6);
        QCOMPARE(rows.at(0), (QStringList{u"Position"_s, u"File"_s, u"Result"_s, u"Output"_s, u"Details"_s}));
        QCOMPARE(rows.at(1), (QStringList{u"1"_s, a, u"appended in place"_s, QString(), QString()}));
        QCOMPARE(rows.at(2).mid(0, 3), (QStringList{u"2"_s, b, u"skipped"_s}));
        QCOMPARE(rows.at(3).at(2), u"failed"_s);
        QCOMPARE(rows.at(3).at(4), record.entries.at(2).detail); // the error box's description
        QVERIFY(!rows.at(3).at(4).isEmpty());
        QCOMPARE(rows.at(4).at(4), u"written already in this run"_s);

        RunRecord odd = record; // quotes, commas and line breaks survive the round trip
        odd.entries = {record.entries.at(0)};
        odd.entries[0].detail = u"say \"hi\",\r\nthen go"_s;
        QCOMPARE(ParseCsv(QString::fromUtf8(RunRecordCsv(odd).sliced(3))).at(1).at(4), odd.entries[0].detail);
    }

    void undoAfterRestart_restoresEveryByteAndTime()
    {
        Folder f;
        const QByteArray utf16 = QByteArray("\xFF\xFE", 2) + QByteArray("h\0i\0", 4);
        const QStringList files{f.File(u"a.txt"_s, "first\r\n"), f.File(u"u/b.txt"_s, utf16),
                                f.File(u"empty.txt"_s, QByteArray())};
        const QList<QByteArray> before{Bytes(files[0]), Bytes(files[1]), Bytes(files[2])};
        const RunRecord record = f.Run(f.Job(files + QStringList{f.Path(u"new.txt"_s)}));
        QCOMPARE(record.Count(EntryOutcome::InPlace), 4);
        QVERIFY(Bytes(files[1]).size() > utf16.size());

        const UndoResult result = UndoRun(f.Data(), record);
        QCOMPARE(result.leftAlone, QStringList());
        QCOMPARE(result.restored, 4);
        for (int i = 0; i < files.size(); ++i) {
            QCOMPARE(Bytes(files[i]), before[i]);
            QCOMPARE(QFileInfo(files[i]).lastModified(), kOldTime);
        }
        QVERIFY(!QFile::exists(f.Path(u"new.txt"_s)));
        QCOMPARE(RunRecordFiles(f.Data()), QStringList()); // the next undo takes the run before
    }

    void undoLeavesChangedFilesAlone_data()
    {
        QTest::addColumn<bool>("newFiles");
        QTest::addColumn<QByteArray>("changedTo"); // "<deleted>" removes the file
        QTest::addColumn<QString>("why");
        QTest::newRow("appended to since") << false << QByteArray("text\r\nTAIL more") << u"longer"_s;
        QTest::newRow("cut shorter") << false << QByteArray("text\r\nTA") << u"shorter"_s;
        QTest::newRow("rewritten, same length") << false << QByteArray("text\r\nTALL") << u"end is no longer"_s;
        QTest::newRow("deleted") << false << QByteArray("<deleted>") << u"no longer exists"_s;
        QTest::newRow("output changed since") << true << QByteArray("text\r\nTAIX") << u"changed since"_s;
    }
    void undoLeavesChangedFilesAlone()
    {
        QFETCH(bool, newFiles);
        QFETCH(QByteArray, changedTo);
        QFETCH(QString, why);
        Folder f;
        const QString input = f.File(u"in/t.txt"_s, "text");
        QDir().mkpath(f.Path(u"out"_s));
        JobFields job = f.Job({input});
        job.saveMode = SaveModeFor(!newFiles);
        job.outputFolder = f.Path(u"out"_s);
        const RunRecord record = f.Run(job);
        const QString written = newFiles ? f.Path(u"out/t.txt"_s) : input;
        QCOMPARE(Bytes(written), QByteArray("text\r\nTAIL"));
        if (changedTo == "<deleted>")
            QVERIFY(QFile::remove(written));
        else
            f.File(written.mid(f.dir.path().size() + 1), changedTo);

        const UndoResult result = UndoRun(f.Data(), record);
        QCOMPARE(result.restored, 0);
        QCOMPARE(result.leftAlone.size(), 1);
        QVERIFY2(result.leftAlone[0].startsWith(QDir::toNativeSeparators(written)) && result.leftAlone[0].contains(why),
                 qPrintable(result.leftAlone[0]));
        QCOMPARE(Bytes(written), changedTo == "<deleted>" ? QByteArray("<missing>") : changedTo);
    }

    void undoOfNewFiles_removesWhatItMadeAndPutsBackWhatItReplaced()
    {
        Folder f;
        const QString out = f.Path(u"out"_s);
        const QString replaced = f.File(u"out/b.txt"_s, "older output");
        JobFields job = f.Job({f.File(u"a.txt"_s, "A"), f.File(u"b.txt"_s, "B")});
        job.saveMode = SaveMode::NewFilesInFolder;
        job.outputFolder = out;
        const RunRecord record = f.Run(job);
        QCOMPARE(record.Count(EntryOutcome::NewFile), 1);
        QCOMPARE(record.Count(EntryOutcome::Replaced), 1);
        QCOMPARE(Bytes(replaced), QByteArray("B\r\nTAIL"));

        const UndoResult result = UndoRun(f.Data(), record);
        QCOMPARE(result.restored, 2);
        QVERIFY(!QFile::exists(out + u"/a.txt"_s));
        QCOMPARE(Bytes(replaced), QByteArray("older output"));
        QCOMPARE(QFileInfo(replaced).lastModified(), kOldTime);
        QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden), QStringList{u"b.txt"_s});
        QCOMPARE(Bytes(f.Path(u"a.txt"_s)), QByteArray("A")); // the inputs were never touched
    }

    // An output too big for the run's budget is replaced all the same, and its undo names it.
    void undoNamesAReplacedFileBeyondTheBudget()
    {
        Folder f;
        const QString replaced = f.File(u"out/big.txt"_s, "");
        QVERIFY(QFile(replaced).resize(kKeptBytesPerRun + 1)); // sparse: nothing is written
        JobFields job = f.Job({f.File(u"big.txt"_s, "small")});
        job.saveMode = SaveMode::NewFilesInFolder;
        job.outputFolder = f.Path(u"out"_s);
        const UndoResult result = UndoRun(f.Data(), f.Run(job));
        QCOMPARE(result.restored, 0);
        QCOMPARE(result.leftAlone.size(), 1);
        QVERIFY2(result.leftAlone[0].contains(u"old content was not kept"_s), qPrintable(result.leftAlone[0]));
        QCOMPARE(Bytes(replaced), QByteArray("small\r\nTAIL"));
    }

    void keepsTheLastTenRuns_newestFirst()
    {
        Folder f;
        const QString file = f.File(u"a.txt"_s, "a");
        for (int run = 1; run <= kKeptRuns + 2; ++run) {
            JobFields job = f.Job({file});
            job.appendText = QString::number(run);
            f.Run(job);
        }
        const QStringList records = RunRecordFiles(f.Data());
        QCOMPARE(records.size(), kKeptRuns);
        QString error;
        QCOMPARE(LoadRunRecord(records.first(), error)->job.appendText, QString::number(kKeptRuns + 2));
        QCOMPARE(LoadRunRecord(records.last(), error)->job.appendText, u"3"_s);
    }
};

TARNWELL_TEST_CLASS(RunRecordTest)
#include "RunRecordTest.moc"
