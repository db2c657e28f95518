// The list's context menu from the keyboard, the Last Run dialog and the undo, as a user reaches them.
#include "TestRegistry.h"
#include "WindowFixture.h"
#include "window/LastRunDialog.h"

#include <functional>

using namespace tarnwell;
using namespace tarnwell::testing;
using namespace Qt::StringLiterals;

class RunRecordWindowTest : public QObject
{
    Q_OBJECT
private slots:
    // After a run: Shift+F10 and the Menu key open the list's menu; its "Last Run…" shows the run's
    // entries, Tab and Enter reach "Save as CSV…" (saved through the desktop's save dialog) and
    // "Close"; "Undo Last Run…" asks, names the run, and puts every file back.
    void lastRunAndUndo_withTheKeyboardAlone()
    {
        WindowFixture fx;
        const QString a = fx.MakeFile(u"in/a.txt"_s, "alpha"), b = fx.MakeFile(u"in/b.txt"_s, "zzz beta");
        Form1 &form = fx.Load();
        form.Files().AppendMany({a, b});
        fx.Find<QPlainTextEdit>("Text1")->setPlainText(u"TAIL"_s);
        fx.Find<QPlainTextEdit>("Text2")->setPlainText(u"zzz"_s);
        fx.Find<QComboBox>("Combo1")->setCurrentIndex(1);
        fx.Find<QLineEdit>("Text3")->setText(fx.Path(u"in"_s));
        form.PushButton2_Click();
        QCOMPARE(fx.Read(a), QByteArray("alpha\r\nTAIL"));

        form.show();
        QApplication::setActiveWindow(&form);
        QVERIFY(QTest::qWaitForWindowActive(&form));
        auto *list = fx.Find("ListView1");
        // The menu is modal: what to do in it runs once it is open, and the key returns when it closes.
        const auto inMenu = [&](QKeyCombination keys, const std::function<void(QMenu &)> &act) {
            bool opened = false;
            QTimer::singleShot(0, &form, [&] {
                auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
                opened = menu != nullptr && menu->objectName() == u"ListMenu"_s;
                if (opened)
                    act(*menu);
            });
            QApplication::setActiveWindow(&form);
            list->setFocus();
            QTest::keyClick(list, keys.key(), keys.keyboardModifiers());
            return opened;
        };
        QStringList items;
        QVERIFY(inMenu(Qt::SHIFT | Qt::Key_F10, [&](QMenu &menu) {
            for (const QAction *action : menu.actions())
                items << action->text();
            QTest::keyClick(&menu, Qt::Key_Escape);
        }));
        QCOMPARE(items,
                 (QStringList{u"&Check Which Files Qualify"_s, u"&Last Run\u2026"_s, u"&Undo Last Run\u2026"_s}));
        QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);

        const QString csv = fx.dir.filePath(u"run.csv"_s);
        fx.platform.answers << csv;
        int rows = 0;
        QStringList focusedButtons;
        QTimer poll; // acts on the dialog once it is open, then closes it whatever happened
        poll.callOnTimeout([&] {
            auto *dialog = qobject_cast<LastRunDialog *>(QApplication::activeModalWidget());
            if (dialog == nullptr)
                return;
            poll.stop();
            rows = dialog->findChild<QTableWidget *>(u"EntryTable"_s)->rowCount();
            if (const QString shot = qEnvironmentVariable("TARNWELL_LASTRUN_SHOT"); !shot.isEmpty())
                dialog->grab().save(shot);
            // The dialog's own focus: on some desktops it opens before it is the active window.
            const auto focused = [dialog] { return dialog->focusWidget() ? dialog->focusWidget() : dialog; };
            for (const char *name : {"SaveCsvButton", "CloseButton"}) {
                for (int presses = 0; presses < 8 && focused()->objectName() != QLatin1String(name); ++presses)
                    QTest::keyClick(focused(), Qt::Key_Tab);
                focusedButtons << focused()->objectName();
                QTest::keyClick(focused(), Qt::Key_Return);
            }
            if (dialog->isVisible())
                dialog->reject();
        });
        poll.start(10);
        QVERIFY(inMenu(Qt::Key_Menu, [](QMenu &menu) { QTest::keyClick(&menu, Qt::Key_L); }));
        QCOMPARE(rows, 2);
        QCOMPARE(focusedButtons, (QStringList{u"SaveCsvButton"_s, u"CloseButton"_s}));
        QVERIFY(fx.Read(csv).startsWith("\xEF\xBB\xBFPosition,File,Result,Output,Details\r\n1,"));

        fx.platform.yesNoAnswers << true;
        QVERIFY(inMenu(Qt::Key_Menu, [](QMenu &menu) { QTest::keyClick(&menu, Qt::Key_U); }));
        QTRY_COMPARE(fx.platform.BoxTexts(u"message"_s).size(), 2); // "Done." and the undo's result
        QVERIFY(fx.platform.BoxTexts(u"question"_s).value(0).contains(u"1 appended in place"_s));
        QCOMPARE(fx.platform.BoxTexts(u"message"_s).last(), u"Restored 1 of the 1 files the run wrote."_s);
        QCOMPARE(fx.Read(a), QByteArray("alpha"));
        QCOMPARE(fx.Read(b), QByteArray("zzz beta"));
    }
};

TARNWELL_TEST_CLASS(RunRecordWindowTest)
#include "RunRecordWindowTest.moc"
