#pragma once

// The window's side of an append run, as the engine tests, the reliability child and the
// benchmark play it: the job's fields come from members, and what the run shows goes to a log.
#include "engine/AppendHost.h"

#include <QStringList>

#include <functional>
#include <optional>
#include <utility>

namespace tarnwell::testing {

// The job a recording host answers with. By default every file qualifies (none holds "zzz") and
// is appended to in place.
struct JobFields
{
    QStringList files;
    QString appendText = QStringLiteral("TAIL"), conditionText = QStringLiteral("zzz"), outputFolder;
    ConditionMode conditionMode = ConditionMode::DoesNot;
    SaveMode saveMode = SaveMode::EditInPlace;
};

inline SaveMode SaveModeFor(bool inPlace)
{
    return inPlace ? SaveMode::EditInPlace : SaveMode::NewFilesInFolder;
}

// Answers from `job`, which may be changed in the middle of a run, and logs every call the run
// makes that takes an entry or shows something, in order: "EntryText(2)", "Yield", "Busy",
// "NotBusy", "Progress(25)", "ProgressText(Processing: a.txt)", "Message(Done.)",
// "ErrorBox(118 PushButton2_Click <description>)". Reading a field of the job is not logged.
class RecordingHost final : public AppendHost
{
public:
    RecordingHost() = default;
    explicit RecordingHost(JobFields fields) : job(std::move(fields)) {}

    JobFields job;
    QStringList calls;
    // Called with each call as it is logged: a test changes the job or the files there.
    std::function<void(const QString &call)> onCall;
    // Logs the messages and error boxes only, so that a run over many files pays nothing per file.
    bool quiet = false;

    // The text inside a logged call of this name ("Message", "ErrorBox", ...); none for another call.
    static std::optional<QString> Argument(const QString &call, QLatin1String name)
    {
        if (!call.startsWith(name) || call.size() < name.size() + 2 || call.at(name.size()) != u'('
            || !call.endsWith(u')'))
            return std::nullopt;
        return call.mid(name.size() + 1, call.size() - name.size() - 2);
    }
    // The error boxes, each as "<line> <procedure> <description>".
    QStringList Boxes() const
    {
        QStringList boxes;
        for (const QString &call : calls) {
            if (const std::optional<QString> box = Argument(call, QLatin1String("ErrorBox")))
                boxes << *box;
        }
        return boxes;
    }

    int EntryCount() override { return static_cast<int>(job.files.size()); }
    QString EntryText(int position) override
    {
        if (!quiet)
            Log(QStringLiteral("EntryText(%1)").arg(position));
        return job.files.value(position - 1);
    }
    QString EntryTextAhead(int position) override { return job.files.value(position - 1); }
    QString AppendText() override { return job.appendText; }
    QString ConditionText() override { return job.conditionText; }
    tarnwell::ConditionMode ConditionMode() override { return job.conditionMode; }
    tarnwell::SaveMode SaveMode() override { return job.saveMode; }
    QString OutputFolder() override { return job.outputFolder; }
    void SetProgressValue(double percent) override
    {
        if (!quiet)
            Log(QStringLiteral("Progress(%1)").arg(percent));
    }
    void SetProgressText(const QString &text) override
    {
        if (!quiet)
            Log(QStringLiteral("ProgressText(") + text + u')');
    }
    void SetBusy(bool busy) override
    {
        if (!quiet)
            Log(busy ? QStringLiteral("Busy") : QStringLiteral("NotBusy"));
    }
    void Yield() override
    {
        if (!quiet)
            Log(QStringLiteral("Yield"));
    }
    void ShowMessage(const QString &text) override { Log(QStringLiteral("Message(") + text + u')'); }
    void ShowErrorBox(const QString &description, const QString &procedure, int line) override
    {
        Log(QStringLiteral("ErrorBox(%1 %2 %3)").arg(line).arg(procedure, description));
    }

private:
    void Log(const QString &call)
    {
        calls << call;
        if (onCall)
            onCall(call);
    }
};

} // namespace tarnwell::testing
