// The list's menu, opened by the right mouse button, Shift+F10 and the Menu key, and
// "Check Which Files Qualify": the run's test over every entry, with nothing written.
#include "window/Form1.h"

#include "engine/QualifyCheck.h"
#include "files/Paths.h"
#include "window/Platform.h"

#include <QComboBox>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeView>

namespace tarnwell {

namespace {
QString FilesText(qsizetype count)
{
    return count == 1 ? QStringLiteral("1 listed file") : QStringLiteral("%1 listed files").arg(count);
}

// What the box after a check says: how many qualify and how many could not be read, whether
// Start would write at all, and the offer to remove the others.
QString CheckSummary(qsizetype listed, qsizetype qualifying, qsizetype unreadable, bool folderMissing)
{
    QString text = QStringLiteral("%1 of the %2 %3.\n%4 could not be read.")
                       .arg(qualifying)
                       .arg(FilesText(listed),
                            qualifying == 1 ? QStringLiteral("qualifies") : QStringLiteral("qualify"))
                       .arg(unreadable);
    if (folderMissing)
        text += QStringLiteral("\n\nThe output folder does not exist, so Start would write nothing.");
    const qsizetype others = listed - qualifying;
    if (others > 0) {
        text += others == 1 ? QStringLiteral("\n\nRemove the 1 other file from the list?")
                            : QStringLiteral("\n\nRemove the %1 other files from the list?").arg(others);
    }
    return text;
}
} // namespace

void Form1::WireListMenu()
{
    // A mark says what the check found with the condition of that moment: a new condition, or a
    // run that may have changed the files, leaves none standing.
    connect(Text2, &QPlainTextEdit::textChanged, this, [this] { m_files.ClearMarks(); });
    connect(Combo1, &QComboBox::currentIndexChanged, this, [this] { m_files.ClearMarks(); });
    connect(PushButton2, &QPushButton::clicked, this, [this] {
        if (!ListLocked())
            m_files.ClearMarks();
    });
}

bool Form1::HandleListMenuEvent(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::ContextMenu) {
        // The keys are taken where they are pressed (below); a platform that also reports them
        // as a menu request would open the menu twice.
        auto *request = static_cast<QContextMenuEvent *>(event);
        if (request->reason() == QContextMenuEvent::Mouse)
            ShowListMenu(request->globalPos());
        return true;
    }
    if (event->type() != QEvent::KeyPress || watched != ListView1)
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    const bool menuKey = key->key() == Qt::Key_Menu && key->modifiers() == Qt::NoModifier;
    const bool shiftF10 = key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier;
    if (!menuKey && !shiftF10)
        return false;
    // From the keyboard the menu opens at the current entry, or at the list's top corner.
    const QRect current = ListView1->visualRect(ListView1->currentIndex());
    const QPoint at = current.isValid() ? current.bottomLeft() : QPoint(0, 0);
    ShowListMenu(ListView1->viewport()->mapToGlobal(at));
    return true;
}

void Form1::ShowListMenu(const QPoint &globalPos)
{
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("ListMenu"));
    QAction *check = menu.addAction(QStringLiteral("&Check Which Files Qualify"));
    check->setObjectName(QStringLiteral("mnuCheck"));
    check->setEnabled(!ListLocked() && m_files.Count() > 0);
    AddRunRecordActions(menu);
    if (menu.exec(globalPos) == check)
        mnuCheck_Click();
}

void Form1::mnuCheck_Click()
{
    if (m_files.Count() == 0 || !BeginBusy(Busy::Check))
        return;
    ErrorTrap trap(*this, QStringLiteral("mnuCheck_Click"));
    std::vector<EntryCheck> answers;
    bool folderMissing = false;
    trap.Line(100, [&] {
        WithRunHost([&](AppendHost &host) {
            answers = CheckWhichQualify(host);
            folderMissing = !IsFolder(host.OutputFolder());
        });
    });
    QList<EntryMark> marks;
    marks.reserve(static_cast<qsizetype>(answers.size()));
    QList<int> others; // positions of the entries that do not qualify, ascending
    qsizetype unreadable = 0;
    for (const EntryCheck &answer : answers) {
        EntryMark mark;
        switch (answer.answer) {
        case EntryCheck::Answer::Qualifies:
            mark.kind = EntryMark::Kind::Qualifies;
            break;
        case EntryCheck::Answer::DoesNotQualify:
            mark.kind = EntryMark::Kind::DoesNotQualify;
            break;
        case EntryCheck::Answer::Unreadable:
            mark.kind = EntryMark::Kind::Unreadable;
            mark.reason = answer.reason;
            ++unreadable;
            break;
        }
        if (mark.kind != EntryMark::Kind::Qualifies)
            others << static_cast<int>(marks.size()) + 1;
        marks << mark;
    }
    m_files.SetMarks(marks);
    if (!answers.empty()) {
        // The list stays locked while the box is open, so the positions still name the entries.
        const QString text = CheckSummary(marks.size(), marks.size() - others.size(), unreadable, folderMissing);
        trap.Line(102, [&] {
            if (others.isEmpty())
                m_platform.MessageBox(this, text, m_appTitle);
            else if (m_platform.AskYesNo(this, text, m_appTitle))
                m_files.RemovePositions(others);
        });
    }
    EndBusy();
}

} // namespace tarnwell
