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
    // What a screen reader hears of every control of the layout: its role and its name.
    void everyControl_hasItsRoleAndName_data()
    {
        QTest::addColumn<QAccessible::Role>("role");
        QTest::addColumn<QString>("name");
        const auto row = [](const char *control, QAccessible::Role role, const char *name) {
            QTest::newRow(control) << role << QString::fromUtf8(name);
        };
        row("ListView1", QAccessible::Tree, "Text File(s)");
        row("PushButton4", QAccessible::Button, "Add Text File(s)");
        row("PushButton1", QAccessible::Button, "Add All File(s) In Folder");
        row("PushButton7", QAccessible::Button, "Clear List");
        row("PushButton3", QAccessible::Button, "Load Sample/Example Files");
        row("PushButton5", QAccessible::Button, "Remove Filenames Containing X");
        row("PushButton11", QAccessible::Button, "Remove Filenames Not Cont. X");
        row("Frame1", QAccessible::Grouping, "For all files listed above...");
        row("Label2", QAccessible::StaticText, "...append this text to the end of the file...");
        row("Text1", QAccessible::EditableText, "Text to append");
        row("Label3", QAccessible::StaticText,
            " ...if this text            xxx                exist at all in the file:");
#ifdef Q_OS_UNIX
        row("Combo1", QAccessible::ComboBox, "does"); // a combo's name here is its current item
#else
        row("Combo1", QAccessible::ComboBox, "Condition: does or does not");
#endif
        row("Text2", QAccessible::EditableText, "Condition text");
        row("Frame3", QAccessible::Grouping, "Save Options");
        row("Option1", QAccessible::RadioButton, "Edit and save changes to input files directly");
        row("Option2", QAccessible::RadioButton, "Create new files based on input files and save to this folder:");
        row("Frame2", QAccessible::Grouping, "Save Results To This Folder");
        row("Text3", QAccessible::EditableText, "Output folder");
        row("PushButton6", QAccessible::Button, "Browse for output folder");
        row("PushButton2", QAccessible::Button, "Start Appending Text To All Files");
        row("ProgressBar1", QAccessible::ProgressBar, "Progress");
    }
    void everyControl_hasItsRoleAndName()
    {
        QFETCH(QAccessible::Role, role);
        QFETCH(QString, name);
        WindowFixture fx;
        Form1 &form = fx.Load();
        auto *control = form.findChild<QWidget *>(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(control);
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(control);
        QVERIFY(accessible);
        QCOMPARE(accessible->role(), role);
        QCOMPARE(accessible->text(QAccessible::Name), name);
        QCOMPARE(form.Combo1->accessibleName(), QStringLiteral("Condition: does or does not"));
    }

    // The save options are one group: an arrow key moves to the other option and chooses it, and
    // the choice is stored as a click stores it; start-up may still leave both unchosen.
    void saveOptions_arrowKeysChooseWithinTheGroup()
    {
        WindowFixture fx;
        fx.Store(QStringLiteral("Option1"), QStringLiteral("False"));
        fx.Store(QStringLiteral("Option2"), QStringLiteral("False"));
        Form1 &form = fx.Load();
        QVERIFY(!form.Option1->isChecked() && !form.Option2->isChecked());
        form.show();
        QApplication::setActiveWindow(&form);
        QVERIFY(QTest::qWaitForWindowActive(&form));
        form.Option1->setFocus();
        QVERIFY(!form.Option1->isChecked() && !form.Option2->isChecked()); // focus alone chooses nothing
        const QList<std::pair<Qt::Key, QRadioButton *>> presses{{Qt::Key_Down, form.Option2},
                                                                {Qt::Key_Up, form.Option1},
                                                                {Qt::Key_Right, form.Option2},
                                                                {Qt::Key_Right, form.Option1},
                                                                {Qt::Key_Left, form.Option2}};
        for (const auto &[key, chosen] : presses) {
            Press(key);
            QCOMPARE(Focused(), chosen->objectName());
            QVERIFY(chosen->isChecked());
            QCOMPARE(form.Option1->isChecked(), !form.Option2->isChecked());
            QCOMPARE(fx.Stored(QStringLiteral("Option1")), TruthText(form.Option1->isChecked()));
            QCOMPARE(fx.Stored(QStringLiteral("Option2")), TruthText(form.Option2->isChecked()));
        }
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

        // Enter, the keypad's Enter and Space press the focused button; none is the window's
        // default. "Add All File(s) In Folder": the boxes answer as a user would.
        for (QPushButton *button : form.findChildren<QPushButton *>())
            QVERIFY2(!button->isDefault() && !button->autoDefault(), qPrintable(button->objectName()));
        fx.platform.inputAnswers << QStringLiteral("txt");
        fx.platform.folderAnswers << output;
        TabTo(QStringLiteral("PushButton1"));
        Press(Qt::Key_Enter);
        QCOMPARE(form.Files().Count(), 2);

        TabTo(QStringLiteral("PushButton2"));
        Press(Qt::Key_Return);
        QCOMPARE(fx.platform.BoxTexts(QStringLiteral("message")), QStringList{QStringLiteral("Done.")});
        QCOMPARE(WindowFixture::Read(hit), QByteArray("order 123\r\n\r\nEND"));
        QCOMPARE(WindowFixture::Read(miss), QByteArray("order 456\r\n"));

        TabTo(QStringLiteral("PushButton7")); // Clear List
        Press(Qt::Key_Space);
        QCOMPARE(form.Files().Count(), 0);
    }
};

TARNWELL_TEST_CLASS(AccessibilityTest)
#include "AccessibilityTest.moc"
