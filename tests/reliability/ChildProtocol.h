#pragma once

// What the child program and the tests agree on: the job (mode "does", condition kConditionText
// with case ignored, append text kAppendText) and how each box of a run is reported, as a line
// "BOX <line> <procedure> <description>" or "MESSAGE <text>".
#include "RecordingHost.h"

#include <QStringList>

#include <optional>

namespace tarnwell::reliability {

inline constexpr char kConditionText[] = "mark";
inline constexpr char kAppendText[] = "appended by the reliability test";

// The job of a run over `files`.
inline testing::JobFields ChildJob(const QStringList &files, const QString &outputFolder, bool inPlace)
{
    testing::JobFields job{files, QLatin1String(kAppendText), QLatin1String(kConditionText), outputFolder};
    job.conditionMode = ConditionMode::Does;
    job.saveMode = testing::SaveModeFor(inPlace);
    return job;
}

// The line that reports a call of the run's host (see testing::RecordingHost) that shows a box;
// none for any other call.
inline std::optional<QString> BoxLine(const QString &call)
{
    if (const std::optional<QString> text = testing::RecordingHost::Argument(call, QLatin1String("Message")))
        return QStringLiteral("MESSAGE ") + *text;
    if (const std::optional<QString> box = testing::RecordingHost::Argument(call, QLatin1String("ErrorBox")))
        return QStringLiteral("BOX ") + *box;
    return std::nullopt;
}

} // namespace tarnwell::reliability
