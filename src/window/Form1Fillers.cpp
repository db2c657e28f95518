// Filling the list: the file dialog, the folder scan, the sample files and drag and drop; and
// the list's own removal by key or double click.
#include "Form1.h"

#include "ErrorNumbers.h"
#include "Fillers.h"
#include "FolderScan.h"
#include "Platform.h"
#include "Settings.h"

#include <QDir>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFile>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QRadioButton>
#include <QTreeView>
#include <QUrl>

#include <optional>

namespace tarnwell {

namespace {
// The local files and folders of a drop, and how many items were left out because the path that
// their address decodes to would not name them.
struct DroppedItems
{
    QStringList paths;
    int unreadable = 0;
};

// Whether the local path of a dropped address names the item it was made from. Off Windows the
// address carries the name's bytes, percent-encoded, and a name that is not valid in the system's
// character set decodes with U+FFFD in place of what could not be read: the path would then name
// another file, or none. Windows names are UTF-16 and always decode.
bool DecodesToItsItem([[maybe_unused]] const QUrl &url)
{
#ifdef Q_OS_WIN
    return true;
#else
    const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    return QFile::encodeName(url.path(QUrl::FullyDecoded)) == bytes;
#endif
}

// Dropped data is taken only when it is a list of local files and folders.
std::optional<DroppedItems> DroppedLocalItems(const QMimeData *data)
{
    if (!data || !data->hasUrls())
        return std::nullopt;
    DroppedItems items;
    for (const QUrl &url : data->urls()) {
        if (!url.isLocalFile())
            return std::nullopt;
        if (DecodesToItsItem(url))
            items.paths << QDir::toNativeSeparators(url.toLocalFile());
        else
            ++items.unreadable;
    }
    if (items.paths.isEmpty() && items.unreadable == 0)
        return std::nullopt;
    return items;
}

QString UnreadableItemsText(int count)
{
    return count == 1 ? QStringLiteral("1 dropped item was left out: its name cannot be read in this system's "
                                       "character set.")
                      : QStringLiteral("%1 dropped items were left out: their names cannot be read in this "
                                       "system's character set.")
                            .arg(count);
}
} // namespace

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

void Form1::PushButton6_Click()
{
    const QString folder = m_platform.BrowseForFolder(this, QStringLiteral("Please select folder:"));
    if (!folder.isEmpty())
        Text3->setText(folder.endsWith(QDir::separator()) ? folder : folder + QDir::separator());
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

void Form1::RemoveSelectedEntry()
{
    if (ListLocked())
        return;
    if (m_files.Count() == 0)
        return;
    const QModelIndexList selected = ListView1->selectionModel()->selectedRows();
    if (selected.isEmpty())
        return;
    m_files.RemoveAt(selected.first().row() + 1);
}

bool Form1::TakesDrop(const QDropEvent *event) const
{
    // Only local files and folders, only as a copy, and not while the list is locked. A drop of
    // items that are all left out is taken too, so that it can say why nothing came.
    return !ListLocked() && (event->possibleActions() & Qt::CopyAction)
           && DroppedLocalItems(event->mimeData()).has_value();
}

bool Form1::HandleListEvent(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent *>(event)->key() == Qt::Key_Delete) {
            RemoveSelectedEntry();
            return true;
        }
        return false;
    case QEvent::MouseButtonDblClick:
        if (watched == ListView1->viewport()) {
            RemoveSelectedEntry();
            return true;
        }
        return false;
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *drag = static_cast<QDragMoveEvent *>(event);
        if (TakesDrop(drag)) {
            drag->setDropAction(Qt::CopyAction);
            drag->accept();
        } else {
            drag->setDropAction(Qt::IgnoreAction);
            drag->ignore();
        }
        return true;
    }
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        const std::optional<DroppedItems> items = TakesDrop(drop) ? DroppedLocalItems(drop->mimeData())
                                                                  : std::optional<DroppedItems>();
        if (!items) {
            drop->setDropAction(Qt::IgnoreAction);
            drop->ignore();
            return true;
        }
        // Always a copy, whatever the source proposed: a move result tells the source (Explorer,
        // some file managers) to delete the originals, and the list only ever names them.
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        DropPaths(items->paths);
        if (items->unreadable > 0)
            ShowMessage(UnreadableItemsText(items->unreadable));
        return true;
    }
    default:
        return false;
    }
}

} // namespace tarnwell
