#include "engine/AppendRun.h"

#include "ReadAhead.h"
#include "engine/AppendJournal.h"
#include "engine/FileRead.h"
#include "engine/FileWrite.h"
#include "engine/QualifyCheck.h"
#include "engine/RunRecord.h"
#include "files/Paths.h"
#include "trap/ErrorNumbers.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <optional>
#include <set>
#include <utility>

namespace tarnwell {

namespace {

// The path as the file system compares names: absolute, cleaned, and on Windows regardless of case.
QString PathKey(const QString &path)
{
    QString clean = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
#ifdef Q_OS_WIN
    return clean.toCaseFolded();
#else
    return clean;
#endif
}

// What a run has written, so that it writes no file twice: each target by its path, with the input
// it was written from, and each file appended to in place by its identity too, which every other
// name of it shares.
class RunWrites
{
public:
    struct Write
    {
        QString input, inputKey, targetKey;
        FileId id; // of the input
    };

    // The write of `target` from the input at `path` (identity `id`); none when this input has been
    // written there already, or has had its append under another name. Throws, naming both inputs,
    // when another input has been written there: that output stays.
    std::optional<Write> Plan(const QString &path, FileId id, const QString &target) const
    {
        const QString inputKey = PathKey(path);
        Write write{path, inputKey, target == path ? inputKey : PathKey(target), id};
        if (write.targetKey == inputKey && id.Known() && m_appended.contains(id))
            return std::nullopt;
        const auto earlier = m_targets.constFind(write.targetKey);
        if (earlier == m_targets.cend())
            return write;
        if (earlier->inputKey == inputKey || (id.Known() && earlier->id == id))
            return std::nullopt;
        throw AppError(QStringLiteral("Could not write the file: %1 (this run has already written it from %2, so "
                                      "%3 is not written over it)")
                           .arg(target, earlier->input, path));
    }
    void Done(const Write &write)
    {
        if (write.targetKey == write.inputKey && write.id.Known())
            m_appended.insert(write.id);
        m_targets.insert(write.targetKey, write);
    }

private:
    QHash<QString, Write> m_targets;
    std::set<FileId> m_appended;
};

// Shows the run's error boxes, and gives each description to the record as the failure of the
// entry at hand.
class RecordedReporter final : public ErrorReporter
{
public:
    RecordedReporter(ErrorReporter &host, RunRecorder *recorder) : m_host(host), m_recorder(recorder) {}
    void ShowErrorBox(const QString &description, const QString &procedure, int line) override
    {
        if (m_recorder != nullptr)
            m_recorder->Failed(description);
        m_host.ShowErrorBox(description, procedure, line);
    }

private:
    ErrorReporter &m_host;
    RunRecorder *m_recorder;
};

} // namespace

bool Qualifies(ConditionMode mode, bool found)
{
    return (mode == ConditionMode::Does && found) || (mode == ConditionMode::DoesNot && !found);
}

void RunAppendJob(AppendHost &host, const QString &procedure, const CodePage &codePage, AppendJournal *journal,
                  RunRecorder *recorder)
{
    RecordedReporter reporter(host, recorder);
    ErrorTrap trap(reporter, procedure);
    int count = 0;
    bool stop = false;
    trap.Line(100, [&] {
        count = host.EntryCount();
        if (count <= 0) {
            host.ShowMessage(QStringLiteral("No files added."));
            stop = true;
        }
    });
    if (stop)
        return;
    trap.Line(102, [&] {
        if (!IsFolder(host.OutputFolder())) {
            host.ShowMessage(QStringLiteral("Folder does not exist. Please select another folder."));
            stop = true;
        } else {
            if (recorder != nullptr)
                recorder->Begin({host.AppendText(), host.ConditionText(), host.OutputFolder(), host.ConditionMode(),
                                 host.SaveMode()});
            if (journal != nullptr)
                journal->BeginRun();
        }
    });
    if (stop)
        return;
    // A run in place that cannot keep its record is refused before it touches a file. One that
    // makes new files goes on; a file it would append to in place is left alone, and only the
    // first says why.
    trap.Line(102, [&] {
        if (journal != nullptr && !journal->Recording() && host.SaveMode() == SaveMode::EditInPlace) {
            stop = true;
            throw journal->NoRecord();
        }
    });
    if (stop)
        return;
    bool noRecordTold = false;

    // One tester and one read session serve every file: the needle is made again only when the
    // condition text changes, and the buffers are kept.
    FileTester tester(host.ConditionText());
    // The next files are opened while this one is tested and written; each is still read, tested and
    // written at its own turn.
    ReadAhead ahead(count, [&host](int position) { return host.EntryTextAhead(position); });
    ReadSession session;
    session.TakeFrom(&ahead);
    RunWrites writes;

    for (int i = 1; i <= count; ++i) {
        QString path;
        ReadResult read;
        bool found = false;
        ConditionMode mode = ConditionMode::Unset;
        QByteArray appendix;
        QString target;
        std::optional<RunWrites::Write> write;
        session.Close();
        if (recorder != nullptr)
            recorder->BeginEntry(i);

        trap.Line(104, [&] {
            host.Yield();
            host.SetBusy(true);
        });
        trap.Line(106, [&] { host.SetProgressValue(static_cast<double>(i) / count * 100.0); });
        if (!trap.Line(108, [&] { path = host.EntryText(i); }))
            continue;
        if (recorder != nullptr)
            recorder->SetPath(path);
        trap.Line(110, [&] {
            host.SetProgressText(QStringLiteral("Processing: ") + FileNameOf(path));
            host.Yield();
            host.SetBusy(true);
        });
        // A file that could not be read whole is never written. When the files are edited in
        // place, each is opened once, to read it and to append to it; the save mode that counts
        // is still the one read after the test.
        const bool tested = trap.Line(112, [&] {
            const FileTest test = tester.Test(host, path, codePage, session, true, &ahead, i);
            read = test.read;
            mode = test.mode;
            found = test.found;
        });
        if (!tested)
            continue;
        if (!trap.Test(114, [&] { return Qualifies(mode, found); })) {
            if (recorder != nullptr)
                recorder->Skipped();
            continue;
        }
        // The appendix is made, and checked, before anything is written. A file is written once in a
        // run: listed again (by any name), it is left as it is, and a new file that another input
        // has been written to stays as that input made it.
        const bool prepared = trap.Line(116, [&] {
            const QString appendText = host.AppendText();
            target = host.SaveMode() == SaveMode::EditInPlace
                         ? path
                         : host.OutputFolder() + QDir::separator() + FileNameOf(path);
            write = writes.Plan(path, read.id, target);
            if (!write)
                return;
            const bool utf16 = read.encoding == FileEncoding::Utf16LE || read.encoding == FileEncoding::Utf16BE;
            if (utf16 && read.size % 2 != 0) {
                throw AppError(QStringLiteral("The file begins with a UTF-16 byte-order mark but holds an odd "
                                              "number of bytes, so text cannot be appended to it safely: %1")
                                   .arg(path));
            }
            appendix = EncodeAppendix(appendText, read.encoding, codePage, path);
        });
        if (prepared && !write && recorder != nullptr)
            recorder->Skipped(QStringLiteral("written already in this run"));
        if (prepared && write) {
            bool written = false;
            trap.Line(118, [&] {
                try {
                    if (recorder != nullptr)
                        recorder->BeforeWrite(path, target, read, appendix);
                    WriteWholeFile(path, target, appendix, session, journal);
                    written = true;
                } catch (const AppError &error) {
                    // A file left alone for want of the record says so only the first time.
                    if (error.number() != kErrNoAppendRecord || !std::exchange(noRecordTold, true))
                        throw;
                    if (recorder != nullptr)
                        recorder->Failed(error.description());
                }
            });
            if (written) {
                writes.Done(*write);
                if (recorder != nullptr)
                    recorder->Written();
            }
        }
    }
    session.Close();
    ahead.Stop();
    if (journal != nullptr)
        journal->EndRun();
    if (recorder != nullptr)
        recorder->End();

    trap.Line(120, [&] {
        host.SetBusy(false);
        host.SetProgressValue(0);
        host.SetProgressText(QStringLiteral("Progress Bar"));
    });
    trap.Line(122, [&] { host.ShowMessage(QStringLiteral("Done.")); });
}

} // namespace tarnwell
