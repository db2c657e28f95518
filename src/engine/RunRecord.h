#pragma once

#include "engine/AppendHost.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace tarnwell {

struct ReadResult;

// What a run did with one entry of the list.
enum class EntryOutcome : quint8 { InPlace, NewFile, Replaced, Skipped, Failed };

// The job as it stood when the run began.
struct RunJob
{
    QString appendText, conditionText, outputFolder;
    tarnwell::ConditionMode conditionMode = ConditionMode::Unset;
    tarnwell::SaveMode saveMode = SaveMode::EditInPlace;
};

struct RunEntry
{
    int position = 0;     // in the list, from 1
    QString path, target; // the entry, and the file written (the entry itself when appended in place)
    EntryOutcome outcome = EntryOutcome::Failed;
    QString detail; // the error box's description, or why a file was not written
    // In place: the length before the append (-1: the append made the file) and the modification
    // time before it (nanoseconds since 1970); the appendix is appendices[appendix].
    qint64 oldLength = -1, oldModifiedNs = 0;
    int appendix = -1;
    // A new or replaced output: its length and SHA-256 as written, and the file in the record's
    // folder that keeps the old content of the file it replaced ("" when it could not be kept).
    qint64 newLength = 0;
    QByteArray newHash;
    QString kept;
};

// One run as its record holds it.
struct RunRecord
{
    QString file;             // the record's file
    QDateTime started, ended; // ended is invalid for a run that was cut short
    RunJob job;
    QList<QByteArray> appendices;
    QList<RunEntry> entries;

    int Count(EntryOutcome outcome) const;
    // "appended in place 3, new files 1, ..." for boxes and the dialog.
    QString CountsText() const;
};

// The text for an outcome, and the details of an entry, as the dialog and the CSV show them.
QString OutcomeText(EntryOutcome outcome);
QString RunEntryDetail(const RunEntry &entry);

// The records of the last runs live in the folder `RunRecordFolder(dataFolder)`, newest last by
// name; the copies of replaced outputs of a run in a folder beside its record.
QString RunRecordFolder(const QString &dataFolder);
QStringList RunRecordFiles(const QString &dataFolder); // newest first
// Reads a record; what a run cut short had written of it is read as far as it is whole. Gives
// nothing, with the reason in `error`, when the file is no record.
std::optional<RunRecord> LoadRunRecord(const QString &file, QString &error);
// The copy of the old content of the output `entry` replaced.
QString RunKeptFile(const RunRecord &record, const RunEntry &entry);
// Removes a record and the copies it kept.
void RemoveRunRecord(const QString &file);
// The table of a run as comma-separated values (RFC 4180: CR LF, fields quoted where needed),
// UTF-8 with a byte-order mark: a header row, then one row an entry.
QByteArray RunRecordCsv(const RunRecord &record);

// Every run keeps its record; the last kKeptRuns are kept. The old content of the outputs a run
// replaces is kept up to kKeptBytesPerRun a run; beyond that an undo names the files it cannot put
// back.
inline constexpr int kKeptRuns = 10;
inline constexpr qint64 kKeptBytesPerRun = qint64(64) << 20;

// Writes the record of one run as it goes: the entries are kept in a buffer and written in 64 KiB
// blocks, so an entry appended in place or skipped costs the run no system call of its own (the
// time before an append comes from the reader's query of the open file); a new or replaced output
// is read back for its hash, and a replaced one copied first. A run that cannot write its record
// goes on without one; a killed run's record holds what was written of it. The run's steps call it in order: Begin,
// then for each entry BeginEntry and its outcome (Skipped, BeforeWrite and Written, Failed), then End.
class RunRecorder final
{
public:
    explicit RunRecorder(QString dataFolder);
    ~RunRecorder();
    RunRecorder(const RunRecorder &) = delete;
    RunRecorder &operator=(const RunRecorder &) = delete;

    void Begin(const RunJob &job);
    void BeginEntry(int position);
    void SetPath(const QString &path);
    void Skipped(const QString &why = QString());
    // Before `appendix` is written to `target` from the file `path` read as `read`.
    void BeforeWrite(const QString &path, const QString &target, const ReadResult &read, const QByteArray &appendix);
    void Written();
    void Failed(const QString &description); // the first failure of an entry is its detail
    void End();

    const QString &File() const { return m_name; } // "" while no record is written

private:
    void FinishEntry();
    void Flush();

    QString m_dataFolder, m_name, m_keptFolder;
    QFile m_file;
    QByteArray m_buffer;
    bool m_recording = false, m_inEntry = false;
    // The entry being run: its planned write, and what happened to it so far.
    RunEntry m_entry;
    bool m_planned = false, m_written = false, m_skipped = false;
    QString m_failure;
    QList<QByteArray> m_appendices;
    qint64 m_keptBytes = 0;
    int m_keptCount = 0;
};

} // namespace tarnwell
