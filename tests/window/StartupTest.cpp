// Start-up and the settings store: the files beside the program, restored choices, bad stored
// values, what a killed run left unfinished, the text conversions, the title.
#include "AppendJournal.h"
#include "TestRegistry.h"
#include "WindowFixture.h"

using namespace tarnwell;
using namespace tarnwell::testing;
using namespace Qt::StringLiterals;

namespace {
constexpr int kMismatch = 99999, kOverflow = 88888; // the conversions' two errors
} // namespace

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
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("shown");      // Combo1 index | Option1 | Option2 | Text3
        QTest::addColumn<QString>("afterwards"); // Combo1 | Option1 | Option2 | Text3
        const auto row = [](const char *name, const QString &stored, const char *error, int line, const char *shown,
                            const char *afterwards) {
            QTest::newRow(name) << stored.split(u' ', Qt::SkipEmptyParts) << QString::fromLatin1(error) << line
                                << QString::fromLatin1(shown) << QString::fromLatin1(afterwards);
        };
        row("empty: the defaults, written back", u""_s, "", 0, "0|1|0|%D", "0|True|False|<absent>");
        row("choices restored", u"Combo1=1 Option1=False Option2=TRUE Text3=/srv/out/"_s, "", 0, "1|0|1|/srv/out/",
            "1|False|True|/srv/out/");
        row("Combo1 out of range", u"Combo1=5"_s, "Invalid property value", 116, "-1|1|0|%D", "5|True|False|<absent>");
        row("Combo1 overflow", u"Combo1=40000"_s, "Overflow", 116, "-1|1|0|%D", "40000|True|False|<absent>");
        row("Option1 yes", u"Option1=yes"_s, "Type mismatch", 118, "0|0|0|%D", "0|yes|<absent>|<absent>");
        // No selection is taken quietly; after the box Option2 alone decides.
        row("no selection, Option1 abc", u"Combo1=-1 Option1=abc Option2=False"_s, "Type mismatch", 118, "-1|0|0|%D",
            "-1|abc|False|<absent>");
        // The stored folder is skipped with the failing default.
        row("no desktop", u"desktop= Text3=/stored/"_s, "Invalid procedure call or argument", 122, "0|1|0|",
            "0|True|False|/stored/");
    }
    void storedValues()
    {
        QFETCH(QStringList, stored);
        QFETCH(QString, error);
        QFETCH(int, line);
        QFETCH(QString, shown);
        QFETCH(QString, afterwards);
        WindowFixture fx;
        for (const QString &pair : stored)
            if (pair == u"desktop="_s)
                fx.platform.desktop.clear();
            else
                fx.settings.SaveSetting(pair.section(u'=', 0, 0), pair.section(u'=', 1));
        Form1 &form = fx.Load();
        QCOMPARE(form.windowTitle(), u"Tarnwell"_s);
        QCOMPARE(fx.platform.boxes.size(), line ? 1 : 0);
        if (line) {
            const FakePlatform::Box box = fx.platform.boxes.first();
            QCOMPARE(box.kind + u'|' + box.title, u"warning|Application Error"_s);
            QVERIFY2(box.text.startsWith(error), qPrintable(box.text));
            QVERIFY2(box.text.contains(u"\r\nin TarnwellProj2017/04/05.Form1.Form_Load at line %1\r\r"_s.arg(line)),
                     qPrintable(box.text));
        }
        const auto truth = [](bool on) { return on ? u"1"_s : u"0"_s; };
        QCOMPARE(QStringList({QString::number(form.Combo1->currentIndex()), truth(form.Option1->isChecked()),
                              truth(form.Option2->isChecked()), form.Text3->text()})
                     .join(u'|'),
                 shown.replace(u"%D"_s, fx.platform.desktop + QDir::separator()));
        QStringList stores;
        for (const char *key : {"Combo1", "Option1", "Option2", "Text3"})
            stores << fx.Stored(QLatin1String(key));
        QCOMPARE(stores.join(u'|'), afterwards);
    }

    // The skin and the hand cursor beside the program are taken up; a cursor file that is no
    // cursor gives the box and start-up goes on. Without an image the hand is the ordinary pointer.
    void filesBesideTheProgram_data()
    {
        QTest::addColumn<bool>("shipped");          // the skin and the cursor that come with the program
        QTest::addColumn<QByteArray>("cursorFile"); // else written when not empty
        QTest::newRow("nothing") << false << QByteArray();
        QTest::newRow("shipped skin and cursor") << true << QByteArray();
        QTest::newRow("a cursor file that is no cursor") << false << QByteArray("this is not a cursor");
    }
    void filesBesideTheProgram()
    {
        QFETCH(bool, shipped);
        QFETCH(QByteArray, cursorFile);
        WindowFixture fx;
        for (const QString &file : shipped ? QStringList{u"x/o.cjs"_s, u"HAND-M.CUR"_s} : QStringList())
            QVERIFY(!fx.MakeFile(u"program/"_s + file,
                                 fx.Read(qEnvironmentVariable("TARNWELL_SOURCE_DIR") + u"/bundle/"_s + file))
                         .isEmpty());
        if (!cursorFile.isEmpty())
            fx.MakeFile(u"program/HAND-M.CUR"_s, cursorFile);
        Form1 &form = fx.Load();
        form.show();
        QCOMPARE(fx.platform.BoxTexts(u"warning"_s).filter(u"Form_Load at line 108"_s).size(),
                 cursorFile.size() ? 1 : 0);
        QCOMPARE(!form.styleSheet().isEmpty(), shipped);
        QCOMPARE(form.Combo1->count(), 2); // start-up went on
        form.SetPointerState(kPointerHand);
        QCOMPARE(form.cursor().shape(), shipped ? Qt::BitmapCursor : Qt::ArrowCursor);
        if (!shipped)
            return;
        // The shipped skin keeps the window readable: the fonts the window's own, each caption
        // fitting its button, and each option button's indicator a ring clearly darker than the
        // face around it.
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.Label3->font().pointSizeF(), 9.0);
        for (QPushButton *button : form.findChildren<QPushButton *>()) {
            QCOMPARE(button->font().pointSizeF(), 11.25);
            QVERIFY2(button->sizeHint().boundedTo(button->size()) == button->sizeHint(), qPrintable(button->text()));
        }
        for (QRadioButton *option : {form.Option1, form.Option2}) {
            const QImage picture = option->grab().toImage().convertToFormat(QImage::Format_Grayscale8);
            const QImage ring = picture.copy(0, 0, 16, picture.height());
            const uchar darkest = *std::min_element(ring.constBits(), ring.constBits() + ring.sizeInBytes());
            QVERIFY2(darkest < qGray(picture.pixel(picture.width() - 1, 0)) - 40, qPrintable(option->objectName()));
        }
    }

    // A record a killed run left open: a file cut short is cut back quietly; a file changed since
    // is left alone and reported, once.
    void killedAppend_isResolvedAtStart_data()
    {
        QTest::addColumn<QByteArray>("written"); // what the killed run had written
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("cut short") << QByteArray("\r\nAPP") << QByteArray("old");
        QTest::newRow("file changed since") << QByteArray("\r\nX") << QByteArray("old\r\nX");
    }
    void killedAppend_isResolvedAtStart()
    {
        QFETCH(QByteArray, written);
        QFETCH(QByteArray, expected);
        WindowFixture fx;
        const QString file = fx.MakeFile(u"f.txt"_s, "old");
        {
            AppendJournal killed(fx.platform.dataFolder);
            killed.BeginRun();
            killed.RecordAppend(file, 3, "\r\nAPPENDED");
            QFile part(file);
            QVERIFY(part.open(QIODevice::Append) && part.write(written) == written.size());
            killed.Abandon();
        }
        QCOMPARE(fx.Load().Combo1->count(), 2);
        QCOMPARE(WindowFixture::Read(file), expected);
        const int reported = expected == "old" ? 0 : 1;
        QCOMPARE(fx.platform.BoxTexts(u"warning"_s).filter(u"Form_Load at line 124"_s).filter(file).size(), reported);
        QCOMPARE(fx.platform.boxes.size(), reported);
        fx.Load();
        QCOMPARE(fx.platform.boxes.size(), reported); // resolved once, not again
    }

    // Both conversions take decimal numbers only; a 16-bit integer is rounded half to even.
    void textConversions_data()
    {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<int>("integer16");
        QTest::addColumn<int>("truth"); // 1 true, 0 false
        const auto row = [](const char *name, const QStringList &texts, int integer16, int truth) {
            QTest::newRow(name) << texts << integer16 << truth;
        };
        row("blanks around", {u"  7 "_s}, 7, 1);
        row("a half down to even", {u"0.5"_s, u"-0.5"_s}, 0, 1);
        row("a half up to even", {u"1.5"_s, u"2.5"_s, u"+.25e1"_s}, 2, 1);
        row("the smallest", {u"-32768"_s, u"-32768.5"_s}, -32768, 1);
        row("the largest", {u"32767"_s, u"32767.49"_s, u"3276.7e1"_s}, 32767, 1);
        row("past the largest", {u"32767.5"_s, u"-32769"_s, u"1e300"_s}, kOverflow, 1);
        row("a point without digits after it", {u"3."_s}, 3, 1);
        row("true", {u"True"_s, u" tRUE "_s}, kMismatch, 1);
        row("false", {u"fAlSe"_s}, kMismatch, 0);
        row("not a number", {u""_s, u"yes"_s, u" -Infinity"_s, u"NaN"_s, u"0x10"_s, u"1e"_s, u"."_s, u"1,000"_s},
            kMismatch, kMismatch);
        row("past the double range", {u"2e308"_s, u"-1e99999999999999999999"_s}, kOverflow, kOverflow);
        row("too small to tell from zero", {u"0"_s, u"2e-324"_s, u"7e-99999999999999999999"_s}, 0, 0);
        row("the smallest subnormal", {u"5e-324"_s}, 0, 1);
    }
    void textConversions()
    {
        QFETCH(QStringList, texts);
        QFETCH(int, integer16);
        QFETCH(int, truth);
        const auto outcome = [](const std::function<int()> &convert) {
            try {
                return convert();
            } catch (const AppError &error) {
                return error.number() == 13 ? kMismatch : error.number() == 6 ? kOverflow : -1;
            }
        };
        for (const QString &text : texts) {
            QVERIFY2(outcome([&] { return int(TextToInteger16(text)); }) == integer16, qPrintable(text));
            QVERIFY2(outcome([&] { return int(TextToTruth(text)); }) == truth, qPrintable(text));
        }
    }

    // The title of the boxes: the name cut at its last blank, and again while too long.
    void appTitle_cutsAtBlanks()
    {
        QCOMPARE(Form1::AppTitleFor(u"Tarnwell"_s), u"Tarnwell"_s);
        QCOMPARE(Form1::AppTitleFor(u"Kestrelby Tarnwell Appender Pro"_s), u"Kestrelby Tarnwell Appender"_s);
        const QString twelveWords = u"one two three four five six seven eight nine ten eleven twelvexxxx"_s;
        const QString title = Form1::AppTitleFor(twelveWords);
        QVERIFY(title.size() <= 40 && title.size() > 34); // only as many words go as needed
        QVERIFY(twelveWords.startsWith(title + QLatin1Char(' ')));
    }
};

TARNWELL_TEST_CLASS(StartupTest)
#include "StartupTest.moc"
