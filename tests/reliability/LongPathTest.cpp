// Paths longer than 260 characters, which Windows refuses unless a program takes care: files that
// deep are found by the folder scan, read, appended to in place and written as new files into an
// output folder as deep, on every platform alike.
#include "TestRegistry.h"
#include "WindowFixture.h"

using namespace tarnwell;
using namespace tarnwell::testing;
using namespace Qt::StringLiterals;

class LongPathTest : public QObject
{
    Q_OBJECT
private slots:
    // A scan from a short folder reaches the deep files; a run in each save mode reads them (the
    // condition decides), appends in place, then writes a new file beside nothing else.
    void deepFilesAreScannedReadAndWrittenInBothSaveModes()
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

TARNWELL_TEST_CLASS(LongPathTest)
#include "LongPathTest.moc"
