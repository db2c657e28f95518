// The list's menu from the mouse and the keyboard, the check of which files qualify from the
// window, the marks it leaves, and what the list tells in its tooltips.
#include "TestRegistry.h"
#include "WindowFixture.h"

using namespace tarnwell;
using namespace tarnwell::testing;
using namespace Qt::StringLiterals;

class ListMenuTest : public QObject
{
    Q_OBJECT
private slots:
    // The right button, Shift+F10 and the Menu key open the list's menu; C chooses the check.
    // It shows progress through the run's bar and pointer, marks each entry (the mark's icon is
    // drawn, a file that could not be read says why in its tooltip) and says in one box how many
    // qualify and how many could not be read; the list stays locked while the box is open (Clear
    // and a second check are refused). Yes removes the others; a new condition drops the marks.
    void checkFromTheMenu_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("removeOthers");
        QTest::newRow("Shift+F10, keep the others") << u"Shift+F10"_s << false;
        QTest::newRow("Menu key, remove the others") << u"Menu"_s << true;
        QTest::newRow("right button, keep the others") << u"mouse"_s << false;
    }
    void checkFromTheMenu()
    {
        QFETCH(QString, how);
        QFETCH(bool, removeOthers);
        WindowFixture fx;
        const QString deep = u"a folder with a rather long name/and another one below it/"_s;
        const QStringList files{fx.MakeFile(deep + u"report with the needle.txt"_s, "has the NEE\r\nDLE"),
                                fx.MakeFile(u"plain.txt"_s, "nothing"), fx.Path(u"gone.txt"_s),
                                fx.Path(u"folder.txt"_s)};
        QVERIFY(QDir().mkpath(files.last()));
        Form1 &form = fx.Load();
        form.resize(form.sizeHint());
        form.show();
        QApplication::setActiveWindow(&form);
        QVERIFY(QTest::qWaitForWindowActive(&form));
        fx.Find<QPlainTextEdit>("Text2")->setPlainText(u"needle"_s);
        fx.Find<QComboBox>("Combo1")->setCurrentIndex(0); // "does"
        form.Files().AppendMany(files);
        auto *list = fx.Find<QTreeView>("ListView1");
        QCOMPARE(list->toolTip().section(u'\n', 0, 0), u"4 files listed."_s);
        const QRect firstIcon = list->visualRect(list->model()->index(0, 0)).adjusted(0, 0, -200, 0);
        const QImage unmarked = list->viewport()->grab(firstIcon).toImage();

        QList<int> values, pointers;
        connect(fx.Find<QProgressBar>("ProgressBar1"), &QProgressBar::valueChanged, this, [&](int v) {
            values << v;
            pointers << form.PointerState();
        });
        QStringList items;
        QTimer::singleShot(0, this, [&] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            QVERIFY(menu);
            for (const QAction *action : menu->actions())
                items << action->text() + (action->isEnabled() ? u""_s : u" (off)"_s);
            QTest::keyClick(menu, Qt::Key_C);
        });
        fx.platform.yesNoAnswers << removeOthers;
        fx.platform.onBox = [&](const FakePlatform::Box &) {
            form.PushButton7_Click();
            form.mnuCheck_Click();
        };
        list->setFocus();
        if (how == u"mouse"_s) {
            const QPoint at(5, 5);
            QContextMenuEvent request(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
            QCoreApplication::sendEvent(list->viewport(), &request);
        } else {
            QTest::keyClick(list, how == u"Menu"_s ? Qt::Key_Menu : Qt::Key_F10,
                            how == u"Menu"_s ? Qt::NoModifier : Qt::ShiftModifier);
        }
        QCOMPARE(items, QStringList{u"&Check Which Files Qualify"_s});
        QCOMPARE(values, (QList<int>{25, 50, 75, 100, 0}));
        QCOMPARE(pointers, (QList<int>{kPointerBusy, kPointerBusy, kPointerBusy, kPointerBusy, kPointerDefault}));
        QCOMPARE(fx.platform.boxes.size(), 1);
        QCOMPARE(fx.platform.boxes.first().kind, u"question"_s);
        QCOMPARE(fx.platform.boxes.first().text, u"1 of the 4 listed files qualifies.\n1 could not be read.\n\n"
                                                 "The output folder does not exist, so Start would write nothing.\n\n"
                                                 "Remove the 3 other files from the list?"_s);
        if (removeOthers) {
            QCOMPARE(form.Files().Entries(), QStringList{files.first()});
            QCOMPARE(list->toolTip().section(u'\n', 0, 0), u"1 file listed."_s);
            return;
        }
        QCOMPARE(form.Files().Count(), 4);
        QString kinds;
        for (int row = 0; row < 4; ++row)
            kinds += QString::number(list->model()->index(row, 0).data(kEntryMarkRole).toInt());
        QCOMPARE(kinds, u"1223"_s);
        const QString why = list->model()->index(3, 0).data(Qt::ToolTipRole).toString();
        QVERIFY2(why.startsWith(files.last() + u"\nCould not be read: "_s), qPrintable(why));
        QVERIFY(list->viewport()->grab(firstIcon).toImage() != unmarked);
        if (const QString shot = qEnvironmentVariable("TARNWELL_LIST_SHOT"); !shot.isEmpty())
            QVERIFY(form.grab().save(shot));
        fx.Find<QPlainTextEdit>("Text2")->setPlainText(u"other"_s);
        QCOMPARE(list->model()->index(0, 0).data(kEntryMarkRole).toInt(), 0);
    }
};

TARNWELL_TEST_CLASS(ListMenuTest)
#include "ListMenuTest.moc"
