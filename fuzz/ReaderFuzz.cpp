// The streaming reader against a plain reference: the whole file decoded at once by its
// byte-order mark (the search over the pieces it gives is the search target's). Input: one byte of
// choices (bit 0 the code page, bit 1 whether the text is moved across the reader's block
// boundary), then the file's bytes. Moving costs a file of a whole block, so it is done only when
// the input's length is a multiple of 16 too.
#include "FuzzCheck.h"
#include "engine/FileRead.h"

#include <QFile>
#include <QStringDecoder>
#include <QTemporaryDir>

#include <cstdint>

using namespace tarnwell;

namespace {

// How many bytes at the end begin a well-formed UTF-8 character without finishing it (the reader
// leaves those out; every other broken sequence reads as replacement characters).
qsizetype UnfinishedTail(QByteArrayView bytes)
{
    for (qsizetype n = std::min<qsizetype>(3, bytes.size()); n >= 1; --n) {
        const auto at = [&](qsizetype i) { return static_cast<unsigned char>(bytes[bytes.size() - n + i]); };
        const unsigned char lead = at(0);
        const int need = lead < 0xC2 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 0;
        // The second byte's range rules out overlong forms, surrogates and values past 10FFFF.
        const int low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
        const int high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
        bool prefix = need > n;
        for (qsizetype i = 1; i < n && prefix; ++i)
            prefix = at(i) >= (i == 1 ? low : 0x80) && at(i) <= (i == 1 ? high : 0xBF);
        if (prefix)
            return n;
    }
    return 0;
}

// The encoding the byte-order mark tells, and in `text` the whole file decoded at once.
FileEncoding Decode(QByteArrayView bytes, const CodePage &codePage, QString &text)
{
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        const bool le = bytes.startsWith("\xFF");
        text = QStringDecoder(le ? QStringConverter::Utf16LE : QStringConverter::Utf16BE,
                              QStringConverter::Flag::ConvertInitialBom)
                   .decode(bytes.sliced(2));
        return le ? FileEncoding::Utf16LE : FileEncoding::Utf16BE;
    }
    const bool mark = bytes.startsWith("\xEF\xBB\xBF");
    if (!mark && codePage.kind() != CodePage::Kind::Utf8) {
        text = codePage.NewDecoder()->Decode(bytes); // single-byte: no state to carry
        return FileEncoding::CodePage;
    }
    // Whole, with no state: a sequence that cannot be finished is broken at once; a second mark is text.
    QByteArrayView body = bytes.sliced(mark ? 3 : 0);
    body.chop(UnfinishedTail(body));
    const auto flags = QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom;
    text = QStringDecoder(QStringConverter::Utf8, flags).decode(body);
    return mark ? FileEncoding::Utf8Bom : FileEncoding::CodePage;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    static QTemporaryDir dir;
    static const QString path = dir.filePath(QStringLiteral("input"));
    const CodePage codePage = (data[0] & 1) ? CodePage::Windows1252() : CodePage::Utf8();
    QByteArray bytes(reinterpret_cast<const char *>(data + 1), static_cast<qsizetype>(size) - 1);

    QString text;
    FileEncoding encoding = Decode(bytes, codePage, text);
    if ((data[0] & 2) && size % 16 == 0) {
        // Plain characters after the mark push the fuzzed text across the first block boundary.
        const qsizetype mark = encoding == FileEncoding::CodePage ? 0 : encoding == FileEncoding::Utf8Bom ? 3 : 2;
        const QByteArray unit = encoding == FileEncoding::Utf16LE   ? QByteArray("x\0", 2)
                                : encoding == FileEncoding::Utf16BE ? QByteArray("\0x", 2)
                                                                    : QByteArray("x");
        bytes.insert(mark, unit.repeated((kFileBlockBytes - mark - bytes.size() / 2) / unit.size()));
        encoding = Decode(bytes, codePage, text);
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        std::abort();
    file.close();

    QString streamed;
    const ReadResult read = ReadWholeFile(path, codePage, [&](QStringView piece) { streamed += piece; });
    FUZZ_CHECK(read.exists && read.size == bytes.size(), "%lld bytes read", static_cast<long long>(read.size));
    FUZZ_CHECK(read.encoding == encoding, "encoding %d", static_cast<int>(read.encoding));
    FUZZ_CHECK(streamed == text, "%lld characters streamed", static_cast<long long>(streamed.size()));
    return 0;
}
