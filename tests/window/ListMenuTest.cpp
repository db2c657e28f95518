// The list's menu from the mouse and the keyboard, and the check of which files qualify from it.
#include "TestRegistry.h"
#include "WindowFixture.h"

using namespace tarnwell;
using namespace tarnwell::testing;
using namespace Qt::StringLiterals;

class ListMenuTest : public QObject
{
    Q_OBJECT
private slots:
    // The right button, Shift+F10 and the Menu key open the list's menu; C chooses the check. It
    // shows progress through the run's bar and pointer, marks each entry (the icon is drawn; a file
    // that could not be read says why in its tooltip) and says in one box how many qualify and how
    // many could not be read, while the list stays locked (Clear and a second check are refused).
    // Yes removes the others; a new condition drops the marks. The list's tooltip counts the files.
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
        const QStringList files{
            fx.MakeFile(u"a folder with a rather long name/and another one below it/the needle.txt"_s, "NEE\r\nDLE"),
            fx.MakeFile(u"plain.txt"_s, "nothing"), fx.Path(u"gone.txt"_s), fx.Path(u"folder.txt"_s)};
        QVERIFY(QDir().mkpath(files.last()));
        Form1 &form = fx.Load();
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        fx.Find<QPlainTextEdit>("Text2")->setPlainText(u"needle"_s);
        fx.Find<QComboBox>("Combo1")->setCurrentIndex(0); // "does"
        form.Files().AppendMany(files);
        auto *list = fx.Find<QTreeView>("ListView1");
        QCOMPARE(list->toolTip().section(u'\n', 0, 0), u"4 files listed."_s);
        const QRect icon = list->visualRect(list->model()->index(0, 0)).adjusted(0, 0, -200, 0);
        const QImage unmarked = list->viewport()->grab(icon).toImage();
        QStringList items;
        QString atBox; // the bar and the pointer as the box finds them: at rest
        auto *bar = fx.Find<QProgressBar>("ProgressBar1");
        QTimer::singleShot(0, this, [&] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            QVERIFY(menu);
            for (const QAction *action : menu->actions())
                items << action->text() + (action->isEnabled() ? u""_s : u" (off)"_s);
            QTest::keyClick(menu, Qt::Key_C);
        });
        fx.platform.yesNoAnswers << removeOthers;
        fx.platform.onBox = [&](const FakePlatform::Box &) {
            atBox = QString::number(bar->value()) + u'/' + bar->text() + u'/' + QString::number(form.PointerState());
            form.PushButton7_Click();
            form.mnuCheck_Click();
        };
        list->setFocus();
        QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(5, 5), list->viewport()->mapToGlobal(QPoint(5, 5)));
        if (how == u"mouse"_s)
            QCoreApplication::sendEvent(list->viewport(), &click);
        else if (how == u"Menu"_s)
            QTest::keyClick(list, Qt::Key_Menu);
        else
            QTest::keyClick(list, Qt::Key_F10, Qt::ShiftModifier);
        QCOMPARE(items.value(0), u"&Check Which Files Qualify"_s); // the run record's items follow
        QCOMPARE(atBox, u"0/Progress Bar/0"_s);
        QCOMPARE(fx.platform.boxes.size(), 1);
        QCOMPARE(fx.platform.boxes.first().kind + u": "_s + fx.platform.boxes.first().text,
                 u"question: 1 of the 4 listed files qualifies.\n1 could not be read.\n\n"
                 "The output folder does not exist, so Start would write nothing.\n\n"
                 "Remove the 3 other files from the list?"_s);
        if (removeOthers) {
            QCOMPARE(form.Files().Entries(), QStringList{files.first()});
            return;
        }
        const auto mark = [&](int row) { return list->model()->index(row, 0).data(kEntryMarkRole).toInt(); };
        QCOMPARE((QList<int>{mark(0), mark(1), mark(2), mark(3)}), (QList<int>{1, 2, 2, 3}));
        const QString why = list->model()->index(3, 0).data(Qt::ToolTipRole).toString();
        QVERIFY2(why.startsWith(files.last() + u"\nCould not be read: "_s), qPrintable(why));
        QVERIFY(list->viewport()->grab(icon).toImage() != unmarked);
        if (const QString shot = qEnvironmentVariable("TARNWELL_LIST_SHOT"); !shot.isEmpty())
            QVERIFY(form.grab().save(shot));
        fx.Find<QPlainTextEdit>("Text2")->setPlainText(u"other"_s);
        QCOMPARE(mark(0), 0);
    }
};

TARNWELL_TEST_CLASS(ListMenuTest)
#include "ListMenuTest.moc"
