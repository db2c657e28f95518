#pragma once

#include <QString>
#include <QWidget>

namespace tarnwell::testing {

// A control of the window, found by the object name its layout gives it. A window without a
// control of that name and type ends the program with a message that names the control.
template <typename Control = QWidget>
Control *FindControl(const QWidget &window, const char *name)
{
    auto *control = window.findChild<Control *>(QString::fromLatin1(name));
    if (!control)
        qFatal("%s has no %s named %s", qPrintable(window.objectName()), Control::staticMetaObject.className(), name);
    return control;
}

} // namespace tarnwell::testing
