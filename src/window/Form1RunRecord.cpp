// The list's context-menu items for the record of the last runs: "Last Run…" and "Undo Last Run…".
#include "window/Form1.h"

#include "engine/RunRecord.h"
#include "engine/RunUndo.h"
#include "window/LastRunDialog.h"
#include "window/Platform.h"

#include <QAction>
#include <QMenu>

#include <optional>

namespace tarnwell {

namespace {

// The newest record that can be read.
std::optional<RunRecord> NewestRun(const QString &dataFolder)
{
    for (const QString &file : RunRecordFiles(dataFolder)) {
        QString error;
        if (std::optional<RunRecord> record = LoadRunRecord(file, error))
            return record;
    }
    return std::nullopt;
}

constexpr int kNamedAtMost = 30; // files left alone named in the box; the rest are counted

} // namespace

void Form1::AddRunRecordActions(QMenu &menu)
{
    QAction *last = menu.addAction(QStringLiteral("&Last Run\u2026"), this, &Form1::ShowLastRun);
    last->setObjectName(QStringLiteral("LastRunAction"));
    QAction *undo = menu.addAction(QStringLiteral("&Undo Last Run\u2026"), this, &Form1::UndoLastRun);
    undo->setObjectName(QStringLiteral("UndoLastRunAction"));
    // The busy rule: nothing that reads or changes files while a long operation runs.
    last->setEnabled(!ListLocked());
    undo->setEnabled(!ListLocked());
}

void Form1::ShowLastRun()
{
    if (ListLocked())
        return;
    std::optional<RunRecord> record = NewestRun(m_platform.DataFolder());
    if (!record) {
        ShowMessage(QStringLiteral("No run has been recorded yet."));
        return;
    }
    LastRunDialog dialog(std::move(*record), m_platform, m_appTitle, this);
    if (dialog.exec() == LastRunDialog::kUndoChosen)
        UndoLastRun();
}

void Form1::UndoLastRun()
{
    if (!BeginBusy(Busy::Undo))
        return;
    ErrorTrap trap(*this, QStringLiteral("UndoLastRun"));
    trap.Line(100, [&] {
        const std::optional<RunRecord> record = NewestRun(m_platform.DataFolder());
        if (!record) {
            ShowMessage(QStringLiteral("There is no recorded run to undo."));
            return;
        }
        const int written = record->Count(EntryOutcome::InPlace) + record->Count(EntryOutcome::NewFile)
                            + record->Count(EntryOutcome::Replaced);
        const QString question =
            QStringLiteral("Undo the run of %1?\r\n%2 of %3 entries: %4.\r\nOnly files still exactly as the run "
                           "left them are changed; every other file is left as it is and named.")
                .arg(record->started.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                .arg(written)
                .arg(record->entries.size())
                .arg(record->CountsText());
        if (!m_platform.AskYesNo(this, question, m_appTitle))
            return;
        SetPointerState(kPointerBusy);
        const UndoResult result = UndoRun(m_platform.DataFolder(), *record);
        SetPointerState(kPointerDefault);
        QString text = QStringLiteral("Restored %1 of the %2 files the run wrote.").arg(result.restored).arg(written);
        if (!result.leftAlone.isEmpty()) {
            text += QStringLiteral("\r\n\r\nLeft as they are (%1):").arg(result.leftAlone.size());
            for (qsizetype i = 0; i < std::min<qsizetype>(kNamedAtMost, result.leftAlone.size()); ++i)
                text += QStringLiteral("\r\n") + result.leftAlone.at(i);
            if (result.leftAlone.size() > kNamedAtMost)
                text += QStringLiteral("\r\n\u2026 and %1 more.").arg(result.leftAlone.size() - kNamedAtMost);
        }
        ShowMessage(text);
    });
    SetPointerState(kPointerDefault);
    EndBusy();
}

} // namespace tarnwell
