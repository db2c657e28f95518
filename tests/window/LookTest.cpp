// The window's look: the skin beside the program, the hand cursor and the mouse-move pointer rule.
#include "TestRegistry.h"
#include "WindowFixture.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

using namespace tarnwell;
using namespace tarnwell::testing;

namespace {
void MoveOver(QWidget *widget)
{
    QMouseEvent move(QEvent::MouseMove, QPointF(3, 3), widget->mapToGlobal(QPointF(3, 3)), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &move);
}

QString Shipped(const QString &relative)
{
    return qEnvironmentVariable("TARNWELL_SOURCE_DIR") + QStringLiteral("/bundle/") + relative;
}
} // namespace

class LookTest : public QObject
{
    Q_OBJECT
private slots:
    void noFilesBeside_theDesignedLookAndNoBox()
    {
        WindowFixture fx;
        Form1 &form = fx.Load();
        form.show();
        QVERIFY(form.styleSheet().isEmpty());
        QCOMPARE(form.Frame1->palette().color(QPalette::Window), QColor(Qt::white));
        QVERIFY(!form.HandCursor());
        QVERIFY(fx.platform.boxes.isEmpty());
        MoveOver(form.PushButton2); // state 99 without a cursor image shows the ordinary pointer
        QCOMPARE(form.PointerState(), kPointerHand);
        QCOMPARE(form.cursor().shape(), Qt::ArrowCursor);
    }

    void shippedSkinAndCursor_areTakenUp()
    {
        WindowFixture fx;
        QDir program(fx.platform.programFolder);
        program.mkpath(QStringLiteral("x"));
        QVERIFY(QFile::copy(Shipped(QStringLiteral("x/o.cjs")), program.filePath(QStringLiteral("x/o.cjs"))));
        QVERIFY(QFile::copy(Shipped(QStringLiteral("HAND-M.CUR")), program.filePath(QStringLiteral("HAND-M.CUR"))));
        Form1 &form = fx.Load();
        form.show();
        QVERIFY(fx.platform.boxes.isEmpty());
        QVERIFY(!form.styleSheet().isEmpty());
        QVERIFY(form.Frame1->palette().color(QPalette::Window) != QColor(Qt::white));
        QVERIFY(form.HandCursor());
        MoveOver(form.PushButton4);
        QCOMPARE(form.cursor().shape(), Qt::BitmapCursor);
    }

    void cursorFileThatIsNoCursor_givesTheBox()
    {
        WindowFixture fx;
        fx.MakeFile(QStringLiteral("program/HAND-M.CUR"), "this is not a cursor");
        Form1 &form = fx.Load();
        QCOMPARE(fx.platform.boxes.size(), 1);
        QVERIFY(fx.platform.boxes.first().text.contains(QStringLiteral("Form_Load at line 108")));
        QVERIFY(!form.HandCursor());
        QCOMPARE(form.Combo1->count(), 2); // start-up went on
    }

    void mouseMoves_setThePointerUnlessBusy()
    {
        WindowFixture fx;
        Form1 &form = fx.Load();
        form.show();
        const QList<QWidget *> hands{form.PushButton1, form.PushButton2, form.PushButton3, form.PushButton4,
                                     form.PushButton5, form.PushButton7, form.PushButton11};
        const QList<QWidget *> plain{&form,
                                     form.Frame1,
                                     form.Frame2,
                                     form.Frame3,
                                     form.Text1->viewport(),
                                     form.Text2->viewport(),
                                     form.ListView1->viewport()};
        for (QWidget *hand : hands) {
            form.SetPointerState(kPointerDefault);
            MoveOver(hand);
            QCOMPARE(form.PointerState(), kPointerHand);
        }
        for (QWidget *area : plain) {
            form.SetPointerState(kPointerHand);
            MoveOver(area);
            QCOMPARE(form.PointerState(), kPointerDefault);
        }
        // Controls without a handler leave the state as it was.
        form.SetPointerState(kPointerHand);
        MoveOver(form.Combo1);
        MoveOver(form.PushButton6);
        MoveOver(form.Label3);
        MoveOver(form.ProgressBar1);
        QCOMPARE(form.PointerState(), kPointerHand);
        form.SetPointerState(kPointerBusy);
        for (QWidget *widget : hands + plain)
            MoveOver(widget);
        QCOMPARE(form.PointerState(), kPointerBusy);
    }
};

TARNWELL_TEST_CLASS(LookTest)
#include "LookTest.moc"
