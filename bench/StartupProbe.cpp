// Starts the main window exactly as the program does and writes "shown" to standard output the
// moment the window is first painted, then quits. The benchmark times it from the outside, from
// the start of the process to that line.
#include "look/Look.h"
#include "window/Form1.h"
#include "window/QtPlatform.h"
#include "window/Settings.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>

#include <cstdio>

namespace {

class FirstPaint final : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!m_seen && event->type() == QEvent::Paint) {
            m_seen = true;
            std::fputs("shown\n", stdout);
            std::fflush(stdout);
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_seen = false;
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarnwell"));
    QApplication::setOrganizationName(QStringLiteral("Kestrelby"));
    QApplication::setWindowIcon(tarnwell::ApplicationIcon());

    tarnwell::QtPlatform platform;
    tarnwell::SettingsStore settings;
    tarnwell::Form1 window(platform, settings);
    window.Form_Load();
    FirstPaint probe;
    window.installEventFilter(&probe);
    window.show();
    return QApplication::exec();
}
