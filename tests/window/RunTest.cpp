// A whole job from the window, edits made while it runs, failures, the busy rule and the pointer.
#include "TestRegistry.h"
#include "WindowFixture.h"

#include <QComboBox>
#include <QDragEnterEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QUrl>

using namespace tarnwell;
using namespace tarnwell::testing;

namespace {
void MoveOver(QWidget *widget)
{
    QMouseEvent move(QEvent::MouseMove, QPointF(3, 3), widget->mapToGlobal(QPointF(3, 3)), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &move);
}

void PressDelete(QWidget *list)
{
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    QCoreApplication::sendEvent(list, &del);
}
} // namespace

class RunTest : public QObject
{
    Q_OBJECT
private slots:
    // A failing file (a folder under a file's name) gives the error box and the run goes on.
    void wholeJob_fromTheWindow()
    {
        WindowFixture fx;
        Form1 &form = fx.Load();
        const QString a = fx.MakeFile(QStringLiteral("in/a.txt"), "alpha 123");
        const QString b = fx.MakeFile(QStringLiteral("in/b.txt"), "beta\r\n");
        const QString c = fx.MakeFile(QStringLiteral("in/c.txt"), "gamma 1\r\n23");
        const QString d = fx.MakeFile(QStringLiteral("in/d.txt"), "delta");
        const QString e = QDir::toNativeSeparators(fx.dir.filePath(QStringLiteral("in/e.txt")));
        QDir().mkpath(e);
        form.Files().AppendMany({a, b, c, e, d});
        form.Text1->setPlainText(QStringLiteral("first\nsecond"));
        form.Combo1->setCurrentIndex(1); // "does not"
        form.Text2->setPlainText(QStringLiteral("123"));
        QTest::mouseClick(form.Option2, Qt::LeftButton);
        form.Text3->setText(QDir::toNativeSeparators(fx.dir.filePath(QStringLiteral("out"))));
        QDir(fx.dir.path()).mkpath(QStringLiteral("out"));

        // While the last file is being processed the user types a new append text: it applies
        // from there on.
        QList<int> values;
        connect(form.ProgressBar1, &QProgressBar::valueChanged, this, [&](int v) {
            values << v;
            if (v == 100)
                form.Text1->setPlainText(QStringLiteral("new"));
        });
        QTest::mouseClick(form.PushButton2, Qt::LeftButton);

        QCOMPARE(fx.platform.boxes.size(), 2);
        const FakePlatform::Box error = fx.platform.boxes.at(0);
        QCOMPARE(error.title, QStringLiteral("Application Error"));
        QVERIFY2(error.text.contains(QStringLiteral("\r\nin TarnwellProj2017/04/05.Form1.PushButton2_Click at line "))
                     && error.text.contains(QStringLiteral("e.txt")),
                 qPrintable(error.text));
        QCOMPARE(fx.platform.BoxTexts(QStringLiteral("message")), QStringList{QStringLiteral("Done.")});
        QCOMPARE(values, (QList<int>{20, 40, 60, 80, 100, 0}));
        QCOMPARE(form.ProgressBar1->text(), QStringLiteral("Progress Bar"));
        QCOMPARE(form.PointerState(), kPointerDefault);
        const QString out = fx.dir.filePath(QStringLiteral("out/"));
        QCOMPARE(WindowFixture::Read(out + QStringLiteral("b.txt")), QByteArray("beta\r\n\r\nfirst\r\nsecond"));
        QCOMPARE(WindowFixture::Read(out + QStringLiteral("d.txt")), QByteArray("delta\r\nnew"));
        QVERIFY(!QFile::exists(out + QStringLiteral("a.txt")));
        QVERIFY(!QFile::exists(out + QStringLiteral("c.txt")));   // the line break inside 123 does not hide it
        QCOMPARE(WindowFixture::Read(b), QByteArray("beta\r\n")); // inputs untouched
        QCOMPARE(form.Files().Count(), 5);                        // the list stays
    }

    // One lock for every long operation: while it holds, nothing else changes the list or starts
    // long work, whether by key, double click, button or drop.
    void busyRule_nothingElseTouchesTheListDuringALongOperation_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<int>("ownPrompts"); // input boxes the operation itself shows
        QTest::newRow("run") << "run" << 0;
        QTest::newRow("filter") << "filter" << 1;
        QTest::newRow("folder scan") << "scan" << 1;
        QTest::newRow("drop") << "drop" << 0;
    }
    void busyRule_nothingElseTouchesTheListDuringALongOperation()
    {
        QFETCH(QString, operation);
        QFETCH(int, ownPrompts);
        WindowFixture fx;
        Form1 &form = fx.Load();
        QStringList files;
        for (int i = 1; i <= 4; ++i)
            files << fx.MakeFile(QStringLiteral("b%1.txt").arg(i), "x");
        form.Files().AppendMany(files);
        form.Combo1->setCurrentIndex(0);
        form.Text2->setPlainText(QStringLiteral("x"));
        form.Text3->setText(fx.dir.path());
        const QString extra = fx.MakeFile(QStringLiteral("extra.txt"), "x");
        const QString empty = QDir::toNativeSeparators(fx.dir.filePath(QStringLiteral("empty")));
        QDir().mkpath(empty);

        // Runs at the operation's first turn of the message loop.
        bool lockedThen = false;
        QTimer::singleShot(0, &form, [&] {
            lockedThen = form.ListLocked();
            form.ListView1->setCurrentIndex(form.Files().index(0));
            PressDelete(form.ListView1);
            QMouseEvent twice(QEvent::MouseButtonDblClick, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton,
                              Qt::NoModifier);
            QCoreApplication::sendEvent(form.ListView1->viewport(), &twice);
            form.PushButton7_Click(); // Clear
            form.PushButton2_Click(); // a start
            form.PushButton5_Click(); // a filter would ask first
            form.PushButton1_Click(); // so would a scan
            form.PushButton3_Click(); // samples
            form.PushButton4_Click(); // the file dialog
            form.DropPaths({extra});
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(extra)});
            QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(form.ListView1->viewport(), &enter);
            if (enter.isAccepted())
                form.Files().Append(QStringLiteral("<drag accepted>"));
        });
        if (operation == QLatin1String("run")) {
            form.PushButton2_Click();
        } else if (operation == QLatin1String("filter")) {
            fx.platform.inputAnswers << QStringLiteral(".txt"); // every entry holds it: nothing goes
            form.PushButton11_Click();
        } else if (operation == QLatin1String("scan")) {
            fx.platform.inputAnswers << QStringLiteral("none");
            fx.platform.folderAnswers << empty;
            form.PushButton1_Click();
        } else {
            form.DropPaths({empty});
        }
        QVERIFY(lockedThen);
        QCOMPARE(form.Files().Entries(), files);
        QCOMPARE(fx.platform.inputPrompts.size(), ownPrompts);
        QVERIFY(fx.platform.fileDialogTitle.isEmpty());
        QVERIFY(fx.platform.BoxTexts(QStringLiteral("question")).isEmpty());
        QCOMPARE(form.PointerState(), kPointerDefault);
        const QByteArray expected = operation == QLatin1String("run") ? "x\r\n" : "x";
        for (const QString &file : files)
            QCOMPARE(WindowFixture::Read(file), expected); // a run appends to each file once
        // Once the operation is over the list is the user's again: Delete and a double click remove
        // the selected entry, and nothing without a selection.
        QVERIFY(!form.ListLocked());
        form.ListView1->clearSelection();
        PressDelete(form.ListView1);
        QCOMPARE(form.Files().Count(), 4);
        form.ListView1->setCurrentIndex(form.Files().index(1));
        PressDelete(form.ListView1);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.ListView1->setCurrentIndex(form.Files().index(0));
        QTest::mouseDClick(form.ListView1->viewport(), Qt::LeftButton, Qt::NoModifier,
                           form.ListView1->visualRect(form.Files().index(0)).center());
        QCOMPARE(form.Files().Entries(), (QStringList{files.at(2), files.at(3)}));
    }

    // A move over a command button asks for the hand, over the window, a frame, a big text box or
    // the list for the arrow; other controls leave the pointer alone, and so does every move
    // while the pointer is busy.
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
        for (const auto &[widgets, before, after] :
             {std::tuple(hands, kPointerDefault, kPointerHand), std::tuple(plain, kPointerHand, kPointerDefault),
              std::tuple(hands + plain, kPointerBusy, kPointerBusy)}) {
            for (QWidget *widget : widgets) {
                form.SetPointerState(before);
                MoveOver(widget);
                QVERIFY2(form.PointerState() == after, qPrintable(widget->objectName()));
            }
        }
        form.SetPointerState(kPointerHand);
        for (QWidget *widget : QList<QWidget *>{form.Combo1, form.PushButton6, form.Label3, form.ProgressBar1})
            MoveOver(widget);
        QCOMPARE(form.PointerState(), kPointerHand);
    }

    void closing_endsTheProcess()
    {
        WindowFixture fx;
        Form1 &form = fx.Load();
        form.show();
        form.close();
        QCOMPARE(fx.platform.endProcessCalls, 1);
    }
};

TARNWELL_TEST_CLASS(RunTest)
#include "RunTest.moc"
