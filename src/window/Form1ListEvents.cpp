// The list's own events: Delete and a double click remove the selected entry; files and folders
// dragged over it are taken, always as a copy, and added in order.
#include "window/Form1.h"

#include <QDir>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFile>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMimeData>
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
    if (HandleListMenuEvent(watched, event))
        return true;
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
