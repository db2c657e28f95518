// What the list shows besides the paths: the check's mark before each entry, long paths shortened
// in the middle (the layout), the whole path and the mark in each entry's tooltip (the list's
// model), and the number of listed files in the list's own tooltip.
#include "window/Form1.h"

#include <QApplication>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTreeView>

namespace tarnwell {

namespace {
// Draws an entry with the standard icon of its mark.
class MarkDelegate final : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const auto kind = static_cast<EntryMark::Kind>(index.data(kEntryMarkRole).toInt());
        QStyle::StandardPixmap pixmap = QStyle::SP_CustomBase;
        switch (kind) {
        case EntryMark::Kind::None:
            return;
        case EntryMark::Kind::Qualifies:
            pixmap = QStyle::SP_DialogApplyButton;
            break;
        case EntryMark::Kind::DoesNotQualify:
            pixmap = QStyle::SP_DialogNoButton;
            break;
        case EntryMark::Kind::Unreadable:
            pixmap = QStyle::SP_MessageBoxWarning;
            break;
        }
        const QStyle *style = option->widget ? option->widget->style() : QApplication::style();
        option->icon = style->standardIcon(pixmap, option, option->widget);
        option->features |= QStyleOptionViewItem::HasDecoration;
        const int size = style->pixelMetric(QStyle::PM_SmallIconSize, option, option->widget);
        option->decorationSize = QSize(size, size);
    }
};
} // namespace

void Form1::ShowListMarks()
{
    ListView1->setItemDelegate(new MarkDelegate(ListView1));
    connect(&m_files, &QAbstractItemModel::rowsInserted, this, &Form1::UpdateListToolTip);
    connect(&m_files, &QAbstractItemModel::rowsRemoved, this, &Form1::UpdateListToolTip);
    connect(&m_files, &QAbstractItemModel::modelReset, this, &Form1::UpdateListToolTip);
    UpdateListToolTip();
}

void Form1::UpdateListToolTip()
{
    const int count = m_files.Count();
    const QString files = count == 1 ? QStringLiteral("1 file listed.") : QStringLiteral("%1 files listed.").arg(count);
    ListView1->setToolTip(files + QStringLiteral("\nMore with the right mouse button, Shift+F10 or the Menu key."));
}

} // namespace tarnwell
