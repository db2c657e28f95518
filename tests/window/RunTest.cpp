// A whole job from the window, edits made while it runs, failures, the busy rule and the pointer.
#include "TestRegistry.h"
#include "WindowFixture.h"

using namespace tarnwell;
using namespace tarnwell::testing;
using namespace Qt::StringLiterals;

namespace {
void Send(QWidget *widget, QEvent::Type type, Qt::MouseButton button = Qt::NoButton)
{
    QMouseEvent event(type, QPointF(3, 3), widget->mapToGlobal(QPointF(3, 3)), button, button, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
}
} // namespace

class RunTest : public QObject
{
    Q_OBJECT
private slots:
    // New files for those that do not hold the condition text (a line break inside it does not
    // hide it); a failing file (a folder under a file's name) gives the error box and the run
    // goes on; an append text typed while the last file is processed applies from there on.
    void wholeJob_fromTheWindow()
    {
        WindowFixture fx;
        Form1 &form = fx.Load();
        const QString b = fx.MakeFile(u"in/b.txt"_s, "beta\r\n");
        QDir().mkpath(fx.Path(u"in/e.txt"_s));
        QDir().mkpath(fx.Path(u"out"_s));
        form.Files().AppendMany({fx.MakeFile(u"in/a.txt"_s, "alpha 123"), b,
                                 fx.MakeFile(u"in/c.txt"_s, "gamma 1\r\n23"), fx.Path(u"in/e.txt"_s),
                                 fx.MakeFile(u"in/d.txt"_s, "delta")});
        form.Text1->setPlainText(u"first\nsecond"_s);
        form.Combo1->setCurrentIndex(1); // "does not"
        form.Text2->setPlainText(u"123"_s);
        QTest::mouseClick(form.Option2, Qt::LeftButton);
        form.Text3->setText(fx.Path(u"out"_s));
        QList<int> values;
        connect(form.ProgressBar1, &QProgressBar::valueChanged, this, [&](int v) {
            values << v;
            if (v == 100)
                form.Text1->setPlainText(u"new"_s);
        });
        QTest::mouseClick(form.PushButton2, Qt::LeftButton);

        QCOMPARE(fx.platform.boxes.size(), 2);
        QCOMPARE(fx.platform.BoxTexts(u"warning"_s).filter(u"e.txt"_s).filter(u"PushButton2_Click at line"_s).size(),
                 1);
        QCOMPARE(fx.platform.BoxTexts(u"message"_s), QStringList{u"Done."_s});
        QCOMPARE(values, (QList<int>{20, 40, 60, 80, 100, 0}));
        QCOMPARE(form.ProgressBar1->text(), u"Progress Bar"_s);
        QCOMPARE(form.PointerState(), kPointerDefault);
        QCOMPARE(QDir(fx.Path(u"out"_s)).entryList(QDir::Files), (QStringList{u"b.txt"_s, u"d.txt"_s}));
        QCOMPARE(WindowFixture::Read(fx.Path(u"out/b.txt"_s)), QByteArray("beta\r\n\r\nfirst\r\nsecond"));
        QCOMPARE(WindowFixture::Read(fx.Path(u"out/d.txt"_s)), QByteArray("delta\r\nnew"));
        QCOMPARE(WindowFixture::Read(b), QByteArray("beta\r\n")); // inputs untouched
        QCOMPARE(form.Files().Count(), 5);                        // the list stays
    }

    // One lock for every long operation: while it holds, nothing else changes the list or starts
    // long work, whether by key, double click, button or drop.
    void busyRule_nothingElseTouchesTheListDuringALongOperation_data()
    {
        QTest::addColumn<QString>("operation");
        for (const char *operation : {"run", "filter", "scan", "drop"})
            QTest::newRow(operation) << QString::fromLatin1(operation);
    }
    void busyRule_nothingElseTouchesTheListDuringALongOperation()
    {
        QFETCH(QString, operation);
        WindowFixture fx;
        Form1 &form = fx.Load();
        QStringList files;
        for (int i = 1; i <= 4; ++i)
            files << fx.MakeFile(u"b%1.txt"_s.arg(i), "x");
        form.Files().AppendMany(files);
        form.Text2->setPlainText(u"x"_s);
        form.Text3->setText(fx.dir.path());
        const QString extra = fx.MakeFile(u"extra.txt"_s, "x");
        const QString empty = fx.Path(u"empty"_s);
        QDir().mkpath(empty);

        // Runs at the operation's first turn of the message loop.
        bool lockedThen = false;
        QTimer::singleShot(0, &form, [&] {
            lockedThen = form.ListLocked();
            form.ListView1->setCurrentIndex(form.Files().index(0));
            QTest::keyClick(form.ListView1, Qt::Key_Delete);
            Send(form.ListView1->viewport(), QEvent::MouseButtonDblClick, Qt::LeftButton);
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
                form.Files().Append(u"<drag accepted>"_s);
        });
        if (operation == u"run"_s) {
            form.PushButton2_Click();
        } else if (operation == u"filter"_s) {
            fx.platform.answers << u".txt"_s; // every entry holds it: nothing goes
            form.PushButton11_Click();
        } else if (operation == u"scan"_s) {
            fx.platform.answers << u"none"_s << empty;
            form.PushButton1_Click();
        } else {
            form.DropPaths({empty});
        }
        QVERIFY(lockedThen);
        QCOMPARE(form.Files().Entries(), files);
        // Only the operation's own questions were asked.
        QCOMPARE(fx.platform.calls.size(), operation == u"filter"_s ? 1 : operation == u"scan"_s ? 2 : 0);
        QCOMPARE(fx.platform.boxes.size(), operation == u"run"_s ? 1 : 0); // "Done."
        QCOMPARE(form.PointerState(), kPointerDefault);
        for (const QString &file : files) // a run appends to each file once
            QCOMPARE(WindowFixture::Read(file), QByteArray(operation == u"run"_s ? "x\r\n" : "x"));
        // Once the operation is over the list is the user's again: Delete and a double click remove
        // the selected entry, and nothing without a selection.
        QVERIFY(!form.ListLocked());
        form.ListView1->clearSelection();
        QTest::keyClick(form.ListView1, Qt::Key_Delete);
        QCOMPARE(form.Files().Count(), 4);
        form.ListView1->setCurrentIndex(form.Files().index(1));
        QTest::keyClick(form.ListView1, Qt::Key_Delete);
        form.ListView1->setCurrentIndex(form.Files().index(0));
        Send(form.ListView1->viewport(), QEvent::MouseButtonDblClick, Qt::LeftButton);
        QCOMPARE(form.Files().Entries(), files.mid(2));
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
        QList<QWidget *> plain{&form, form.Frame1, form.Frame2, form.Frame3};
        for (const QAbstractScrollArea *area : QList<QAbstractScrollArea *>{form.Text1, form.Text2, form.ListView1})
            plain << area->viewport();
        const QList<QWidget *> others{form.Combo1, form.PushButton6, form.Label3, form.ProgressBar1};
        for (const auto &[widgets, before, after] :
             {std::tuple(hands, kPointerDefault, kPointerHand), std::tuple(plain, kPointerHand, kPointerDefault),
              std::tuple(hands + plain, kPointerBusy, kPointerBusy), std::tuple(others, kPointerHand, kPointerHand)}) {
            for (QWidget *widget : widgets) {
                form.SetPointerState(before);
                Send(widget, QEvent::MouseMove);
                QVERIFY2(form.PointerState() == after, qPrintable(widget->objectName()));
            }
        }
    }
};

TARNWELL_TEST_CLASS(RunTest)
#include "RunTest.moc"
