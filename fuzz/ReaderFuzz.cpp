// The streaming reader and the condition test against a plain reference: the whole file decoded
// at once by its byte-order mark, stripped, and searched. Input: one byte of choices (bit 0 the
// code page, bit 1 whether the text is moved across the reader's block boundary, bits 2-7 the
// condition's length), the condition in UTF-8, then the file's bytes. Moving costs a file of a
// whole block, so it is done only when the input's length is a multiple of 16 too.
#include "AppendRun.h"
#include "FileIO.h"
#include "FuzzCheck.h"

#include <QFile>
#include <QStringDecoder>
#include <QTemporaryDir>

#include <cstdint>

using namespace tarnwell;

namespace {

struct Reference
{
    FileEncoding encoding = FileEncoding::CodePage;
    QString text;
};

// How many bytes at the end begin a well-formed UTF-8 character without finishing it (the reader
// leaves those out; every other broken sequence reads as replacement characters).
qsizetype UnfinishedTail(QByteArrayView bytes)
{
    for (qsizetype n = std::min<qsizetype>(3, bytes.size()); n >= 1; --n) {
        const QByteArrayView tail = bytes.last(n);
        const auto at = [&](qsizetype i) { return static_cast<unsigned char>(tail[i]); };
        const int need = at(0) >= 0xC2 && at(0) <= 0xDF   ? 2
                         : at(0) >= 0xE0 && at(0) <= 0xEF ? 3
                         : at(0) >= 0xF0 && at(0) <= 0xF4 ? 4
                                                          : 0;
        if (need <= n)
            continue;
        bool prefix = true;
        for (qsizetype i = 1; i < n; ++i) {
            unsigned char low = 0x80, high = 0xBF;
            if (i == 1 && at(0) == 0xE0)
                low = 0xA0;
            else if (i == 1 && at(0) == 0xED)
                high = 0x9F;
            else if (i == 1 && at(0) == 0xF0)
                low = 0x90;
            else if (i == 1 && at(0) == 0xF4)
                high = 0x8F;
            prefix = prefix && at(i) >= low && at(i) <= high;
        }
        if (prefix)
            return n;
    }
    return 0;
}

Reference Decode(const QByteArray &bytes, const CodePage &codePage)
{
    Reference ref;
    QStringConverter::Encoding encoding = QStringConverter::Utf8;
    qsizetype mark = 0;
    if (bytes.startsWith("\xFF\xFE")) {
        ref.encoding = FileEncoding::Utf16LE;
        encoding = QStringConverter::Utf16LE;
        mark = 2;
    } else if (bytes.startsWith("\xFE\xFF")) {
        ref.encoding = FileEncoding::Utf16BE;
        encoding = QStringConverter::Utf16BE;
        mark = 2;
    } else if (bytes.startsWith("\xEF\xBB\xBF")) {
        ref.encoding = FileEncoding::Utf8Bom;
        mark = 3;
    } else if (codePage.kind() != CodePage::Kind::Utf8) {
        ref.text = codePage.NewDecoder()->Decode(bytes); // single-byte: no state to carry
        return ref;
    }
    QByteArrayView body = QByteArrayView(bytes).sliced(mark);
    if (encoding == QStringConverter::Utf8) {
        // Whole, with no state: a sequence that cannot be finished is broken at once.
        body.chop(UnfinishedTail(body));
        ref.text = QStringDecoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless).decode(body);
        return ref;
    }
    QStringDecoder decoder(encoding, QStringConverter::Flag::ConvertInitialBom);
    ref.text = decoder.decode(body);
    return ref;
}

QByteArray Filler(FileEncoding encoding, qsizetype characters)
{
    const QByteArray unit = encoding == FileEncoding::Utf16LE   ? QByteArray("x\0", 2)
                            : encoding == FileEncoding::Utf16BE ? QByteArray("\0x", 2)
                                                                : QByteArray("x");
    return unit.repeated(characters);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    static QTemporaryDir dir;
    static const QString path = dir.filePath(QStringLiteral("input"));
    const int choices = data[0];
    const CodePage codePage = (choices & 1) ? CodePage::Windows1252() : CodePage::Utf8();
    const qsizetype conditionLength = std::min<qsizetype>(choices >> 2, static_cast<qsizetype>(size) - 1);
    const QString condition = QString::fromUtf8(reinterpret_cast<const char *>(data + 1), conditionLength);
    QByteArray bytes(reinterpret_cast<const char *>(data + 1 + conditionLength),
                     static_cast<qsizetype>(size) - 1 - conditionLength);

    Reference ref = Decode(bytes, codePage);
    if ((choices & 2) && size % 16 == 0) {
        // Plain characters in front push the fuzzed text across the first block boundary.
        const qsizetype mark = ref.encoding == FileEncoding::CodePage  ? 0
                               : ref.encoding == FileEncoding::Utf8Bom ? 3
                                                                       : 2;
        const qsizetype unit = ref.encoding == FileEncoding::Utf16LE || ref.encoding == FileEncoding::Utf16BE ? 2 : 1;
        const qsizetype characters = (kFileBlockBytes - mark - bytes.size() / 2) / unit;
        bytes.insert(mark, Filler(ref.encoding, characters));
        ref = Decode(bytes, codePage);
    }
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
            std::abort();
    }

    QString streamed;
    ConditionScanner scanner(condition);
    const ReadResult read = ReadWholeFile(path, codePage, [&](QStringView piece) {
        streamed += piece;
        scanner.Feed(piece);
    });
    const bool found = scanner.Found();

    const QString probe = StripForTest(ref.text);
    const QString needle = StripForTest(condition);
    const bool expected = needle.isEmpty() ? !probe.isEmpty() : probe.contains(needle, Qt::CaseInsensitive);
    FUZZ_CHECK(read.exists && read.size == bytes.size(), "size %lld of %lld", static_cast<long long>(read.size),
               static_cast<long long>(bytes.size()));
    FUZZ_CHECK(read.encoding == ref.encoding, "encoding %d, expected %d", static_cast<int>(read.encoding),
               static_cast<int>(ref.encoding));
    FUZZ_CHECK(streamed == ref.text, "streamed %lld characters, whole %lld", static_cast<long long>(streamed.size()),
               static_cast<long long>(ref.text.size()));
    FUZZ_CHECK(found == expected, "found %d, expected %d", found, expected);
    return 0;
}
