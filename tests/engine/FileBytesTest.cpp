#include "AppendJournal.h"
#include "EngineTestKit.h"
#include "FileIO.h"
#include "TestRegistry.h"

#include <QFileInfo>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <numeric>

using namespace tarnwell;
using namespace tarnwell::testing;

namespace {

// The appendix of the killed appends below: lines over more than three pages.
QByteArray LongAppendix()
{
    QByteArray bytes = "\r\n";
    for (int line = 0; bytes.size() < 3 * 4096 + 100; ++line)
        bytes += "appended line " + QByteArray::number(line) + "\r\n";
    return bytes;
}

} // namespace

// Files byte for byte: the condition in each kind of file, CR LF and the text appended in the file's
// own encoding, and a failed or killed write losing nothing.
class FileBytesTest : public QObject
{
    Q_OBJECT

private slots:
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
        const QByteArray koeln = "Gr\xC3\xBC\xC3\x9F aus K\xC3\xB6ln\r\n";
        const auto utf16 = [](auto order) { return QByteArray(QStringEncoder(order).encode(u"Ärger über Öl\r\n"_s)); };
        const QByteArray le = "\xFF\xFE" + utf16(QStringConverter::Utf16LE);
        const QByteArray be = "\xFE\xFF" + utf16(QStringConverter::Utf16BE);
        const auto row = [](const char *name) -> QTestData & { return QTest::newRow(name); };
        // Over two read blocks, the first boundary falling after the third byte of `middle`.
        const auto AcrossBlocks = [](const char *middle) -> QByteArray {
            return QByteArray(kFileBlockBytes - 3, '.') + middle + QByteArray(kFileBlockBytes, ',');
        };
        row("1252, every byte 80-FF") << QByteArray("Preis: " + highBytes + "\r\n") << false << high1252 << true
                                      << high1252 << QByteArray("\r\n" + highBytes);
        row("UTF-8 mark beats the code page") << QByteArray("\xEF\xBB\xBF" + koeln) << false << u"KÖLN"_s << true
                                              << u"€漢"_s << "\r\n\xE2\x82\xAC\xE6\xBC\xA2"_ba;
        row("UTF-16 BE") << be << false << u"ÜBER"_s << true << u"漢€"_s << QByteArray("\0\r\0\n\x6F\x22\x20\xAC", 8);
        row("UTF-16 LE, found in the first of two blocks")
            << le + QByteArray("x\0", 2).repeated(kFileBlockBytes) << false << u"ÜBER"_s << true << u"漢€"_s
            << QByteArray("\r\0\n\0\x22\x6F\xAC\x20", 8);
        row("1252 starting with þ") << "\xFExyz"_ba << false << u"ÞXYZ"_s << true << u"é"_s << "\r\n\xE9"_ba;
        row("1252 starting with ÿ") << "\xFFZ\xFE"_ba << false << u"ŸZÞ"_s << true << u"x"_s << "\r\nx"_ba;
        row("CJK into windows-1252") << "data"_ba << false << u"ATA"_s << true << u"漢"_s << QByteArray();
        row("UTF-16 mark and one byte") << "\xFF\xFE\x61"_ba << false << u"A"_s << false << u"x"_s << QByteArray();
        row("LF only, byval kept") << "one\ntwo byval\n"_ba << false << u"TWO BYVAL"_s << true << u"x"_s << "\r\nx"_ba;
        row("all stripped away") << "\r\n\tByVal ByVal "_ba << false << QString() << false << u"x"_s << "\r\nx"_ba;
        row("missing file") << QByteArray() << false << QString() << false << u"€"_s << "\r\n\x80"_ba;
        row("blocks: match and ByVal split")
            << AcrossBlocks("NEBy\r\nVal EDLE") << true << u"needle"_s << true << u"x"_s << "\r\nx"_ba;
        row("blocks: UTF-8 character split")
            << AcrossBlocks("xx\xC3\x9CRGER") << true << u"ürger"_s << true << u"€"_s << "\r\n\xE2\x82\xAC"_ba;
        row("blocks: near miss") << AcrossBlocks("xxxNEEDL E") << true << u"needle"_s << false << u"x"_s << "\r\nx"_ba;
        // The next block is all ASCII, but the unfinished character reads as one between "G" and "GLE".
        row("blocks: unfinished character")
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
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(u"out"_s));
        const QString file = dir.filePath(u"f.txt"_s), copy = dir.filePath(u"out/f.txt"_s);
        for (const int combo1 : {0, 1, -1, 2}) {
            for (const bool inPlace : {true, false}) {
                QFile::remove(file);
                QFile::remove(copy);
                if (!original.isNull())
                    WriteBytes(file, original);
                const FakeHost host = Run(
                    {{file}, appendText, condition, inPlace ? dir.path() : dir.filePath(u"out"_s), combo1, inPlace},
                    utf8Page ? CodePage::Utf8() : CodePage::Windows1252());
                QCOMPARE(host.calls.last(), u"Message(Done.)"_s);
                const bool qualifies = (combo1 == 0 && found) || (combo1 == 1 && !found);
                const bool written = qualifies && !appendix.isNull();
                QCOMPARE(host.boxes.size(), qualifies && !written ? 1 : 0);
                QVERIFY2(host.boxes.isEmpty()
                             || (host.boxes[0].contains(file) && host.boxes[0].endsWith(u"|PushButton2_Click|116"_s)),
                         qPrintable(host.boxes.join(u'|')));
                QCOMPARE(ReadBytes(file), written && inPlace ? original + appendix : original);
                QCOMPARE(ReadBytes(copy), written && !inPlace ? original + appendix : QByteArray());
                QCOMPARE(QFileInfo::exists(file), !original.isNull() || (written && inPlace));
                QCOMPARE(TreeNames(dir.filePath(u"out"_s)).size(), written && !inPlace ? 1 : 0);
            }
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
        QTemporaryDir dir;
        const QString source = dir.filePath(u"in.txt"_s), target = inPlace ? source : dir.filePath(u"out.txt"_s);
        const QByteArray old(std::max<qint64>(existing, 0), 'o');
        if (!inPlace)
            WriteBytes(source, QByteArray(2 * kFileBlockBytes + 17, 's'));
        if (existing >= 0)
            WriteBytes(target, old);
        const QStringList names = TreeNames(dir.path());
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
        QCOMPARE(TreeNames(dir.path()), names);
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
        const auto row = [](const char *name) -> QTestData & { return QTest::newRow(name); };
        row("nothing written") << qint64(100) << qint64(0) << QString() << u"before"_s << false;
        row("one byte") << qint64(100) << qint64(1) << QString() << u"before"_s << false;
        row("one page") << qint64(100) << qint64(4096) << QString() << u"before"_s << false;
        row("one byte short") << qint64(100) << whole - 1 << QString() << u"before"_s << false;
        row("completed") << qint64(100) << whole << QString() << u"whole"_s << false;
        row("empty file, a part") << qint64(0) << qint64(5) << QString() << u"before"_s << false;
        row("new file, not made yet") << qint64(-1) << qint64(-1) << QString() << u"before"_s << false;
        row("new file, made empty") << qint64(-1) << qint64(0) << QString() << u"before"_s << false;
        row("new file, a part") << qint64(-1) << qint64(4097) << QString() << u"before"_s << false;
        row("new file, completed") << qint64(-1) << whole << QString() << u"whole"_s << false;
        row("changed in the part") << qint64(100) << qint64(4096) << u"byte"_s << u"left"_s << false;
        row("cut below its old length") << qint64(100) << qint64(10) << u"shorter"_s << u"left"_s << false;
        row("appended to since") << qint64(100) << whole << u"longer"_s << u"left"_s << false;
        row("deleted") << qint64(100) << qint64(10) << u"delete"_s << u"left"_s << false;
        row("replaced by a folder") << qint64(100) << qint64(10) << u"folder"_s << u"left"_s << false;
        row("a running copy's append") << qint64(100) << qint64(10) << u"running"_s << u"silent"_s << false;
        // The record takes 56 bytes and the path; its file has room for a longer one.
        row("record: cut in its header") << qint64(3) << qint64(4096) << u"record 30"_s << u"unread"_s << false;
        row("record: cut in the path") << qint64(3) << qint64(4096) << u"record 60"_s << u"unread"_s << false;
        row("record: one byte short") << qint64(3) << qint64(4096) << u"record short"_s << u"unread"_s << false;
        row("record: garbage") << qint64(3) << qint64(4096) << u"record garbage"_s << u"unread"_s << false;
        // An empty record is one a run took before its first append: there is nothing to say.
        row("record: empty") << qint64(3) << qint64(4096) << u"record 0"_s << u"silent"_s << false;
        row("appendix: cut short") << qint64(3) << qint64(4096) << u"text 4096"_s << u"left"_s << false;
        row("appendix: garbage") << qint64(3) << qint64(4096) << u"text garbage"_s << u"left"_s << false;
        row("appendix: missing") << qint64(3) << qint64(4096) << u"text missing"_s << u"left"_s << false;
        row("run: a part") << qint64(3) << qint64(3) << QString() << u"before"_s << true;
        row("run: changed since") << qint64(3) << qint64(3) << u"byte"_s << u"left"_s << true;
    }
    void killedAppendIsUndone()
    {
        QFETCH(qint64, oldLength);
        QFETCH(qint64, written);
        QFETCH(QString, change);
        QFETCH(QString, outcome);
        QFETCH(bool, byRun);
        QTemporaryDir dir;
        const QString file = dir.filePath(u"f.txt"_s), data = dir.filePath(u"data"_s);
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

        FakeHost host({{file}, QString::fromLatin1(appendix.mid(2)), u"zzz"_s, dir.path()});
        AppendJournal journal(data);
        if (byRun) // it resolves the record, then appends the same appendix once more
            RunAppendJob(host, CodePage::Windows1252(), &journal);
        const QStringList problems = byRun ? host.boxes : journal.Recover();
        const QByteArray appended = byRun ? appendix : QByteArray();
        const bool asFound = outcome != u"before"_s && outcome != u"whole"_s;
        QCOMPARE(ReadBytes(file), (asFound ? found : outcome == u"whole"_s ? old + appendix : old) + appended);
        QCOMPARE(QFileInfo(file).isFile(), asFound ? foundFile : oldLength >= 0 || outcome == u"whole"_s);
        QCOMPARE(QFileInfo(file).isDir(), change == u"folder"_s);
        QCOMPARE(problems.size(), outcome == u"left"_s || outcome == u"unread"_s ? 1 : 0);
        QVERIFY2(outcome != u"left"_s
                     || (problems.first().contains(file)
                         && (!byRun || problems.first().endsWith(u"|PushButton2_Click|102"_s))),
                 qPrintable(problems.join(u'|')));
        if (change == u"running"_s) {
            QVERIFY(!TreeNames(data).isEmpty());
            killed.AppendDone();
            killed.EndRun();
        }
        QCOMPARE(TreeNames(data), QStringList()); // the record is gone once it is resolved
    }
};

TARNWELL_TEST_CLASS(FileBytesTest)
#include "FileBytesTest.moc"
