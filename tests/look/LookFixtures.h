#pragma once

#include "ErrorTrap.h"

#include <QByteArray>
#include <QImage>
#include <QPoint>
#include <QString>

#include <memory>

class QWidget;

namespace tarnwell::testing {

// A main window with the real kinds of controls, their names, containers, captions and
// fonts, each control with its own white background as the window is designed.
std::unique_ptr<QWidget> MakeMainWindow();

// Writes `bytes` to `path`, creating the folders on the way.
[[nodiscard]] bool WriteFile(const QString &path, const QByteArray &bytes);

// A file of the source tree (the shipped skin, the hand cursor).
QString SourceFile(const QString &relative);

// Runs `action`; an AppError out of it fails the running test with its description instead of
// ending the test program.
#define LOOK_NO_APP_ERROR(action)                                                                  \
    do {                                                                                           \
        try {                                                                                      \
            action;                                                                                \
        } catch (const tarnwell::AppError &error_) {                                               \
            QFAIL(qPrintable(QStringLiteral("unexpected error: ") + error_.description()));        \
        }                                                                                          \
    } while (false)

// One 32-bit picture in a cursor container, hotspot as given.
QByteArray CursorFileBytes(const QImage &picture, QPoint hotspot);

} // namespace tarnwell::testing
