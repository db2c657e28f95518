// The list's context menu: the right mouse button, Shift+F10 and the Menu key.
#include "window/Form1.h"

#include <QMenu>
#include <QShortcut>
#include <QTreeView>

namespace tarnwell {

void Form1::SetUpListContextMenu()
{
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    // A scroll area gives the point in its viewport.
    connect(ListView1, &QWidget::customContextMenuRequested, this, &Form1::ShowListContextMenu);
    // From the keyboard the menu opens at the current entry, or at the list's corner.
    for (const QKeySequence &keys : {QKeySequence(Qt::SHIFT | Qt::Key_F10), QKeySequence(Qt::Key_Menu)}) {
        auto *shortcut = new QShortcut(keys, ListView1);
        shortcut->setContext(Qt::WidgetShortcut);
        connect(shortcut, &QShortcut::activated, this, [this] {
            const QRect current = ListView1->visualRect(ListView1->currentIndex());
            ShowListContextMenu(current.isValid() ? current.center() : QPoint(4, 4));
        });
    }
}

void Form1::ShowListContextMenu(const QPoint &at)
{
    auto *menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("ListMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    AddRunRecordActions(*menu);
    menu->popup(ListView1->viewport()->mapToGlobal(at));
}

} // namespace tarnwell
