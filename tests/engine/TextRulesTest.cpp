#include "ByteScan.h"
#include "EngineTestKit.h"
#include "FileList.h"
#include "ListFilters.h"
#include "TestRegistry.h"

#include <algorithm>
#include <array>

using namespace tarnwell;
using namespace tarnwell::testing;

// Stripping of line breaks, tabs and "ByVal ", and the streaming search, which must agree with
// stripping and searching the whole text at once, on every kernel the processor runs.
class ScannerTest : public QObject
{
    Q_OBJECT

    // A code page of one character a byte in which 81 and 82 hex (the Kelvin sign, the long s) fold
    // to ASCII letters, which the byte path must refuse; every other high byte never matches.
    std::array<char16_t, 128> m_high{};

private slots:
    void initTestCase()
    {
        for (std::size_t i = 0; i < m_high.size(); ++i)
            m_high[i] = static_cast<char16_t>(0x80 + i);
        m_high[1] = 0x212A; // KELVIN SIGN, folds to "k"
        m_high[2] = 0x017F; // LATIN SMALL LETTER LONG S, folds to "s"
    }

    // One feature between an "x" and a "z" in that code page, at every offset of every text length
    // up to `longest`, cut at every byte of the feature, each piece handed over as bytes where the
    // scanner takes them, else decoded. Features that the byte kernels strip go up to 90 bytes
    // (around the 16-, 32- and 64-byte chunks and the five bytes the "ByVal " test looks ahead);
    // those about which path takes a piece need less.
    void everyOffsetOnEveryKernel_data()
    {
        QTest::addColumn<QByteArray>("feature");
        QTest::addColumn<QString>("condition");
        QTest::addColumn<QString>("stripped"); // "x", the feature, "z", stripped
        QTest::addColumn<int>("longest");
        const QString xz = u"XZ"_s;
        QTest::newRow("ByVal") << "ByVal "_ba << xz << u"xz"_s << 90;
        QTest::newRow("line break inside ByVal goes first") << "By\r\nVal "_ba << xz << u"xz"_s << 90;
        QTest::newRow("one pass: ByByVal Val ") << "ByByVal Val "_ba << xz << u"xByVal z"_s << 90;
        QTest::newRow("without its blank stays") << "ByVal\t"_ba << u"XBYVALZ"_s << u"xByValz"_s << 90;
        QTest::newRow("Kelvin sign, tab, ByVal") << "\x81\tByVal "_ba << u"XKZ"_s << u"x\u212Az"_s << 24;
        QTest::newRow("long s between é, near misses")
            << "\xE9\x82\xE9"_ba << u"BYB"_s << u"x\u00E9\u017F\u00E9z"_s << 24;
        QTest::newRow("empty condition") << "\x81\t"_ba << QString() << u"x\u212Az"_s << 24;
    }
    void everyOffsetOnEveryKernel()
    {
        QFETCH(QByteArray, feature);
        QFETCH(QString, condition);
        QFETCH(QString, stripped);
        QFETCH(int, longest);
        QCOMPARE(StripForTest(Decode(QByteArray("x" + feature + "z"))), stripped);
        const QList<ByteKernel> kernels = Kernels();
        const QString needle = StripForTest(condition);
        ConditionScanner scanner(condition);
        for (int length = 0; length <= longest; ++length) {
            for (int at = 0; at + feature.size() + 2 <= length; ++at) {
                const QByteArray text = QByteArray("ab").repeated(length).left(at) + 'x' + feature + 'z'
                                        + QByteArray("ba").repeated(length).left(length - at - feature.size() - 2);
                const QString probe = StripForTest(Decode(text));
                const bool expected = needle.isEmpty() ? !probe.isEmpty() : probe.contains(needle, Qt::CaseInsensitive);
                for (const ByteKernel kernel : kernels) {
                    QVERIFY(PinByteKernel(kernel));
                    for (qsizetype cut = at; cut <= at + feature.size() + 2; ++cut) {
                        scanner.Restart(condition);
                        Feed(scanner, QByteArrayView(text).first(cut));
                        Feed(scanner, QByteArrayView(text).sliced(cut));
                        if (scanner.Found() != expected) {
                            QFAIL(qPrintable(u"kernel %1, [%2] cut at %3"_s.arg(int(kernel))
                                                 .arg(QString::fromLatin1(text.toPercentEncoding()))
                                                 .arg(cut)));
                        }
                    }
                }
            }
        }
        QVERIFY(PinByteKernel(BestByteKernel()));
    }

private:
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

    QString Decode(QByteArrayView bytes) const
    {
        QString text(bytes.size(), Qt::Uninitialized);
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            const auto u = static_cast<unsigned char>(bytes[i]);
            text[i] = QChar(u < 0x80 ? char16_t(u) : m_high[u - 0x80]);
        }
        return text;
    }

    // Hands `piece` over as bytes where the scanner takes them, else decoded.
    void Feed(ConditionScanner &scanner, QByteArrayView piece) const
    {
        if (!piece.isEmpty() && !scanner.FeedBytes(piece, m_high.data()))
            scanner.Feed(Decode(piece));
    }
};

// The trap every handler runs under (reporting to a FakeHost): the box's exact text, where the
// handler goes on after a failure, and an intercepted error ending the handler without a box.
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

        ErrorTrap intercepted(host, u"PushButton4_Click"_s);
        intercepted.SetInterceptor(
            [](const AppError &error) { return error.number() == kErrFileDialogBufferTooSmall; });
        QVERIFY(!intercepted.Line(100, [] { throw AppError(u"other"_s, 5); }));
        intercepted.Line(102, [] { throw AppError(u"overflow"_s, kErrFileDialogBufferTooSmall); });
        bool ranAfter = false;
        intercepted.Line(104, [&] { ranAfter = true; });
        QVERIFY(!intercepted.Test(106, [&] { return ranAfter = true; }));
        QVERIFY(intercepted.Ended() && !ranAfter);
        QCOMPARE(host.boxes.mid(4), QStringList{u"other|PushButton4_Click|100"_s});
    }
};

// Thinning the input list by a text in each entry's path, both ways; the entries kept keep their order.
class ListFiltersTest : public QObject
{
    Q_OBJECT

private slots:
    void filters_data() // lists as comma-separated entries
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
