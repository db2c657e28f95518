// The window's layout: every control where it belongs, with its caption, and the tab order.
#include "TestRegistry.h"
#include "WindowFixture.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QTest>
#include <QTreeView>

using namespace tarnwell;
using namespace tarnwell::testing;

class LayoutTest : public QObject
{
    Q_OBJECT
private slots:
    void controls_matchTheDesign_data()
    {
        QTest::addColumn<QString>("container");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("twips");
        const auto row = [](const char *name, const char *container, const char *caption, int l, int t, int w, int h) {
            QTest::newRow(name) << QString::fromLatin1(container) << QString::fromLatin1(caption) << QRect(l, t, w, h);
        };
        row("ListView1", "Form1", "", 120, 120, 7800, 1830);
        row("PushButton4", "Form1", "Add Text File(s)", 120, 2040, 3840, 405);
        row("PushButton1", "Form1", "Add All File(s) In Folder", 4080, 2040, 3840, 405);
        row("PushButton7", "Form1", "Clear List", 120, 2550, 3840, 405);
        row("PushButton3", "Form1", "Load Sample/Example Files", 4080, 2550, 3840, 405);
        row("PushButton5", "Form1", "Remove Filenames Containing X", 120, 3060, 3840, 405);
        row("PushButton11", "Form1", "Remove Filenames Not Cont. X", 4080, 3060, 3840, 405);
        row("Frame1", "Form1", "For all files listed above...", 120, 3540, 7800, 4065);
        row("Label2", "Frame1", "...append this text to the end of the file...", 240, 300, 3345, 225);
        row("Text1", "Frame1", "", 240, 570, 7320, 1395);
        row("Label3", "Frame1", " ...if this text            xxx                exist at all in the file:", 240, 2130,
            4320, 225);
        row("Combo1", "Frame1", "", 1400, 2070, 1335, 345);
        row("Text2", "Frame1", "", 240, 2490, 7320, 1395);
        row("Frame3", "Form1", "Save Options", 120, 7680, 7800, 1980);
        row("Option1", "Frame3", "Edit and save changes to input files directly", 240, 300, 4095, 300);
        row("Option2", "Frame3", "Create new files based on input files and save to this folder:", 240, 650, 7095, 300);
        row("Frame2", "Frame3", "Save Results To This Folder", 600, 990, 6720, 810);
        row("Text3", "Frame2", "", 240, 300, 5505, 345);
        row("PushButton6", "Frame2", "...", 5880, 300, 600, 345);
        row("PushButton2", "Form1", "Start Appending Text To All Files", 120, 9795, 7800, 405);
        row("ProgressBar1", "Form1", "Progress Bar", 120, 10320, 7800, 405);
    }
    void controls_matchTheDesign()
    {
        QFETCH(QString, container);
        QFETCH(QString, caption);
        QFETCH(QRect, twips);
        WindowFixture fx;
        Form1 &form = fx.Load();
        auto *control = form.findChild<QWidget *>(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(control);
        QCOMPARE(control->parentWidget()->objectName(), container);
        const QRect pixels(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15);
        if (control->inherits("QLabel")) {
            // A label may grow to its caption, never shrink or move.
            QCOMPARE(control->pos(), pixels.topLeft());
            QCOMPARE(control->height(), pixels.height());
            QVERIFY(control->width() >= pixels.width());
            QVERIFY(control->width() >= control->sizeHint().width());
        } else {
            QCOMPARE(control->geometry(), pixels);
        }
        QString shown;
        if (auto *button = qobject_cast<QAbstractButton *>(control))
            shown = button->text();
        else if (auto *frame = qobject_cast<QGroupBox *>(control))
            shown = frame->title();
        else if (auto *label = qobject_cast<QLabel *>(control))
            shown = label->text();
        else if (auto *bar = qobject_cast<QProgressBar *>(control))
            shown = bar->text();
        QCOMPARE(shown, caption);
        QVERIFY(!shown.contains(QLatin1Char('&'))); // no access keys
        const bool isButton = control->inherits("QPushButton");
        QCOMPARE(control->font().family(), QStringLiteral("Arial"));
        QVERIFY(control->font().bold());
        QCOMPARE(control->font().pointSizeF(), isButton ? 11.25 : 9.0);
    }

    void window_isFixedWhiteAndHasOneListColumn()
    {
        WindowFixture fx;
        Form1 &form = fx.Load();
        QCOMPARE(form.size(), QSize(536, 723));
        QCOMPARE(form.minimumSize(), form.maximumSize());
        QVERIFY(form.windowFlags() & Qt::WindowMinimizeButtonHint);
        QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));
        for (QWidget *white :
             QList<QWidget *>{&form, form.Frame1, form.Frame2, form.Frame3, form.Option1, form.Option2})
            QCOMPARE(white->palette().color(QPalette::Window), QColor(Qt::white));
        QCOMPARE(form.Combo1->count(), 2);
        QCOMPARE(form.Combo1->itemText(1), QStringLiteral("does not"));
        QCOMPARE(form.ListView1->model()->columnCount(), 1);
        QCOMPARE(form.ListView1->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Text File(s)"));
        QCOMPARE(form.ListView1->columnWidth(0), qRound(7000 / 15.0));
        QCOMPARE(form.Text1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(form.Text2->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        // The combo lies over the gap in the sentence of Label3.
        QVERIFY(form.Label3->geometry().intersects(form.Combo1->geometry()));
        QVERIFY(form.Frame1->children().indexOf(form.Combo1) > form.Frame1->children().indexOf(form.Label3));
    }

    void tabOrder_followsTheDesign()
    {
        WindowFixture fx;
        Form1 &form = fx.Load();
        const QStringList expected{
            QStringLiteral("ListView1"),   QStringLiteral("ProgressBar1"), QStringLiteral("PushButton4"),
            QStringLiteral("PushButton1"), QStringLiteral("PushButton2"),  QStringLiteral("PushButton7"),
            QStringLiteral("PushButton3"), QStringLiteral("Text1"),        QStringLiteral("Text2"),
            QStringLiteral("PushButton5"), QStringLiteral("PushButton11"), QStringLiteral("Combo1"),
            QStringLiteral("Option1"),     QStringLiteral("Option2"),      QStringLiteral("Text3"),
            QStringLiteral("PushButton6")};
        QStringList actual{form.ListView1->objectName()};
        for (QWidget *widget = form.ListView1->nextInFocusChain(); widget != form.ListView1;
             widget = widget->nextInFocusChain()) {
            if (widget->focusPolicy() & Qt::TabFocus && expected.contains(widget->objectName()))
                actual << widget->objectName();
        }
        QCOMPARE(actual, expected);
    }
};

TARNWELL_TEST_CLASS(LayoutTest)
#include "LayoutTest.moc"
