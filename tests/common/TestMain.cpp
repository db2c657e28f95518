#include "TestRegistry.h"

#include <QTest>

#ifdef TARNWELL_TEST_GUI
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

// Runs every registered test class in turn; fails when any of them failed.
int main(int argc, char **argv)
{
    TestApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    int failures = 0;
    for (const tarnwell::testing::Factory &make : tarnwell::testing::Registry())
        failures += QTest::qExec(make().get(), argc, argv);
    return failures == 0 ? 0 : 1;
}
