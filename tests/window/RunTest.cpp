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
    // A whole job with the keyboard alone. Tab visits every control once, in the designed order,
    // and comes back round; the text boxes pass it on. The save options are one group: an arrow
    // key moves to the other option and chooses it; each choice is stored at once, as is the
    // condition's (the folder never is). Enter, the keypad's Enter and Space press the focused
    // button. The run makes new files for those without the condition text (a line break inside
    // it does not hide it); a file that became a folder since it was listed gives the error box
    // and the run goes on; an append text typed while that box is open applies from the next file
    // on. Closing the window ends the process.
    void wholeJob_withTheKeyboardAlone()
    {
        WindowFixture fx;
        fx.MakeFile(u"in/b.txt"_s, "beta\r\n");
        fx.MakeFile(u"in/a.txt"_s, "alpha 123");
        fx.MakeFile(u"in/c.txt"_s, "");
        fx.MakeFile(u"in/d.TXT"_s, "gamma 1\r\n23");
        fx.MakeFile(u"in/f.doc"_s, "delta");
        fx.platform.pickedFiles << PickedFiles{{fx.MakeFile(u"e.txt"_s, "delta")}, false};
        QDir().mkpath(fx.Path(u"out"_s));
        Form1 &form = fx.Load();
        form.show();
        QApplication::setActiveWindow(&form);
        QVERIFY(QTest::qWaitForWindowActive(&form));
        const auto focused = [] {
            return QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString();
        };
        const auto press = [](Qt::Key key) { QTest::keyClick(QApplication::focusWidget(), key); };
        const auto tabTo = [&](const QString &name) { // a control that the tab order never reaches fails
            for (int presses = 0; presses < 20 && focused() != name; ++presses)
                press(Qt::Key_Tab);
            QCOMPARE(focused(), name);
        };
        fx.Find("ListView1")->setFocus();
        const QStringList order =
            u"ListView1 ProgressBar1 PushButton4 PushButton1 PushButton2 PushButton7 PushButton3 "
            "Text1 Text2 PushButton5 PushButton11 Combo1 Option1 Option2 Text3 PushButton6"_s.split(u' ');
        for (qsizetype i = 1; i <= order.size(); ++i) {
            press(Qt::Key_Tab);
            QCOMPARE(focused(), order.at(i % order.size()));
        }

        tabTo(u"Text1"_s);
        QTest::keyClicks(QApplication::focusWidget(), u"first"_s);
        press(Qt::Key_Return);
        QTest::keyClicks(QApplication::focusWidget(), u"second"_s);
        press(Qt::Key_Tab);
        QTest::keyClicks(QApplication::focusWidget(), u"123"_s);
        tabTo(u"Combo1"_s);
        press(Qt::Key_Down); // "does not"
        tabTo(u"Option1"_s);
        const auto *option1 = fx.Find<QRadioButton>("Option1");
        const auto *option2 = fx.Find<QRadioButton>("Option2");
        const QList<Qt::Key> keys{Qt::Key_Space, Qt::Key_Down, Qt::Key_Up, Qt::Key_Right, Qt::Key_Right, Qt::Key_Left};
        for (qsizetype i = 0; i < keys.size(); ++i) {
            const bool first = i % 2 == 0; // Space chooses the focused option, each arrow the other one
            press(keys.at(i));
            QCOMPARE(focused(), first ? u"Option1"_s : u"Option2"_s);
            QVERIFY(option1->isChecked() == first && option2->isChecked() == !first);
            QCOMPARE(fx.Stored(u"Option1"_s) + u'|' + fx.Stored(u"Option2"_s),
                     TruthText(first) + u'|' + TruthText(!first));
        }
        tabTo(u"Text3"_s);
        fx.Find<QLineEdit>("Text3")->selectAll();
        QTest::keyClicks(QApplication::focusWidget(), fx.Path(u"out"_s));
        QCOMPARE(fx.Stored(u"Combo1"_s) + u'|' + fx.Stored(u"Text3"_s), u"1|<absent>"_s);

        fx.platform.answers << u"<default>"_s << fx.Path(u"in"_s);
        tabTo(u"PushButton1"_s); // Add All File(s) In Folder
        press(Qt::Key_Enter);
        tabTo(u"PushButton4"_s); // Add Text File(s): the last one
        press(Qt::Key_Return);
        QCOMPARE(form.Files().Count(), 5);
        QVERIFY(QFile::remove(fx.Path(u"in/c.txt"_s)) && QDir().mkpath(fx.Path(u"in/c.txt"_s)));
        QList<int> values;
        QStringList shownAtBoxes; // a box sees the bar and the pointer up to date
        auto *progress = fx.Find<QProgressBar>("ProgressBar1");
        auto *text1 = fx.Find<QPlainTextEdit>("Text1");
        connect(progress, &QProgressBar::valueChanged, this, [&](int v) { values << v; });
        fx.platform.onBox = [&](const FakePlatform::Box &) {
            shownAtBoxes << u"%1 %2 %3"_s.arg(progress->value()).arg(progress->text()).arg(form.PointerState());
            text1->setPlainText(u"new"_s);
        };
        tabTo(u"PushButton2"_s); // Start
        press(Qt::Key_Space);
        QCOMPARE(fx.platform.boxes.size(), 2);
        const QString error = fx.platform.boxes.first().text;
        QVERIFY2(error.contains(u"c.txt"_s) && error.contains(u"PushButton2_Click at line"_s), qPrintable(error));
        QCOMPARE(fx.platform.boxes.last().text, u"Done."_s);
        // The hourglass while files are processed, the ordinary pointer after; the bar shows what was
        // set last whenever it can be seen, rising, and 0 at the end.
        QCOMPARE(shownAtBoxes, (QStringList{u"60 Processing: c.txt %1"_s.arg(kPointerBusy),
                                            u"0 Progress Bar %1"_s.arg(kPointerDefault)}));
        QVERIFY(values.contains(60) && std::is_sorted(values.begin(), values.end() - 1));
        QCOMPARE(values.last(), 0);
        QCOMPARE(progress->text(), u"Progress Bar"_s);
        QCOMPARE(form.PointerState(), kPointerDefault);
        QCOMPARE(QDir(fx.Path(u"out"_s)).entryList(QDir::Files), (QStringList{u"b.txt"_s, u"e.txt"_s}));
        QCOMPARE(WindowFixture::Read(fx.Path(u"out/b.txt"_s)), QByteArray("beta\r\n\r\nfirst\r\nsecond"));
        QCOMPARE(WindowFixture::Read(fx.Path(u"out/e.txt"_s)), QByteArray("delta\r\nnew"));
        form.close();
        QCOMPARE(fx.platform.calls.last(), u"end"_s);
    }

    // The boxes hold exactly what was pasted: a no-break space, a bare CR, U+2028 and U+2029 stay
    // characters; CR LF and LF are line breaks and reach the file as CR LF, as Enter and Shift+Enter
    // do. A condition with a no-break space is looked for with it, and the text to append is written
    // with it, in each file's own encoding. Copying from a box gives back what it holds.
    void textBoxes_keepWhatWasPasted()
    {
        WindowFixture fx;
        const QByteArray bom = "\xEF\xBB\xBF";
        const auto utf16 = [](const QString &text) -> QByteArray {
            return "\xFF\xFE" + QByteArray(QStringEncoder(QStringConverter::Utf16LE).encode(text));
        };
        Form1 &form = fx.Load();
        form.Files().AppendMany({fx.MakeFile(u"in/space.txt"_s, bom + "100 kg"),
                                 fx.MakeFile(u"in/u8.txt"_s, bom + "100\xC2\xA0kg"),
                                 fx.MakeFile(u"in/u16.txt"_s, utf16(u"100\u00A0kg"_s))});
        auto *text1 = fx.Find<QPlainTextEdit>("Text1");
        auto *text2 = fx.Find<QPlainTextEdit>("Text2");
        const auto paste = [](QPlainTextEdit *box, const QString &text) {
            QApplication::clipboard()->setText(text);
            box->paste();
        };
        paste(text2, u"100\u00A0kg"_s);
        paste(text1, u"a\u00A0b\rc\u2028d\u2029e\r\nf\ng\r"_s);
        QTest::keyClicks(text1, u"h"_s);
        QTest::keyClick(text1, Qt::Key_Return);
        QTest::keyClicks(text1, u"i"_s);
        QTest::keyClick(text1, Qt::Key_Return, Qt::ShiftModifier);
        QTest::keyClicks(text1, u"j"_s);
        fx.Find<QRadioButton>("Option2")->setChecked(true);
        for (const auto &[position, folder] : {std::pair(1, u"does-not"_s), std::pair(0, u"does"_s)}) {
            QVERIFY(QDir().mkpath(fx.Path(folder)));
            fx.Find<QComboBox>("Combo1")->setCurrentIndex(position);
            fx.Find<QLineEdit>("Text3")->setText(fx.Path(folder));
            form.PushButton2_Click();
        }
        QCOMPARE(fx.platform.BoxTexts(u"message"_s) + fx.platform.BoxTexts(u"warning"_s), QStringList(2, u"Done."_s));
        QCOMPARE(QDir(fx.Path(u"does-not"_s)).entryList(QDir::Files), QStringList{u"space.txt"_s});
        QCOMPARE(QDir(fx.Path(u"does"_s)).entryList(QDir::Files), (QStringList{u"u16.txt"_s, u"u8.txt"_s}));
        const QString appended = u"\r\na\u00A0b\rc\u2028d\u2029e\r\nf\r\ng\rh\r\ni\r\nj"_s;
        QCOMPARE(WindowFixture::Read(fx.Path(u"does-not/space.txt"_s)), bom + "100 kg" + appended.toUtf8());
        QCOMPARE(WindowFixture::Read(fx.Path(u"does/u8.txt"_s)), bom + "100\xC2\xA0kg" + appended.toUtf8());
        QCOMPARE(WindowFixture::Read(fx.Path(u"does/u16.txt"_s)), utf16(u"100\u00A0kg"_s + appended));
        text1->selectAll();
        text1->copy();
        QCOMPARE(QApplication::clipboard()->text(), u"a\u00A0b\rc\u2028d\u2029e\nf\ng\rh\ni\nj"_s);
    }

    // The run tests the condition chosen in Combo1: "does", "does not", or with nothing chosen none, which
    // no file meets (the run still ends with "Done.").
    void conditionChoice_reachesTheRun()
    {
        WindowFixture fx;
        Form1 &form = fx.Load();
        const QString with = fx.Path(u"with.txt"_s), without = fx.Path(u"without.txt"_s);
        form.Files().AppendMany({with, without});
        fx.Find<QPlainTextEdit>("Text1")->setPlainText(u"+"_s);
        fx.Find<QPlainTextEdit>("Text2")->setPlainText(u"b"_s);
        fx.Find<QLineEdit>("Text3")->setText(fx.dir.path());
        fx.Find<QRadioButton>("Option1")->setChecked(true);
        for (const auto &[position, expected] :
             {std::pair(0, "a b\r\n+|c"), std::pair(1, "a b|c\r\n+"), std::pair(-1, "a b|c")}) {
            fx.MakeFile(u"with.txt"_s, "a b");
            fx.MakeFile(u"without.txt"_s, "c");
            fx.platform.boxes.clear();
            fx.Find<QComboBox>("Combo1")->setCurrentIndex(position);
            form.PushButton2_Click();
            QCOMPARE(fx.platform.boxes.size(), 1);
            QCOMPARE(fx.platform.boxes.first().text, u"Done."_s);
            QCOMPARE(WindowFixture::Read(with) + '|' + WindowFixture::Read(without), QByteArray(expected));
        }
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
        fx.Find<QPlainTextEdit>("Text2")->setPlainText(u"x"_s);
        fx.Find<QLineEdit>("Text3")->setText(fx.dir.path());
        auto *list = fx.Find<QTreeView>("ListView1");
        const QString extra = fx.MakeFile(u"extra.txt"_s, "x");

        // Runs at the operation's first turn of the message loop.
        bool lockedThen = false;
        QTimer::singleShot(0, &form, [&] {
            lockedThen = form.ListLocked();
            list->setCurrentIndex(form.Files().index(0));
            QTest::keyClick(list, Qt::Key_Delete);
            Send(list->viewport(), QEvent::MouseButtonDblClick, Qt::LeftButton);
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
            QCoreApplication::sendEvent(list->viewport(), &enter);
            if (enter.isAccepted())
                form.Files().Append(u"<drag accepted>"_s);
        });
        if (operation == u"run"_s) {
            form.PushButton2_Click();
        } else if (operation == u"filter"_s) {
            fx.platform.answers << u".txt"_s; // every entry holds it: nothing goes
            form.PushButton11_Click();
        } else if (operation == u"scan"_s) {
            fx.platform.answers << u"none"_s << fx.platform.programFolder; // an empty folder
            form.PushButton1_Click();
        } else {
            form.DropPaths({fx.platform.programFolder});
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
        list->clearSelection();
        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(form.Files().Count(), 4);
        list->setCurrentIndex(form.Files().index(1));
        QTest::keyClick(list, Qt::Key_Delete);
        list->setCurrentIndex(form.Files().index(0));
        Send(list->viewport(), QEvent::MouseButtonDblClick, Qt::LeftButton);
        QCOMPARE(form.Files().Entries(), files.mid(2));
    }

    // A long run puts into the window only what can be seen: the latest progress when the message
    // loop runs, the pointer when it changes; a few hundred updates for 20,000 files, not two per
    // file (each of which a screen reader is told of). It ends at rest, as a short run does.
    void longRun_updatesTheWindowOncePerTurn()
    {
        WindowFixture fx;
        Form1 &form = fx.Load();
        form.show();
        QStringList files;
        for (int i = 0; i < 20000; ++i)
            files << fx.Path(u"gone%1.txt"_s.arg(i)); // missing: read as empty, none holds the condition
        form.Files().AppendMany(files);
        fx.Find<QComboBox>("Combo1")->setCurrentIndex(0);
        fx.Find<QPlainTextEdit>("Text2")->setPlainText(u"x"_s);
        fx.Find<QLineEdit>("Text3")->setText(fx.Path(u"."_s));
        auto *progress = fx.Find<QProgressBar>("ProgressBar1");
        struct Counter final : QObject
        {
            int updates = 0, turns = 0;
            bool eventFilter(QObject *, QEvent *event) override
            {
                updates += event->type() == QEvent::CursorChange ? 1 : 0;
                return false;
            }
        } counter;
        form.installEventFilter(&counter);
        connect(progress, &QProgressBar::valueChanged, &counter, [&] { ++counter.updates; });
        QTimer eachTurn;
        connect(&eachTurn, &QTimer::timeout, &counter, [&] { ++counter.turns; });
        eachTurn.start(0);
        fx.Find<QPushButton>("PushButton2")->click();
        QCOMPARE(fx.platform.BoxTexts(u"message"_s), QStringList{u"Done."_s});
        // About the value once a turn (the timer may miss a turn now and then), the pointer twice a
        // run and the value at rest; not two or three for every file.
        QVERIFY2(counter.updates >= 3 && counter.updates <= 2 * counter.turns + 10 && counter.turns < 2000,
                 qPrintable(u"%1 updates in %2 turns"_s.arg(counter.updates).arg(counter.turns)));
        QCOMPARE(progress->value(), 0);
        QCOMPARE(progress->text(), u"Progress Bar"_s);
        QCOMPARE(form.PointerState(), kPointerDefault);
    }

    // A move over a command button asks for the hand, over the window, a frame, a big text box or the
    // list for the arrow; other controls leave the pointer alone, as does every move while busy.
    void mouseMoves_setThePointerUnlessBusy()
    {
        WindowFixture fx;
        Form1 &form = fx.Load();
        form.show();
        const auto find = [&](std::initializer_list<const char *> names) {
            QList<QWidget *> widgets;
            for (const char *name : names)
                widgets << fx.Find(name);
            return widgets;
        };
        const QList<QWidget *> hands = find(
            {"PushButton1", "PushButton2", "PushButton3", "PushButton4", "PushButton5", "PushButton7", "PushButton11"});
        QList<QWidget *> plain = QList<QWidget *>{&form} + find({"Frame1", "Frame2", "Frame3"});
        for (const char *area : {"Text1", "Text2", "ListView1"})
            plain << fx.Find<QAbstractScrollArea>(area)->viewport();
        const QList<QWidget *> others = find({"Combo1", "PushButton6", "Label3", "ProgressBar1"});
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

    // Paths past 260 characters, which Windows refuses unless a program takes care: a scan from a
    // short folder reaches files that deep; a run in each save mode reads them (the condition
    // decides), appends in place, then writes a new file, into an output folder as deep, beside
    // nothing else.
    void longPaths_scannedReadAndWrittenInBothSaveModes()
    {
        WindowFixture fx;
        QString deep = u"in"_s, out = u"out"_s;
        while (fx.Path(deep + u"/a.txt"_s).size() < 300) {
            deep += u"/a folder nested past the old limit"_s;
            out += u"/a folder nested past the old limit"_s;
        }
        QVERIFY(QDir().mkpath(fx.Path(out)));
        const QString a = fx.MakeFile(deep + u"/a.txt"_s, "alpha mark"), b = fx.MakeFile(deep + u"/b.txt"_s, "beta");
        Form1 &form = fx.Load();
        fx.platform.answers << u"txt"_s << fx.Path(u"in"_s);
        form.PushButton1_Click(); // Add All File(s) In Folder
        QStringList listed = form.Files().Entries();
        listed.sort();
        QCOMPARE(listed, (QStringList{a, b}));

        fx.Find<QPlainTextEdit>("Text1")->setPlainText(u"added"_s);
        fx.Find<QComboBox>("Combo1")->setCurrentIndex(0); // does
        fx.Find<QPlainTextEdit>("Text2")->setPlainText(u"MARK"_s);
        fx.Find<QLineEdit>("Text3")->setText(fx.Path(out)); // a run wants an existing folder in both modes
        for (const char *option : {"Option1", "Option2"}) { // in place, then new files
            fx.Find<QRadioButton>(option)->setChecked(true);
            form.PushButton2_Click();
        }
        const QString written = fx.Path(out + u"/a.txt"_s);
        QCOMPARE(WindowFixture::Read(a), "alpha mark\r\nadded"_ba);
        QCOMPARE(WindowFixture::Read(written), "alpha mark\r\nadded\r\nadded"_ba);
        QCOMPARE(WindowFixture::Read(b), "beta"_ba);
        QCOMPARE(QDir(fx.Path(out)).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList{u"a.txt"_s});
        QCOMPARE(fx.platform.boxes.size(), 2);
        QCOMPARE(fx.platform.BoxTexts(u"message"_s), (QStringList{u"Done."_s, u"Done."_s}));
        qInfo("long paths: a file at %d characters scanned, read and appended to in place, and written new at %d",
              int(a.size()), int(written.size()));
    }
};

TARNWELL_TEST_CLASS(RunTest)
#include "RunTest.moc"
