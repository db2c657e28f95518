// The window as laid out and as a screen reader and the keyboard meet it: every control where it
// belongs, with its caption, role and name, and a whole job done with the keyboard alone.
#include "TestRegistry.h"
#include "WindowFixture.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeView>

using namespace tarnwell;
using namespace tarnwell::testing;
using namespace Qt::StringLiterals;

namespace {

QString Focused()
{
    const QWidget *widget = QApplication::focusWidget();
    return widget ? widget->objectName() : u"<nothing>"_s;
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

void Activate(Form1 &form)
{
    form.show();
    QApplication::setActiveWindow(&form);
    QVERIFY(QTest::qWaitForWindowActive(&form));
}

} // namespace

class AccessibilityTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { m_fx.Load(); }

    // Place (in twips, 15 to a pixel), caption, font, and what a screen reader hears: the role
    // and the name (the caption unless given).
    void everyControl_data()
    {
        QTest::addColumn<QString>("container");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("twips");
        QTest::addColumn<QAccessible::Role>("role");
        QTest::addColumn<QString>("name");
        const auto row = [](const char *control, const char *container, const char *caption, QRect twips,
                            QAccessible::Role role, const char *name = nullptr) {
            QTest::newRow(control) << QString::fromLatin1(container) << QString::fromLatin1(caption) << twips << role
                                   << QString::fromLatin1(name ? name : caption);
        };
        using A = QAccessible;
        row("ListView1", "Form1", "", {120, 120, 7800, 1830}, A::Tree, "Text File(s)");
        row("PushButton4", "Form1", "Add Text File(s)", {120, 2040, 3840, 405}, A::Button);
        row("PushButton1", "Form1", "Add All File(s) In Folder", {4080, 2040, 3840, 405}, A::Button);
        row("PushButton7", "Form1", "Clear List", {120, 2550, 3840, 405}, A::Button);
        row("PushButton3", "Form1", "Load Sample/Example Files", {4080, 2550, 3840, 405}, A::Button);
        row("PushButton5", "Form1", "Remove Filenames Containing X", {120, 3060, 3840, 405}, A::Button);
        row("PushButton11", "Form1", "Remove Filenames Not Cont. X", {4080, 3060, 3840, 405}, A::Button);
        row("Frame1", "Form1", "For all files listed above...", {120, 3540, 7800, 4065}, A::Grouping);
        row("Label2", "Frame1", "...append this text to the end of the file...", {240, 300, 3345, 225}, A::StaticText);
        row("Text1", "Frame1", "", {240, 570, 7320, 1395}, A::EditableText, "Text to append");
        row("Label3", "Frame1",
            " ...if this text            xxx                exist at all in the file:", {240, 2130, 4320, 225},
            A::StaticText);
#ifdef Q_OS_UNIX
        row("Combo1", "Frame1", "", {1400, 2070, 1335, 345}, A::ComboBox, "does"); // here its current item
#else
        row("Combo1", "Frame1", "", {1400, 2070, 1335, 345}, A::ComboBox, "Condition: does or does not");
#endif
        row("Text2", "Frame1", "", {240, 2490, 7320, 1395}, A::EditableText, "Condition text");
        row("Frame3", "Form1", "Save Options", {120, 7680, 7800, 1980}, A::Grouping);
        row("Option1", "Frame3", "Edit and save changes to input files directly", {240, 300, 4095, 300},
            A::RadioButton);
        row("Option2", "Frame3",
            "Create new files based on input files and save to this folder:", {240, 650, 7095, 300}, A::RadioButton);
        row("Frame2", "Frame3", "Save Results To This Folder", {600, 990, 6720, 810}, A::Grouping);
        row("Text3", "Frame2", "", {240, 300, 5505, 345}, A::EditableText, "Output folder");
        row("PushButton6", "Frame2", "...", {5880, 300, 600, 345}, A::Button, "Browse for output folder");
        row("PushButton2", "Form1", "Start Appending Text To All Files", {120, 9795, 7800, 405}, A::Button);
        row("ProgressBar1", "Form1", "Progress Bar", {120, 10320, 7800, 405}, A::ProgressBar, "Progress");
    }
    void everyControl()
    {
        QFETCH(QString, container);
        QFETCH(QString, caption);
        QFETCH(QRect, twips);
        QFETCH(QAccessible::Role, role);
        QFETCH(QString, name);
        auto *control = m_fx.form->findChild<QWidget *>(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(control);
        QCOMPARE(control->parentWidget()->objectName(), container);
        const QRect pixels(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15);
        QString shown;
        if (auto *label = qobject_cast<QLabel *>(control)) {
            // A label may grow to its caption, never shrink or move.
            QCOMPARE(control->pos(), pixels.topLeft());
            QCOMPARE(control->height(), pixels.height());
            QVERIFY(control->width() >= std::max(pixels.width(), control->sizeHint().width()));
            shown = label->text();
        } else {
            QCOMPARE(control->geometry(), pixels);
        }
        if (auto *button = qobject_cast<QAbstractButton *>(control))
            shown = button->text();
        else if (auto *frame = qobject_cast<QGroupBox *>(control))
            shown = frame->title();
        else if (auto *bar = qobject_cast<QProgressBar *>(control))
            shown = bar->text();
        QCOMPARE(shown, caption); // no access keys either
        QCOMPARE(control->font().family(), u"Arial"_s);
        QVERIFY(control->font().bold());
        QCOMPARE(control->font().pointSizeF(), control->inherits("QPushButton") ? 11.25 : 9.0);
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(control);
        QVERIFY(accessible);
        QCOMPARE(accessible->role(), role);
        QCOMPARE(accessible->text(QAccessible::Name), name);
    }

    void window_isFixedWhiteAndPlain()
    {
        Form1 &form = *m_fx.form;
        QCOMPARE(form.size(), QSize(536, 723));
        QCOMPARE(form.minimumSize(), form.maximumSize());
        for (QWidget *white :
             QList<QWidget *>{&form, form.Frame1, form.Frame2, form.Frame3, form.Option1, form.Option2})
            QCOMPARE(white->palette().color(QPalette::Window), QColor(Qt::white));
        QCOMPARE(form.Combo1->accessibleName(), u"Condition: does or does not"_s);
        QCOMPARE(form.ListView1->model()->headerData(0, Qt::Horizontal).toString(), u"Text File(s)"_s);
        QCOMPARE(form.ListView1->columnWidth(0), qRound(7000 / 15.0));
        // The combo lies over the gap in the sentence of Label3.
        QVERIFY(form.Label3->geometry().intersects(form.Combo1->geometry()));
        QVERIFY(form.Frame1->children().indexOf(form.Combo1) > form.Frame1->children().indexOf(form.Label3));
        for (QPushButton *button : form.findChildren<QPushButton *>()) // Enter goes to the focused button
            QVERIFY2(!button->isDefault() && !button->autoDefault(), qPrintable(button->objectName()));
    }

    // The save options are one group: an arrow key moves to the other option and chooses it, and
    // the choice is stored as a click stores it; start-up may still leave both unchosen.
    void saveOptions_arrowKeysChooseWithinTheGroup()
    {
        WindowFixture fx;
        fx.Store(u"Option1"_s, u"False"_s);
        fx.Store(u"Option2"_s, u"False"_s);
        Form1 &form = fx.Load();
        Activate(form);
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
            QCOMPARE(fx.Stored(u"Option1"_s), TruthText(form.Option1->isChecked()));
            QCOMPARE(fx.Stored(u"Option2"_s), TruthText(form.Option2->isChecked()));
        }
    }

    void wholeJob_withTheKeyboardAlone()
    {
        WindowFixture fx;
        const QString hit = fx.MakeFile(u"in/hit.txt"_s, "order 123\r\n");
        const QString miss = fx.MakeFile(u"in/miss.txt"_s, "order 456\r\n");
        Form1 &form = fx.Load();
        Activate(form);
        form.ListView1->setFocus();

        // Tab visits every control once, in the designed order, and comes back round; the text
        // boxes pass Tab on.
        const QStringList order = u"ListView1 ProgressBar1 PushButton4 PushButton1 PushButton2 PushButton7 "
                                  "PushButton3 Text1 Text2 PushButton5 PushButton11 Combo1 Option1 Option2 Text3 "
                                  "PushButton6"_s.split(u' ');
        for (qsizetype i = 1; i <= order.size(); ++i) {
            Press(Qt::Key_Tab);
            QCOMPARE(Focused(), order.at(i % order.size()));
        }

        TabTo(u"Text1"_s);
        QTest::keyClicks(QApplication::focusWidget(), u"END"_s);
        Press(Qt::Key_Tab);
        QTest::keyClicks(QApplication::focusWidget(), u"123"_s);
        QCOMPARE(form.Text1->toPlainText(), u"END"_s);
        QCOMPARE(form.Text2->toPlainText(), u"123"_s);

        TabTo(u"Combo1"_s);
        Press(Qt::Key_Down);
        QCOMPARE(form.Combo1->currentText(), u"does not"_s);
        Press(Qt::Key_Up);
        QCOMPARE(form.Combo1->currentText(), u"does"_s);

        // Space chooses an option button, and the other one clears.
        TabTo(u"Option2"_s);
        Press(Qt::Key_Space);
        QVERIFY(form.Option2->isChecked() && !form.Option1->isChecked());
        Press(Qt::Key_Tab, Qt::ShiftModifier);
        QCOMPARE(Focused(), u"Option1"_s);
        Press(Qt::Key_Space);
        QVERIFY(form.Option1->isChecked() && !form.Option2->isChecked());

        // The output folder is checked even for in-place edits.
        const QString output = QDir::toNativeSeparators(fx.dir.filePath(u"in"_s));
        TabTo(u"Text3"_s);
        Press(Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(QApplication::focusWidget(), output);
        QCOMPARE(form.Text3->text(), output);

        // Enter, the keypad's Enter and Space press the focused button. "Add All File(s) In
        // Folder": the boxes answer as a user would.
        fx.platform.inputAnswers << u"txt"_s;
        fx.platform.folderAnswers << output;
        TabTo(u"PushButton1"_s);
        Press(Qt::Key_Enter);
        QCOMPARE(form.Files().Count(), 2);
        TabTo(u"PushButton2"_s);
        Press(Qt::Key_Return);
        QCOMPARE(fx.platform.BoxTexts(u"message"_s), QStringList{u"Done."_s});
        QCOMPARE(WindowFixture::Read(hit), QByteArray("order 123\r\n\r\nEND"));
        QCOMPARE(WindowFixture::Read(miss), QByteArray("order 456\r\n"));
        TabTo(u"PushButton7"_s); // Clear List
        Press(Qt::Key_Space);
        QCOMPARE(form.Files().Count(), 0);
    }

private:
    WindowFixture m_fx; // one window for the read-only checks
};

TARNWELL_TEST_CLASS(AccessibilityTest)
#include "AccessibilityTest.moc"
