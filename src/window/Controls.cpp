#include "Controls.h"

#include <QKeyEvent>
#include <QPainter>

namespace tarnwell {

void OptionButton::focusInEvent(QFocusEvent *event)
{
    // Qt would leave only the focused option in the tab order; both stay, as the layout lists them.
    QRadioButton::focusInEvent(event);
    for (OptionButton *option : Group())
        option->setFocusPolicy(Qt::StrongFocus);
}

void OptionButton::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    const bool forward = key == Qt::Key_Down || key == Qt::Key_Right;
    const bool backward = key == Qt::Key_Up || key == Qt::Key_Left;
    const QList<OptionButton *> group = Group();
    const qsizetype here = group.indexOf(this);
    if ((!forward && !backward) || group.size() < 2 || here < 0) {
        QRadioButton::keyPressEvent(event);
        return;
    }
    OptionButton *next = group.at((here + (forward ? 1 : group.size() - 1)) % group.size());
    next->setFocus(Qt::OtherFocusReason);
    next->click();
}

QList<OptionButton *> OptionButton::Group() const
{
    return parentWidget()->findChildren<OptionButton *>(Qt::FindDirectChildrenOnly);
}

void CommandButton::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        click();
        return;
    }
    QPushButton::keyPressEvent(event);
}

void FrameBox::paintEvent(QPaintEvent *event)
{
    if (!window()->styleSheet().isEmpty()) {
        QGroupBox::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    const QFontMetrics metrics(font());
    const int titleMiddle = metrics.height() / 2;
    const QRect border = rect().adjusted(0, titleMiddle, -1, -1);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(border.adjusted(0, 0, -1, -1));
    painter.setPen(palette().color(QPalette::Light));
    painter.drawRect(border.adjusted(1, 1, 0, 0));
    const QRect titleRect(8, 0, metrics.horizontalAdvance(title()) + 4, metrics.height());
    painter.fillRect(titleRect, palette().color(QPalette::Window));
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(titleRect, Qt::AlignCenter, title());
}

QFont WindowFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setBold(true);
    font.setPointSizeF(9);
    return font;
}

QFont ButtonFont()
{
    QFont font = WindowFont();
    font.setPointSizeF(11.25);
    return font;
}

} // namespace tarnwell
