// Paths longer than 260 characters, which Windows refuses unless a program takes care: files that
// deep are found by the folder scan, read, appended to in place and written as new files into an
// output folder as deep, on every platform alike.
#include "TestRegistry.h"
#include "WindowFixture.h"

using namespace tarnwell;
using namespace tarnwell::testing;
using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype kLongPath = 300;

// A folder under `top` nested deep enough that "<folder>\a.txt" is at least kLongPath long.
QString DeepFolder(const WindowFixture &fx, const QString &top)
{
    QString folder = top;
    for (int level = 1; fx.Path(folder + u"/a.txt"_s).size() < kLongPath; ++level)
        folder += u"/level %1 of a folder tree nested deeper than Windows' old limit"_s.arg(level);
    return folder;
}

} // namespace

class LongPathTest : public QObject
{
    Q_OBJECT
private slots:
    // A scan from a short folder reaches the deep files; a run in each save mode reads them (the
    // condition decides), appends in place, then writes new files beside nothing but themselves.
    void deepFilesAreScannedReadAndWrittenInBothSaveModes()
    {
        WindowFixture fx;
        fx.platform.dataFolder = fx.Path(u"data"_s); // in-place appends are recorded, deep paths too
        const QString deep = DeepFolder(fx, u"in"_s);
        const QString out = DeepFolder(fx, u"out"_s);
        QVERIFY(QDir().mkpath(fx.Path(out)));
        const QString top = fx.MakeFile(u"in/top.txt"_s, "top mark");
        const QString a = fx.MakeFile(deep + u"/a.txt"_s, "alpha mark\r\n");
        const QString b = fx.MakeFile(deep + u"/b.txt"_s, "beta");
        QVERIFY2(!a.isEmpty() && !b.isEmpty() && a.size() >= kLongPath, qPrintable(a));

        Form1 &form = fx.Load();
        fx.platform.answers << u"txt"_s << fx.Path(u"in"_s);
        form.PushButton1_Click(); // Add All File(s) In Folder
        QStringList listed = form.Files().Entries();
        QCOMPARE(listed.value(0), top); // breadth-first: the top folder's file first
        listed.sort();
        QCOMPARE(listed, (QStringList{a, b, top}));

        fx.Find<QPlainTextEdit>("Text1")->setPlainText(u"added"_s);
        fx.Find<QComboBox>("Combo1")->setCurrentIndex(0); // does
        fx.Find<QPlainTextEdit>("Text2")->setPlainText(u"MARK"_s);
        fx.Find<QRadioButton>("Option1")->setChecked(true); // edit in place
        fx.Find<QLineEdit>("Text3")->setText(fx.Path(out)); // a run wants an existing folder there in both modes
        form.PushButton2_Click();
        QCOMPARE(WindowFixture::Read(a), QByteArray("alpha mark\r\n\r\nadded"));
        QCOMPARE(WindowFixture::Read(top), QByteArray("top mark\r\nadded"));
        QCOMPARE(WindowFixture::Read(b), QByteArray("beta"));

        fx.Find<QRadioButton>("Option2")->setChecked(true); // new files in the output folder
        form.PushButton2_Click();
        const QString written = fx.Path(out + u"/a.txt"_s);
        QCOMPARE(WindowFixture::Read(written), QByteArray("alpha mark\r\n\r\nadded\r\nadded"));
        QCOMPARE(WindowFixture::Read(fx.Path(out + u"/top.txt"_s)), QByteArray("top mark\r\nadded\r\nadded"));
        QCOMPARE(WindowFixture::Read(a), QByteArray("alpha mark\r\n\r\nadded")); // the input stays
        // Nothing else is left in the output folder: no file for "beta", no pending file.
        QCOMPARE(QDir(fx.Path(out)).entryList(QDir::Files | QDir::Hidden | QDir::System),
                 (QStringList{u"a.txt"_s, u"top.txt"_s}));
        QCOMPARE(fx.platform.boxes.size(), 2);
        QCOMPARE(fx.platform.BoxTexts(u"message"_s), (QStringList{u"Done."_s, u"Done."_s}));
        qInfo("long paths: a file at %d characters scanned, read and appended to in place, and written "
              "new at %d characters",
              int(a.size()), int(written.size()));
    }
};

TARNWELL_TEST_CLASS(LongPathTest)
#include "LongPathTest.moc"
