// Filling and thinning the list from the window: dialog, folder scan, samples, drops, filters,
// and Clear.
#include "TestRegistry.h"
#include "WindowFixture.h"

#ifndef Q_OS_WIN
#include <QScopeGuard>

#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace tarnwell;
using namespace tarnwell::testing;
using namespace Qt::StringLiterals;

class FillersTest : public QObject
{
    Q_OBJECT
private slots:
    // Picked files go in in the order given; a selection too large for the dialog gets its own
    // message. The filters ask first (Cancel removes nothing, a single blank is a valid answer) and
    // match in any case; a scan stores its extension before the folder browser opens (cancelled
    // here; a scan that runs is in RunTest's whole job). Clear empties the list.
    void listFillersAndFilters()
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
        fx.platform.answers << QString() << u"txt"_s << u" "_s << u"md"_s;
        form.PushButton5_Click();
        QCOMPARE(form.Files().Count(), 4);
        form.PushButton11_Click();
        form.PushButton5_Click();
        form.PushButton1_Click();
        QCOMPARE(form.Files().Entries(), QStringList{QDir::toNativeSeparators(picked.first())});
        QCOMPARE(fx.platform.calls,
                 (QStringList{u"input: Remove entries containing: "_s, u"input: Remove entries not containing: "_s,
                              u"input: Remove entries containing: "_s,
                              u"input: Enter file extension to load:\r\r(* for all files, txt for all txt files, "
                              "doc for all doc files, etc.)"_s,
                              u"folder: Please select folder:"_s}));
        QCOMPARE(fx.Stored(u"Extension"_s), u"md"_s);
        QCOMPARE(form.PointerState(), kPointerDefault);
        form.PushButton7_Click();
        QCOMPARE(form.Files().Count(), 0);

        // Every samples click lists them and fills in a job for them; Yes opens their folder.
        fx.MakeFile(u"program/Samples/a.txt"_s, "123");
        fx.platform.calls.clear();
        fx.platform.yesNoAnswers << false << true;
        form.PushButton3_Click();
        QVERIFY(fx.platform.calls.isEmpty());
        QCOMPARE(fx.Find<QPlainTextEdit>("Text1")->toPlainText() + u'|'
                     + fx.Find<QPlainTextEdit>("Text2")->toPlainText(),
                 u"2|123"_s);
        QVERIFY(fx.Find<QRadioButton>("Option2")->isChecked());
        QCOMPARE(fx.Stored(u"Option2"_s), u"True"_s);
        form.PushButton3_Click();
        QCOMPARE(form.Files().Entries(), QStringList(2, fx.Path(u"program/Samples/a.txt"_s)));
        QCOMPARE(fx.platform.calls, QStringList{u"open: "_s + fx.Path(u"program/Samples"_s)});
        QCOMPARE(fx.platform.boxes.value(1).text,
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
        QWidget *list = fx.Find<QTreeView>("ListView1")->viewport();
        for (QEvent *event : std::initializer_list<QEvent *>{&refused, &enter, &drop})
            QCoreApplication::sendEvent(list, event);
        QVERIFY(!refused.isAccepted() && enter.isAccepted() && drop.isAccepted());
        QCOMPARE(QList({enter.dropAction(), drop.dropAction()}), QList({Qt::CopyAction, Qt::CopyAction}));
        QCOMPARE(form.Files().Entries(), (QStringList{file, inner, file}));
    }

    // A dropped item whose name is not valid in the system's character set would be listed under a
    // changed name that names no file: it is left out, and one box per drop says how many were. A
    // dropped folder's own files and subfolders with such names are left out silently, as the scan
    // leaves them out.
    void drops_leaveOutNamesThatDoNotDecode()
    {
#ifdef Q_OS_WIN
        QSKIP("Windows names are UTF-16: every dropped name decodes");
#else
        WindowFixture fx;
        Form1 &form = fx.Load();
        const QByteArray root = QFile::encodeName(fx.dir.path()) + '/';
        const auto cleanUp = qScopeGuard([&] { std::filesystem::remove_all(root.toStdString()); });
        for (const QByteArray folder : {"dir", "dir/sub\xff", "d\xff"})
            QVERIFY(::mkdir(QByteArray(root + folder).constData(), 0755) == 0);
        for (const QByteArray name : {"good.txt", "bad\xff.txt", "dir/ok.txt", "dir/in\xff.txt", "d\xff/x.txt"}) {
            const int fd = ::open(QByteArray(root + name).constData(), O_CREAT | O_WRONLY, 0644);
            QVERIFY(fd >= 0 && ::close(fd) == 0);
        }
        // As a file manager gives them: the name's bytes, percent-encoded.
        const auto dropped = [&](const QByteArrayList &names) {
            QMimeData data;
            QList<QUrl> urls;
            for (const QByteArray &name : names)
                urls << QUrl::fromEncoded("file://" + QByteArray(root + name).toPercentEncoding("/"));
            data.setUrls(urls);
            QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QWidget *list = fx.Find<QTreeView>("ListView1")->viewport();
            QCoreApplication::sendEvent(list, &enter);
            QCoreApplication::sendEvent(list, &drop);
            return enter.isAccepted() && drop.isAccepted();
        };
        QVERIFY(dropped({"good.txt", "bad\xff.txt", "dir", "d\xff"}));
        const QStringList listed{fx.Path(u"good.txt"_s), fx.Path(u"dir/ok.txt"_s)};
        QCOMPARE(form.Files().Entries(), listed);
        QVERIFY(dropped({"bad\xff.txt"})); // taken, so that the box can say why nothing came
        QCOMPARE(form.Files().Entries(), listed);
        QStringList boxes;
        for (const FakePlatform::Box &box : std::as_const(fx.platform.boxes))
            boxes << box.kind + u'|' + box.title + u'|' + box.text;
        QCOMPARE(boxes, (QStringList{u"message|Tarnwell|2 dropped items were left out: their names cannot be read "
                                     "in this system's character set."_s,
                                     u"message|Tarnwell|1 dropped item was left out: its name cannot be read in "
                                     "this system's character set."_s}));
#endif
    }
};

TARNWELL_TEST_CLASS(FillersTest)
#include "FillersTest.moc"
