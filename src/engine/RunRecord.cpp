// The record of each run: written entry by entry while the run goes (RunRecorder), read back for the
// Last Run dialog and the undo, and kept for the last runs only.
#include "engine/RunRecord.h"

#include "FileIdentity.h"
#include "engine/FileRead.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace tarnwell {

namespace {

// A record is a header and items, each one tagged byte and its fields; numbers little-endian,
// texts as their count of UTF-16 units and the units in the machine's order (a record never
// leaves the machine that wrote it):
//   header: magic (8), started (ms since 1970, 8), append text, condition text, condition mode (1),
//           save mode (1), output folder
//   'A' an appendix (its bytes), numbered from 0 in the order they come
//   'E' an entry: position (4), path, target ("" when the path), outcome (1), detail, old length
//       (8), old modification time (8), appendix number (4), new length (8), new hash, kept copy
//   'Z' the end of the run: ended (ms, 8)
constexpr char kMagic[] = {'T', 'a', 'r', 'n', 'R', 'u', 'n', '1'};
constexpr char kAppendixTag = 'A', kEntryTag = 'E', kEndTag = 'Z';
constexpr qsizetype kFlushBytes = qsizetype(64) << 10;
const QLatin1StringView kRecordSuffix(".record");
const QLatin1StringView kKeptSuffix(".kept");

template <typename T>
void Put(QByteArray &out, T value)
{
    char bytes[sizeof(T)];
    qToLittleEndian<T>(value, bytes);
    out.append(bytes, sizeof(T));
}

void PutBytes(QByteArray &out, QByteArrayView bytes)
{
    Put<quint32>(out, static_cast<quint32>(bytes.size()));
    out.append(bytes.data(), bytes.size());
}

void PutText(QByteArray &out, const QString &text)
{
    Put<quint32>(out, static_cast<quint32>(text.size()));
    out.append(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
}

// Reads the fields back; once anything is missing every later read fails too.
class Reader
{
public:
    explicit Reader(QByteArrayView bytes) : m_bytes(bytes) {}
    bool Ok() const { return m_ok; }
    bool AtEnd() const { return m_at >= m_bytes.size(); }
    template <typename T>
    T Get()
    {
        if (!Have(sizeof(T)))
            return T{};
        const T value = qFromLittleEndian<T>(m_bytes.data() + m_at);
        m_at += sizeof(T);
        return value;
    }
    QByteArray Bytes()
    {
        const auto size = Get<quint32>();
        if (!Have(size))
            return {};
        QByteArray bytes = m_bytes.sliced(m_at, size).toByteArray();
        m_at += size;
        return bytes;
    }
    QString Text()
    {
        const auto units = Get<quint32>();
        if (!Have(qsizetype(units) * 2))
            return {};
        QString text(units, Qt::Uninitialized);
        std::memcpy(text.data(), m_bytes.data() + m_at, std::size_t(units) * 2);
        m_at += qsizetype(units) * 2;
        return text;
    }

private:
    bool Have(qsizetype size)
    {
        m_ok = m_ok && size >= 0 && m_at + size <= m_bytes.size();
        return m_ok;
    }
    QByteArrayView m_bytes;
    qsizetype m_at = 0;
    bool m_ok = true;
};

QString KeptFolderOf(const QString &recordFile)
{
    return recordFile.chopped(kRecordSuffix.size()) + kKeptSuffix;
}

QString CsvField(const QString &field)
{
    if (!field.contains(QLatin1Char(',')) && !field.contains(QLatin1Char('"')) && !field.contains(QLatin1Char('\r'))
        && !field.contains(QLatin1Char('\n')))
        return field;
    return QLatin1Char('"') + QString(field).replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
}

} // namespace

int RunRecord::Count(EntryOutcome outcome) const
{
    return static_cast<int>(
        std::count_if(entries.cbegin(), entries.cend(), [&](const RunEntry &e) { return e.outcome == outcome; }));
}

QString RunRecord::CountsText() const
{
    return QStringLiteral("%1 appended in place, %2 written as new files, %3 replaced in the output folder, %4 "
                          "skipped, %5 failed")
        .arg(Count(EntryOutcome::InPlace))
        .arg(Count(EntryOutcome::NewFile))
        .arg(Count(EntryOutcome::Replaced))
        .arg(Count(EntryOutcome::Skipped))
        .arg(Count(EntryOutcome::Failed));
}

QString OutcomeText(EntryOutcome outcome)
{
    switch (outcome) {
    case EntryOutcome::InPlace:
        return QStringLiteral("appended in place");
    case EntryOutcome::NewFile:
        return QStringLiteral("written as a new file");
    case EntryOutcome::Replaced:
        return QStringLiteral("replaced a file in the output folder");
    case EntryOutcome::Skipped:
        return QStringLiteral("skipped");
    case EntryOutcome::Failed:
        break;
    }
    return QStringLiteral("failed");
}

QString RunEntryDetail(const RunEntry &entry)
{
    return entry.outcome == EntryOutcome::Skipped && entry.detail.isEmpty()
               ? QStringLiteral("the condition does not hold")
               : entry.detail;
}

QString RunRecordFolder(const QString &dataFolder)
{
    return dataFolder + QStringLiteral("/runs");
}

QStringList RunRecordFiles(const QString &dataFolder)
{
    if (dataFolder.isEmpty())
        return {};
    const QDir folder(RunRecordFolder(dataFolder));
    QStringList files;
    // The names begin with the time of the run, of fixed width: by name is by time.
    for (const QString &name : folder.entryList({QStringLiteral("run-*") + kRecordSuffix}, QDir::Files, QDir::Name))
        files.prepend(folder.filePath(name));
    return files;
}

std::optional<RunRecord> LoadRunRecord(const QString &file, QString &error)
{
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) {
        error = in.errorString();
        return std::nullopt;
    }
    const QByteArray bytes = in.readAll();
    if (!bytes.startsWith(QByteArrayView(kMagic, sizeof kMagic))) {
        error = QStringLiteral("it is no record of a run");
        return std::nullopt;
    }
    Reader reader(QByteArrayView(bytes).sliced(sizeof kMagic));
    RunRecord record;
    record.file = file;
    record.started = QDateTime::fromMSecsSinceEpoch(reader.Get<qint64>());
    record.job.appendText = reader.Text();
    record.job.conditionText = reader.Text();
    record.job.conditionMode = static_cast<ConditionMode>(reader.Get<quint8>());
    record.job.saveMode = static_cast<SaveMode>(reader.Get<quint8>());
    record.job.outputFolder = reader.Text();
    if (!reader.Ok()) {
        error = QStringLiteral("it is damaged");
        return std::nullopt;
    }
    while (!reader.AtEnd()) {
        const char tag = static_cast<char>(reader.Get<quint8>());
        if (tag == kAppendixTag) {
            const QByteArray appendix = reader.Bytes();
            if (reader.Ok())
                record.appendices << appendix;
        } else if (tag == kEntryTag) {
            RunEntry e;
            e.position = reader.Get<qint32>();
            e.path = reader.Text();
            e.target = reader.Text();
            if (e.target.isEmpty())
                e.target = e.path;
            e.outcome = static_cast<EntryOutcome>(std::min<quint8>(reader.Get<quint8>(), quint8(EntryOutcome::Failed)));
            e.detail = reader.Text();
            e.oldLength = reader.Get<qint64>();
            e.oldModifiedNs = reader.Get<qint64>();
            e.appendix = reader.Get<qint32>();
            e.newLength = reader.Get<qint64>();
            e.newHash = reader.Bytes();
            e.kept = reader.Text();
            if (reader.Ok())
                record.entries << e;
        } else if (tag == kEndTag) {
            const qint64 ended = reader.Get<qint64>();
            if (reader.Ok())
                record.ended = QDateTime::fromMSecsSinceEpoch(ended);
        } else {
            break;
        }
        if (!reader.Ok())
            break; // the part a run cut short did not write
    }
    return record;
}

QString RunKeptFile(const RunRecord &record, const RunEntry &entry)
{
    return KeptFolderOf(record.file) + QLatin1Char('/') + entry.kept;
}

void RemoveRunRecord(const QString &file)
{
    QDir(KeptFolderOf(file)).removeRecursively();
    QFile::remove(file);
}

QByteArray RunRecordCsv(const RunRecord &record)
{
    QString text = QStringLiteral("Position,File,Result,Output,Details\r\n");
    for (const RunEntry &e : record.entries) {
        const bool wroteElsewhere = e.outcome == EntryOutcome::NewFile || e.outcome == EntryOutcome::Replaced;
        text += QString::number(e.position) + QLatin1Char(',') + CsvField(e.path) + QLatin1Char(',')
                + CsvField(OutcomeText(e.outcome)) + QLatin1Char(',') + CsvField(wroteElsewhere ? e.target : QString())
                + QLatin1Char(',') + CsvField(RunEntryDetail(e)) + QStringLiteral("\r\n");
    }
    return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
}

RunRecorder::RunRecorder(QString dataFolder) : m_dataFolder(std::move(dataFolder)) {}

RunRecorder::~RunRecorder()
{
    End();
}

void RunRecorder::Begin(const RunJob &job)
{
    End();
    m_appendices.clear();
    m_keptBytes = 0;
    m_keptCount = 0;
    if (m_dataFolder.isEmpty() || !QDir().mkpath(RunRecordFolder(m_dataFolder)))
        return;
    // This run's record makes one of the last runs kept: the oldest beyond that go, with their copies.
    const QStringList older = RunRecordFiles(m_dataFolder);
    for (qsizetype i = kKeptRuns - 1; i < older.size(); ++i)
        RemoveRunRecord(older.at(i));

    // Named by its time, which orders the records; two runs in one millisecond take the next.
    QDateTime started = QDateTime::currentDateTimeUtc();
    for (;; started = started.addMSecs(1)) {
        m_name = RunRecordFolder(m_dataFolder)
                 + QStringLiteral("/run-%1-%2")
                       .arg(started.toMSecsSinceEpoch(), 14, 10, QLatin1Char('0'))
                       .arg(QCoreApplication::applicationPid())
                 + kRecordSuffix;
        if (!QFile::exists(m_name) && (older.isEmpty() || m_name > older.constFirst()))
            break;
    }
    m_keptFolder = KeptFolderOf(m_name);
    m_file.setFileName(m_name);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        m_name.clear();
        return;
    }
    m_recording = true;
    m_buffer.reserve(kFlushBytes + 4096);
    m_buffer.append(kMagic, sizeof kMagic);
    Put<qint64>(m_buffer, started.toMSecsSinceEpoch());
    PutText(m_buffer, job.appendText);
    PutText(m_buffer, job.conditionText);
    Put<quint8>(m_buffer, static_cast<quint8>(job.conditionMode));
    Put<quint8>(m_buffer, static_cast<quint8>(job.saveMode));
    PutText(m_buffer, job.outputFolder);
    Flush(); // a record that is there at all names its job
}

void RunRecorder::BeginEntry(int position)
{
    FinishEntry();
    if (!m_recording)
        return;
    m_entry = RunEntry{};
    m_entry.position = position;
    m_inEntry = true;
    m_written = false;
    m_failure.clear();
    m_skipped = false;
    m_planned = false;
}

void RunRecorder::SetPath(const QString &path)
{
    if (m_inEntry)
        m_entry.path = path;
}

void RunRecorder::Skipped(const QString &why)
{
    if (!m_inEntry)
        return;
    m_skipped = true;
    m_entry.detail = why; // "" for the condition (see RunEntryDetail)
}

void RunRecorder::BeforeWrite(const QString &path, const QString &target, const ReadResult &read,
                              const QByteArray &appendix)
{
    if (!m_inEntry)
        return;
    m_planned = true;
    m_entry.target = target;
    if (target == path || IsSameFile(path, target)) {
        m_entry.outcome = EntryOutcome::InPlace;
        m_entry.oldLength = read.exists ? read.size : -1;
        m_entry.oldModifiedNs = read.modifiedNs;
        qsizetype number = 0;
        while (number < m_appendices.size() && m_appendices.at(number) != appendix)
            ++number;
        if (number == m_appendices.size()) {
            m_appendices << appendix;
            m_buffer.append(kAppendixTag);
            PutBytes(m_buffer, appendix);
        }
        m_entry.appendix = static_cast<int>(number);
        return;
    }
    const QFileInfo old(target);
    if (!old.exists()) {
        m_entry.outcome = EntryOutcome::NewFile;
        return;
    }
    // The file about to be replaced is kept, while the run's copies stay within their budget.
    m_entry.outcome = EntryOutcome::Replaced;
    m_entry.oldModifiedNs = old.lastModified().toMSecsSinceEpoch() * 1000000;
    if (m_keptBytes + old.size() > kKeptBytesPerRun) {
        m_entry.detail = QStringLiteral("its old content was not kept: the copies of this run would pass %1 MiB")
                             .arg(kKeptBytesPerRun >> 20);
        return;
    }
    const QString kept = QString::number(++m_keptCount);
    if (QDir().mkpath(m_keptFolder) && QFile::copy(target, m_keptFolder + QLatin1Char('/') + kept)) {
        m_entry.kept = kept;
        m_keptBytes += old.size();
    } else {
        m_entry.detail = QStringLiteral("its old content could not be kept");
    }
}

void RunRecorder::Written()
{
    if (!m_inEntry || !m_planned)
        return;
    m_written = true;
    if (m_entry.outcome == EntryOutcome::InPlace)
        return;
    // What the output holds as written, so that an undo touches it only while it still does.
    QCryptographicHash hash(QCryptographicHash::Sha256);
    qint64 length = 0;
    try {
        ReadWholeBytes(m_entry.target, [&](QByteArrayView block) {
            hash.addData(block);
            length += block.size();
        });
        m_entry.newLength = length;
        m_entry.newHash = hash.result();
    } catch (const AppError &) {
        m_entry.newHash.clear(); // no undo will take it back
    }
}

void RunRecorder::Failed(const QString &description)
{
    if (m_inEntry && m_failure.isEmpty())
        m_failure = description.isEmpty() ? QStringLiteral("failed") : description;
}

void RunRecorder::FinishEntry()
{
    if (!m_inEntry)
        return;
    m_inEntry = false;
    if (!m_recording)
        return;
    if (!m_written) {
        if (m_planned && !m_entry.kept.isEmpty())
            QFile::remove(m_keptFolder + QLatin1Char('/') + m_entry.kept);
        m_entry.kept.clear();
        m_entry.outcome = m_failure.isEmpty() && m_skipped ? EntryOutcome::Skipped : EntryOutcome::Failed;
        if (m_entry.outcome == EntryOutcome::Failed)
            m_entry.detail = m_failure;
        m_entry.oldLength = -1;
        m_entry.appendix = -1;
        if (m_entry.target == m_entry.path)
            m_entry.target.clear();
    }
    m_buffer.append(kEntryTag);
    Put<qint32>(m_buffer, m_entry.position);
    PutText(m_buffer, m_entry.path);
    PutText(m_buffer, m_entry.target == m_entry.path ? QString() : m_entry.target);
    Put<quint8>(m_buffer, static_cast<quint8>(m_entry.outcome));
    PutText(m_buffer, m_entry.detail);
    Put<qint64>(m_buffer, m_entry.oldLength);
    Put<qint64>(m_buffer, m_entry.oldModifiedNs);
    Put<qint32>(m_buffer, m_entry.appendix);
    Put<qint64>(m_buffer, m_entry.newLength);
    PutBytes(m_buffer, m_entry.newHash);
    PutText(m_buffer, m_entry.kept);
    if (m_buffer.size() >= kFlushBytes)
        Flush();
}

void RunRecorder::Flush()
{
    if (m_buffer.isEmpty())
        return;
    if (m_file.write(m_buffer) != m_buffer.size())
        m_recording = false; // a record that cannot be written whole stops where it is
    m_buffer.clear();
}

void RunRecorder::End()
{
    if (!m_recording)
        return;
    FinishEntry();
    m_buffer.append(kEndTag);
    Put<qint64>(m_buffer, QDateTime::currentMSecsSinceEpoch());
    Flush();
    m_file.close();
    m_recording = false;
}

} // namespace tarnwell
