#include "EngineTestKit.h"
#include "FileIO.h"
#include "TestRegistry.h"

#include <QFileInfo>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <memory>

using namespace tarnwell;
using namespace tarnwell::testing;

namespace {

// Bytes 80 to FF hex of windows-1252 as Windows reads them; the five it leaves undefined stand for
// the C1 control of the same number.
QString High1252()
{
    QString text = u"€\u0081‚ƒ„…†‡ˆ‰Š‹Œ\u008DŽ\u008F\u0090‘’“”•–—˜™š›œ\u009DžŸ"_s;
    for (char16_t c = 0xA0; c <= 0xFF; ++c)
        text += QChar(c);
    return text;
}

QByteArray HighBytes()
{
    QByteArray bytes;
    for (int b = 0x80; b <= 0xFF; ++b)
        bytes += static_cast<char>(b);
    return bytes;
}

// Lets `limit` bytes reach the device, then fails as a full disk does: the block that crosses the
// limit is written in part and reported as failed.
BlockWriter FailAfter(qint64 limit)
{
    auto left = std::make_shared<qint64>(limit);
    return [=](QIODevice &device, QByteArrayView block) -> qint64 {
        if (block.size() <= *left) {
            *left -= block.size();
            return device.write(block.data(), block.size());
        }
        device.write(block.data(), *left);
        *left = 0;
        return -1;
    };
}

} // namespace

// Files byte for byte: whether the condition holds in each kind of file, the original bytes kept and
// CR LF and the append text after them in the file's own encoding, and a failed write losing nothing.
class FileBytesTest : public QObject
{
    Q_OBJECT

private slots:
    // The table the byte path reads; the matrix's first row pins decoding and encoding through a run.
    void windows1252HighHalf()
    {
        QCOMPARE(QStringView(CodePage::Windows1252().HighHalf(), 128).toString(), High1252());
    }

    // Every row runs in each mode ("does", "does not", none, an unknown position) and both ways of
    // saving: only "does" with the condition found, or "does not" without it, writes anything.
    void matrix_data()
    {
        QTest::addColumn<QByteArray>("original"); // null: there is no such file
        QTest::addColumn<bool>("utf8Page");       // else windows-1252
        QTest::addColumn<QString>("condition");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("appendText");
        QTest::addColumn<QByteArray>("appendix");
        const QByteArray allHigh = "Preis: " + HighBytes() + "\r\n";
        const QByteArray koeln = "Gr\xC3\xBC\xC3\x9F"
                                 "e aus K\xC3\xB6ln\r\n";
        const auto utf16 = [](auto order) { return QByteArray(QStringEncoder(order).encode(u"Ärger über Öl\r\n"_s)); };
        const QByteArray le = "\xFF\xFE" + utf16(QStringConverter::Utf16LE);
        const QByteArray be = "\xFE\xFF" + utf16(QStringConverter::Utf16BE);
        const auto row = [](const char *name) -> QTestData & { return QTest::newRow(name); };
        // Over two read blocks, the first boundary falling after the third byte of `middle`.
        const auto AcrossBlocks = [](const char *middle) -> QByteArray {
            return QByteArray(kFileBlockBytes - 3, '.') + middle + QByteArray(kFileBlockBytes, ',');
        };
        row("1252, every byte 80-FF") << allHigh << false << High1252() << true << High1252()
                                      << QByteArray("\r\n" + HighBytes());
        row("UTF-8 mark beats the code page") << QByteArray("\xEF\xBB\xBF" + koeln) << false << u"KÖLN"_s << true
                                              << u"€漢"_s << "\r\n\xE2\x82\xAC\xE6\xBC\xA2"_ba;
        row("UTF-8 without mark") << koeln << true << u"KÖLN"_s << true << u"€"_s << "\r\n\xE2\x82\xAC"_ba;
        row("UTF-16 LE") << le << false << u"ÜBER"_s << true << u"漢€"_s << QByteArray("\r\0\n\0\x22\x6F\xAC\x20", 8);
        row("UTF-16 BE") << be << false << u"ÜBER"_s << true << u"漢€"_s << QByteArray("\0\r\0\n\x6F\x22\x20\xAC", 8);
        row("1252 starting with þ") << "\xFE"
                                       "abc"_ba
                                    << false << u"ÞABC"_s << true << u"é"_s << "\r\n\xE9"_ba;
        row("1252 starting with ÿ") << "\xFF"
                                       "A\xFE"_ba
                                    << false << u"ŸAÞ"_s << true << u"x"_s << "\r\nx"_ba;
        row("LF only") << "one\ntwo\n"_ba << false << u"ONETWO"_s << true << u"x"_s << "\r\nx"_ba;
        row("no final line break") << "abc"_ba << false << u"BC"_s << true << u"x\r\ny"_s << "\r\nx\r\ny"_ba;
        row("empty condition, nothing left")
            << "\r\n\tByVal "_ba << false << QString() << false << u"x"_s << "\r\nx"_ba;
        row("zero-length") << QByteArray("") << false << u"x"_s << false << u"€"_s << "\r\n\x80"_ba;
        row("missing file") << QByteArray() << false << QString() << false << u"€"_s << "\r\n\x80"_ba;
        row("blocks: match and ByVal split")
            << AcrossBlocks("NEBy\r\nVal EDLE") << true << u"needle"_s << true << u"x"_s << "\r\nx"_ba;
        row("blocks: UTF-8 character split") << AcrossBlocks("xx\xC3\x9C"
                                                             "BER")
                                             << true << u"über"_s << true << u"x"_s << "\r\nx"_ba;
        row("blocks: near miss") << AcrossBlocks("xxxNEEDL E") << true << u"needle"_s << false << u"x"_s << "\r\nx"_ba;
        // The next block is all ASCII, but the unfinished character before it reads as a replacement
        // character between "E" and "DLE".
        row("blocks: unfinished character") << AcrossBlocks("E\xE2\x84"
                                                            "DLE")
                                            << true << u"edle"_s << false << u"x"_s << "\r\nx"_ba;
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
                QCOMPARE(host.boxes, QStringList());
                QCOMPARE(host.calls.last(), u"Message(Done.)"_s);
                const bool written = (combo1 == 0 && found) || (combo1 == 1 && !found);
                QCOMPARE(ReadBytes(file), written && inPlace ? original + appendix : original);
                QCOMPARE(ReadBytes(copy), written && !inPlace ? original + appendix : QByteArray());
                QCOMPARE(QFileInfo::exists(file), !original.isNull() || (written && inPlace));
                QCOMPARE(TreeNames(dir.filePath(u"out"_s)).size(), written && !inPlace ? 1 : 0);
            }
        }
    }

    // A write that fails part-way loses nothing: an append in place is cut back to the original length
    // (a file it made is removed), a file in the output folder appears whole or not at all (an old one
    // stays as it was), and no temporary file is left behind.
    void failedWriteLosesNothing_data()
    {
        QTest::addColumn<bool>("inPlace");
        QTest::addColumn<qint64>("existing"); // the target's size before; -1: there was none
        QTest::addColumn<qint64>("failAfter");
        const qint64 block = kFileBlockBytes, copied = 2 * kFileBlockBytes + 17;
        QTest::newRow("in place, part of the appendix") << true << qint64(100) << qint64(4);
        QTest::newRow("in place, second block") << true << qint64(3) << block + 10;
        QTest::newRow("in place, new file") << true << qint64(-1) << qint64(4);
        QTest::newRow("new target, copy fails") << false << qint64(-1) << block + 3;
        QTest::newRow("old target, copy fails") << false << 3 * block << qint64(0);
        QTest::newRow("old target, appendix fails") << false << qint64(5) << copied + 1;
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
        try {
            WriteWholeFile(source, target, QByteArray(kFileBlockBytes + 100, 'a'), FailAfter(failAfter));
            QFAIL("the failed write was not reported");
        } catch (const AppError &error) {
            QVERIFY2(error.description().contains(target), qPrintable(error.description()));
        }
        QCOMPARE(ReadBytes(target), old);
        QCOMPARE(TreeNames(dir.path()), names);
    }
};

TARNWELL_TEST_CLASS(FileBytesTest)
#include "FileBytesTest.moc"
