// Start-up and the settings store: the files beside the program, restored choices, bad stored
// values and the numbers in them, what a killed run left unfinished, the title.
#include "TestRegistry.h"
#include "WindowFixture.h"
#include "engine/AppendJournal.h"

using namespace tarnwell;
using namespace tarnwell::testing;
using namespace Qt::StringLiterals;

class StartupTest : public QObject
{
    Q_OBJECT
private slots:
    // What the store holds at start-up: the choices shown, the one box a bad value gives (the
    // later steps still run), and what the store holds afterwards ("|" between the fields; %D is
    // the desktop folder).
    void storedValues_data()
    {
        QTest::addColumn<QStringList>("stored"); // key=value; "desktop=" for a desktop that cannot be found
        QTest::addColumn<QString>("error");      // the box's first words and its line, if there is one
        QTest::addColumn<QString>("state");      // Combo1 index, Option1, Option2, Text3 shown, then as stored
        const auto row = [](const char *name, const char *stored, const char *error, const char *state) {
            QTest::newRow(name) << QString::fromLatin1(stored).split(u' ', Qt::SkipEmptyParts)
                                << QString::fromLatin1(error) << QString::fromLatin1(state);
        };
        row("empty: the defaults, written back", "", "", "0|True|False|%D|0|True|False|<absent>");
        row("choices restored", "Combo1=1 Option1=False Option2=TRUE Text3=/srv/out/", "",
            "1|False|True|/srv/out/|1|False|True|/srv/out/");
        // Option1 reads false here: choosing it would store both options before Option2's value is read.
        row("numbers: 0.5, nearly 0, 5e-324", "Combo1=\t+.05e1\t Option1=2e-324 Option2=5e-324", "",
            "0|False|True|%D|0|False|True|<absent>");
        row("numbers: -0.5, 0, 3.", "Combo1=-0.5 Option1=-7e-99999999999999999999 Option2=3.", "",
            "0|False|True|%D|0|False|True|<absent>");
        row("no item 5", "Combo1=5", "Invalid property value at line 116", "-1|True|False|%D|5|True|False|<absent>");
        row("past 16 bits", "Combo1=32767.5", "Overflow at line 116", "-1|True|False|%D|32767.5|True|False|<absent>");
        row("below 16 bits", "Combo1=-32769", "Overflow at line 116", "-1|True|False|%D|-32769|True|False|<absent>");
        row("Option1 yes", "Option1=yes", "Type mismatch at line 118", "0|False|False|%D|0|yes|<absent>|<absent>");
        // No selection is taken quietly; after the box Option2 alone decides.
        row("no selection, Option1 1e", "Combo1=-1 Option1=1e Option2=False", "Type mismatch at line 118",
            "-1|False|False|%D|-1|1e|False|<absent>");
        row("past the double range", "Option1=0 Option2=1e99999999999999999999", "Overflow at line 120",
            "0|False|False|%D|0|0|1e99999999999999999999|<absent>");
        // The stored folder is skipped with the failing default.
        row("no desktop", "desktop= Text3=/stored/", "Invalid procedure call or argument at line 122",
            "0|True|False||0|True|False|/stored/");
    }
    void storedValues()
    {
        QFETCH(QStringList, stored);
        QFETCH(QString, error);
        QFETCH(QString, state);
        WindowFixture fx;
        for (const QString &pair : stored) // "desktop" is no key the window reads
            fx.settings.SaveSetting(pair.section(u'=', 0, 0), pair.section(u'=', 1));
        if (stored.contains(u"desktop="_s))
            fx.platform.desktop.clear();
        Form1 &form = fx.Load();
        QCOMPARE(form.windowTitle() + u'|' + form.AppTitle(), u"Tarnwell|Tarnwell"_s);
        QCOMPARE(fx.platform.boxes.size(), error.isEmpty() ? 0 : 1);
        if (!error.isEmpty()) {
            const FakePlatform::Box box = fx.platform.boxes.first();
            QCOMPARE(box.kind + u'|' + box.title, u"warning|Application Error"_s);
            const QString line = u"\r\nin TarnwellProj2017/04/05.Form1.Form_Load at line "_s + error.section(u' ', -1);
            QVERIFY2(box.text.startsWith(error.section(u" at line"_s, 0, 0)) && box.text.contains(line + u"\r\r"_s),
                     qPrintable(box.text));
        }
        QStringList now{QString::number(fx.Find<QComboBox>("Combo1")->currentIndex()),
                        TruthText(fx.Find<QRadioButton>("Option1")->isChecked()),
                        TruthText(fx.Find<QRadioButton>("Option2")->isChecked()), fx.Find<QLineEdit>("Text3")->text()};
        for (const char *key : {"Combo1", "Option1", "Option2", "Text3"})
            now << fx.Stored(QLatin1String(key));
        QCOMPARE(now.join(u'|'), state.replace(u"%D"_s, fx.platform.desktop + QDir::separator()));
    }

    // The skin and the hand cursor beside the program are taken up; a cursor file that is no
    // cursor gives the box and start-up goes on. Without an image the hand is the ordinary pointer.
    void filesBesideTheProgram_data()
    {
        QTest::addColumn<bool>("shipped");          // the skin and the cursor that come with the program
        QTest::addColumn<QByteArray>("cursorFile"); // else written when not empty
        QTest::newRow("shipped skin and cursor") << true << QByteArray();
        QTest::newRow("a cursor file that is no cursor") << false << QByteArray("this is not a cursor");
    }
    void filesBesideTheProgram()
    {
        QFETCH(bool, shipped);
        QFETCH(QByteArray, cursorFile);
        WindowFixture fx;
        const QString bundle = qEnvironmentVariable("TARNWELL_SOURCE_DIR") + u"/bundle/"_s;
        for (const QString &file : shipped ? QStringList{u"x/o.cjs"_s, u"HAND-M.CUR"_s} : QStringList())
            QVERIFY(!fx.MakeFile(u"program/"_s + file, fx.Read(bundle + file)).isEmpty());
        if (!cursorFile.isEmpty())
            fx.MakeFile(u"program/HAND-M.CUR"_s, cursorFile);
        Form1 &form = fx.Load();
        form.show();
        QCOMPARE(fx.platform.boxes.size(), cursorFile.isEmpty() ? 0 : 1);
        QVERIFY(cursorFile.isEmpty() || fx.platform.boxes.first().text.contains(u"Form_Load at line 108"_s));
        QCOMPARE(!form.styleSheet().isEmpty(), shipped);
        QCOMPARE(fx.Find<QComboBox>("Combo1")->count(), 2); // start-up went on
        QCOMPARE(form.HandCursor() != nullptr, shipped);
        form.SetPointerState(kPointerHand);
        QCOMPARE(form.cursor().shape(), shipped ? Qt::BitmapCursor : Qt::ArrowCursor);
        if (!shipped)
            return;
        // The shipped skin keeps the window readable: each caption fits its button, and each option
        // button's indicator is a ring clearly darker than the face around it.
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        for (QPushButton *button : form.findChildren<QPushButton *>())
            QVERIFY2(button->sizeHint().boundedTo(button->size()) == button->sizeHint(), qPrintable(button->text()));
        for (QRadioButton *option : {fx.Find<QRadioButton>("Option1"), fx.Find<QRadioButton>("Option2")}) {
            const QImage picture = option->grab().toImage().convertToFormat(QImage::Format_Grayscale8);
            const QImage ring = picture.copy(0, 0, 16, picture.height());
            const uchar darkest = *std::min_element(ring.constBits(), ring.constBits() + ring.sizeInBytes());
            QVERIFY2(darkest < qGray(picture.pixel(picture.width() - 1, 0)) - 40, qPrintable(option->objectName()));
        }
    }

    // A record a killed run left open, of a file changed since, is resolved at start-up and reported
    // through its own line, once. (Which records are undone and which reported: the journal's tests.)
    void killedAppend_isReportedAtStart()
    {
        WindowFixture fx;
        const QString file = fx.MakeFile(u"f.txt"_s, "changed");
        {
            AppendJournal killed(fx.platform.dataFolder);
            killed.BeginRun();
            killed.RecordAppend(file, 3, "\r\nAPPENDED");
            killed.Abandon();
        }
        fx.Load();
        const QString box = fx.platform.boxes.value(0).text;
        QVERIFY2(box.contains(u"Form_Load at line 124"_s) && box.contains(file), qPrintable(box));
        fx.Load();
        QCOMPARE(fx.platform.boxes.size(), 1);
    }

    // The title of the boxes: the name cut at its last blank, and again while longer than 40.
    void appTitle_cutsAtBlanks()
    {
        QCOMPARE(Form1::AppTitleFor(u"Kestrelby Tarnwell Appender Pro"_s), u"Kestrelby Tarnwell Appender"_s);
        QCOMPARE(Form1::AppTitleFor(u"one two three four five six seven eight nine ten eleven"_s),
                 u"one two three four five six seven eight"_s);
    }
};

TARNWELL_TEST_CLASS(StartupTest)
#include "StartupTest.moc"
