// Filling and thinning the list from the window: dialog, folder scan, samples, drops, filters,
// and Clear.
#include "TestRegistry.h"
#include "WindowFixture.h"

using namespace tarnwell;
using namespace tarnwell::testing;
using namespace Qt::StringLiterals;

class FillersTest : public QObject
{
    Q_OBJECT
private slots:
    // Picked files go in in the order given; a selection too large for the dialog gets its own
    // message. The filters ask first (Cancel removes nothing, a single blank is a valid answer)
    // and match in any case; Clear empties the list.
    void fileDialog_filters_andClear()
    {
        WindowFixture fx;
        Form1 &form = fx.Load();
        const QStringList picked{u"/a/One.TXT"_s, u"/b/two.doc"_s, u"/c d/three.txt"_s, u"/b/two.doc"_s};
        fx.platform.pickedFiles << PickedFiles{picked.mid(0, 1), false} << PickedFiles{picked.mid(1), false}
                                << PickedFiles{} << PickedFiles{{u"/x/a"_s}, true};
        for (int click = 0; click < 4; ++click) // the third is a Cancel
            form.PushButton4_Click();
        // Entries carry the platform's own separator.
        QCOMPARE(form.Files().Entries(), QDir::toNativeSeparators(picked.join(u'|')).split(u'|'));
        QCOMPARE(fx.platform.calls.first(),
                 u"files: Add File(s) - Hold Ctrl or Shift to select multiple files | All Files (*.*)|*.*|"_s);
        QCOMPARE(fx.platform.boxes.size(), 1);
        QCOMPARE(fx.platform.boxes.first().title + u'|' + fx.platform.boxes.first().text,
                 u"Tarnwell|You've selected too many files to add.\r\rPlease try adding via the \"Add All\" button."_s);

        fx.platform.calls.clear();
        fx.platform.answers << QString() << u"txt"_s << u" "_s;
        form.PushButton5_Click();
        QCOMPARE(form.Files().Count(), 4);
        form.PushButton11_Click();
        form.PushButton5_Click();
        QCOMPARE(form.Files().Entries(), QStringList{QDir::toNativeSeparators(picked.first())});
        QCOMPARE(fx.platform.calls,
                 (QStringList{u"input: Remove entries containing: "_s, u"input: Remove entries not containing: "_s,
                              u"input: Remove entries containing: "_s}));
        QCOMPARE(form.PointerState(), kPointerDefault);
        form.PushButton7_Click();
        QCOMPARE(form.Files().Count(), 0);
    }

    // The extension is asked and stored even when the folder browser is then cancelled. (A scan
    // that runs, with the offered "txt", is part of the whole job in RunTest.)
    void folderScan_storesTheExtensionBeforeTheFolderIsChosen()
    {
        WindowFixture fx;
        Form1 &form = fx.Load();
        fx.platform.answers << u"md"_s;
        form.PushButton1_Click();
        QCOMPARE(fx.platform.calls,
                 (QStringList{u"input: Enter file extension to load:\r\r(* for all files, txt for all "
                              "txt files, doc for all doc files, etc.)"_s,
                              u"folder: Please select folder:"_s}));
        QCOMPARE(fx.Stored(u"Extension"_s), u"md"_s);
        QCOMPARE(form.Files().Count(), 0);
    }

    // Every click lists the samples and fills in a job for them; Yes opens their folder.
    void samples_listedEveryTimeAndTheJobFilledIn()
    {
        WindowFixture fx;
        fx.MakeFile(u"program/Samples/a.txt"_s, "123");
        Form1 &form = fx.Load();
        fx.platform.yesNoAnswers << false << true;
        form.PushButton3_Click();
        QVERIFY(fx.platform.calls.isEmpty());
        QCOMPARE(form.Text1->toPlainText() + u'|' + form.Text2->toPlainText(), u"2|123"_s);
        QVERIFY(form.Option2->isChecked());
        QCOMPARE(fx.Stored(u"Option2"_s), u"True"_s);
        form.PushButton3_Click();
        QCOMPARE(form.Files().Entries(), QStringList(2, fx.Path(u"program/Samples/a.txt"_s)));
        QCOMPARE(fx.platform.calls, QStringList{u"open: "_s + fx.Path(u"program/Samples"_s)});
        QCOMPARE(fx.platform.boxes.value(0).text,
                 u"Would you like this software to open the folder where these sample files are stored (so that "
                 "you can view them before working with them)?"_s);
    }

    // Text is refused. Files and folders are taken in order, always as a copy, even when the
    // source proposes a move (Shift), so that the source never deletes them.
    void drops_acceptFilesInOrderAndRefuseText()
    {
        WindowFixture fx;
        Form1 &form = fx.Load();
        const QString file = fx.MakeFile(u"drop/~lock.txt"_s, "x");
        const QString inner = fx.MakeFile(u"dir/inner.bin"_s, "x");
        QMimeData text, files;
        text.setText(u"not a file"_s);
        files.setUrls(
            {QUrl::fromLocalFile(file), QUrl::fromLocalFile(fx.dir.filePath(u"dir"_s)), QUrl::fromLocalFile(file)});
        const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
        QDragEnterEvent refused(QPoint(10, 10), offered, &text, Qt::LeftButton, Qt::NoModifier);
        QDragEnterEvent enter(QPoint(10, 10), offered, &files, Qt::LeftButton, Qt::ShiftModifier);
        QDropEvent drop(QPointF(10, 10), offered, &files, Qt::LeftButton, Qt::ShiftModifier);
        for (QEvent *event : std::initializer_list<QEvent *>{&refused, &enter, &drop})
            QCoreApplication::sendEvent(form.ListView1->viewport(), event);
        QVERIFY(!refused.isAccepted() && enter.isAccepted() && drop.isAccepted());
        QCOMPARE(QList({enter.dropAction(), drop.dropAction()}), QList({Qt::CopyAction, Qt::CopyAction}));
        QCOMPARE(form.Files().Entries(), (QStringList{file, inner, file}));
    }
};

TARNWELL_TEST_CLASS(FillersTest)
#include "FillersTest.moc"
