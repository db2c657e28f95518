#include "TestRegistry.h"
#include "engine/ByteScan.h"
#include "engine/Condition.h"
#include "engine/ListFilters.h"

#include <QTest>

#include <array>
#include <numeric>

using namespace tarnwell;
using namespace Qt::StringLiterals;

// The streaming search, which must agree with stripping and searching the whole text at once; the list filters.
class TextRulesTest : public QObject
{
    Q_OBJECT

    // A code page of one character a byte in which 81 and 82 hex (the Kelvin sign, the long s) fold
    // to ASCII letters, which the byte path must refuse; every other high byte never matches.
    std::array<char16_t, 128> m_high{};

private slots:
    void initTestCase()
    {
        std::iota(m_high.begin(), m_high.end(), u'\x80');
        m_high[1] = 0x212A; // KELVIN SIGN, folds to "k"
        m_high[2] = 0x017F; // LATIN SMALL LETTER LONG S, folds to "s"
    }

    // A feature between "x" and "z", at every offset of every length up to `longest` (90 where the kernels
    // strip it: past the 64-byte chunks and the five bytes the "ByVal " test looks ahead; less where only
    // the path matters), cut at every byte of the feature, on every kernel; each piece goes as bytes where
    // the scanner takes them, else decoded. What the kernel strips is compared in full, not only searched.
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
        QTest::newRow("one-byte condition, a piece ending in tabs") << QByteArray(40, '\t') << u"Q"_s << u"xz"_s << 90;
    }
    void everyOffsetOnEveryKernel()
    {
        QFETCH(QByteArray, feature);
        QFETCH(QString, condition);
        QFETCH(QString, stripped);
        QFETCH(int, longest);
        QCOMPARE(StripForTest(Decode(QByteArray("x" + feature + "z"))), stripped);
        const QString needle = StripForTest(condition);
        ConditionScanner scanner(condition);
        QByteArray kernelOut(longest + kStripSlack, Qt::Uninitialized);
        for (int length = 0; length <= longest; ++length) {
            for (int at = 0; at + feature.size() + 2 <= length; ++at) {
                const QByteArray text = QByteArray("ab").repeated(length).left(at) + 'x' + feature + 'z'
                                        + QByteArray("ba").repeated(length).left(length - at - feature.size() - 2);
                const QString probe = StripForTest(Decode(text));
                const QByteArray strippedBytes = StripForTest(QString::fromLatin1(text)).toLatin1();
                const bool expected = needle.isEmpty() ? !probe.isEmpty() : probe.contains(needle, Qt::CaseInsensitive);
                for (const ByteKernel kernel :
                     {ByteKernel::Plain, ByteKernel::Sse2, ByteKernel::Avx2, ByteKernel::Avx512}) {
                    if (!PinByteKernel(kernel))
                        continue; // one this processor does not run
                    ByteStrip strip{kernelOut.data()};
                    StripBytes(strip, text.data(), text.size());
                    const bool strippedRight = QByteArrayView(kernelOut).first(strip.size) == strippedBytes;
                    for (qsizetype cut = at; cut <= at + feature.size() + 2; ++cut) {
                        scanner.Restart(condition);
                        for (const QByteArrayView piece :
                             {QByteArrayView(text).first(cut), QByteArrayView(text).sliced(cut)}) {
                            if (!piece.isEmpty() && !scanner.FeedBytes(piece, m_high.data()))
                                scanner.Feed(Decode(piece)); // the bytes need the exact path
                        }
                        if (scanner.Found() != expected || !strippedRight)
                            QFAIL(qPrintable(u"kernel %1, cut at %2, stripped right %3: %4"_s.arg(int(kernel))
                                                 .arg(cut)
                                                 .arg(strippedRight)
                                                 .arg(QString::fromLatin1(text.toPercentEncoding()))));
                    }
                }
            }
        }
        QVERIFY(PinByteKernel(BestByteKernel()));
    }

    // A needle with a removed kind inside it at every offset, in upper case, amid filler that keeps
    // the needle's rare byte away (the raw bytes are skimmed), holds near misses of it (a few stretches
    // are stripped) or crowds it (the whole piece is stripped); fed whole and cut at every byte around
    // it, on every kernel. Blanks, a lower-case "byval " and "ByVal" without its blank are not removed.
    void removedInsideNeedleOnEveryKernel_data()
    {
        QTest::addColumn<QString>("condition");
        QTest::addColumn<QByteArray>("removed");
        QTest::addColumn<bool>("found");
        const QByteArray kinds[] = {"\r",
                                    "\n",
                                    "\t",
                                    "ByVal ",
                                    "\r\nByVal \t",
                                    "By\r\nVal ",
                                    "ByVal "_ba.repeated(5) + "\r\n\r\n\t"}; // wider than the first stretch
        for (const char *condition : {"mark-of-cond", "vav"}) {
            for (const QByteArray &kind : kinds)
                QTest::addRow("%s %s", condition, kind.toPercentEncoding().data())
                    << QString::fromLatin1(condition) << kind << true;
            for (const QByteArray &kind : {" "_ba, "byval "_ba, "ByVal"_ba})
                QTest::addRow("%s %s", condition, kind.toPercentEncoding().data())
                    << QString::fromLatin1(condition) << kind << false;
        }
    }
    void removedInsideNeedleOnEveryKernel()
    {
        QFETCH(QString, condition);
        QFETCH(QByteArray, removed);
        QFETCH(bool, found);
        const QByteArray fillers[] = {"ByVal alpha\r\nbeta\tgamma ByVal\r\nBy\r\nVal delta\n",
                                      "alpha MARK OF-COND\r\nbeta mark-of-con d\tByVal Va v\r\n", "-a-V-a-v-"};
        const QByteArray upper = condition.toUpper().toLatin1();
        ConditionScanner scanner(condition);
        for (const ByteKernel kernel : {ByteKernel::Plain, ByteKernel::Sse2, ByteKernel::Avx2, ByteKernel::Avx512}) {
            if (!PinByteKernel(kernel))
                continue;
            for (const QByteArray &filler : fillers) {
                const QByteArray around = filler.repeated(300 / filler.size() + 1);
                for (qsizetype offset = 1; offset < upper.size(); ++offset) {
                    const QByteArray text = around + upper.left(offset) + removed + upper.mid(offset) + around;
                    QCOMPARE(StripForTest(Decode(text)).contains(condition, Qt::CaseInsensitive), found);
                    for (qsizetype cut = around.size() - 60; cut <= text.size() - around.size() + 60; ++cut) {
                        scanner.Restart(condition);
                        QVERIFY(scanner.FeedBytes(QByteArrayView(text).first(cut), m_high.data()));
                        QVERIFY(scanner.FeedBytes(QByteArrayView(text).sliced(cut), m_high.data()));
                        if (scanner.Found() != found)
                            QFAIL(qPrintable(u"kernel %1, cut at %2: %3"_s.arg(int(kernel))
                                                 .arg(cut)
                                                 .arg(QString::fromLatin1(text.toPercentEncoding()))));
                    }
                }
            }
        }
        QVERIFY(PinByteKernel(BestByteKernel()));
    }

    // The search alone, past several vector widths, among places where the needle's two rare bytes agree
    // and the rest does not: on every kernel it finds the needle at each place, and not once the text ends
    // one byte short of it.
    void needleAtEveryPlaceOnEveryKernel()
    {
        const ByteNeedle needle("zebra");
        const QByteArray decoys = QByteArray("zxBRa").repeated(40);
        for (const ByteKernel kernel : {ByteKernel::Plain, ByteKernel::Sse2, ByteKernel::Avx2, ByteKernel::Avx512}) {
            if (!PinByteKernel(kernel))
                continue;
            QCOMPARE(needle.Find(decoys.data(), decoys.size()), -1);
            for (int at = 0; at + 5 <= decoys.size(); ++at) {
                const QByteArray text = QByteArray(decoys).replace(at, 5, "ZeBrA");
                if (needle.Find(text.data(), text.size()) != at || needle.Find(text.data(), at + 4) != -1)
                    QFAIL(qPrintable(u"kernel %1, at %2"_s.arg(int(kernel)).arg(at)));
            }
        }
        QVERIFY(PinByteKernel(BestByteKernel()));
    }

    // Thinning the list by a text in the paths, in the locale's lower case (the window's test keeps to
    // ASCII): the positions to remove, ascending, duplicates each at its own; each entry is tested once
    // (a yield each).
    void filters()
    {
        const QStringList entries = u"/Ärger/1.txt,/b/2.doc,/ärger/1.TXT,/b/2.doc,/arger/1.txt"_s.split(u',');
        int yields = 0;
        QCOMPARE(PositionsContaining(entries, u"äRGER/1.T"_s, [&] { ++yields; }), (QList<int>{1, 3}));
        QCOMPARE(yields, 5);
        QCOMPARE(PositionsNotContaining(entries, u"äRGER/1.T"_s, [&] { ++yields; }), (QList<int>{2, 4, 5}));
        QCOMPARE(yields, 10);
    }

private:
    QString Decode(QByteArrayView bytes) const
    {
        QString text(bytes.size(), Qt::Uninitialized);
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            const auto u = static_cast<unsigned char>(bytes[i]);
            text[i] = QChar(u < 0x80 ? char16_t(u) : m_high[u - 0x80]);
        }
        return text;
    }
};

TARNWELL_TEST_CLASS(TextRulesTest)
#include "TextRulesTest.moc"
