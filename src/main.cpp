#include "Form1.h"
#include "Look.h"
#include "QtPlatform.h"
#include "Settings.h"

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
