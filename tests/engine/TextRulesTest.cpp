#include "ByteScan.h"
#include "EngineTestKit.h"
#include "FileList.h"
#include "ListFilters.h"
#include "TestRegistry.h"

#include <QRandomGenerator>

#include <algorithm>
#include <array>
#include <initializer_list>
#include <memory>

using namespace tarnwell;
using namespace tarnwell::testing;

// Stripping of line breaks, tabs and "ByVal ", and the streaming search that must agree with
// stripping and searching the whole text at once.
class ScannerTest : public QObject
{
    Q_OBJECT

private slots:
    void strip_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("stripped");
        QTest::newRow("line breaks and tabs") << u"a\r\nb\tc\rd\ne"_s << u"abcde"_s;
        QTest::newRow("every ByVal") << u"ByVal ByVal xByVal "_s << u"x"_s;
        QTest::newRow("other case stays") << u"byval x BYVAL y Byval z"_s << u"byval x BYVAL y Byval z"_s;
        QTest::newRow("without its blank stays") << u"ByVal\tx"_s << u"ByValx"_s;
        QTest::newRow("one pass: ByByVal Val ") << u"ByByVal Val "_s << u"ByVal "_s;
        QTest::newRow("line break inside ByVal goes first") << u"By\r\nVal x"_s << u"x"_s;
        QTest::newRow("blanks stay") << u" a b "_s << u" a b "_s;
    }
    void strip()
    {
        QFETCH(QString, text);
        QFETCH(QString, stripped);
        QCOMPARE(StripForTest(text), stripped);
    }

    // Random texts of the characters that matter, fed in random pieces, each handed over as bytes
    // (where the scanner takes them) or decoded, on every kernel the processor runs. The code page
    // used has characters that fold to ASCII letters (the Kelvin sign, the long s), which the byte
    // path must refuse.
    void piecesAgreeWithTheWholeText()
    {
        std::array<char16_t, 128> high{};
        for (std::size_t i = 0; i < high.size(); ++i)
            high[i] = static_cast<char16_t>(0x80 + i);
        high[1] = 0x212A; // KELVIN SIGN, folds to "k"
        high[2] = 0x017F; // LATIN SMALL LETTER LONG S, folds to "s"
        high[3] = 0x00C9; // É
        const auto decode = [&](QByteArrayView bytes) {
            QString text;
            for (const char b : bytes) {
                const auto u = static_cast<unsigned char>(b);
                text += QChar(u < 0x80 ? char16_t(u) : high[u - 0x80]);
            }
            return text;
        };
        const QList<QByteArray> parts = {"By", "Val ", "ByVal ", "\r", "\n",   "\t",   "a",    "B",
                                         " ",  "V",    "k",      "S",  "\x81", "\x82", "\x83", "\xE9"};
        const QStringList conditions = {u"ab"_s, u"aVal"_s,  u"b a"_s, u"By a"_s, u"ka"_s,
                                        u"sB"_s, u"Val k"_s, u"éa"_s,  QString()};
        for (const ByteKernel kernel : Kernels()) {
            QVERIFY(PinByteKernel(kernel));
            QRandomGenerator random(20240611);
            int foundCount = 0, undecoded = 0;
            for (int round = 0; round < 4000; ++round) {
                // Long enough, now and then, for every vector loop to run on a piece.
                QByteArray bytes;
                for (int i = random.bounded(1, round % 4 == 0 ? 120 : 16); i > 0; --i)
                    bytes += parts.at(random.bounded(static_cast<int>(parts.size())));
                const QString &condition = conditions.at(round % conditions.size());
                const bool whole = WholeTextRule(decode(bytes), condition);
                foundCount += whole ? 1 : 0;
                ConditionScanner scanner(condition);
                for (qsizetype at = 0, n; at < bytes.size(); at += n) {
                    n = std::min<qsizetype>(random.bounded(1, round % 2 == 0 ? 6 : 200), bytes.size() - at);
                    const QByteArrayView piece = QByteArrayView(bytes).sliced(at, n);
                    const bool ascii = std::all_of(piece.begin(), piece.end(), [](char b) { return b >= 0; });
                    if (random.bounded(4) != 0 && scanner.FeedBytes(piece, ascii ? nullptr : high.data()))
                        ++undecoded;
                    else
                        scanner.Feed(decode(piece));
                }
                if (scanner.Found() != whole) {
                    QFAIL(qPrintable(u"kernel %1 bytes [%2] condition [%3]"_s.arg(int(kernel))
                                         .arg(QString::fromLatin1(bytes.toHex()), condition)));
                }
            }
            // Both answers and both paths came up often enough for the comparison to mean something.
            QVERIFY(foundCount > 400 && foundCount < 3600);
            QVERIFY(undecoded > 4000);
        }
        QVERIFY(PinByteKernel(BestByteKernel()));
    }

    // A text of UTF-8 file blocks with one feature between an "x" and a "z", at every offset of
    // every text length up to 90 bytes (every length of 0 to 64 bytes around the 16-, 32- and
    // 64-byte chunks and the five bytes the "ByVal " test looks ahead), cut into two blocks at
    // every byte of the feature, on every kernel; the blocks go to the scanner as the reader hands
    // them over. Condition "XZ": found where stripping brings x and z together.
    void everyOffsetOnEveryKernel_data()
    {
        QTest::addColumn<QByteArray>("feature");
        QTest::addColumn<bool>("joins");
        QTest::newRow("CR LF") << "\r\n"_ba << true;
        QTest::newRow("tab") << "\t"_ba << true;
        QTest::newRow("ByVal") << "ByVal "_ba << true;
        QTest::newRow("ByVal split by CR LF") << "By\r\nVal "_ba << true;
        QTest::newRow("one pass: ByByVal Val ") << "ByByVal Val "_ba << false;
        QTest::newRow("byval in lower case") << "byval "_ba << false;
        QTest::newRow("UTF-8 character") << "\xC3\xA9"_ba << false;
        QTest::newRow("UTF-8 character and CR LF") << "\r\xC3\xA9\n"_ba << false;
    }
    void everyOffsetOnEveryKernel()
    {
        QFETCH(QByteArray, feature);
        QFETCH(bool, joins);
        const QString condition = u"XZ"_s;
        QCOMPARE(WholeTextRule(QString::fromUtf8("x" + feature + "z"), condition), joins);
        const QList<ByteKernel> kernels = Kernels();
        ConditionScanner scanner(condition);
        for (int length = 0; length <= 90; ++length) {
            for (int at = 0; at + feature.size() + 2 <= length; ++at) {
                const QByteArray text = QByteArray("ab").repeated(length).left(at) + 'x' + feature + 'z'
                                        + QByteArray("ba").repeated(length).left(length - at - feature.size() - 2);
                const bool expected = WholeTextRule(QString::fromUtf8(text), condition);
                for (const ByteKernel kernel : kernels) {
                    QVERIFY(PinByteKernel(kernel));
                    for (qsizetype cut = at; cut <= at + feature.size() + 2; ++cut) {
                        scanner.Restart(condition);
                        FeedLikeTheReader(scanner, {QByteArrayView(text).first(cut), QByteArrayView(text).sliced(cut)});
                        if (scanner.Found() != expected) {
                            QFAIL(qPrintable(
                                u"kernel %1, [%2] cut at %3"_s.arg(int(kernel))
                                    .arg(QString::fromLatin1(text.toPercentEncoding()), QString::number(cut))));
                        }
                    }
                }
            }
        }
        QVERIFY(PinByteKernel(BestByteKernel()));
    }

private:
    static bool WholeTextRule(const QString &text, const QString &condition)
    {
        const QString probe = StripForTest(text), needle = StripForTest(condition);
        return needle.isEmpty() ? !probe.isEmpty() : probe.contains(needle, Qt::CaseInsensitive);
    }

    // The kernels this processor runs.
    static QList<ByteKernel> Kernels()
    {
        QList<ByteKernel> kernels;
        for (const ByteKernel kernel : {ByteKernel::Plain, ByteKernel::Sse2, ByteKernel::Avx2, ByteKernel::Avx512}) {
            if (PinByteKernel(kernel))
                kernels << kernel;
        }
        PinByteKernel(BestByteKernel());
        return kernels;
    }

    // Hands UTF-8 blocks to the scanner as ReadWholeFile does: undecoded where a block is all ASCII
    // and no character is left unfinished before it, else decoded, a character split between two
    // blocks carried over.
    static void FeedLikeTheReader(ConditionScanner &scanner, std::initializer_list<QByteArrayView> blocks)
    {
        std::unique_ptr<CodePage::Decoder> decoder;
        bool decoderEmpty = true;
        for (const QByteArrayView block : blocks) {
            const bool ascii = std::all_of(block.begin(), block.end(), [](char b) { return b >= 0; });
            if (block.isEmpty() || (decoderEmpty && ascii && scanner.FeedBytes(block, nullptr)))
                continue;
            if (!decoder)
                decoder = CodePage::Utf8().NewDecoder();
            const QString text = decoder->Decode(block);
            if (!text.isEmpty())
                scanner.Feed(text);
            decoderEmpty = block.back() >= 0;
        }
    }
};

// The trap every handler runs under (reporting to a FakeHost): the box's exact text, and where the
// handler goes on after a failure.
class ErrorTrapTest : public QObject
{
    Q_OBJECT

private slots:
    void boxText()
    {
        QCOMPARE(ErrorBoxText(u"Permission denied: /x/y.txt"_s, u"PushButton2_Click"_s, 118),
                 u"Permission denied: /x/y.txt\r\nin TarnwellProj2017/04/05.Form1.PushButton2_Click at line 118\r\r"
                 "Please email screenshot of this message to support@kestrelby.com"_s);
    }

    void failedStatementIsReportedAndTheHandlerGoesOn()
    {
        FakeHost host;
        ErrorTrap trap(host, u"Form_Load"_s);
        QStringList ran;
        for (int i = 1; i <= 2; ++i) { // in a loop, the rest of the body runs
            QVERIFY(trap.Line(100, [&] { ran << u"a%1"_s.arg(i); }));
            QVERIFY(!trap.Line(102, [&] {
                throw AppError(u"broken"_s);
                ran << u"never"_s;
            }));
            trap.Line(104, [&] { ran << u"c%1"_s.arg(i); });
        }
        QVERIFY(!trap.Line(106, [] { throw std::runtime_error("disk on fire"); }));
        QVERIFY(trap.Test(108, [] { return true; }) && !trap.Test(110, [] { return false; }));
        QVERIFY(trap.Test(112, []() -> bool { throw AppError(u"test failed"_s); })); // so the body runs
        QCOMPARE(ran, (QStringList{u"a1"_s, u"c1"_s, u"a2"_s, u"c2"_s}));
        QCOMPARE(host.boxes, (QStringList{u"broken|Form_Load|102"_s, u"broken|Form_Load|102"_s,
                                          u"disk on fire|Form_Load|106"_s, u"test failed|Form_Load|112"_s}));
    }

    void interceptedErrorEndsTheHandlerWithoutABox()
    {
        FakeHost host;
        ErrorTrap trap(host, u"PushButton4_Click"_s);
        trap.SetInterceptor([](const AppError &error) { return error.number() == kErrFileDialogBufferTooSmall; });
        QVERIFY(!trap.Line(100, [] { throw AppError(u"other"_s, 5); }));
        trap.Line(102, [] { throw AppError(u"overflow"_s, kErrFileDialogBufferTooSmall); });
        bool ranAfter = false;
        trap.Line(104, [&] { ranAfter = true; });
        QVERIFY(!trap.Test(106, [&] { return ranAfter = true; }));
        QVERIFY(trap.Ended() && !ranAfter);
        QCOMPARE(host.boxes, QStringList{u"other|PushButton4_Click|100"_s});
    }
};

// Thinning the input list by a text in each entry's path, both ways; the entries kept keep their order.
class ListFiltersTest : public QObject
{
    Q_OBJECT

private slots:
    // Lists as comma-separated entries.
    void filters_data()
    {
        QTest::addColumn<QString>("entries");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("keptByContaining");    // what RemoveEntriesContaining leaves
        QTest::addColumn<QString>("keptByNotContaining"); // what RemoveEntriesNotContaining leaves
        QTest::newRow("TXT in any case, anywhere")
            << u"/a/one.txt,/a/TWO.TxT,/txt/3.doc,/b/4.doc,/b/5.tx t"_s << u"TXT"_s << u"/b/4.doc,/b/5.tx t"_s
            << u"/a/one.txt,/a/TWO.TxT,/txt/3.doc"_s;
        QTest::newRow("single blank") << u"/a b/x,/ab/y,/ab/z w,/c"_s << u" "_s << u"/ab/y,/c"_s << u"/a b/x,/ab/z w"_s;
        QTest::newRow("locale lower case")
            << u"/Ärger/1,/ärger/2,/arger/3"_s << u"äRGER"_s << u"/arger/3"_s << u"/Ärger/1,/ärger/2"_s;
        QTest::newRow("order and duplicates kept")
            << u"/d/1,/k/2,/d/1,/k/3,/d/1"_s << u"/d/"_s << u"/k/2,/k/3"_s << u"/d/1,/d/1,/d/1"_s;
        QTest::newRow("no match") << u"/x/1,/x/2"_s << u"zzz"_s << u"/x/1,/x/2"_s << QString();
        QTest::newRow("empty list") << QString() << u"x"_s << QString() << QString();
    }
    void filters()
    {
        QFETCH(QString, entries);
        QFETCH(QString, text);
        QFETCH(QString, keptByContaining);
        QFETCH(QString, keptByNotContaining);
        for (const bool containing : {true, false}) {
            FileList list;
            list.AppendMany(entries.split(u',', Qt::SkipEmptyParts));
            int yields = 0;
            (containing ? RemoveEntriesContaining : RemoveEntriesNotContaining)(list, text, [&] { ++yields; });
            QCOMPARE(list.Entries().join(u','), containing ? keptByContaining : keptByNotContaining);
            QCOMPARE(yields, entries.isEmpty() ? 0 : entries.count(u',') + 1);
        }
    }
};

TARNWELL_TEST_CLASS(ScannerTest)
TARNWELL_TEST_CLASS(ErrorTrapTest)
TARNWELL_TEST_CLASS(ListFiltersTest)
#include "TextRulesTest.moc"
