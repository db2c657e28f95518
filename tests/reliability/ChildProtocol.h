#pragma once

// What the child program and the tests agree on: the job (mode "does", condition kConditionText
// with case ignored, append text kAppendText) and how each box of a run is reported, as a line
// "BOX <line> <procedure> <description>" or "MESSAGE <text>".
#include "AppendHost.h"

#include <QStringList>

#include <functional>

namespace tarnwell::reliability {

inline constexpr char kConditionText[] = "mark";
inline constexpr char kAppendText[] = "appended by the reliability test";

// The window's side of a run. `onEntry` is called when the run takes an entry's path, so a test
// can change the files in the middle of a run.
class ScriptedHost final : public AppendHost
{
public:
    QStringList entries;
    QString outputFolder;
    bool inPlace = true;
    std::function<void(const QString &line)> report;
    std::function<void(int position)> onEntry;

    int EntryCount() override { return static_cast<int>(entries.size()); }
    QString EntryText(int position) override
    {
        if (onEntry)
            onEntry(position);
        return entries.value(position - 1);
    }
    QString AppendText() override { return QLatin1String(kAppendText); }
    QString ConditionText() override { return QLatin1String(kConditionText); }
    tarnwell::ConditionMode ConditionMode() override { return ConditionMode::Does; }
    tarnwell::SaveMode SaveMode() override { return inPlace ? SaveMode::EditInPlace : SaveMode::NewFilesInFolder; }
    QString OutputFolder() override { return outputFolder; }
    void SetProgressValue(double) override {}
    void SetProgressText(const QString &) override {}
    void SetBusy(bool) override {}
    void Yield() override {}
    void ShowMessage(const QString &text) override { report(QStringLiteral("MESSAGE ") + text); }
    void ShowErrorBox(const QString &description, const QString &procedure, int line) override
    {
        report(QStringLiteral("BOX %1 %2 %3").arg(line).arg(procedure, description));
    }
};

} // namespace tarnwell::reliability
