// Start-up and the settings store: the files beside the program, restored choices, bad stored
// values, what a killed run left unfinished, the text conversions, the title.
#include "AppendJournal.h"
#include "TestRegistry.h"
#include "WindowFixture.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

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
        QTest::addColumn<QStringList>("stored"); // key=value
        QTest::addColumn<bool>("desktop");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("shown");      // Combo1 index | Option1 | Option2 | Text3
        QTest::addColumn<QString>("afterwards"); // Combo1 | Option1 | Option2 | Text3
        const auto row = [](const char *name, const QString &stored, bool desktop, const char *error, int line,
                            const char *shown, const char *afterwards) {
            QTest::newRow(name) << stored.split(u' ', Qt::SkipEmptyParts) << desktop << QString::fromLatin1(error)
                                << line << QString::fromLatin1(shown) << QString::fromLatin1(afterwards);
        };
        row("empty: the defaults, written back", u""_s, true, "", 0, "0|1|0|%D", "0|True|False|<absent>");
        row("choices restored", u"Combo1=1 Option1=False Option2=TRUE Text3=/srv/out/"_s, true, "", 0,
            "1|0|1|/srv/out/", "1|False|True|/srv/out/");
        row("Combo1 out of range", u"Combo1=5"_s, true, "Invalid property value", 116, "-1|1|0|%D",
            "5|True|False|<absent>");
        row("Combo1 overflow", u"Combo1=40000"_s, true, "Overflow", 116, "-1|1|0|%D", "40000|True|False|<absent>");
        row("Combo1 text", u"Combo1=none"_s, true, "Type mismatch", 116, "-1|1|0|%D", "none|True|False|<absent>");
        row("Option1 yes", u"Option1=yes"_s, true, "Type mismatch", 118, "0|0|0|%D", "0|yes|<absent>|<absent>");
        row("Option1 inf", u"Option1=inf"_s, true, "Type mismatch", 118, "0|0|0|%D", "0|inf|<absent>|<absent>");
        // No selection is taken quietly; after the box Option2 alone decides.
        row("no selection, Option1 abc", u"Combo1=-1 Option1=abc Option2=False"_s, true, "Type mismatch", 118,
            "-1|0|0|%D", "-1|abc|False|<absent>");
        // The stored folder is skipped with the failing default.
        row("no desktop", u"Text3=/stored/"_s, false, "Invalid procedure call or argument", 122, "0|1|0|",
            "0|True|False|/stored/");
    }
    void storedValues()
    {
        QFETCH(QStringList, stored);
        QFETCH(bool, desktop);
        QFETCH(QString, error);
        QFETCH(int, line);
        QFETCH(QString, shown);
        QFETCH(QString, afterwards);
        WindowFixture fx;
        if (!desktop)
            fx.platform.desktop.clear();
        for (const QString &pair : stored)
            fx.Store(pair.section(u'=', 0, 0), pair.section(u'=', 1));
        Form1 &form = fx.Load();
        QCOMPARE(form.windowTitle() + form.AppTitle(), u"TarnwellTarnwell"_s);
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
        QCOMPARE(QStringList(
                     {fx.Stored(u"Combo1"_s), fx.Stored(u"Option1"_s), fx.Stored(u"Option2"_s), fx.Stored(u"Text3"_s)})
                     .join(u'|'),
                 afterwards);
    }

    // The skin and the hand cursor beside the program are taken up; a cursor file that is no
    // cursor gives the box and start-up goes on. Without an image the hand is the ordinary pointer.
    void filesBesideTheProgram_data()
    {
        QTest::addColumn<QStringList>("shipped");
        QTest::addColumn<QByteArray>("cursorFile"); // written when not empty
        QTest::addColumn<bool>("skinned");
        QTest::addColumn<Qt::CursorShape>("handShape");
        QTest::newRow("nothing") << QStringList() << QByteArray() << false << Qt::ArrowCursor;
        QTest::newRow("shipped skin and cursor")
            << QStringList{u"x/o.cjs"_s, u"HAND-M.CUR"_s} << QByteArray() << true << Qt::BitmapCursor;
        QTest::newRow("a cursor file that is no cursor")
            << QStringList() << QByteArray("this is not a cursor") << false << Qt::ArrowCursor;
    }
    void filesBesideTheProgram()
    {
        QFETCH(QStringList, shipped);
        QFETCH(QByteArray, cursorFile);
        QFETCH(bool, skinned);
        QFETCH(Qt::CursorShape, handShape);
        WindowFixture fx;
        QDir program(fx.platform.programFolder);
        for (const QString &file : shipped) {
            program.mkpath(QFileInfo(file).path());
            QVERIFY(QFile::copy(qEnvironmentVariable("TARNWELL_SOURCE_DIR") + u"/bundle/"_s + file,
                                program.filePath(file)));
        }
        if (!cursorFile.isEmpty())
            fx.MakeFile(u"program/HAND-M.CUR"_s, cursorFile);
        Form1 &form = fx.Load();
        form.show();
        QCOMPARE(fx.platform.boxes.size(), cursorFile.isEmpty() ? 0 : 1);
        if (!cursorFile.isEmpty())
            QVERIFY(fx.platform.boxes.first().text.contains(u"Form_Load at line 108"_s));
        QCOMPARE(!form.styleSheet().isEmpty(), skinned);
        QCOMPARE(form.Frame1->palette().color(QPalette::Window) == QColor(Qt::white), !skinned);
        QCOMPARE(form.HandCursor() != nullptr, handShape == Qt::BitmapCursor);
        QCOMPARE(form.Combo1->count(), 2); // start-up went on
        form.SetPointerState(kPointerHand);
        QCOMPARE(form.cursor().shape(), handShape);
        if (!skinned)
            return;
        // The shipped skin keeps the window readable: colours, metrics and frame drawn, the fonts
        // the window's own, each caption fitting its button, and each option button's indicator a
        // ring clearly darker than the face around it.
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        for (const char *part : {"QPushButton {", "border-radius", "#Form1"})
            QVERIFY2(form.styleSheet().contains(QLatin1String(part)), part);
        for (QPushButton *button : form.findChildren<QPushButton *>()) {
            QCOMPARE(button->font().pointSizeF(), 11.25);
            QVERIFY2(button->sizeHint().boundedTo(button->size()) == button->sizeHint(), qPrintable(button->text()));
        }
        QCOMPARE(form.Label3->font().pointSizeF(), 9.0);
        for (QRadioButton *option : {form.Option1, form.Option2}) {
            const QImage picture = option->grab().toImage().convertToFormat(QImage::Format_Grayscale8);
            const QImage ring = picture.copy(0, 0, 16, picture.height());
            const uchar darkest = *std::min_element(ring.constBits(), ring.constBits() + ring.sizeInBytes());
            QVERIFY2(darkest < qGray(picture.pixel(picture.width() - 1, 0)) - 40, qPrintable(option->objectName()));
        }
    }

    void killedAppend_isResolvedAtStart_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("cut short") << QString() << QByteArray("old");
        QTest::newRow("file changed since") << QStringLiteral("file") << QByteArray("old\r\nX");
        QTest::newRow("record damaged") << QStringLiteral("record") << QByteArray("old\r\nA");
    }
    void killedAppend_isResolvedAtStart()
    {
        QFETCH(QString, change);
        QFETCH(QByteArray, expected);
        WindowFixture fx;
        const QString file = fx.MakeFile(QStringLiteral("f.txt"), "old");
        {
            AppendJournal killed(fx.platform.dataFolder);
            killed.BeginRun();
            killed.RecordAppend(file, 3, "\r\nAPPENDED");
            QFile part(file);
            QVERIFY(part.open(QIODevice::Append)
                    && part.write(change == QLatin1String("file") ? "\r\nX" : "\r\nA") == 3);
            killed.Abandon();
        }
        if (change == QLatin1String("record")) {
            const QDir data(fx.platform.dataFolder);
            const QStringList records = data.entryList({QStringLiteral("*.record")}, QDir::Files);
            QCOMPARE(records.size(), 1);
            QVERIFY(QFile(data.filePath(records.first())).resize(20));
        }
        Form1 &form = fx.Load();
        QCOMPARE(WindowFixture::Read(file), expected);
        QCOMPARE(fx.platform.boxes.size(), change.isEmpty() ? 0 : 1);
        if (!change.isEmpty()) {
            QVERIFY2(fx.platform.boxes.first().text.contains(QStringLiteral("Form_Load at line 124")),
                     qPrintable(fx.platform.boxes.first().text));
            QVERIFY(change != QLatin1String("file") || fx.platform.boxes.first().text.contains(file));
        }
        QCOMPARE(form.Combo1->count(), 2);
        QVERIFY(fx.Load().Combo1->count() == 2 && fx.platform.boxes.size() <= 1); // resolved once, not again
    }

    void choices_areStoredTheMomentTheyChange()
    {
        WindowFixture fx;
        Form1 &form = fx.Load();
        QTest::mouseClick(form.Option2, Qt::LeftButton);
        QVERIFY(form.Option2->isChecked() && !form.Option1->isChecked());
        QCOMPARE(fx.Stored(u"Option1"_s), u"False"_s);
        QCOMPARE(fx.Stored(u"Option2"_s), u"True"_s);
        QTest::mouseClick(form.Option2, Qt::LeftButton); // clicking the chosen one keeps it chosen
        QVERIFY(form.Option2->isChecked());
        form.Combo1->setCurrentIndex(1);
        QCOMPARE(fx.Stored(u"Combo1"_s), u"1"_s);
        form.Text3->setText(u"/typed/"_s);
        QCOMPARE(fx.Stored(u"Text3"_s), u"<absent>"_s); // the folder is never stored by the window
    }

    // Both conversions take decimal numbers only; a 16-bit integer is rounded half to even.
    void textConversions_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("integer16");
        QTest::addColumn<int>("truth"); // 1 true, 0 false
        const auto row = [](const char *text, int integer16, int truth) {
            QTest::newRow(text) << QString::fromLatin1(text) << integer16 << truth;
        };
        row("0", 0, 0);
        row("  7 ", 7, 1);
        row("0.5", 0, 1);
        row("1.5", 2, 1);
        row("2.5", 2, 1);
        row("-2.5", -2, 1);
        row("-32768", -32768, 1);
        row("32767", 32767, 1);
        row("32767.5", kOverflow, 1);
        row("-32769", kOverflow, 1);
        row("1e300", kOverflow, 1);
        row("+.5e1", 5, 1);
        row("3.", 3, 1);
        row("True", kMismatch, 1);
        row("fAlSe", kMismatch, 0);
        row("", kMismatch, kMismatch);
        row("yes", kMismatch, kMismatch);
        row("NaN", kMismatch, kMismatch);
        row("inf", kMismatch, kMismatch);
        row(" -Infinity", kMismatch, kMismatch);
        row("0x10", kMismatch, kMismatch);
        row("1e", kMismatch, kMismatch);
        row(".", kMismatch, kMismatch);
        row("1,000", kMismatch, kMismatch);
        row("2e308", kOverflow, kOverflow); // past the double range
        row("-1e99999999999999999999", kOverflow, kOverflow);
        row("2e-324", 0, 0); // too small to tell from zero
        row("7e-99999999999999999999", 0, 0);
        row("5e-324", 0, 1); // the smallest subnormal
    }
    void textConversions()
    {
        QFETCH(QString, text);
        QFETCH(int, integer16);
        QFETCH(int, truth);
        const auto outcome = [](const std::function<int()> &convert) {
            try {
                return convert();
            } catch (const AppError &error) {
                return error.number() == 13 ? kMismatch : error.number() == 6 ? kOverflow : -1;
            }
        };
        QCOMPARE(outcome([&] { return int(TextToInteger16(text)); }), integer16);
        QCOMPARE(outcome([&] { return int(TextToTruth(text)); }), truth);
    }

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
