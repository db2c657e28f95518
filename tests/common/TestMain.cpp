#include "TestRegistry.h"

#include <QTest>

#ifdef TARNWELL_TEST_GUI
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

namespace tarnwell::testing {

int RunAll(int argc, char **argv)
{
    int failures = 0;
    for (const Factory &make : Registry()) {
        std::unique_ptr<QObject> test = make();
        failures += QTest::qExec(test.get(), argc, argv);
    }
    return failures == 0 ? 0 : 1;
}

} // namespace tarnwell::testing

int main(int argc, char **argv)
{
    TestApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    return tarnwell::testing::RunAll(argc, argv);
}
