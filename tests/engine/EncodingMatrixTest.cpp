#include "AppendRun.h"
#include "FakeHost.h"
#include "FileIO.h"
#include "TestFiles.h"
#include "TestRegistry.h"

#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>

using namespace tarnwell;
using namespace tarnwell::testing;

Q_DECLARE_METATYPE(tarnwell::CodePage::Kind)

namespace {

CodePage PageOf(CodePage::Kind kind)
{
    return kind == CodePage::Kind::Windows1252 ? CodePage::Windows1252()
         : kind == CodePage::Kind::Utf8        ? CodePage::Utf8()
                                               : CodePage::System();
}

QByteArray Utf16(const QString &text, bool littleEndian)
{
    QByteArray bytes;
    for (const QChar c : text) {
        const char high = static_cast<char>(c.unicode() >> 8);
        const char low = static_cast<char>(c.unicode() & 0xFF);
        bytes += littleEndian ? QByteArray{&low, 1} + QByteArray{&high, 1} : QByteArray{&high, 1} + QByteArray{&low, 1};
    }
    return bytes;
}

} // namespace

// Every kind of file the program meets, byte for byte: the output is the original bytes followed
// by CR LF and the append text in the file's own encoding, and the condition is found where a
// person reading the file would see it.
class EncodingMatrixTest : public QObject
{
    Q_OBJECT

    struct Outcome
    {
        QByteArray bytes;
        QList<FakeHost::ErrorBox> errors;
    };

    static Outcome RunOnce(const QString &path, const QByteArray &original, CodePage::Kind page, int combo1,
                           const QString &condition, const QString &appendText)
    {
        WriteBytes(path, original);
        FakeHost host;
        host.entries = {path};
        host.text3 = QFileInfo(path).path();
        host.combo1 = combo1;
        host.text2 = condition;
        host.text1 = appendText;
        RunAppendJob(host, PageOf(page));
        return {ReadBytes(path), host.errorBoxes};
    }

private slots:
    void matrix_data()
    {
        QTest::addColumn<QByteArray>("original");
        QTest::addColumn<CodePage::Kind>("page");
        QTest::addColumn<QString>("present"); // found: "does" appends
        QTest::addColumn<QString>("absent");  // not found: "does" leaves the file alone
        QTest::addColumn<QString>("appendText");
        QTest::addColumn<QByteArray>("appendix");
        const auto s = [](const char *text) { return QString::fromUtf8(text); };
        const auto W = CodePage::Kind::Windows1252;

        QByteArray allHigh = "Preis: ";
        for (int byte = 0x80; byte <= 0xFF; ++byte)
            allHigh += static_cast<char>(byte);
        allHigh += "\r\n";
        QTest::newRow("windows-1252, every byte 80-FF") << allHigh << W << s("š‹œ") << s("ÿ€") << s("€Ÿÿ\u008D")
                                                         << QByteArray("\r\n\x80\x9F\xFF\x8D");
        QTest::newRow("UTF-8 with mark beats the code page")
            << QByteArray("\xEF\xBB\xBFGr\xC3\xBC\xC3\x9F" "e aus K\xC3\xB6ln\r\n") << W << s("KÖLN") << s("koeln")
            << s("€漢") << QByteArray("\r\n\xE2\x82\xAC\xE6\xBC\xA2");
        QTest::newRow("UTF-8 without mark in a UTF-8 code page")
            << QByteArray("Gr\xC3\xBC\xC3\x9F" "e aus K\xC3\xB6ln") << CodePage::Kind::Utf8 << s("KÖLN") << s("Koeln")
            << s("€") << QByteArray("\r\n\xE2\x82\xAC");
#ifndef Q_OS_WIN
        QTest::newRow("UTF-8 without mark in the system code page")
            << QByteArray("K\xC3\xB6ln") << CodePage::Kind::System << s("KÖLN") << s("koeln")
            << s("漢") << QByteArray("\r\n\xE6\xBC\xA2");
#endif
        QTest::newRow("UTF-16 LE with mark") << QByteArray("\xFF\xFE") + Utf16(s("Ärger über Öl\r\n"), true) << W
                                             << s("ÜBER") << s("uber") << s("漢€")
                                             << QByteArray("\x0D\x00\x0A\x00\x22\x6F\xAC\x20", 8);
        QTest::newRow("UTF-16 BE with mark") << QByteArray("\xFE\xFF") + Utf16(s("Ärger über Öl"), false) << W
                                             << s("ÜBER") << s("uber") << s("漢€")
                                             << QByteArray("\x00\x0D\x00\x0A\x6F\x22\x20\xAC", 8);
        QTest::newRow("windows-1252 starting with þ") << QByteArray("\xFE" "abc") << W << s("ÞABC") << s("ÞABCD")
                                                      << s("é") << QByteArray("\r\n\xE9");
        QTest::newRow("windows-1252 starting with ÿ") << QByteArray("\xFF" "A\xFE") << W << s("ŸAÞ") << s("ÿb")
                                                      << s("x") << QByteArray("\r\nx");
        QTest::newRow("LF only") << QByteArray("one\ntwo\n") << W << s("ONETWO") << s("one\ntwo\n\n3") << s("x")
                                 << QByteArray("\r\nx");
        QTest::newRow("no final line break") << QByteArray("abc") << W << s("BC") << s("abcd") << s("x\r\ny")
                                             << QByteArray("\r\nx\r\ny");
    }
    void matrix()
    {
        QFETCH(QByteArray, original);
        QFETCH(CodePage::Kind, page);
        QFETCH(QString, present);
        QFETCH(QString, absent);
        QFETCH(QString, appendText);
        QFETCH(QByteArray, appendix);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("f.txt"));

        const Outcome found = RunOnce(path, original, page, 0, present, appendText);
        QVERIFY(found.errors.isEmpty());
        QCOMPARE(found.bytes, original + appendix);

        const Outcome notFound = RunOnce(path, original, page, 0, absent, appendText);
        QVERIFY(notFound.errors.isEmpty());
        QCOMPARE(notFound.bytes, original);
    }

    // Empty and missing files have no encoding of their own: the appendix goes in the code page.
    void emptyAndMissingFiles_data()
    {
        QTest::addColumn<bool>("exists");
        QTest::newRow("zero-length") << true;
        QTest::newRow("missing") << false;
    }
    void emptyAndMissingFiles()
    {
        QFETCH(bool, exists);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("f.txt"));
        if (exists)
            WriteBytes(path, QByteArray());
        FakeHost host;
        host.entries = {path};
        host.text3 = dir.path();
        host.combo1 = 1;
        host.text2 = QStringLiteral("x");
        host.text1 = QString::fromUtf8("€ empty file");
        RunAppendJob(host, CodePage::Windows1252());
        QVERIFY(host.errorBoxes.isEmpty());
        QCOMPARE(ReadBytes(path), QByteArray("\r\n\x80 empty file"));
    }

    // "ÿþ" at the start of a windows-1252 file cannot be told from a UTF-16 mark. With an odd
    // number of bytes behind it, appending would shift every later character: the file is
    // reported and left alone.
    void markOfUtf16WithOddLengthIsLeftAlone()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QByteArray original("\xFF\xFE" "abc");
        const Outcome outcome = RunOnce(dir.filePath(QStringLiteral("f.txt")), original, CodePage::Kind::Windows1252,
                                        1, QStringLiteral("zzz"), QStringLiteral("x"));
        QCOMPARE(outcome.bytes, original);
        QCOMPARE(outcome.errors.size(), 1);
        QVERIFY(outcome.errors.first().description.contains(QLatin1String("odd number of bytes")));
    }

    // The code page's own table, checked against the platform's converter where it has one.
    void windows1252MapsEveryByteBothWays()
    {
        QStringDecoder reference("windows-1252");
        if (!reference.isValid())
            QSKIP("This Qt has no windows-1252 converter to compare with.");
        const CodePage page = CodePage::Windows1252();
        for (int byte = 0; byte <= 0xFF; ++byte) {
            const QByteArray one(1, static_cast<char>(byte));
            const QString expected = reference.decode(one);
            QCOMPARE(page.NewDecoder()->Decode(one), expected);
            QByteArray encoded;
            QVERIFY(page.Encode(expected, encoded));
            QCOMPARE(encoded, one);
        }
        QByteArray unused;
        QVERIFY(!page.Encode(QString::fromUtf8("\u0080"), unused)); // a C1 control 1252 gives another byte
        QVERIFY(!page.Encode(QString::fromUtf8("漢"), unused));
        QVERIFY(!page.Encode(QString::fromUtf8("Ā"), unused));
    }

    void unencodableCharacterIsRefusedNotReplaced_data()
    {
        QTest::addColumn<CodePage::Kind>("page");
        QTest::addColumn<QString>("appendText");
        QTest::newRow("CJK in windows-1252") << CodePage::Kind::Windows1252 << QString::fromUtf8("ok 漢");
        QTest::newRow("lone surrogate in UTF-8") << CodePage::Kind::Utf8 << QString(QChar(0xD800));
    }
    void unencodableCharacterIsRefusedNotReplaced()
    {
        QFETCH(CodePage::Kind, page);
        QFETCH(QString, appendText);
        QVERIFY_THROWS_EXCEPTION(AppError, EncodeAppendix(appendText, FileEncoding::CodePage, PageOf(page)));
    }
};

TARNWELL_TEST_CLASS(EncodingMatrixTest)
#include "EncodingMatrixTest.moc"
