#include "RecordingHost.h"
#include "TestRegistry.h"
#include "engine/AppendJournal.h"
#include "engine/AppendRun.h"
#include "engine/FileRead.h"
#include "engine/FileWrite.h"
#include "files/Paths.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <numeric>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#endif

using namespace tarnwell;
using namespace tarnwell::testing;
using namespace Qt::StringLiterals;

namespace {

// Runs the job through a fresh host, with the code page pinned to windows-1252.
RecordingHost Run(JobFields job, const CodePage &codePage = CodePage::Windows1252())
{
    RecordingHost host(std::move(job));
    RunAppendJob(host, u"PushButton2_Click"_s, codePage);
    return host;
}

void WriteBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size(), qPrintable(path));
}

// Empty for a missing or unreadable file (TreeNames tells those apart).
QByteArray ReadBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every file and folder under `folder`, hidden ones too (a forgotten temporary file shows), sorted.
QStringList TreeNames(const QString &folder)
{
    QStringList names;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        names << QDir(folder).relativeFilePath(it.next());
    names.sort();
    return names;
}

// The appendix of the killed appends below: lines over more than three pages.
QByteArray LongAppendix()
{
    QByteArray bytes = "\r\n";
    for (int line = 0; bytes.size() < 3 * 4096 + 100; ++line)
        bytes += "appended line " + QByteArray::number(line) + "\r\n";
    return bytes;
}

} // namespace

// A run as the window drives it and the files it leaves, byte for byte: the preconditions, what it shows
// per file, when it reads the fields and where it saves; the condition in each kind of file, CR LF and the
// text appended in the file's own encoding; a failed or killed write losing nothing; the error trap.
class FileBytesTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    static QTestData &Row(const char *name) { return QTest::newRow(name); } // keeps the tables' rows short
    QString Path(const QString &name) const { return m_dir->filePath(name); }
    // The output folder of a one-file job: the test folder itself in place, where it is not used, else "out".
    QString Folder(bool inPlace) const { return inPlace ? m_dir->path() : Path(u"out"_s); }

    // A job over the named files of the test folder, each written with `content`, saved in place.
    JobFields Files(const QStringList &names, const QByteArray &content = "data")
    {
        JobFields job;
        job.outputFolder = m_dir->path();
        for (const QString &name : names) {
            WriteBytes(Path(name), content);
            job.files << Path(name);
        }
        return job;
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid() && QDir(m_dir->path()).mkdir(u"out"_s));
    }

    // Without files (checked first) or an output folder, in either save mode, the run only says so.
    void preconditions()
    {
        const QStringList noFolder{u"Message(Folder does not exist. Please select another folder.)"_s};
        JobFields job = Files({u"a.txt"_s});
        for (const QString &folder : {u"missing"_s, u"a.txt"_s}) {
            for (const bool inPlace : {true, false}) {
                job.outputFolder = Path(folder);
                job.saveMode = SaveModeFor(inPlace);
                QCOMPARE(Run(job).calls, noFolder);
            }
        }
        job.files.clear();
        QCOMPARE(Run(job).calls, QStringList{u"Message(No files added.)"_s});
        QCOMPARE(ReadBytes(Path(u"a.txt"_s)), "data"_ba);
        QCOMPARE(TreeNames(m_dir->path()), (QStringList{u"a.txt"_s, u"out"_s}));
    }

    // Every file shows the same steps, written or not, then the end state; an edit made during the run
    // holds from the next file on.
    void callSequenceAndEndState()
    {
        using enum ConditionMode;
        using enum SaveMode;
        RecordingHost host(Files({u"f1.txt"_s, u"f2.txt"_s, u"f3.txt"_s, u"f4.txt"_s}));
        WriteBytes(Path(u"f2.txt"_s), "zzz");
        host.onCall = [&](const QString &call) {
            if (call == u"EntryText(3)"_s) // "does" DATA, new files
                host.job = {host.job.files, u"two"_s, u"DATA"_s, Path(u"out"_s), Does, NewFilesInFolder};
        };
        RunAppendJob(host, u"PushButton2_Click"_s, CodePage::Windows1252());
        QStringList expected;
        for (int i = 1; i <= 4; ++i) {
            expected << u"Yield"_s << u"Busy"_s << u"Progress(%1)"_s.arg(25 * i) << u"EntryText(%1)"_s.arg(i)
                     << u"ProgressText(Processing: f%1.txt)"_s.arg(i) << u"Yield"_s << u"Busy"_s;
        }
        expected << u"NotBusy"_s << u"Progress(0)"_s << u"ProgressText(Progress Bar)"_s << u"Message(Done.)"_s;
        QCOMPARE(host.calls, expected);
        QCOMPARE(ReadBytes(Path(u"f1.txt"_s)), "data\r\nTAIL"_ba);
        QCOMPARE(ReadBytes(Path(u"f2.txt"_s)), "zzz"_ba);
        QCOMPARE(ReadBytes(Path(u"f3.txt"_s)), "data"_ba);
        QCOMPARE(ReadBytes(Path(u"out/f3.txt"_s)), "data\r\ntwo"_ba);
    }

    // New files: of two inputs of one name the first one's output stays and the second gets one box naming
    // both; an input listed again is written once, silently; an input already in the output folder, named
    // another way, is appended to in place (another name of it sees that), once; a folder in a new file's
    // place gets one box, and the run goes on.
    void outputFolder()
    {
        QVERIFY(QDir(m_dir->path()).mkdir(u"one"_s) && QDir(m_dir->path()).mkdir(u"two"_s));
        JobFields job = Files({u"one/same.txt"_s, u"one/blocked.txt"_s, u"two/same.txt"_s, u"in.txt"_s},
                              "the longer first");
        job.files << Path(u"in.txt"_s) << Path(u"one/same.txt"_s);
        QVERIFY(QDir().mkdir(Path(u"blocked.txt"_s)));
        WriteBytes(Path(u"two/same.txt"_s), "2nd");
#ifndef Q_OS_WIN
        QTemporaryDir elsewhere; // another name of in.txt sees the append: the file is not replaced
        const QString other = elsewhere.filePath(u"other"_s);
        QCOMPARE(::link(QFile::encodeName(Path(u"in.txt"_s)).constData(), QFile::encodeName(other).constData()), 0);
#endif
        job.saveMode = SaveMode::NewFilesInFolder;
        job.outputFolder += u"/."_s;
        const RecordingHost host = Run(job);
        const QStringList boxes = host.Boxes();
        QCOMPARE(boxes.size(), 2);
        QVERIFY2(boxes[0].startsWith(u"118 PushButton2_Click "_s) && boxes[0].contains(u"blocked.txt"_s),
                 qPrintable(boxes[0]));
        QVERIFY2(boxes[1].startsWith(u"116 PushButton2_Click "_s) && boxes[1].contains(Path(u"one/same.txt"_s))
                     && boxes[1].contains(Path(u"two/same.txt"_s)),
                 qPrintable(boxes[1]));
        QCOMPARE(host.calls.last(), u"Message(Done.)"_s);
        QCOMPARE(ReadBytes(Path(u"same.txt"_s)), "the longer first\r\nTAIL"_ba);
        QCOMPARE(ReadBytes(Path(u"in.txt"_s)), "the longer first\r\nTAIL"_ba);
#ifndef Q_OS_WIN
        QCOMPARE(ReadBytes(other), "the longer first\r\nTAIL"_ba);
#endif
        QCOMPARE(ReadBytes(Path(u"one/same.txt"_s)) + ReadBytes(Path(u"two/same.txt"_s)), "the longer first2nd"_ba);
        QCOMPARE(TreeNames(m_dir->path()),
                 (QStringList{u"blocked.txt"_s, u"in.txt"_s, u"one"_s, u"one/blocked.txt"_s, u"one/same.txt"_s,
                              u"out"_s, u"same.txt"_s, u"two"_s, u"two/same.txt"_s}));
    }

    // In place, a file is appended to once in a run, however often and by whatever name it is listed (the
    // same path, another spelling, a link, a hard link), without a box; a file that was only tested is
    // tested again when listed again, and a missing file that the run made is not appended to twice.
    void eachFileAppendedOnce()
    {
        JobFields job = Files({u"a.txt"_s, u"b.txt"_s});
        WriteBytes(Path(u"b.txt"_s), "zzz"); // holds the condition until the text changes
        const QString a = Path(u"a.txt"_s), b = Path(u"b.txt"_s), missing = Path(u"new.txt"_s);
        job.files = {a, b, a, m_dir->path() + u"/./a.txt"_s, missing, missing};
#ifdef Q_OS_WIN
        job.files << Path(u"A.TXT"_s);
#else
        QVERIFY(QFile::link(a, Path(u"link"_s)));
        QCOMPARE(::link(QFile::encodeName(a).constData(), QFile::encodeName(Path(u"hard"_s)).constData()), 0);
        job.files << Path(u"link"_s) << Path(u"hard"_s);
#endif
        job.files << b << b;
        RecordingHost host(job);
        host.onCall = [&](const QString &call) {
            if (call == u"EntryText(%1)"_s.arg(job.files.size() - 1))
                host.job.conditionText = u"yyy"_s;
        };
        RunAppendJob(host, u"PushButton2_Click"_s, CodePage::Windows1252());
        QCOMPARE(host.Boxes(), QStringList());
        QCOMPARE(host.calls.last(), u"Message(Done.)"_s);
        QCOMPARE(ReadBytes(a), "data\r\nTAIL"_ba);
        QCOMPARE(ReadBytes(b), "zzz\r\nTAIL"_ba);
        QCOMPARE(ReadBytes(missing), "\r\nTAIL"_ba);
    }

    // A new file whose name is as long as a name may be is written, and replaces its older namesake, also
    // where the folder takes no unnamed files; nothing else is left beside it.
    void longNames_data()
    {
        QTest::addColumn<int>("bytes"); // of the name
        QTest::addColumn<bool>("unnamed");
        QTest::addColumn<bool>("older");
        Row("255, unnamed, replacing") << 255 << true << true;
        Row("255, named, replacing") << 255 << false << true;
        Row("255, named, new") << 255 << false << false;
        Row("242, named, replacing") << 242 << false << true;
    }
    void longNames()
    {
        QFETCH(int, bytes);
        QFETCH(bool, unnamed);
        QFETCH(bool, older);
        const QString name = QString(bytes - 4, u'n') + u".txt"_s;
        JobFields job = Files({name});
        job.saveMode = SaveMode::NewFilesInFolder;
        job.outputFolder = Path(u"out"_s);
        if (older)
            WriteBytes(Path(u"out/"_s + name), "older output");
        UseUnnamedFiles(unnamed);
        const RecordingHost host = Run(job);
        UseUnnamedFiles(true);
        QCOMPARE(host.Boxes(), QStringList());
        QCOMPARE(ReadBytes(Path(u"out/"_s + name)), "data\r\nTAIL"_ba);
        QCOMPARE(TreeNames(Path(u"out"_s)), QStringList{name});
    }

    // Each row in every mode ("does", "does not", none, unknown) and both ways of saving: only a file that
    // qualifies is written; one whose appendix cannot be made gets a box from line 116 instead.
    void matrix_data()
    {
        QTest::addColumn<QByteArray>("original"); // null: there is no such file
        QTest::addColumn<bool>("utf8Page");       // else windows-1252
        QTest::addColumn<QString>("condition");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("appendText");
        QTest::addColumn<QByteArray>("appendix"); // null: it cannot be written
        // Bytes 80 to FF hex and windows-1252's characters for them as Windows reads it (the five it leaves
        // undefined stand for the C1 control of the same number): the first row pins the table both ways.
        QByteArray highBytes(128, '\0');
        std::iota(highBytes.begin(), highBytes.end(), '\x80');
        QString high1252 = u"€\u0081‚ƒ„…†‡ˆ‰Š‹Œ\u008DŽ\u008F\u0090‘’“”•–—˜™š›œ\u009DžŸ"_s;
        for (char16_t c = 0xA0; c <= 0xFF; ++c)
            high1252 += QChar(c);
        const auto utf16 = [](auto order) { return QByteArray(QStringEncoder(order).encode(u"Ärger über Öl\r\n"_s)); };
        const QByteArray le = "\xFF\xFE" + utf16(QStringConverter::Utf16LE);
        const QByteArray be = "\xFE\xFF" + utf16(QStringConverter::Utf16BE);
        // Over two read blocks, the first boundary falling after the third byte of `middle`.
        const auto AcrossBlocks = [](const char *middle) -> QByteArray {
            return QByteArray(kFileBlockBytes - 3, '.') + middle + QByteArray(kFileBlockBytes, ',');
        };
        Row("1252, every byte 80-FF") << QByteArray("Preis: " + highBytes + "\r\n") << false << high1252 << true
                                      << high1252 << QByteArray("\r\n" + highBytes);
        Row("UTF-8 mark beats the code page") << "\xEF\xBB\xBFGr\xC3\xBC\xC3\x9F aus K\xC3\xB6ln\r\n"_ba << false
                                              << u"KÖLN"_s << true << u"€漢"_s << "\r\n\xE2\x82\xAC\xE6\xBC\xA2"_ba;
        Row("UTF-16 BE") << be << false << u"ÜBER"_s << true << u"漢€"_s << QByteArray("\0\r\0\n\x6F\x22\x20\xAC", 8);
        Row("UTF-16 LE, found in the first of two blocks")
            << le + QByteArray("x\0", 2).repeated(kFileBlockBytes) << false << u"ÜBER"_s << true << u"漢€"_s
            << QByteArray("\r\0\n\0\x22\x6F\xAC\x20", 8);
        Row("1252 starting with þ") << "\xFExyz"_ba << false << u"ÞXYZ"_s << true << u"é"_s << "\r\n\xE9"_ba;
        Row("1252 starting with ÿ") << "\xFFZ\xFE"_ba << false << u"ŸZÞ"_s << true << u"x"_s << "\r\nx"_ba;
        Row("CJK into windows-1252") << "data"_ba << false << u"ATA"_s << true << u"漢"_s << QByteArray();
        Row("UTF-16 mark and one byte") << "\xFF\xFE\x61"_ba << false << u"A"_s << false << u"x"_s << QByteArray();
        Row("LF only, byval kept") << "one\ntwo byval\n"_ba << false << u"TWO BYVAL"_s << true << u"x"_s << "\r\nx"_ba;
        Row("all stripped away") << "\r\n\tByVal ByVal "_ba << false << QString() << false << u"x"_s << "\r\nx"_ba;
        Row("missing file") << QByteArray() << false << QString() << false << u"€"_s << "\r\n\x80"_ba;
        Row("blocks: match and ByVal split")
            << AcrossBlocks("NEBy\r\nVal EDLE") << true << u"needle"_s << true << u"x"_s << "\r\nx"_ba;
        Row("blocks: UTF-8 character split")
            << AcrossBlocks("xx\xC3\x9CRGER") << true << u"ürger"_s << true << u"€"_s << "\r\n\xE2\x82\xAC"_ba;
        Row("blocks: near miss") << AcrossBlocks("xxxNEEDL E") << true << u"needle"_s << false << u"x"_s << "\r\nx"_ba;
        // The next block is all ASCII, but the unfinished character reads as one between "G" and "GLE".
        Row("blocks: unfinished character")
            << AcrossBlocks("G\xE2\x84GLE") << true << u"ggle"_s << false << u"x"_s << "\r\nx"_ba;
    }
    void matrix()
    {
        QFETCH(QByteArray, original);
        QFETCH(bool, utf8Page);
        QFETCH(QString, condition);
        QFETCH(bool, found);
        QFETCH(QString, appendText);
        QFETCH(QByteArray, appendix);
        const QString file = Path(u"f.txt"_s), copy = Path(u"out/f.txt"_s);
        for (const ConditionMode mode : {ConditionMode::Does, ConditionMode::DoesNot, ConditionMode::Unset}) {
            for (const bool inPlace : {true, false}) {
                QFile::remove(file);
                QFile::remove(copy);
                if (!original.isNull())
                    WriteBytes(file, original);
                const JobFields job{{file}, appendText, condition, Folder(inPlace), mode, SaveModeFor(inPlace)};
                const RecordingHost host = Run(job, utf8Page ? CodePage::Utf8() : CodePage::Windows1252());
                QCOMPARE(host.calls.last(), u"Message(Done.)"_s);
                const bool qualifies = (mode == ConditionMode::Does && found)
                                       || (mode == ConditionMode::DoesNot && !found);
                const bool written = qualifies && !appendix.isNull();
                const QStringList boxes = host.Boxes();
                QCOMPARE(boxes.size(), qualifies && !written ? 1 : 0);
                QVERIFY2(boxes.isEmpty()
                             || (boxes[0].startsWith(u"116 PushButton2_Click "_s) && boxes[0].contains(file)),
                         qPrintable(boxes.join(u'|')));
                QCOMPARE(ReadBytes(file), written && inPlace ? original + appendix : original);
                QCOMPARE(ReadBytes(copy), written && !inPlace ? original + appendix : QByteArray());
                QCOMPARE(QFileInfo::exists(file), !original.isNull() || (written && inPlace));
                QCOMPARE(TreeNames(Path(u"out"_s)).size(), written && !inPlace ? 1 : 0);
            }
        }
    }

    // A path that is not there at all (not even its folder) reads as empty text, so with "does not" it is
    // written; anything else that cannot be read (a link loop, a path too long, a pipe, a device, a folder)
    // gets one box from the reading line, nothing is written, and the run neither waits on it nor stops.
    void unreadablePaths_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("inPlaceBox");  // the line of its box; 0: read as empty and written
        QTest::addColumn<int>("newFilesBox"); // the same, saving new files
        // Read as missing; in place, where the file would be made, its folder cannot be.
        Row("path through a file") << u"through"_s << 118 << 0;
        Row("folder") << u"folder"_s << 112 << 112;
#ifdef Q_OS_WIN
        // Every Windows takes NUL at the end of a folder path for the device (Windows 11 no longer CON).
        Row("NUL in a folder path") << u"NUL"_s << 112 << 112;
#else
        Row("link loop") << u"loop"_s << 112 << 112;
        Row("path too long") << u"long"_s << 112 << 112;
        Row("pipe without a writer") << u"fifo"_s << 112 << 112;
        Row("device") << u"/dev/null"_s << 112 << 112;
#endif
    }
    void unreadablePaths()
    {
        QFETCH(QString, kind);
        QFETCH(int, inPlaceBox);
        QFETCH(int, newFilesBox);
        QString path = kind.startsWith(u'/') ? kind : Path(kind);
        if (kind == u"through"_s) {
            WriteBytes(Path(u"a.txt"_s), "a");
            path = Path(u"a.txt/f.txt"_s);
        } else if (kind == u"folder"_s) {
            QVERIFY(QDir().mkdir(path));
        }
#ifndef Q_OS_WIN
        else if (kind == u"loop"_s) {
            QVERIFY(QFile::link(u"loop"_s, path));
        } else if (kind == u"long"_s) {
            path = m_dir->path() + QString(u'/' + QString(250, u'd')).repeated(20) + u"/f.txt"_s; // over PATH_MAX
        } else if (kind == u"fifo"_s) {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        }
#endif
        const QStringList before = TreeNames(m_dir->path());
        for (const bool inPlace : {true, false}) {
            const int line = inPlace ? inPlaceBox : newFilesBox;
            const QString output = Path(u"out/"_s + FileNameOf(path));
            std::atomic<bool> over = false, rescued = false;
#ifndef Q_OS_WIN
            // Should the run wait on the pipe, a writer lets it go after two seconds, and the test fails.
            std::thread rescuer([&] {
                for (int ms = 0; kind == u"fifo"_s && !over && !rescued; ms += 20) {
                    QThread::msleep(20);
                    const int fd = ms < 2000 ? -1 : ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK);
                    rescued = fd >= 0 && ::write(fd, "zzz", 3) == 3 && ::close(fd) == 0;
                }
            });
#endif
            QElapsedTimer took;
            took.start();
            const RecordingHost host = Run(
                {.files = {path}, .outputFolder = Folder(inPlace), .saveMode = SaveModeFor(inPlace)});
            const qint64 ms = took.elapsed();
            over = true;
#ifndef Q_OS_WIN
            rescuer.join();
#endif
            QVERIFY2(!rescued, "the run waited on the pipe until a writer came");
            QCOMPARE(host.calls.last(), u"Message(Done.)"_s);
            const QStringList boxes = host.Boxes();
            QCOMPARE(boxes.size(), line > 0 ? 1 : 0);
            QVERIFY2(line == 0
                         || (boxes[0].startsWith(u"%1 PushButton2_Click "_s.arg(line)) && boxes[0].contains(path)),
                     qPrintable(boxes.join(u'|')));
            if (line == 0) {
                QCOMPARE(ReadBytes(output), "\r\nTAIL"_ba);
                QVERIFY(QFile::remove(output));
            }
            QCOMPARE(TreeNames(m_dir->path()), before);
            qInfo("%s, %s: %s, the run took %lld ms", QTest::currentDataTag(), inPlace ? "in place" : "new files",
                  line > 0 ? qPrintable(u"one box at line %1, nothing written"_s.arg(line)) : "read as empty, written",
                  static_cast<long long>(ms));
        }
    }

    // A write that fails part-way loses nothing: an append in place is cut back (a file it made removed), a
    // new file appears whole or not at all (an old one stays), and no temporary file is left behind.
    void failedWriteLosesNothing_data()
    {
        QTest::addColumn<bool>("inPlace");
        QTest::addColumn<qint64>("existing"); // the target's size before; -1: there was none
        QTest::addColumn<qint64>("failAfter");
        QTest::newRow("in place, part of the appendix") << true << qint64(100) << qint64(4);
        QTest::newRow("in place, new file") << true << qint64(-1) << qint64(4);
        QTest::newRow("new target, copy fails") << false << qint64(-1) << kFileBlockBytes + 3;
        QTest::newRow("old target, appendix fails") << false << qint64(5) << 2 * kFileBlockBytes + 18; // past the copy
    }
    void failedWriteLosesNothing()
    {
        QFETCH(bool, inPlace);
        QFETCH(qint64, existing);
        QFETCH(qint64, failAfter);
        const QString source = Path(u"in.txt"_s), target = inPlace ? source : Path(u"out.txt"_s);
        const QByteArray old(std::max<qint64>(existing, 0), 'o');
        if (!inPlace)
            WriteBytes(source, QByteArray(2 * kFileBlockBytes + 17, 's'));
        if (existing >= 0)
            WriteBytes(target, old);
        const QStringList names = TreeNames(m_dir->path());
        qint64 left = failAfter; // then it fails as a full disk does, the block crossing the limit written in part
        const auto writer = [&](QIODevice &device, QByteArrayView block) -> qint64 {
            const qint64 n = std::min(left, qint64(block.size()));
            left -= n;
            return device.write(block.data(), n) == block.size() ? block.size() : -1;
        };
        try {
            WriteWholeFile(source, target, QByteArray(kFileBlockBytes + 100, 'a'), writer);
            QFAIL("the failed write was not reported");
        } catch (const AppError &error) {
            QVERIFY2(error.description().contains(target), qPrintable(error.description()));
        }
        QCOMPARE(ReadBytes(target), old);
        QCOMPARE(TreeNames(m_dir->path()), names);
    }

    // An append cut short by a killed process is undone at the next start, or by a run before its first
    // file: a part of the appendix is cut off (a file the append made removed), a whole one stays; a file
    // changed otherwise, or a damaged record, is left as found and reported (by a run at line 102).
    void killedAppendIsUndone_data()
    {
        QTest::addColumn<qint64>("oldLength"); // -1: the append makes the file
        QTest::addColumn<qint64>("written");   // bytes of the appendix on disk; -1 the file was not made
        QTest::addColumn<QString>("change");   // what happened after the kill, to the file or the record
        // The file after: as "before" the append, with the "whole" append, or as found after the kill,
        // reported ("left"), with the record reported unreadable ("unread") or "silent".
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<bool>("byRun"); // else at the start
        const qint64 whole = LongAppendix().size();
        Row("nothing written") << qint64(100) << qint64(0) << QString() << u"before"_s << false;
        Row("one byte") << qint64(100) << qint64(1) << QString() << u"before"_s << false;
        Row("one page") << qint64(100) << qint64(4096) << QString() << u"before"_s << false;
        Row("one byte short") << qint64(100) << whole - 1 << QString() << u"before"_s << false;
        Row("completed") << qint64(100) << whole << QString() << u"whole"_s << false;
        Row("empty file, a part") << qint64(0) << qint64(5) << QString() << u"before"_s << false;
        Row("new file, not made yet") << qint64(-1) << qint64(-1) << QString() << u"before"_s << false;
        Row("new file, made empty") << qint64(-1) << qint64(0) << QString() << u"before"_s << false;
        Row("new file, a part") << qint64(-1) << qint64(4097) << QString() << u"before"_s << false;
        Row("new file, completed") << qint64(-1) << whole << QString() << u"whole"_s << false;
        Row("changed in the part") << qint64(100) << qint64(4096) << u"byte"_s << u"left"_s << false;
        Row("cut below its old length") << qint64(100) << qint64(10) << u"shorter"_s << u"left"_s << false;
        Row("appended to since") << qint64(100) << whole << u"longer"_s << u"left"_s << false;
        Row("deleted") << qint64(100) << qint64(10) << u"delete"_s << u"left"_s << false;
        Row("replaced by a folder") << qint64(100) << qint64(10) << u"folder"_s << u"left"_s << false;
        Row("a running copy's append") << qint64(100) << qint64(10) << u"running"_s << u"silent"_s << false;
        // The record takes 56 bytes and the path; its file has room for a longer one.
        Row("record: cut in its header") << qint64(3) << qint64(4096) << u"record 30"_s << u"unread"_s << false;
        Row("record: cut in the path") << qint64(3) << qint64(4096) << u"record 60"_s << u"unread"_s << false;
        Row("record: one byte short") << qint64(3) << qint64(4096) << u"record short"_s << u"unread"_s << false;
        Row("record: garbage") << qint64(3) << qint64(4096) << u"record garbage"_s << u"unread"_s << false;
        // An empty record is one a run took before its first append: there is nothing to say.
        Row("record: empty") << qint64(3) << qint64(4096) << u"record 0"_s << u"silent"_s << false;
        Row("appendix: cut short") << qint64(3) << qint64(4096) << u"text 4096"_s << u"left"_s << false;
        Row("appendix: garbage") << qint64(3) << qint64(4096) << u"text garbage"_s << u"left"_s << false;
        Row("appendix: missing") << qint64(3) << qint64(4096) << u"text missing"_s << u"left"_s << false;
        Row("run: a part") << qint64(3) << qint64(3) << QString() << u"before"_s << true;
        Row("run: changed since") << qint64(3) << qint64(3) << u"byte"_s << u"left"_s << true;
    }
    void killedAppendIsUndone()
    {
        QFETCH(qint64, oldLength);
        QFETCH(qint64, written);
        QFETCH(QString, change);
        QFETCH(QString, outcome);
        QFETCH(bool, byRun);
        const QString file = Path(u"f.txt"_s), data = Path(u"data"_s);
        const QByteArray old(std::max<qint64>(oldLength, 0), 'o'), appendix = LongAppendix();
        if (oldLength >= 0)
            WriteBytes(file, old);
        AppendJournal killed(data);
        killed.BeginRun();
        killed.RecordAppend(file, oldLength, appendix);
        if (written >= 0)
            WriteBytes(file, old + appendix.left(written));
        if (change != u"running"_s)
            killed.Abandon();
        const QString part = change.section(u' ', 0, 0), how = change.section(u' ', 1);
        QFile target(file);
        if (change == u"byte"_s) {
            WriteBytes(file, ReadBytes(file).replace(oldLength + 1, 1, "#"));
        } else if (change == u"shorter"_s || change == u"longer"_s) {
            QVERIFY(target.resize(change == u"shorter"_s ? oldLength / 2 : target.size() + 1));
        } else if (change == u"delete"_s || change == u"folder"_s) {
            QVERIFY(target.remove() && (change == u"delete"_s || QDir().mkdir(file)));
        } else if (part == u"record"_s || part == u"text"_s) {
            const QStringList kept = QDir(data).entryList({u"*."_s + part + u"*"_s}, QDir::Files);
            QCOMPARE(kept.size(), 1);
            const QString damaged = QDir(data).filePath(kept.first());
            if (how == u"missing"_s)
                QVERIFY(QFile::remove(damaged));
            else if (how == u"garbage"_s)
                WriteBytes(damaged, QByteArray(QFileInfo(damaged).size(), 'Z'));
            else
                QVERIFY(QFile::resize(damaged, how == u"short"_s ? 56 + file.toUtf8().size() - 1 : how.toLongLong()));
        }
        const QByteArray found = ReadBytes(file);
        const bool foundFile = QFileInfo(file).isFile();

        RecordingHost host({{file}, QString::fromLatin1(appendix.mid(2)), u"zzz"_s, m_dir->path()});
        AppendJournal journal(data);
        if (byRun) // it resolves the record, then appends the same appendix once more
            RunAppendJob(host, u"PushButton2_Click"_s, CodePage::Windows1252(), &journal);
        const QStringList problems = byRun ? host.Boxes() : journal.Recover();
        const QByteArray appended = byRun ? appendix : QByteArray();
        const bool asFound = outcome != u"before"_s && outcome != u"whole"_s;
        QCOMPARE(ReadBytes(file), (asFound ? found : outcome == u"whole"_s ? old + appendix : old) + appended);
        QCOMPARE(QFileInfo(file).isFile(), asFound ? foundFile : oldLength >= 0 || outcome == u"whole"_s);
        QCOMPARE(QFileInfo(file).isDir(), change == u"folder"_s);
        QCOMPARE(problems.size(), outcome == u"left"_s || outcome == u"unread"_s ? 1 : 0);
        QVERIFY2(outcome != u"left"_s
                     || (problems.first().contains(file)
                         && (!byRun || problems.first().startsWith(u"102 PushButton2_Click "_s))),
                 qPrintable(problems.join(u'|')));
        if (change == u"running"_s) {
            QVERIFY(!TreeNames(data).isEmpty());
            killed.AppendDone();
            killed.EndRun();
        }
        QCOMPARE(TreeNames(data), QStringList()); // the record is gone once it is resolved
    }

    // Where no record of in-place appends can be kept (its folder cannot be made, or the appendix cannot be
    // stored), no file is edited in place and one box says why: a run in place is refused before its first
    // file; new files into the files' own folder (appended in place) are left alone, others still written.
    void noRecordNoAppendInPlace_data()
    {
        QTest::addColumn<QString>("broken"); // "folder": the data folder would be under a file; "text"
        QTest::addColumn<bool>("inPlace");
        QTest::addColumn<int>("line"); // of the one box
        Row("no folder, in place") << u"folder"_s << true << 102;
        Row("no folder, new files into their own folder") << u"folder"_s << false << 118;
        Row("appendix not kept, in place") << u"text"_s << true << 118;
    }
    void noRecordNoAppendInPlace()
    {
        QFETCH(QString, broken);
        QFETCH(bool, inPlace);
        QFETCH(int, line);
        QVERIFY(QDir(m_dir->path()).mkdir(u"one"_s));
        JobFields job = Files({u"f1.txt"_s, u"f2.txt"_s, u"f3.txt"_s, u"one/f4.txt"_s});
        job.saveMode = SaveModeFor(inPlace);
        WriteBytes(Path(u"blocker"_s), "");
        const QString data = Path(broken == u"folder"_s ? u"blocker/data"_s : u"data"_s);
        QVERIFY(broken != u"text"_s || QDir().mkpath(data + u"/append-1.text0"_s));
        const QDateTime stamp(QDate(2001, 2, 3), QTime(4, 5, 6), Qt::UTC); // untouched files keep it
        for (const QString &name : job.files) {
            QFile file(name);
            QVERIFY(file.open(QIODevice::ReadWrite) && file.setFileTime(stamp, QFileDevice::FileModificationTime));
        }
        RecordingHost host(job);
        AppendJournal journal(data);
        RunAppendJob(host, u"PushButton2_Click"_s, CodePage::Windows1252(), &journal);
        const QStringList boxes = host.Boxes();
        QCOMPARE(boxes.size(), 1);
        QVERIFY2(boxes[0].contains(QDir::toNativeSeparators(data))
                     && boxes[0].startsWith(u"%1 PushButton2_Click "_s.arg(line)),
                 qPrintable(boxes[0]));
        QCOMPARE(host.calls.contains(u"Message(Done.)"_s), line != 102);
        for (const QString &name : job.files)
            QCOMPARE(ReadBytes(name) + QFileInfo(name).lastModified().toUTC().toString(Qt::ISODate).toLatin1(),
                     "data2001-02-03T04:05:06Z"_ba);
        QCOMPARE(ReadBytes(Path(u"f4.txt"_s)), inPlace ? QByteArray() : "data\r\nTAIL"_ba);
    }
};

TARNWELL_TEST_CLASS(FileBytesTest)
#include "FileBytesTest.moc"
