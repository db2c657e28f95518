#pragma once

#include <QFont>
#include <QGroupBox>
#include <QList>
#include <QPushButton>
#include <QRadioButton>

namespace tarnwell {

// One of the save options. The two form one group (Qt's exclusivity: choosing one clears the
// other, yet both may start unchosen) in which, as in any option group, an arrow key moves to the
// next option and chooses it, raising its handler as a click would.
class OptionButton final : public QRadioButton
{
public:
    using QRadioButton::QRadioButton;

protected:
    void focusInEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QList<OptionButton *> Group() const;
};

// A command button that Enter presses too, as Space does, when it has the focus; no button is
// ever the window's default.
class CommandButton final : public QPushButton
{
public:
    using QPushButton::QPushButton;

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

// A frame drawn as a plain etched border on its own background colour, the same on every
// platform style (some styles shade the inside of a group box). A skinned window draws it with
// the skin instead.
class FrameBox final : public QGroupBox
{
public:
    using QGroupBox::QGroupBox;

protected:
    void paintEvent(QPaintEvent *event) override;
};

// The window's font, Arial bold at 9 points, and the command buttons' font, the same at 11.25.
QFont WindowFont();
QFont ButtonFont();

} // namespace tarnwell
