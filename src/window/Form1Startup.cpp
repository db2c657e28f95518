// Start-up of the main window: its title, skin, cursor and list column, the restored choices, and
// the record of an append that a killed run left unfinished.
#include "window/Form1.h"

#include "engine/AppendJournal.h"
#include "engine/RunUndo.h"
#include "files/Paths.h"
#include "trap/ErrorNumbers.h"
#include "window/Platform.h"
#include "window/Settings.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTreeView>

namespace tarnwell {

namespace {
constexpr QLatin1StringView kProductName("Tarnwell");
} // namespace

QString Form1::AppTitleFor(const QString &productName)
{
    qsizetype blank = productName.lastIndexOf(QLatin1Char(' '));
    if (blank < 0)
        return productName; // nothing to cut: the full name is the title
    QString title = productName;
    do {
        title.truncate(blank);
        blank = title.lastIndexOf(QLatin1Char(' '));
    } while (title.size() > 40 && blank >= 0);
    return title;
}

void Form1::SetAppTitle()
{
    m_appTitle = AppTitleFor(kProductName);
}

QString Form1::DesktopFolderPath()
{
    const QString desktop = m_platform.DesktopFolder();
    if (desktop.isEmpty())
        throw AppError(QStringLiteral("Invalid procedure call or argument: the desktop folder is unknown"),
                       kErrInvalidArgument);
    return desktop + QDir::separator();
}

void Form1::Form_Load()
{
    ErrorTrap trap(*this, QStringLiteral("Form_Load"));
    trap.Line(100, [&] { setWindowTitle(kProductName); });
    trap.Line(102, [&] { setWindowIcon(ApplicationIcon()); });
    trap.Line(104, [&] { SetAppTitle(); });
    trap.Line(106, [&] { ApplySkin(this, m_platform.ProgramFolder(), *m_skin); });
    trap.Line(108, [&] {
        const QString cursorFile = CursorFilePath(m_platform.ProgramFolder());
        if (FileExists(cursorFile))
            m_handCursor = std::make_unique<QCursor>(LoadCursorFile(cursorFile));
    });
    trap.Line(110, [&] { m_files.SetHeader(QStringLiteral("Text File(s)")); });
    trap.Line(112, [&] { ListView1->setColumnWidth(0, Twips(7000)); });
    trap.Line(114, [&] {
        // Filling the list must not count as a choice: only the restored index below does.
        const QSignalBlocker blocker(Combo1);
        Combo1->addItem(QStringLiteral("does"));
        Combo1->addItem(QStringLiteral("does not"));
        Combo1->setCurrentIndex(-1);
    });
    trap.Line(116, [&] {
        const int index = TextToInteger16(m_settings.GetSetting(QStringLiteral("Combo1"), QStringLiteral("0")));
        if (index < -1 || index >= Combo1->count())
            throw AppError(QStringLiteral("Invalid property value"), kErrInvalidPropertyValue);
        Combo1->setCurrentIndex(index);
    });
    trap.Line(118, [&] {
        Option1->setChecked(TextToTruth(m_settings.GetSetting(QStringLiteral("Option1"), QStringLiteral("1"))));
    });
    trap.Line(120, [&] {
        Option2->setChecked(TextToTruth(m_settings.GetSetting(QStringLiteral("Option2"), QStringLiteral("0"))));
    });
    trap.Line(122, [&] {
        const QString fallback = DesktopFolderPath();
        Text3->setText(m_settings.GetSetting(QStringLiteral("Text3"), fallback));
    });
    trap.Line(124, [&] {
        // An append that a killed run left half made is undone before anything else can happen;
        // only what cannot be put back is reported.
        // So is the cut-back of an undo that was killed.
        const QStringList unresolved = AppendJournal(m_platform.DataFolder()).Recover()
                                       + RecoverUndo(m_platform.DataFolder());
        if (!unresolved.isEmpty())
            throw AppError(unresolved.join(QStringLiteral("\r\n")));
    });
}

} // namespace tarnwell
