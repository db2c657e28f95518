// The error trap on its own: numbered statements, one box for each failure and the handler going on
// after it, and an error that the handler looks at before the box.
#include "trap/ErrorTrap.h"
#include "TestRegistry.h"
#include "trap/ErrorNumbers.h"

#include <QTest>

#include <new>
#include <stdexcept>

using namespace tarnwell;
using namespace Qt::StringLiterals;

namespace {

// Whoever shows the box, recording each box as "description|procedure|line".
class BoxRecorder : public ErrorReporter
{
public:
    void ShowErrorBox(const QString &description, const QString &procedure, int line) override
    {
        boxes << u"%1|%2|%3"_s.arg(description, procedure).arg(line);
    }
    QStringList boxes;
};

} // namespace

class ErrorTrapTest : public QObject
{
    Q_OBJECT
private slots:
    // A failure is reported and the handler goes on (a failed test counts as passed); an error the
    // handler intercepts ends it without a box.
    void trap()
    {
        BoxRecorder host;
        ErrorTrap trap(host, u"PushButton4_Click"_s);
        trap.SetInterceptor([](const AppError &error) { return error.number() == kErrFileDialogBufferTooSmall; });
        bool ran = false;
        QVERIFY(!trap.Line(100, [] { throw std::runtime_error("disk on fire"); }));
        QVERIFY(trap.Line(102, [&] { ran = true; }) && ran);
        QVERIFY(trap.Test(104, [] { return true; }) && !trap.Test(106, [] { return false; }));
        QVERIFY(trap.Test(108, []() -> bool { throw AppError(u"test failed"_s, kErrInvalidArgument); }));
        trap.Line(110, [] { throw AppError(u"overflow"_s, kErrFileDialogBufferTooSmall); });
        ran = false;
        trap.Line(112, [&] { ran = true; });
        QVERIFY(!trap.Test(114, [&] { return ran = true; }) && trap.Ended() && !ran);
        QCOMPARE(host.boxes,
                 (QStringList{u"disk on fire|PushButton4_Click|100"_s, u"test failed|PushButton4_Click|108"_s}));
    }

    // Memory that runs out in a statement is an error like any other, with its own number.
    void outOfMemory_isReportedWithItsNumber()
    {
        BoxRecorder host;
        ErrorTrap trap(host, u"PushButton2_Click"_s);
        QList<int> numbers;
        trap.SetInterceptor([&](const AppError &error) {
            numbers.append(error.number());
            return false; // not dealt with: the box is shown
        });
        QVERIFY(!trap.Line(116, [] { throw std::bad_alloc(); }));
        QVERIFY(trap.Line(118, [] {}) && !trap.Ended());
        QCOMPARE(numbers, QList<int>{kErrOutOfMemory});
        QCOMPARE(host.boxes, QStringList{u"Out of memory|PushButton2_Click|116"_s});
    }
};

TARNWELL_TEST_CLASS(ErrorTrapTest)
#include "ErrorTrapTest.moc"
