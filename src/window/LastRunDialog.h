#pragma once

#include "engine/RunRecord.h"

#include <QDialog>

class QTableWidget;

namespace tarnwell {

class Platform;

// "Last Run": the job of a recorded run, its counts and a sortable table of every entry with its
// full path; the table can be saved as CSV, and the run undone (the dialog then ends with
// kUndoChosen and its opener asks and undoes).
class LastRunDialog final : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kUndoChosen = 2;

    LastRunDialog(RunRecord record, Platform &platform, const QString &appTitle, QWidget *parent = nullptr);

    // Asks for a file through the platform and writes the table there; false on Cancel or failure
    // (a failure is shown).
    bool SaveCsv();

private:
    RunRecord m_record;
    Platform &m_platform;
    QString m_appTitle;
    QTableWidget *m_table = nullptr;
};

// The job as a few lines of plain text: when, what, the condition, where.
QString RunJobText(const RunRecord &record);

} // namespace tarnwell
