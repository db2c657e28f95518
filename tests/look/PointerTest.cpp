#include "Look.h"
#include "TestRegistry.h"

#include <QTest>

#include <optional>

using namespace tarnwell;

Q_DECLARE_METATYPE(std::optional<int>)

namespace {

constexpr int kArrow = 0;
constexpr int kBusy = 11;
constexpr int kHand = 99;

} // namespace

class PointerTest : public QObject
{
    Q_OBJECT

private slots:
    void mouseMovePointer_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<std::optional<int>>("pointer");
        for (const char *button : {"PushButton1", "PushButton2", "PushButton3", "PushButton4", "PushButton5",
                                   "PushButton7", "PushButton11"})
            QTest::newRow(button) << QString::fromLatin1(button) << std::optional<int>(kHand);
        for (const char *area : {"Form1", "Frame1", "Frame2", "Frame3", "Text1", "Text2", "ListView1"})
            QTest::newRow(area) << QString::fromLatin1(area) << std::optional<int>(kArrow);
        for (const char *other : {"PushButton6", "Text3", "Combo1", "Option1", "Option2", "Label2", "Label3",
                                  "ProgressBar1"})
            QTest::newRow(other) << QString::fromLatin1(other) << std::optional<int>();
        // Names that only look like the controls'.
        for (const char *stranger : {"", "PushButton", "PushButton8", "PushButton10", "pushbutton2", "Frame4",
                                     "Text12", "ListView1 ", "qt_scrollarea_viewport"})
            QTest::newRow(stranger[0] ? stranger : "(empty)") << QString::fromLatin1(stranger) << std::optional<int>();
    }

    void mouseMovePointer()
    {
        QFETCH(QString, control);
        QFETCH(std::optional<int>, pointer);
        QCOMPARE(MouseMovePointer(control), pointer);
    }

    // Moves over a sequence of controls, starting from a given pointer state.
    void pointerAlongAPath_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<QStringList>("path");
        QTest::addColumn<int>("end");
        QTest::newRow("onto a button") << kArrow << QStringList{QStringLiteral("Frame1"), QStringLiteral("PushButton2")} << kHand;
        QTest::newRow("button, then the list") << kArrow << QStringList{QStringLiteral("PushButton4"), QStringLiteral("ListView1")} << kArrow;
        QTest::newRow("button straight onto Combo1 keeps the hand")
            << kArrow << QStringList{QStringLiteral("PushButton5"), QStringLiteral("Combo1")} << kHand;
        QTest::newRow("over Text3 nothing changes") << kArrow << QStringList{QStringLiteral("Text3")} << kArrow;
        QTest::newRow("busy over buttons stays busy")
            << kBusy << QStringList{QStringLiteral("PushButton2"), QStringLiteral("PushButton11")} << kBusy;
        QTest::newRow("busy over frames, text and list stays busy")
            << kBusy << QStringList{QStringLiteral("Frame2"), QStringLiteral("Text1"), QStringLiteral("ListView1"), QStringLiteral("Form1")}
            << kBusy;
    }

    void pointerAlongAPath()
    {
        QFETCH(int, start);
        QFETCH(QStringList, path);
        QFETCH(int, end);
        int pointer = start;
        for (const QString &control : path)
            pointer = PointerAfterMouseMove(pointer, MouseMovePointer(control));
        QCOMPARE(pointer, end);
    }

    // Only 11 is protected; any other state someone set is replaced by a move's request.
    void onlyTheBusyStateIsKept()
    {
        QCOMPARE(PointerAfterMouseMove(kHand, kArrow), kArrow);
        QCOMPARE(PointerAfterMouseMove(1, kHand), kHand);
        QCOMPARE(PointerAfterMouseMove(kBusy, kArrow), kBusy);
        QCOMPARE(PointerAfterMouseMove(7, std::nullopt), 7);
    }
};

TARNWELL_TEST_CLASS(PointerTest)
#include "PointerTest.moc"
