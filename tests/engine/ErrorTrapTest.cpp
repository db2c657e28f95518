#include "ErrorTrap.h"
#include "TestRegistry.h"

#include <QTest>

using namespace tarnwell;

namespace {

class RecordingReporter final : public ErrorReporter
{
public:
    QStringList boxes;
    void ShowErrorBox(const QString &description, const QString &procedure, int line) override
    {
        boxes.append(ErrorBoxText(description, procedure, line));
    }
};

void Fail(const char *what)
{
    throw AppError(QString::fromLatin1(what));
}

} // namespace

// The trap every working handler runs under: the box's exact text, the line it names, and where
// the handler goes on after it.
class ErrorTrapTest : public QObject
{
    Q_OBJECT

private slots:
    void boxText()
    {
        QCOMPARE(ErrorBoxText(QStringLiteral("Permission denied: /x/y.txt"), QStringLiteral("PushButton2_Click"), 118),
                 QStringLiteral("Permission denied: /x/y.txt\r\nin TarnwellProj2017/04/05.Form1.PushButton2_Click "
                                "at line 118\r\rPlease email screenshot of this message to ")
                     + SupportAddress());
        QVERIFY(SupportAddress().contains(QLatin1Char('@')));
    }

    void failedStatementIsReportedAndTheHandlerGoesOn()
    {
        RecordingReporter reporter;
        ErrorTrap trap(reporter, QStringLiteral("Form_Load"));
        QStringList ran;
        for (int i = 1; i <= 2; ++i) { // a loop goes on with the rest of its body
            QVERIFY(trap.Line(100, [&] { ran << QStringLiteral("a%1").arg(i); }));
            QVERIFY(!trap.Line(102, [&] { Fail("broken"); ran << QStringLiteral("never"); }));
            trap.Line(104, [&] { ran << QStringLiteral("c%1").arg(i); });
        }
        QCOMPARE(ran, (QStringList{QStringLiteral("a1"), QStringLiteral("c1"), QStringLiteral("a2"), QStringLiteral("c2")}));
        QCOMPARE(reporter.boxes.size(), 2);
        QVERIFY(reporter.boxes.first().startsWith(QLatin1String("broken\r\nin TarnwellProj2017/04/05.Form1.Form_Load at line 102\r\r")));
    }

    void otherExceptionsAreReportedToo()
    {
        RecordingReporter reporter;
        ErrorTrap trap(reporter, QStringLiteral("PushButton1_Click"));
        QVERIFY(!trap.Line(100, [] { throw std::runtime_error("disk on fire"); }));
        QCOMPARE(reporter.boxes.size(), 1);
        QVERIFY(reporter.boxes.first().startsWith(QLatin1String("disk on fire\r\n")));
    }

    void failedConditionRunsItsBody()
    {
        RecordingReporter reporter;
        ErrorTrap trap(reporter, QStringLiteral("PushButton2_Click"));
        QVERIFY(trap.Test(100, [] { return true; }));
        QVERIFY(!trap.Test(102, [] { return false; }));
        QVERIFY(trap.Test(104, []() -> bool { throw AppError(QStringLiteral("test failed")); }));
        QCOMPARE(reporter.boxes.size(), 1);
        QVERIFY(reporter.boxes.first().contains(QLatin1String("at line 104")));
    }

    void interceptedErrorEndsTheHandlerWithoutABox()
    {
        RecordingReporter reporter;
        ErrorTrap trap(reporter, QStringLiteral("PushButton4_Click"));
        trap.SetInterceptor([](const AppError &error) { return error.number() == kErrFileDialogBufferTooSmall; });
        QVERIFY(!trap.Line(100, [] { throw AppError(QStringLiteral("other"), 5); }));
        QCOMPARE(reporter.boxes.size(), 1);
        QVERIFY(!trap.Ended());
        trap.Line(102, [] { throw AppError(QStringLiteral("overflow"), kErrFileDialogBufferTooSmall); });
        QVERIFY(trap.Ended());
        bool ranAfter = false;
        trap.Line(104, [&] { ranAfter = true; });
        QVERIFY(!ranAfter);
        QCOMPARE(reporter.boxes.size(), 1);
    }
};

TARNWELL_TEST_CLASS(ErrorTrapTest)
#include "ErrorTrapTest.moc"
