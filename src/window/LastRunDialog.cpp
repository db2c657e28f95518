// The Last Run dialog: the record of a run, shown and saved as CSV.
#include "window/LastRunDialog.h"

#include "window/Platform.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QTableWidget>
#include <QVBoxLayout>

namespace tarnwell {

namespace {

QString ConditionText(const RunJob &job)
{
    switch (job.conditionMode) {
    case ConditionMode::Does:
        return QStringLiteral("files in which \"%1\" occurs").arg(job.conditionText);
    case ConditionMode::DoesNot:
        return QStringLiteral("files in which \"%1\" does not occur").arg(job.conditionText);
    case ConditionMode::Unset:
        break;
    }
    return QStringLiteral("none chosen (no file qualifies)");
}

QTableWidgetItem *Item(const QString &text)
{
    auto *item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    item->setToolTip(text);
    return item;
}

} // namespace

QString RunJobText(const RunRecord &record)
{
    const RunJob &job = record.job;
    QString appendText = job.appendText;
    appendText.replace(QLatin1String("\r\n"), QStringLiteral(" \u21B5 "));
    if (appendText.size() > 120)
        appendText = appendText.left(117) + QStringLiteral("...");
    const QString when = record.started.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const QString saved = job.saveMode == SaveMode::EditInPlace
                              ? QStringLiteral("in place")
                              : QStringLiteral("as new files in ") + QDir::toNativeSeparators(job.outputFolder);
    return QStringLiteral("Run of %1%2\nText appended: %3\nCondition: %4\nSaved: %5\n%6 entries: %7.")
        .arg(when, record.ended.isValid() ? QString() : QStringLiteral(" (cut short)"), appendText, ConditionText(job),
             saved)
        .arg(record.entries.size())
        .arg(record.CountsText());
}

LastRunDialog::LastRunDialog(RunRecord record, Platform &platform, const QString &appTitle, QWidget *parent)
    : QDialog(parent), m_record(std::move(record)), m_platform(platform), m_appTitle(appTitle)
{
    setObjectName(QStringLiteral("LastRunDialog"));
    setWindowTitle(QStringLiteral("Last Run"));
    auto *layout = new QVBoxLayout(this);
    auto *job = new QLabel(RunJobText(m_record), this);
    job->setObjectName(QStringLiteral("JobLabel"));
    job->setTextFormat(Qt::PlainText);
    job->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(job);

    m_table = new QTableWidget(static_cast<int>(m_record.entries.size()), 5, this);
    m_table->setObjectName(QStringLiteral("EntryTable"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("#"), QStringLiteral("File"), QStringLiteral("Result"),
                                        QStringLiteral("Output"), QStringLiteral("Details")});
    m_table->verticalHeader()->hide();
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setWordWrap(false);
    m_table->setTabKeyNavigation(false); // Tab leaves the table for the buttons
    for (int row = 0; row < m_record.entries.size(); ++row) {
        const RunEntry &e = m_record.entries.at(row);
        auto *position = new QTableWidgetItem;
        position->setData(Qt::DisplayRole, e.position); // sorts as a number
        position->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        m_table->setItem(row, 0, position);
        m_table->setItem(row, 1, Item(QDir::toNativeSeparators(e.path)));
        m_table->setItem(row, 2, Item(OutcomeText(e.outcome)));
        const bool elsewhere = e.outcome == EntryOutcome::NewFile || e.outcome == EntryOutcome::Replaced;
        m_table->setItem(row, 3, Item(elsewhere ? QDir::toNativeSeparators(e.target) : QString()));
        m_table->setItem(row, 4, Item(RunEntryDetail(e)));
    }
    m_table->setSortingEnabled(true);
    m_table->sortByColumn(0, Qt::AscendingOrder);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_table->resizeColumnsToContents();
    m_table->setColumnWidth(1, std::min(m_table->columnWidth(1), 420));
    m_table->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(m_table, 1);

    auto *buttons = new QDialogButtonBox(this);
    auto *save = buttons->addButton(QStringLiteral("Save as &CSV\u2026"), QDialogButtonBox::ActionRole);
    save->setObjectName(QStringLiteral("SaveCsvButton"));
    auto *undo = buttons->addButton(QStringLiteral("&Undo This Run\u2026"), QDialogButtonBox::ActionRole);
    undo->setObjectName(QStringLiteral("UndoButton"));
    auto *close = buttons->addButton(QStringLiteral("Close"), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("CloseButton"));
    close->setDefault(true);
    connect(save, &QPushButton::clicked, this, &LastRunDialog::SaveCsv);
    connect(undo, &QPushButton::clicked, this, [this] { done(kUndoChosen); });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(860, 480);
}

bool LastRunDialog::SaveCsv()
{
    const QString suggested = m_platform.DesktopFolder() + QDir::separator()
                              + QStringLiteral("Tarnwell run %1.csv")
                                    .arg(m_record.started.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HHmmss")));
    const QString path = m_platform.SaveFile(this, QStringLiteral("Save as CSV"),
                                             QStringLiteral("CSV Files (*.csv)|*.csv|All Files (*.*)|*.*"), suggested);
    if (path.isEmpty())
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(RunRecordCsv(m_record)) < 0 || !file.commit()) {
        m_platform.WarningBox(
            this, QStringLiteral("The table could not be saved to %1 (%2).").arg(path, file.errorString()), m_appTitle);
        return false;
    }
    return true;
}

} // namespace tarnwell
