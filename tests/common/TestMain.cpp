#include "TestRegistry.h"

#include <QTest>

#ifdef TARNWELL_TEST_GUI
#include <QApplication>
#include <QFont>
#include <QFontDatabase>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char **argv)
{
    TestApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
#if defined(TARNWELL_TEST_GUI) && defined(Q_OS_WIN)
    // Under Wine the offscreen platform knows no font aliases: Arial's metric twin stands in, as on Linux.
    if (QGuiApplication::platformName() == QLatin1String("offscreen")
        && !QFontDatabase::families().contains(QLatin1String("Arial")))
        QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
#endif
    int failures = 0;
    for (const tarnwell::testing::Factory &make : tarnwell::testing::Registry())
        failures += QTest::qExec(make().get(), argc, argv);
    return failures == 0 ? 0 : 1;
}
