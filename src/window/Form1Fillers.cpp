// Filling the list: the file dialog, the folder scan, the sample files and the dropped files and
// folders.
#include "window/Form1.h"

#include "filelist/Fillers.h"
#include "filelist/FolderScan.h"
#include "trap/ErrorNumbers.h"
#include "window/Platform.h"
#include "window/Settings.h"

#include <QRadioButton>

namespace tarnwell {

void Form1::PushButton1_Click()
{
    if (ListLocked())
        return;
    ErrorTrap trap(*this, QStringLiteral("PushButton1_Click"));
    QString extension;
    trap.Line(100, [&] {
        extension = m_platform.InputBox(this,
                                        QStringLiteral("Enter file extension to load:\r\r(* for all files, txt for all "
                                                       "txt files, doc for all doc files, etc.)"),
                                        m_appTitle, QStringLiteral("txt"));
    });
    if (extension.isEmpty())
        return;
    trap.Line(102, [&] { m_settings.SaveSetting(QStringLiteral("Extension"), extension); });
    QString folder;
    trap.Line(104, [&] { folder = m_platform.BrowseForFolder(this, QStringLiteral("Please select folder:")); });
    if (folder.isEmpty() || !BeginBusy(Busy::Scan))
        return;
    trap.Line(106, [&] { SetPointerState(kPointerBusy); });
    trap.Line(108, [&] { ScanFolderIntoList(folder, QStringLiteral("*.") + extension, m_files, [this] { Yield(); }); });
    trap.Line(110, [&] { SetPointerState(kPointerDefault); });
    EndBusy();
}

void Form1::PushButton3_Click()
{
    if (ListLocked())
        return;
    ErrorTrap trap(*this, QStringLiteral("PushButton3_Click"));
    const QString programFolder = m_platform.ProgramFolder();
    trap.Line(100, [&] { m_files.AppendMany(SampleEntries(programFolder)); });
    bool open = false;
    trap.Line(102, [&] {
        open = m_platform.AskYesNo(
            this,
            QStringLiteral("Would you like this software to open the folder where these sample "
                           "files are stored (so that you can view them before working with them)?"),
            m_appTitle);
    });
    if (trap.Test(104, [&] { return open; }))
        trap.Line(106, [&] { m_platform.OpenFolder(SampleFolder(programFolder)); });
    trap.Line(108, [&] { Text1->setPlainText(QStringLiteral("2")); });
    trap.Line(110, [&] { Text2->setPlainText(QStringLiteral("123")); });
    trap.Line(112, [&] { Option2->setChecked(true); });
}

void Form1::PushButton4_Click()
{
    if (ListLocked())
        return;
    ErrorTrap trap(*this, QStringLiteral("PushButton4_Click"));
    // A selection the dialog cannot hand back gets its own message, and the click ends.
    trap.SetInterceptor([this](const AppError &error) {
        if (error.number() != kErrFileDialogBufferTooSmall)
            return false;
        ShowMessage(
            QStringLiteral("You've selected too many files to add.\r\rPlease try adding via the \"Add All\" button."));
        return true;
    });
    PickedFiles picked;
    trap.Line(100, [&] {
        picked = m_platform.OpenFiles(this, QStringLiteral("Add File(s) - Hold Ctrl or Shift to select multiple files"),
                                      QStringLiteral("All Files (*.*)|*.*|"));
        if (picked.tooMany)
            throw AppError(QStringLiteral("The selection is too large for the file dialog"),
                           kErrFileDialogBufferTooSmall);
    });
    if (trap.Ended() || picked.paths.isEmpty())
        return;
    trap.Line(102, [&] { m_files.AppendMany(EntriesFromPickedFiles(picked.paths)); });
}

void Form1::DropPaths(const QStringList &paths)
{
    if (!BeginBusy(Busy::Drop))
        return;
    // Each item is finished before the next; a failing item is reported and the rest still come.
    ErrorTrap trap(*this, QStringLiteral("ListView1_OLEDragDrop"));
    for (const QString &path : paths)
        trap.Line(100, [&] { AddDroppedPaths({path}, m_files, [this] { Yield(); }); });
    EndBusy();
}

} // namespace tarnwell
