// The window as laid out and as a screen reader meets it: every control where it belongs, with its
// caption, font, role and name. (The keyboard's part is a whole job, in RunTest.)
#include "TestRegistry.h"
#include "WindowFixture.h"

using namespace tarnwell;
using namespace tarnwell::testing;
using namespace Qt::StringLiterals;

class AccessibilityTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { m_fx.Load(); }

    // The container, the caption, and what a screen reader hears: the role and the name (the
    // caption unless given).
    void everyControl_data()
    {
        QTest::addColumn<QString>("container");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QAccessible::Role>("role");
        QTest::addColumn<QString>("name");
        const auto row = [](const char *control, const char *container, const char *caption, QAccessible::Role role,
                            const char *name = nullptr) {
            QTest::newRow(control) << QString::fromLatin1(container) << QString::fromLatin1(caption) << role
                                   << QString::fromLatin1(name ? name : caption);
        };
        using A = QAccessible;
        row("ListView1", "Form1", "", A::Tree, "Text File(s)");
        row("PushButton4", "Form1", "Add Text File(s)", A::Button);
        row("PushButton1", "Form1", "Add All File(s) In Folder", A::Button);
        row("PushButton7", "Form1", "Clear List", A::Button);
        row("PushButton3", "Form1", "Load Sample/Example Files", A::Button);
        row("PushButton5", "Form1", "Remove Filenames Containing X", A::Button);
        row("PushButton11", "Form1", "Remove Filenames Not Cont. X", A::Button);
        row("Frame1", "Form1", "For all files listed above...", A::Grouping);
        row("Label2", "Frame1", "...append this text to the end of the file...", A::StaticText);
        row("Text1", "Frame1", "", A::EditableText, "Text to append");
        row("Label3", "Frame1",
            " ...if this text            xxx                exist at all in the file:", A::StaticText);
#ifdef Q_OS_UNIX
        row("Combo1", "Frame1", "", A::ComboBox, "does"); // here its current item
#else
        row("Combo1", "Frame1", "", A::ComboBox, "Condition: does or does not");
#endif
        row("Text2", "Frame1", "", A::EditableText, "Condition text");
        row("Frame3", "Form1", "Save Options", A::Grouping);
        row("Option1", "Frame3", "Edit and save changes to input files directly", A::RadioButton);
        row("Option2", "Frame3", "Create new files based on input files and save to this folder:", A::RadioButton);
        row("Frame2", "Frame3", "Save Results To This Folder", A::Grouping);
        row("Text3", "Frame2", "", A::EditableText, "Output folder");
        row("PushButton6", "Frame2", "...", A::Button, "Browse for output folder");
        row("PushButton2", "Form1", "Start Appending Text To All Files", A::Button);
        row("ProgressBar1", "Form1", "Progress Bar", A::ProgressBar, "Progress");
    }
    void everyControl()
    {
        QFETCH(QString, container);
        QFETCH(QString, caption);
        QFETCH(QAccessible::Role, role);
        QFETCH(QString, name);
        auto *control = m_fx.form->findChild<QWidget *>(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(control);
        QCOMPARE(control->parentWidget()->objectName(), container);
        QVERIFY(control->parentWidget()->rect().contains(control->geometry()));
        // Clear of the controls beside it, but for the combo over the gap in Label3's sentence.
        for (const QWidget *other : control->parentWidget()->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            if (other != control && other->geometry().intersects(control->geometry()))
                QCOMPARE(other->objectName() + control->objectName(),
                         control == m_fx.Find("Combo1") ? u"Label3Combo1"_s : u"Combo1Label3"_s);
        // A frame's title, the text of a label, button or bar; a text box has no caption.
        const char *property = control->inherits("QGroupBox") ? "title" : "text";
        const QString shown = control->inherits("QLineEdit") ? QString() : control->property(property).toString();
        QVERIFY(!control->inherits("QLabel") || control->width() >= control->sizeHint().width()); // grown to fit
        QCOMPARE(shown, caption); // no access keys either
        QCOMPARE(control->font().family(), u"Arial"_s);
        QVERIFY(control->font().bold());
        QCOMPARE(control->font().pointSizeF(), control->inherits("QPushButton") ? 11.25 : 9.0);
        const QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(control);
        QVERIFY(accessible);
        QCOMPARE(accessible->role(), role);
        QCOMPARE(accessible->text(QAccessible::Name), name);
    }

    void window_isFixedWhiteAndPlain()
    {
        Form1 &form = *m_fx.form;
        QCOMPARE(form.minimumSize(), form.maximumSize());
        QList<QWidget *> parts{&form};
        for (const char *name : {"Frame1", "Frame2", "Frame3", "Option1", "Option2"})
            parts << m_fx.Find(name);
        for (QWidget *part : std::as_const(parts))
            QCOMPARE(part->palette().color(QPalette::Window), QColor(Qt::white));
        QCOMPARE(m_fx.Find<QTreeView>("ListView1")->model()->headerData(0, Qt::Horizontal).toString(),
                 u"Text File(s)"_s);
        const QObjectList inFrame1 = m_fx.Find("Frame1")->children();
        QVERIFY(inFrame1.indexOf(m_fx.Find("Combo1")) > inFrame1.indexOf(m_fx.Find("Label3")));
    }

private:
    WindowFixture m_fx; // one window for the read-only checks
};

TARNWELL_TEST_CLASS(AccessibilityTest)
#include "AccessibilityTest.moc"
