#include "look/Look.h"
#include "window/Form1.h"
#include "window/QtPlatform.h"
#include "window/Settings.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarnwell"));
    QApplication::setOrganizationName(QStringLiteral("Kestrelby"));
    QApplication::setDesktopFileName(QStringLiteral("com.kestrelby.Tarnwell")); // the installed .desktop file
    QApplication::setWindowIcon(tarnwell::ApplicationIcon());

    tarnwell::QtPlatform platform;
    tarnwell::SettingsStore settings;
    tarnwell::Form1 window(platform, settings);
    window.Form_Load();
    window.show();
    return QApplication::exec();
}
