// Accessibility: every control a screen reader reaches has a name, and a whole job can be done
// with the keyboard alone, moving through the controls in the tab order.
#include "TestRegistry.h"
#include "WindowFixture.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeView>

using namespace tarnwell;
using namespace tarnwell::testing;

namespace {

// The controls in the window's tab order.
QList<QWidget *> TabChain(Form1 &form)
{
    QList<QWidget *> chain;
    QWidget *widget = form.ListView1;
    do {
        if ((widget->focusPolicy() & Qt::TabFocus) && widget->isVisibleTo(&form) && widget->isEnabled())
            chain << widget;
        widget = widget->nextInFocusChain();
    } while (widget != form.ListView1);
    return chain;
}

QString Focused()
{
    const QWidget *widget = QApplication::focusWidget();
    return widget ? widget->objectName() : QStringLiteral("<nothing>");
}

void Press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget *widget = QApplication::focusWidget();
    QVERIFY2(widget, "no control has the focus");
    QTest::keyClick(widget, static_cast<Qt::Key>(key), modifiers);
}

// Presses Tab until `name` has the focus; a control that the tab order never reaches fails.
void TabTo(const QString &name)
{
    for (int presses = 0; presses < 20 && Focused() != name; ++presses)
        Press(Qt::Key_Tab);
    QCOMPARE(Focused(), name);
}

} // namespace

class AccessibilityTest : public QObject
{
    Q_OBJECT
private slots:
    void everyControl_hasAnAccessibleName()
    {
        WindowFixture fx;
        Form1 &form = fx.Load();
        const QList<QWidget *> chain = TabChain(form);
        QCOMPARE(chain.size(), 16);
        for (QWidget *control : chain) {
            QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(control);
            QVERIFY(accessible);
            QVERIFY2(!accessible->text(QAccessible::Name).trimmed().isEmpty(), qPrintable(control->objectName()));
        }
        const auto name = [](QWidget *control) {
            return QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name);
        };
        QCOMPARE(name(form.Text1), QStringLiteral("Text to append"));
        QCOMPARE(name(form.Text2), QStringLiteral("Condition text"));
        // On Linux a combo box speaks its current item as its name (the label comes through
        // relations); elsewhere the accessible name set on it is spoken.
        QCOMPARE(form.Combo1->accessibleName(), QStringLiteral("Condition: does or does not"));
        QCOMPARE(name(form.Text3), QStringLiteral("Output folder"));
        QCOMPARE(name(form.PushButton6), QStringLiteral("Browse for output folder"));
        QCOMPARE(name(form.ListView1), QStringLiteral("Text File(s)"));
        QCOMPARE(name(form.PushButton2), QStringLiteral("Start Appending Text To All Files"));
    }

    void wholeJob_withTheKeyboardAlone()
    {
        WindowFixture fx;
        const QString hit = fx.MakeFile(QStringLiteral("in/hit.txt"), "order 123\r\n");
        const QString miss = fx.MakeFile(QStringLiteral("in/miss.txt"), "order 456\r\n");
        Form1 &form = fx.Load();
        form.show();
        QApplication::setActiveWindow(&form);
        QVERIFY(QTest::qWaitForWindowActive(&form));
        form.ListView1->setFocus();

        // Tab visits every control once and comes back round; the text boxes pass Tab on.
        const QList<QWidget *> chain = TabChain(form);
        for (qsizetype i = 1; i <= chain.size(); ++i) {
            Press(Qt::Key_Tab);
            QCOMPARE(Focused(), chain.at(i % chain.size())->objectName());
        }

        TabTo(QStringLiteral("Text1"));
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("END"));
        Press(Qt::Key_Tab);
        QCOMPARE(Focused(), QStringLiteral("Text2"));
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("123"));
        QCOMPARE(form.Text1->toPlainText(), QStringLiteral("END"));
        QCOMPARE(form.Text2->toPlainText(), QStringLiteral("123"));

        TabTo(QStringLiteral("Combo1"));
        Press(Qt::Key_Down);
        QCOMPARE(form.Combo1->currentText(), QStringLiteral("does not"));
        Press(Qt::Key_Up);
        QCOMPARE(form.Combo1->currentText(), QStringLiteral("does"));

        // Space chooses an option button, and the other one clears.
        TabTo(QStringLiteral("Option2"));
        Press(Qt::Key_Space);
        QVERIFY(form.Option2->isChecked());
        QVERIFY(!form.Option1->isChecked());
        Press(Qt::Key_Tab, Qt::ShiftModifier);
        QCOMPARE(Focused(), QStringLiteral("Option1"));
        Press(Qt::Key_Space);
        QVERIFY(form.Option1->isChecked());
        QVERIFY(!form.Option2->isChecked());

        // The output folder is checked even for in-place edits.
        const QString output = QDir::toNativeSeparators(fx.dir.filePath(QStringLiteral("in")));
        TabTo(QStringLiteral("Text3"));
        Press(Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(QApplication::focusWidget(), output);
        QCOMPARE(form.Text3->text(), output);

        // "Add All File(s) In Folder": the extension and folder boxes answer as a user would.
        fx.platform.inputAnswers << QStringLiteral("txt");
        fx.platform.folderAnswers << output;
        TabTo(QStringLiteral("PushButton1"));
        Press(Qt::Key_Space);
        QCOMPARE(form.Files().Count(), 2);

        TabTo(QStringLiteral("PushButton2"));
        Press(Qt::Key_Space);
        QCOMPARE(fx.platform.BoxTexts(QStringLiteral("message")), QStringList{QStringLiteral("Done.")});
        QCOMPARE(WindowFixture::Read(hit), QByteArray("order 123\r\n\r\nEND"));
        QCOMPARE(WindowFixture::Read(miss), QByteArray("order 456\r\n"));
    }
};

TARNWELL_TEST_CLASS(AccessibilityTest)
#include "AccessibilityTest.moc"
