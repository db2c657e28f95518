#include "AppendRun.h"
#include "FakeHost.h"
#include "TestFiles.h"
#include "TestRegistry.h"

#include <QTemporaryDir>
#include <QTest>

using namespace tarnwell;
using namespace tarnwell::testing;

namespace {

const QString kNoFiles = QStringLiteral("No files added.");
const QString kNoFolder = QStringLiteral("Folder does not exist. Please select another folder.");
const QString kDone = QStringLiteral("Done.");

} // namespace

// The run as the window drives it: preconditions, the calls it makes for each file, the condition
// test through whole files, both ways of saving, and how failures are reported.
class AppendRunTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString Path(const QString &name) const { return m_dir->filePath(name); }

    // A host that edits in place, mode "does", with the given files listed.
    FakeHost HostFor(const QStringList &files)
    {
        FakeHost host;
        host.entries = files;
        host.text3 = m_dir->path();
        host.text1 = QStringLiteral("TAIL");
        return host;
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void preconditions_data()
    {
        QTest::addColumn<bool>("emptyList");
        QTest::addColumn<QString>("folder"); // "@dir" the test folder, "@file" a file in it
        QTest::addColumn<bool>("editInPlace");
        QTest::addColumn<QStringList>("expectedCalls");
        const QStringList noFiles = {QStringLiteral("EntryCount"), QStringLiteral("ShowMessage(%1)").arg(kNoFiles)};
        const QStringList noFolder = {QStringLiteral("EntryCount"), QStringLiteral("Text3"),
                                      QStringLiteral("ShowMessage(%1)").arg(kNoFolder)};
        QTest::newRow("empty list is checked before the folder") << true << QStringLiteral("missing") << false << noFiles;
        QTest::newRow("empty list, folder fine") << true << QStringLiteral("@dir") << true << noFiles;
        QTest::newRow("missing folder, edit in place") << false << QStringLiteral("missing") << true << noFolder;
        QTest::newRow("missing folder, new files") << false << QStringLiteral("missing") << false << noFolder;
        QTest::newRow("empty folder text") << false << QString() << true << noFolder;
        QTest::newRow("folder text names a file") << false << QStringLiteral("@file") << false << noFolder;
    }
    void preconditions()
    {
        QFETCH(bool, emptyList);
        QFETCH(QString, folder);
        QFETCH(bool, editInPlace);
        QFETCH(QStringList, expectedCalls);
        WriteBytes(Path(QStringLiteral("a.txt")), "abc");
        FakeHost host = HostFor(emptyList ? QStringList() : QStringList{Path(QStringLiteral("a.txt"))});
        host.combo1 = 1; // "does not": the file would qualify
        host.option1 = editInPlace;
        host.text3 = folder == QLatin1String("@dir")    ? m_dir->path()
                   : folder == QLatin1String("@file") ? Path(QStringLiteral("a.txt"))
                   : folder.isEmpty()                 ? QString()
                                                      : Path(folder);
        RunAppendJob(host, CodePage::Windows1252());
        QCOMPARE(host.calls, expectedCalls);
        QCOMPARE(ReadBytes(Path(QStringLiteral("a.txt"))), QByteArray("abc"));
    }

    void callSequenceForEachFileAndEndState()
    {
        WriteBytes(Path(QStringLiteral("yes.txt")), "has KEY");
        WriteBytes(Path(QStringLiteral("no.txt")), "nothing");
        FakeHost host = HostFor({Path(QStringLiteral("yes.txt")), Path(QStringLiteral("no.txt"))});
        host.text2 = QStringLiteral("key");
        host.option1 = false;
        host.text3 = Path(QStringLiteral("out"));
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("out")));
        RunAppendJob(host, CodePage::Windows1252());
        const QStringList expected = {
            QStringLiteral("EntryCount"), QStringLiteral("Text3"),
            // file 1 qualifies
            QStringLiteral("Yield"), QStringLiteral("SetPointer(11)"), QStringLiteral("SetProgressValue(50)"),
            QStringLiteral("EntryText(1)"), QStringLiteral("SetProgressText(Processing: yes.txt)"),
            QStringLiteral("Yield"), QStringLiteral("SetPointer(11)"), QStringLiteral("Text2"),
            QStringLiteral("Combo1Position"), QStringLiteral("Text1"), QStringLiteral("Option1Selected"),
            QStringLiteral("Text3"),
            // file 2 does not: the fields of the write are not read
            QStringLiteral("Yield"), QStringLiteral("SetPointer(11)"), QStringLiteral("SetProgressValue(100)"),
            QStringLiteral("EntryText(2)"), QStringLiteral("SetProgressText(Processing: no.txt)"),
            QStringLiteral("Yield"), QStringLiteral("SetPointer(11)"), QStringLiteral("Text2"),
            QStringLiteral("Combo1Position"),
            // the end state
            QStringLiteral("SetPointer(0)"), QStringLiteral("SetProgressValue(0)"),
            QStringLiteral("SetProgressText(Progress Bar)"), QStringLiteral("ShowMessage(Done.)")};
        QCOMPARE(host.calls, expected);
        QCOMPARE(FolderNames(Path(QStringLiteral("out"))), QStringList{QStringLiteral("yes.txt")});
        QCOMPARE(ReadBytes(Path(QStringLiteral("out/yes.txt"))), QByteArray("has KEY\r\nTAIL"));
        QCOMPARE(ReadBytes(Path(QStringLiteral("yes.txt"))), QByteArray("has KEY"));
    }

    void progressCountsTheCurrentFileAsBegun()
    {
        QStringList files;
        for (int i = 0; i < 4; ++i)
            files << Path(QStringLiteral("f%1.txt").arg(i));
        FakeHost host = HostFor(files);
        host.combo1 = -1;
        RunAppendJob(host, CodePage::Windows1252());
        QCOMPARE(host.progressValues, (QList<double>{25, 50, 75, 100, 0}));
    }

    // The condition test through a whole run: which file is written, and to what.
    void condition_data()
    {
        QTest::addColumn<QByteArray>("content"); // "<missing>" for no file at all
        QTest::addColumn<int>("combo1");
        QTest::addColumn<QString>("condition");
        QTest::addColumn<QString>("appendText");
        QTest::addColumn<bool>("written");
        const auto s = [](const char *text) { return QString::fromUtf8(text); };
        QTest::newRow("does: case ignored") << QByteArray("xxABCxx") << 0 << s("abc") << s("T") << true;
        QTest::newRow("does: absent") << QByteArray("xxABxCxx") << 0 << s("abc") << s("T") << false;
        QTest::newRow("does: CR LF removed from file") << QByteArray("a\r\nb") << 0 << s("ab") << s("T") << true;
        QTest::newRow("does: tab removed from file") << QByteArray("a\tb") << 0 << s("ab") << s("T") << true;
        QTest::newRow("does: line break typed in condition") << QByteArray("ab") << 0 << s("a\r\nb") << s("T") << true;
        QTest::newRow("does: ByVal removed from condition") << QByteArray("x") << 0 << s("ByVal x") << s("T") << true;
        QTest::newRow("does: ByVal removed from file") << QByteArray("ByVal x") << 0 << s("x") << s("T") << true;
        QTest::newRow("does: byval in lower case stays") << QByteArray("ByVal x") << 0 << s("byval x") << s("T") << false;
        QTest::newRow("does: blanks stay") << QByteArray("ab") << 0 << s("a b") << s("T") << false;
        QTest::newRow("does: empty condition, text") << QByteArray(" ") << 0 << QString() << s("T") << true;
        QTest::newRow("does: empty condition, only strippables") << QByteArray("\r\n\tByVal ") << 0 << QString() << s("T") << false;
        QTest::newRow("does not: empty condition, only strippables") << QByteArray("\r\n\tByVal ") << 1 << QString() << s("T") << true;
        QTest::newRow("does not: empty condition, text") << QByteArray("x") << 1 << QString() << s("T") << false;
        QTest::newRow("does not: absent, ends in CR LF") << QByteArray("line1\r\n") << 1 << s("END") << s("T") << true;
        QTest::newRow("does not: present") << QByteArray("the end") << 1 << s("END") << s("T") << false;
        QTest::newRow("does not: empty append text") << QByteArray("x") << 1 << s("y") << QString() << true;
        QTest::newRow("unset: never") << QByteArray("x") << -1 << s("x") << s("T") << false;
        QTest::newRow("other position: never") << QByteArray("x") << 2 << s("y") << s("T") << false;
        QTest::newRow("zero-length file: does not") << QByteArray("") << 1 << s("x") << s("T") << true;
        QTest::newRow("zero-length file: does, empty condition") << QByteArray("") << 0 << QString() << s("T") << false;
        QTest::newRow("missing file: does not creates it") << QByteArray("<missing>") << 1 << s("x") << s("T") << true;
        QTest::newRow("missing file: does, empty condition") << QByteArray("<missing>") << 0 << QString() << s("T") << false;
    }
    void condition()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, combo1);
        QFETCH(QString, condition);
        QFETCH(QString, appendText);
        QFETCH(bool, written);
        const bool missing = content == "<missing>";
        const QString file = Path(QStringLiteral("f.txt"));
        if (!missing)
            WriteBytes(file, content);
        for (const bool editInPlace : {true, false}) {
            if (!editInPlace) {
                QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("out")));
            }
            FakeHost host = HostFor({file});
            host.combo1 = combo1;
            host.text2 = condition;
            host.text1 = appendText;
            host.option1 = editInPlace;
            if (!editInPlace)
                host.text3 = Path(QStringLiteral("out"));
            RunAppendJob(host, CodePage::Windows1252());
            QVERIFY(host.errorBoxes.isEmpty());
            QCOMPARE(host.messages, QStringList{kDone});
            const QByteArray original = missing ? QByteArray() : content;
            const QByteArray expected = original + "\r\n" + appendText.toLatin1();
            const QString result = editInPlace ? file : Path(QStringLiteral("out/f.txt"));
            if (written)
                QCOMPARE(ReadBytes(result), expected);
            else if (editInPlace)
                QCOMPARE(ReadBytes(file), missing ? QByteArray() : content);
            else
                QVERIFY(FolderNames(Path(QStringLiteral("out"))).isEmpty());
            if (editInPlace && written && !missing)
                WriteBytes(file, content); // the second pass starts from the same file
            if (editInPlace && written && missing)
                QVERIFY(QFile::remove(file));
        }
    }

    void newFilesWithTheSameNameLeaveTheLaterOne()
    {
        QDir dir(m_dir->path());
        QVERIFY(dir.mkpath(QStringLiteral("one")) && dir.mkpath(QStringLiteral("two")) && dir.mkpath(QStringLiteral("out")));
        WriteBytes(Path(QStringLiteral("one/same.txt")), "first");
        WriteBytes(Path(QStringLiteral("two/same.txt")), "second");
        FakeHost host = HostFor({Path(QStringLiteral("one/same.txt")), Path(QStringLiteral("two/same.txt"))});
        host.combo1 = 1;
        host.text2 = QStringLiteral("zzz");
        host.option1 = false;
        host.text3 = Path(QStringLiteral("out"));
        RunAppendJob(host, CodePage::Windows1252());
        QCOMPARE(FolderNames(Path(QStringLiteral("out"))), QStringList{QStringLiteral("same.txt")});
        QCOMPARE(ReadBytes(Path(QStringLiteral("out/same.txt"))), QByteArray("second\r\nTAIL"));
        QCOMPARE(ReadBytes(Path(QStringLiteral("one/same.txt"))), QByteArray("first"));
        QCOMPARE(ReadBytes(Path(QStringLiteral("two/same.txt"))), QByteArray("second"));
    }

    void outputFolderEqualToTheInputsFolderAppendsOnce_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("same text") << QString();
        QTest::newRow("trailing separator") << QStringLiteral("/");
        QTest::newRow("through a dot") << QStringLiteral("/.");
    }
    void outputFolderEqualToTheInputsFolderAppendsOnce()
    {
        QFETCH(QString, folder);
        WriteBytes(Path(QStringLiteral("in.txt")), "data");
        FakeHost host = HostFor({Path(QStringLiteral("in.txt"))});
        host.combo1 = 1;
        host.text2 = QStringLiteral("zzz");
        host.option1 = false;
        host.text3 = m_dir->path() + folder;
        RunAppendJob(host, CodePage::Windows1252());
        QVERIFY(host.errorBoxes.isEmpty());
        QCOMPARE(ReadBytes(Path(QStringLiteral("in.txt"))), QByteArray("data\r\nTAIL"));
        QCOMPARE(FolderNames(m_dir->path()), QStringList{QStringLiteral("in.txt")});
    }

    void fieldsAreReadForEachFile()
    {
        QDir dir(m_dir->path());
        QVERIFY(dir.mkpath(QStringLiteral("out1")) && dir.mkpath(QStringLiteral("out2")));
        for (const char *name : {"1.txt", "2.txt", "3.txt"})
            WriteBytes(Path(QString::fromLatin1(name)), "alpha beta");
        FakeHost host = HostFor({Path(QStringLiteral("1.txt")), Path(QStringLiteral("2.txt")), Path(QStringLiteral("3.txt"))});
        host.text2 = QStringLiteral("alpha");
        host.text1 = QStringLiteral("one");
        host.option1 = true;
        // While file 1 is processed the user edits the window; the edits hold from file 2 on.
        // File 3 is met by a change of mode and of saving.
        host.onCall = [&](const QString &call) {
            if (call == QLatin1String("Text1") && host.text1 == QLatin1String("one")) {
                host.text2 = QStringLiteral("BETA");
                host.text1 = QStringLiteral("two");
            } else if (call == QLatin1String("EntryText(3)")) {
                host.combo1 = 1;
                host.text2 = QStringLiteral("gamma");
                host.option1 = false;
                host.text3 = Path(QStringLiteral("out2"));
            }
        };
        RunAppendJob(host, CodePage::Windows1252());
        QCOMPARE(ReadBytes(Path(QStringLiteral("1.txt"))), QByteArray("alpha beta\r\none"));
        QCOMPARE(ReadBytes(Path(QStringLiteral("2.txt"))), QByteArray("alpha beta\r\ntwo"));
        QCOMPARE(ReadBytes(Path(QStringLiteral("3.txt"))), QByteArray("alpha beta"));
        QCOMPARE(ReadBytes(Path(QStringLiteral("out2/3.txt"))), QByteArray("alpha beta\r\ntwo"));
    }

    // Bad input: each failing file gets one error box naming it, nothing of it is lost, and the
    // run goes on with the next file and ends with "Done.".
    void failingFileIsReportedAndTheRunGoesOn_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("line");
        QTest::newRow("folder listed as a file") << QStringLiteral("folder") << 112;
        QTest::newRow("character the code page lacks") << QStringLiteral("cjk") << 116;
        QTest::newRow("UTF-16 mark with an odd length") << QStringLiteral("odd16") << 116;
        QTest::newRow("output path is a folder") << QStringLiteral("targetIsFolder") << 118;
        QTest::newRow("file without read permission") << QStringLiteral("noRead") << 112;
        QTest::newRow("file without write permission") << QStringLiteral("noWrite") << 118;
#ifdef Q_OS_LINUX
        QTest::newRow("read fails after opening") << QStringLiteral("procMem") << 112;
        QTest::newRow("output folder nobody may write") << QStringLiteral("procFolder") << 118;
#endif
    }
    void failingFileIsReportedAndTheRunGoesOn()
    {
        QFETCH(QString, kind);
        QFETCH(int, line);
        QDir dir(m_dir->path());
        QVERIFY(dir.mkpath(QStringLiteral("out")));
        QString bad = Path(QStringLiteral("bad.txt"));
        const QString good = Path(QStringLiteral("good.txt"));
        WriteBytes(good, "good");
        QByteArray badBytes = "bad";
        FakeHost host;
        host.combo1 = 1;
        host.text2 = QStringLiteral("zzz");
        host.text1 = QStringLiteral("T");
        host.text3 = m_dir->path();
        host.option1 = true;
        if (kind == QLatin1String("folder")) {
            QVERIFY(dir.mkdir(QStringLiteral("bad.txt")));
        } else if (kind == QLatin1String("cjk")) {
            host.text1 = QString::fromUtf8("漢");
            host.option1 = false; // the good file goes out as new; it is UTF-8 with a mark
            host.text3 = Path(QStringLiteral("out"));
            WriteBytes(good, "\xEF\xBB\xBFgood");
        } else if (kind == QLatin1String("odd16")) {
            badBytes = "\xFF\xFE\x61\x00\x62";
        } else if (kind == QLatin1String("targetIsFolder")) {
            host.option1 = false;
            host.text3 = Path(QStringLiteral("out"));
            QVERIFY(dir.mkpath(QStringLiteral("out/bad.txt")));
            QVERIFY(dir.mkpath(QStringLiteral("two")));
            WriteBytes(Path(QStringLiteral("two/good.txt")), "good");
        } else if (kind == QLatin1String("noRead") || kind == QLatin1String("noWrite")) {
            if (RunningAsRoot())
                QSKIP("The superuser may read and write any file; the other rows cover this as root.");
        } else if (kind == QLatin1String("procMem")) {
            bad = QStringLiteral("/proc/self/mem");
            host.combo1 = 0; // "does" with an empty condition: a file read as empty is never written
            host.text2 = QString();
        } else if (kind == QLatin1String("procFolder")) {
            host.option1 = false;
            host.text3 = QStringLiteral("/proc");
            host.onCall = [&](const QString &call) {
                if (call == QLatin1String("EntryText(2)"))
                    host.text3 = Path(QStringLiteral("out"));
            };
        }
        if (!QFileInfo(bad).isDir() && !bad.startsWith(QLatin1String("/proc")))
            WriteBytes(bad, badBytes);
        if (kind == QLatin1String("noRead"))
            QVERIFY(QFile::setPermissions(bad, QFileDevice::WriteOwner));
        if (kind == QLatin1String("noWrite"))
            QVERIFY(QFile::setPermissions(bad, QFileDevice::ReadOwner));
        const QString goodEntry = kind == QLatin1String("targetIsFolder") ? Path(QStringLiteral("two/good.txt")) : good;
        host.entries = {bad, goodEntry};

        RunAppendJob(host, CodePage::Windows1252());

        QCOMPARE(host.errorBoxes.size(), 1);
        const FakeHost::ErrorBox box = host.errorBoxes.first();
        QCOMPARE(box.procedure, QStringLiteral("PushButton2_Click"));
        QCOMPARE(box.line, line);
        const QString named = kind == QLatin1String("targetIsFolder") ? Path(QStringLiteral("out/bad.txt"))
                            : kind == QLatin1String("procFolder")    ? QStringLiteral("/proc/bad.txt")
                                                                     : bad;
        QVERIFY2(box.description.contains(named), qPrintable(box.description));
        if (kind == QLatin1String("cjk"))
            QVERIFY2(box.description.contains(QLatin1String("windows-1252")), qPrintable(box.description));
        QCOMPARE(host.messages, QStringList{kDone});
        QCOMPARE(host.calls.last(), QStringLiteral("ShowMessage(Done.)"));
        // The bad file is as it was; the good one behind it was done.
        if (QFileInfo(bad).isFile() && !bad.startsWith(QLatin1String("/proc"))) {
            QFile::setPermissions(bad, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
            QCOMPARE(ReadBytes(bad), badBytes);
        }
        if (kind == QLatin1String("cjk")) {
            QCOMPARE(FolderNames(Path(QStringLiteral("out"))), QStringList{QStringLiteral("good.txt")});
            QCOMPARE(ReadBytes(Path(QStringLiteral("out/good.txt"))), QByteArray("\xEF\xBB\xBFgood\r\n\xE6\xBC\xA2"));
        } else if (kind == QLatin1String("targetIsFolder")) {
            QCOMPARE(ReadBytes(Path(QStringLiteral("out/good.txt"))), QByteArray("good\r\nT"));
            QVERIFY(QFileInfo(Path(QStringLiteral("out/bad.txt"))).isDir());
        } else if (kind == QLatin1String("procFolder")) {
            QCOMPARE(ReadBytes(Path(QStringLiteral("out/good.txt"))), QByteArray("good\r\nT"));
        } else {
            QCOMPARE(ReadBytes(good), QByteArray("good\r\nT"));
        }
    }
};

TARNWELL_TEST_CLASS(AppendRunTest)
#include "AppendRunTest.moc"
