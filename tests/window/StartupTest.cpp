// Start-up and the settings store: restored choices, bad stored values, conversions, and what a
// killed run left unfinished.
#include "AppendJournal.h"
#include "TestRegistry.h"
#include "WindowFixture.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

using namespace tarnwell;
using namespace tarnwell::testing;

class StartupTest : public QObject
{
    Q_OBJECT
private slots:
    void emptyStore_restoresDefaultsAndWritesThemBack()
    {
        WindowFixture fx;
        Form1 &form = fx.Load();
        QCOMPARE(form.windowTitle(), QStringLiteral("Tarnwell"));
        QCOMPARE(form.AppTitle(), QStringLiteral("Tarnwell"));
        QCOMPARE(form.Combo1->currentIndex(), 0);
        QCOMPARE(form.Combo1->currentText(), QStringLiteral("does"));
        QVERIFY(form.Option1->isChecked());
        QVERIFY(!form.Option2->isChecked());
        QCOMPARE(form.Text3->text(), fx.platform.desktop + QDir::separator());
        QVERIFY(fx.platform.boxes.isEmpty()); // a clean start shows no box
        QCOMPARE(fx.Stored(QStringLiteral("Combo1")), QStringLiteral("0"));
        QCOMPARE(fx.Stored(QStringLiteral("Option1")), QStringLiteral("True"));
        QCOMPARE(fx.Stored(QStringLiteral("Option2")), QStringLiteral("False"));
        QCOMPARE(fx.Stored(QStringLiteral("Text3")), QStringLiteral("<absent>"));
    }

    void storedChoices_areRestored()
    {
        WindowFixture fx;
        fx.Store(QStringLiteral("Combo1"), QStringLiteral("1"));
        fx.Store(QStringLiteral("Option1"), QStringLiteral("False"));
        fx.Store(QStringLiteral("Option2"), QStringLiteral("TRUE"));
        fx.Store(QStringLiteral("Text3"), QStringLiteral("/srv/out/"));
        Form1 &form = fx.Load();
        QCOMPARE(form.Combo1->currentText(), QStringLiteral("does not"));
        QVERIFY(!form.Option1->isChecked());
        QVERIFY(form.Option2->isChecked());
        QCOMPARE(form.Text3->text(), QStringLiteral("/srv/out/"));
        QVERIFY(fx.platform.boxes.isEmpty());
    }

    void badStoredValue_givesOneBoxAndStartupGoesOn_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("description");
        QTest::newRow("Combo1 out of range") << "Combo1"
                                             << "5" << 116 << "Invalid property value";
        QTest::newRow("Combo1 rounds to 2") << "Combo1"
                                            << "1.5" << 116 << "Invalid property value";
        QTest::newRow("Combo1 overflow") << "Combo1"
                                         << "40000" << 116 << "Overflow";
        QTest::newRow("Combo1 text") << "Combo1"
                                     << "none" << 116 << "Type mismatch";
        QTest::newRow("Option1 abc") << "Option1"
                                     << "abc" << 118 << "Type mismatch";
        QTest::newRow("Option1 yes") << "Option1"
                                     << "yes" << 118 << "Type mismatch";
        QTest::newRow("Option1 empty") << "Option1"
                                       << "" << 118 << "Type mismatch";
        QTest::newRow("Combo1 inf") << "Combo1"
                                    << "inf" << 116 << "Type mismatch";
        QTest::newRow("Option1 inf") << "Option1"
                                     << "inf" << 118 << "Type mismatch";
    }
    void badStoredValue_givesOneBoxAndStartupGoesOn()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(int, line);
        QFETCH(QString, description);
        WindowFixture fx;
        fx.Store(key, value);
        Form1 &form = fx.Load();
        QCOMPARE(fx.platform.boxes.size(), 1);
        const FakePlatform::Box box = fx.platform.boxes.first();
        QCOMPARE(box.kind, QStringLiteral("warning"));
        QCOMPARE(box.title, QStringLiteral("Application Error"));
        QVERIFY2(box.text.startsWith(description
                                     + QStringLiteral("\r\nin TarnwellProj2017/04/05.Form1.Form_Load at line ")
                                     + QString::number(line) + QStringLiteral("\r\r")),
                 qPrintable(box.text));
        // The steps after the failing one still ran.
        QCOMPARE(form.Text3->text(), fx.platform.desktop + QDir::separator());
        QCOMPARE(form.Combo1->count(), 2);
    }

    void unusualStoredValues_areTakenAsTheyCome()
    {
        WindowFixture fx;
        fx.Store(QStringLiteral("Combo1"), QStringLiteral("-1"));   // no selection, quietly
        fx.Store(QStringLiteral("Option1"), QStringLiteral("abc")); // the box, then Option2 alone decides
        fx.Store(QStringLiteral("Option2"), QStringLiteral("False"));
        Form1 &form = fx.Load();
        QCOMPARE(form.Combo1->currentIndex(), -1);
        QVERIFY(!form.Option1->isChecked());
        QVERIFY(!form.Option2->isChecked());
        QCOMPARE(fx.platform.boxes.size(), 1);
        QCOMPARE(fx.Stored(QStringLiteral("Combo1")), QStringLiteral("-1"));
    }

    void noDesktop_reportsAndLeavesText3Empty()
    {
        WindowFixture fx;
        fx.platform.desktop.clear();
        fx.Store(QStringLiteral("Text3"), QStringLiteral("/stored/")); // skipped with the failing default
        Form1 &form = fx.Load();
        QCOMPARE(fx.platform.boxes.size(), 1);
        QVERIFY(fx.platform.boxes.first().text.contains(QStringLiteral("Form_Load at line 122")));
        QVERIFY(form.Text3->text().isEmpty());
    }

    // An append that a killed run left half made is undone at start-up without a word; what cannot
    // be undone, because the file or the record was changed since, gets one box and the start goes on.
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
        QVERIFY(form.Option2->isChecked());
        QVERIFY(!form.Option1->isChecked());
        QCOMPARE(fx.Stored(QStringLiteral("Option1")), QStringLiteral("False"));
        QCOMPARE(fx.Stored(QStringLiteral("Option2")), QStringLiteral("True"));
        QTest::mouseClick(form.Option2, Qt::LeftButton); // clicking the chosen one keeps it chosen
        QVERIFY(form.Option2->isChecked());
        form.Combo1->setCurrentIndex(1);
        QCOMPARE(fx.Stored(QStringLiteral("Combo1")), QStringLiteral("1"));
        form.Text3->setText(QStringLiteral("/typed/"));
        QCOMPARE(fx.Stored(QStringLiteral("Text3")), QStringLiteral("<absent>"));

        // The next start shows the stored choices, and the default folder again.
        Form1 &again = fx.Load();
        QVERIFY(again.Option2->isChecked());
        QCOMPARE(again.Combo1->currentIndex(), 1);
        QCOMPARE(again.Text3->text(), fx.platform.desktop + QDir::separator());
    }

    void textToInteger16_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected"); // 99999: type mismatch, 88888: overflow
        QTest::newRow("zero") << "0" << 0;
        QTest::newRow("blanks around") << "  7 " << 7;
        QTest::newRow("half down to even") << "0.5" << 0;
        QTest::newRow("half up to even") << "1.5" << 2;
        QTest::newRow("2.5 to 2") << "2.5" << 2;
        QTest::newRow("negative half") << "-2.5" << -2;
        QTest::newRow("min") << "-32768" << -32768;
        QTest::newRow("max") << "32767" << 32767;
        QTest::newRow("max rounds over") << "32767.5" << 88888;
        QTest::newRow("below min") << "-32769" << 88888;
        QTest::newRow("huge") << "1e300" << 88888;
        QTest::newRow("empty") << "" << 99999;
        QTest::newRow("word") << "abc" << 99999;
        QTest::newRow("nan") << "nan" << 99999;
        QTest::newRow("inf") << "inf" << 99999;
        QTest::newRow("-infinity") << " -Infinity" << 99999;
        QTest::newRow("hexadecimal") << "0x10" << 99999;
        QTest::newRow("exponent without digits") << "1e" << 99999;
        QTest::newRow("point alone") << "." << 99999;
        QTest::newRow("group separator") << "1,000" << 99999;
        QTest::newRow("sign, point, exponent") << "+.5e1" << 5;
        QTest::newRow("point at the end") << "3." << 3;
        QTest::newRow("past the double range") << "2e308" << 88888;
        QTest::newRow("huge exponent") << "-1e99999999999999999999" << 88888;
        QTest::newRow("too small to tell from zero") << "2e-324" << 0;
        QTest::newRow("tiny exponent") << "7e-99999999999999999999" << 0;
    }
    void textToInteger16()
    {
        QFETCH(QString, text);
        QFETCH(int, expected);
        int got = 0;
        try {
            got = TextToInteger16(text);
        } catch (const AppError &error) {
            got = error.number() == 13 ? 99999 : error.number() == 6 ? 88888 : -1;
        }
        QCOMPARE(got, expected);
    }

    void textToTruth_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected"); // 1 true, 0 false, -1 type mismatch, -4 overflow
        QTest::newRow("True") << "True" << 1;
        QTest::newRow("fAlSe") << "fAlSe" << 0;
        QTest::newRow("1") << "1" << 1;
        QTest::newRow("0") << "0" << 0;
        QTest::newRow("-3.5") << "-3.5" << 1;
        QTest::newRow("yes") << "yes" << -1;
        QTest::newRow("empty") << "" << -1;
        QTest::newRow("inf") << "inf" << -1;
        QTest::newRow("nan") << "NaN" << -1;
        QTest::newRow("past the double range") << "2e308" << -4;
        QTest::newRow("too small to tell from zero") << "2e-324" << 0;
        QTest::newRow("smallest subnormal") << "5e-324" << 1;
    }
    void textToTruth()
    {
        QFETCH(QString, text);
        QFETCH(int, expected);
        int got = -2;
        try {
            got = TextToTruth(text) ? 1 : 0;
        } catch (const AppError &error) {
            got = error.number() == 13 ? -1 : error.number() == 6 ? -4 : -3;
        }
        QCOMPARE(got, expected);
    }

    void appTitle_cutsAtBlanks()
    {
        QCOMPARE(Form1::AppTitleFor(QStringLiteral("Tarnwell")), QStringLiteral("Tarnwell"));
        QCOMPARE(Form1::AppTitleFor(QStringLiteral("Kestrelby Tarnwell Appender Pro")),
                 QStringLiteral("Kestrelby Tarnwell Appender"));
        const QString twelveWords = QStringLiteral(
            "one two three four five six seven eight nine ten eleven twelvexxxx");
        const QString title = Form1::AppTitleFor(twelveWords);
        QVERIFY(title.size() <= 40);
        QVERIFY(twelveWords.startsWith(title + QLatin1Char(' ')));
        QVERIFY(title.size() > 34); // only as many words go as needed
    }
};

TARNWELL_TEST_CLASS(StartupTest)
#include "StartupTest.moc"
