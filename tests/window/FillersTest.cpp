// Filling and thinning the list from the window: dialog, folder scan, samples, drops, filters,
// and Clear.
#include "TestRegistry.h"
#include "WindowFixture.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeView>
#include <QUrl>

using namespace tarnwell;
using namespace tarnwell::testing;

namespace {
QString Native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// What became of a drag over the list and its drop, both offering copy and move.
struct DropOutcome
{
    Qt::DropAction proposed = Qt::IgnoreAction; // what the source proposed (Shift: move)
    Qt::DropAction over = Qt::IgnoreAction;     // the drag-over's answer, IgnoreAction when refused
    Qt::DropAction dropped = Qt::IgnoreAction;  // the drop's answer; sent only after an accepted drag
};

DropOutcome DragAndDrop(Form1 &form, QMimeData *data, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget *target = form.ListView1->viewport();
    const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
    DropOutcome outcome;
    QDragEnterEvent enter(QPoint(10, 10), offered, data, Qt::LeftButton, modifiers);
    outcome.proposed = enter.proposedAction();
    QCoreApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return outcome;
    outcome.over = enter.dropAction();
    QDropEvent drop(QPointF(10, 10), offered, data, Qt::LeftButton, modifiers);
    QCoreApplication::sendEvent(target, &drop);
    if (drop.isAccepted())
        outcome.dropped = drop.dropAction();
    return outcome;
}
} // namespace

class FillersTest : public QObject
{
    Q_OBJECT
private slots:
    // Picked files go in in the order given; a selection too large for the dialog gets its own
    // message.
    void fileDialog_addsPickedFilesInOrder()
    {
        WindowFixture fx;
        Form1 &form = fx.Load();
        const QString one = Native(QStringLiteral("/data/one.txt"));
        const QString b = Native(QStringLiteral("/data/b.txt")), a = Native(QStringLiteral("/data/a.txt"));
        fx.platform.pickedFiles << PickedFiles{{one}, false} << PickedFiles{{b, a, one}, false} << PickedFiles{}
                                << PickedFiles{{QStringLiteral("/x/a")}, true};
        for (int click = 0; click < 4; ++click) // the third is a Cancel
            form.PushButton4_Click();
        QCOMPARE(fx.platform.fileDialogTitle,
                 QStringLiteral("Add File(s) - Hold Ctrl or Shift to select multiple files"));
        QCOMPARE(fx.platform.fileDialogFilter, QStringLiteral("All Files (*.*)|*.*|"));
        QCOMPARE(form.Files().Entries(), (QStringList{one, b, a, one}));
        QCOMPARE(fx.platform.boxes.size(), 1);
        QCOMPARE(fx.platform.BoxTexts(QStringLiteral("message")),
                 QStringList{QStringLiteral(
                     "You've selected too many files to add.\r\rPlease try adding via the \"Add All\" button.")});
        QCOMPARE(fx.platform.boxes.first().title, QStringLiteral("Tarnwell"));
    }

    void folderScan_asksStoresWalksAndRestoresThePointer()
    {
        WindowFixture fx;
        Form1 &form = fx.Load();
        fx.MakeFile(QStringLiteral("tree/top.TXT"), "1");
        fx.MakeFile(QStringLiteral("tree/skip.doc"), "1");
        fx.MakeFile(QStringLiteral("tree/sub/deep.txt"), "1");
        const QString tree = Native(fx.dir.filePath(QStringLiteral("tree")));
        fx.platform.inputAnswers << QStringLiteral("<default>") << QStringLiteral("md");
        fx.platform.folderAnswers << tree; // then Cancel for the second scan
        form.PushButton1_Click();
        form.PushButton1_Click();
        QCOMPARE(fx.platform.inputPrompts.first(),
                 QStringLiteral("Enter file extension to load:\r\r(* for all files, txt for all txt files, doc for all "
                                "doc files, etc.)"));
        QCOMPARE(fx.platform.browseTitle, QStringLiteral("Please select folder:"));
        QCOMPARE(form.Files().Entries(), (QStringList{tree + QDir::separator() + QStringLiteral("top.TXT"),
                                                      tree + QDir::separator() + QStringLiteral("sub")
                                                          + QDir::separator() + QStringLiteral("deep.txt")}));
        QCOMPARE(fx.Stored(QStringLiteral("Extension")),
                 QStringLiteral("md")); // stored although the browser was cancelled
        QCOMPARE(form.PointerState(), kPointerDefault);
        QVERIFY(fx.platform.boxes.isEmpty());
    }

    void samples_listedEveryTimeAndTheJobFilledIn()
    {
        WindowFixture fx;
        fx.MakeFile(QStringLiteral("program/Samples/a.txt"), "123");
        fx.MakeFile(QStringLiteral("program/Samples/.hidden.txt"), "x");
        Form1 &form = fx.Load();
        fx.platform.yesNoAnswers << false << true;
        form.PushButton3_Click();
        QCOMPARE(form.Files().Count(), 2);
        QVERIFY(fx.platform.openedFolders.isEmpty());
        QCOMPARE(form.Text1->toPlainText(), QStringLiteral("2"));
        QCOMPARE(form.Text2->toPlainText(), QStringLiteral("123"));
        QVERIFY(form.Option2->isChecked());
        QCOMPARE(fx.Stored(QStringLiteral("Option2")), QStringLiteral("True"));
        form.PushButton3_Click();
        QCOMPARE(form.Files().Count(), 4);
        QCOMPARE(form.Files().EntryAt(3), form.Files().EntryAt(1));
        const QString samples = fx.platform.programFolder + QDir::separator() + QStringLiteral("Samples");
        QVERIFY(form.Files().Entries().contains(samples + QDir::separator() + QStringLiteral(".hidden.txt")));
        QCOMPARE(fx.platform.openedFolders, QStringList{samples});
        QCOMPARE(fx.platform.BoxTexts(QStringLiteral("question")).first(),
                 QStringLiteral("Would you like this software to open the folder where these sample files are stored "
                                "(so that you can view them before working with them)?"));
    }

    void drops_acceptFilesInOrderAndRefuseText()
    {
        WindowFixture fx;
        Form1 &form = fx.Load();
        const QString file = fx.MakeFile(QStringLiteral("drop/~lock.txt"), "x");
        fx.MakeFile(QStringLiteral("dir/inner.bin"), "x");
        const QString folder = Native(fx.dir.filePath(QStringLiteral("dir")));

        QMimeData text;
        text.setText(QStringLiteral("not a file"));
        QCOMPARE(DragAndDrop(form, &text).over, Qt::IgnoreAction);
        QCOMPARE(form.Files().Count(), 0);

        // Shift proposes a move; the list takes it as a copy, so the source never deletes the files.
        QMimeData files;
        files.setUrls({QUrl::fromLocalFile(file), QUrl::fromLocalFile(folder), QUrl::fromLocalFile(file)});
        const DropOutcome outcome = DragAndDrop(form, &files, Qt::ShiftModifier);
        QCOMPARE(outcome.proposed, Qt::MoveAction);
        QCOMPARE(outcome.over, Qt::CopyAction);
        QCOMPARE(outcome.dropped, Qt::CopyAction);
        QCOMPARE(form.Files().Entries(),
                 (QStringList{file, folder + QDir::separator() + QStringLiteral("inner.bin"), file}));
        QCOMPARE(WindowFixture::Read(file), QByteArray("x"));
    }

    void filters_askThenRemove()
    {
        WindowFixture fx;
        Form1 &form = fx.Load();
        form.Files().AppendMany(
            {QStringLiteral("/a/One.TXT"), QStringLiteral("/b/two.doc"), QStringLiteral("/c d/three.txt")});
        fx.platform.inputAnswers << QString() << QStringLiteral("txt") << QStringLiteral(" ");
        form.PushButton5_Click(); // Cancel: nothing
        QCOMPARE(form.Files().Count(), 3);
        form.PushButton11_Click(); // keep only what holds txt, in any case
        form.PushButton5_Click();  // a single blank is a valid answer
        QCOMPARE(form.Files().Entries(), QStringList{QStringLiteral("/a/One.TXT")});
        QCOMPARE(fx.platform.inputPrompts, (QStringList{QStringLiteral("Remove entries containing: "),
                                                        QStringLiteral("Remove entries not containing: "),
                                                        QStringLiteral("Remove entries containing: ")}));
        QCOMPARE(form.PointerState(), kPointerDefault);
        form.PushButton7_Click();
        QCOMPARE(form.Files().Count(), 0);
    }
};

TARNWELL_TEST_CLASS(FillersTest)
#include "FillersTest.moc"
