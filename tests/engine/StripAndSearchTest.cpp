#include "AppendRun.h"
#include "FileIO.h"
#include "TestFiles.h"
#include "TestRegistry.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <array>

using namespace tarnwell;
using namespace tarnwell::testing;

namespace {

// What the streaming scanner must agree with: the whole probe stripped at once, then searched.
bool FoundInWhole(const QString &text, const QString &condition)
{
    const QString probe = StripForTest(text);
    const QString needle = StripForTest(condition);
    return needle.isEmpty() ? !probe.isEmpty() : probe.contains(needle, Qt::CaseInsensitive);
}

bool FoundInPieces(const QString &text, const QString &condition, const QList<qsizetype> &cuts)
{
    ConditionScanner scanner(condition);
    qsizetype from = 0;
    for (const qsizetype cut : cuts) {
        scanner.Feed(QStringView(text).sliced(from, cut - from));
        from = cut;
    }
    scanner.Feed(QStringView(text).sliced(from));
    return scanner.Found();
}

} // namespace

// Stripping of line breaks, tabs and "ByVal ", and the case-insensitive search, whole and in the
// pieces a file is read in.
class StripAndSearchTest : public QObject
{
    Q_OBJECT

private slots:
    void strip_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("stripped");
        const auto s = [](const char *text) { return QString::fromUtf8(text); };
        QTest::newRow("line breaks and tabs") << s("a\r\nb\tc\rd\ne") << s("abcde");
        QTest::newRow("ByVal exactly") << s("ByVal x") << s("x");
        QTest::newRow("every ByVal") << s("ByVal ByVal xByVal ") << s("x");
        QTest::newRow("other case stays") << s("byval x BYVAL y Byval z") << s("byval x BYVAL y Byval z");
        QTest::newRow("without its blank stays") << s("ByVal\tx") << s("ByValx");
        QTest::newRow("one pass: a ByVal made by removal stays") << s("ByByVal Val ") << s("ByVal ");
        QTest::newRow("line break inside ByVal goes first") << s("By\r\nVal x") << s("x");
        QTest::newRow("tab inside ByVal goes first") << s("ByV\tal x") << s("x");
        QTest::newRow("blanks stay") << s(" a b ") << s(" a b ");
        QTest::newRow("empty") << QString() << QString();
    }
    void strip()
    {
        QFETCH(QString, text);
        QFETCH(QString, stripped);
        QCOMPARE(StripForTest(text), stripped);
        // The scanner strips the same way: what remains is found whole and nothing more.
        if (!stripped.isEmpty()) {
            QVERIFY(FoundInPieces(text, stripped, {}));
            QVERIFY(!FoundInPieces(text, stripped + QLatin1Char('#'), {}));
        }
    }

    void search_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("condition");
        QTest::addColumn<bool>("found");
        const auto s = [](const char *text) { return QString::fromUtf8(text); };
        QTest::newRow("case ignored") << s("xxABCxx") << s("abc") << true;
        QTest::newRow("case ignored beyond ASCII") << s("ÄRGER ÜBER ÖL") << s("über öl") << true;
        QTest::newRow("ÿ and Ÿ") << s("ÿa") << s("ŸA") << true;
        QTest::newRow("absent") << s("abd") << s("abc") << false;
        QTest::newRow("needle longer than probe") << s("ab") << s("abc") << false;
        QTest::newRow("empty needle, text") << s(" ") << QString() << true;
        QTest::newRow("empty needle, empty probe") << s("\r\n\t\tByVal ") << QString() << false;
        QTest::newRow("needle only strippables, text") << s("x") << s("\r\nByVal ") << true;
        QTest::newRow("empty text") << QString() << s("a") << false;
        QTest::newRow("found at the very end") << s("0123456789abc") << s("9ABC") << true;
        QTest::newRow("needle outside BMP") << s("a😀b") << s("😀B") << true;
    }
    void search()
    {
        QFETCH(QString, text);
        QFETCH(QString, condition);
        QFETCH(bool, found);
        QCOMPARE(FoundInWhole(text, condition), found);
        QCOMPARE(FoundInPieces(text, condition, {}), found);
        // Every way of cutting the text in two and in one-character pieces gives the same answer.
        for (qsizetype cut = 0; cut <= text.size(); ++cut)
            QCOMPARE(FoundInPieces(text, condition, {cut}), found);
        QList<qsizetype> singles;
        for (qsizetype cut = 1; cut < text.size(); ++cut)
            singles.append(cut);
        QCOMPARE(FoundInPieces(text, condition, singles), found);
    }

    // Random texts built from the characters that matter, cut at random places.
    void piecesAgreeWithTheWholeText()
    {
        const QStringList parts = {QStringLiteral("By"), QStringLiteral("Val "), QStringLiteral("ByVal "),
                                   QStringLiteral("\r"), QStringLiteral("\n"), QStringLiteral("\t"),
                                   QStringLiteral("a"), QStringLiteral("B"), QStringLiteral(" "), QStringLiteral("V")};
        const QStringList conditions = {QStringLiteral("ab"), QStringLiteral("aVal"), QStringLiteral("b a"),
                                        QStringLiteral("By a"), QStringLiteral("ByVal a"), QStringLiteral("vv"),
                                        QStringLiteral("Val a"), QString()};
        QRandomGenerator random(20240405);
        int foundCount = 0;
        for (int round = 0; round < 3000; ++round) {
            QString text;
            const int length = random.bounded(1, 14);
            for (int i = 0; i < length; ++i)
                text += parts.at(random.bounded(static_cast<int>(parts.size())));
            QList<qsizetype> cuts;
            for (qsizetype at = random.bounded(3); at < text.size(); at += random.bounded(1, 5))
                cuts.append(at);
            const QString &condition = conditions.at(round % conditions.size());
            const bool whole = FoundInWhole(text, condition);
            foundCount += whole ? 1 : 0;
            QVERIFY2(FoundInPieces(text, condition, cuts) == whole,
                     qPrintable(QStringLiteral("text [%1] condition [%2]").arg(text, condition)));
        }
        // Both answers came up often enough for the comparison to mean something.
        QVERIFY(foundCount > 300 && foundCount < 2700);
    }

    // A file larger than one read block, with the match, a "ByVal " and a two-byte character
    // each split by the block boundary.
    void fileAcrossBlockBoundary_data()
    {
        QTest::addColumn<QByteArray>("aroundBoundary"); // placed so the boundary falls after byte 3
        QTest::addColumn<QString>("condition");
        QTest::addColumn<bool>("found");
        QTest::newRow("match split") << QByteArray("xxxNEEDLExx") << QStringLiteral("needle") << true;
        QTest::newRow("ByVal split") << QByteArray("NEEByVal DLE") << QStringLiteral("needle") << true;
        QTest::newRow("line break in ByVal split") << QByteArray("NEBy\r\nVal EDLE") << QStringLiteral("needle") << true;
        QTest::newRow("UTF-8 character split") << QByteArray("xx\xC3\x9C" "BER") << QString::fromUtf8("über") << true;
        QTest::newRow("near miss split") << QByteArray("xxxNEEDL Exx") << QStringLiteral("needle") << false;
        // The second block is all ASCII, but the decoder still holds the unfinished character,
        // which reads as a replacement character between "E" and "DLE".
        QTest::newRow("unfinished UTF-8 character, then ASCII") << QByteArray("E\xE2\x84" "DLE") << QStringLiteral("edle") << false;
    }
    void fileAcrossBlockBoundary()
    {
        QFETCH(QByteArray, aroundBoundary);
        QFETCH(QString, condition);
        QFETCH(bool, found);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QByteArray bytes(kFileBlockBytes - 3, '.');
        bytes += aroundBoundary;
        bytes += QByteArray(kFileBlockBytes, ',');
        const QString path = dir.filePath(QStringLiteral("big.txt"));
        WriteBytes(path, bytes);
        ConditionScanner scanner(condition);
        int pieces = 0;
        const ReadResult read = ReadWholeFile(path, CodePage::Utf8(), [&](QStringView text) {
            ++pieces;
            scanner.Feed(text);
        });
        QCOMPARE(read.size, bytes.size());
        QVERIFY(pieces >= 3); // it really came in blocks
        QCOMPARE(scanner.Found(), found);

        // The same file read as a run reads it, blocks handed over undecoded where they can be.
        struct BytesFirst final : TextSink
        {
            ConditionScanner scanner;
            int undecoded = 0;
            explicit BytesFirst(const QString &condition) : scanner(condition) {}
            void Text(QStringView text) override { scanner.Feed(text); }
            bool Bytes(QByteArrayView bytes, const char16_t *highHalf) override
            {
                const bool taken = scanner.FeedBytes(bytes, highHalf);
                undecoded += taken ? 1 : 0;
                return taken;
            }
        } sink(condition);
        ReadWholeFile(path, CodePage::Utf8(), sink);
        QCOMPARE(sink.scanner.Found(), found);
    }

    // Pieces handed over as bytes of a one-byte code page, or decoded, in any mix, give the
    // answer of the whole decoded text. The code page has a character that folds to an ASCII
    // letter (the Kelvin sign, the long s), which the byte path must refuse to carry.
    void bytesAgreeWithTheWholeText()
    {
        std::array<char16_t, 128> high {};
        for (std::size_t i = 0; i < high.size(); ++i)
            high[i] = char16_t(0x80 + i);
        high[1] = 0x212A; // byte 81: KELVIN SIGN, folds to "k"
        high[2] = 0x017F; // byte 82: LATIN SMALL LETTER LONG S, folds to "s"
        high[3] = 0x00C9; // byte 83: É
        const auto decode = [&](QByteArrayView bytes) {
            QString text;
            for (const char b : bytes) {
                const auto u = static_cast<unsigned char>(b);
                text += QChar(u < 0x80 ? char16_t(u) : high[u - 0x80]);
            }
            return text;
        };
        const QList<QByteArray> parts = {"By", "Val ", "ByVal ", "\r", "\n", "\t", "a", "B", " ", "V", "k", "S",
                                         "\x81", "\x82", "\x83", "\xE9"};
        const QStringList conditions = {QStringLiteral("ab"), QStringLiteral("aVal"), QStringLiteral("b a"),
                                        QStringLiteral("By a"), QStringLiteral("ka"), QStringLiteral("sB"),
                                        QStringLiteral("Val k"), QString::fromUtf8("\u00e9a"), QString()};
        QRandomGenerator random(20240611);
        int foundCount = 0;
        int undecoded = 0;
        for (int round = 0; round < 4000; ++round) {
            QByteArray bytes;
            const int length = random.bounded(1, 16);
            for (int i = 0; i < length; ++i)
                bytes += parts.at(random.bounded(static_cast<int>(parts.size())));
            const QString &condition = conditions.at(round % conditions.size());
            const bool whole = FoundInWhole(decode(bytes), condition);
            foundCount += whole ? 1 : 0;
            ConditionScanner scanner(condition);
            for (qsizetype at = 0; at < bytes.size();) {
                const qsizetype n = std::min<qsizetype>(random.bounded(1, 6), bytes.size() - at);
                const QByteArrayView piece = QByteArrayView(bytes).sliced(at, n);
                const bool ascii = std::all_of(piece.begin(), piece.end(), [](char b) { return b >= 0; });
                if (random.bounded(4) != 0 && scanner.FeedBytes(piece, ascii ? nullptr : high.data()))
                    ++undecoded;
                else
                    scanner.Feed(decode(piece));
                at += n;
            }
            QVERIFY2(scanner.Found() == whole, qPrintable(QStringLiteral("bytes [%1] condition [%2]")
                                                              .arg(QString::fromLatin1(bytes.toHex()), condition)));
        }
        QVERIFY(foundCount > 400 && foundCount < 3600);
        QVERIFY(undecoded > 4000); // the byte path did most of the work
    }
};

TARNWELL_TEST_CLASS(StripAndSearchTest)
#include "StripAndSearchTest.moc"
