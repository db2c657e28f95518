// The streaming strip-and-search against the whole-text rule, with the text fed in random
// pieces. Input: one byte of choices, then the condition and the text. The choice byte's low bits
// modulo 24 give the condition's length; its top two bits the form:
//   0, 1  UTF-16 code units (condition first, then text), fed decoded;
//   2     windows-1252 bytes, each piece handed over as bytes or decoded, at random;
//   3     UTF-8 bytes, each piece handed over as the reader does (as bytes where it is all ASCII
//         and no character is left unfinished before it, else decoded).
// The byte forms run on a kernel picked at random from those the processor runs. Pieces and
// choices come from a generator seeded from the input.
#include "AppendRun.h"
#include "ByteScan.h"
#include "FuzzCheck.h"

#include <QHashFunctions>
#include <QList>
#include <QRandomGenerator>

#include <cstdint>
#include <cstring>

using namespace tarnwell;

namespace {

bool WholeTextRule(const QString &text, const QString &condition)
{
    const QString probe = StripForTest(text);
    const QString needle = StripForTest(condition);
    return needle.isEmpty() ? !probe.isEmpty() : probe.contains(needle, Qt::CaseInsensitive);
}

QList<ByteKernel> Kernels()
{
    static const QList<ByteKernel> kernels = [] {
        QList<ByteKernel> runnable;
        for (const ByteKernel kernel : {ByteKernel::Plain, ByteKernel::Sse2, ByteKernel::Avx2, ByteKernel::Avx512}) {
            if (PinByteKernel(kernel))
                runnable << kernel;
        }
        return runnable;
    }();
    return kernels;
}

bool FeedBytes(QByteArrayView condition, QByteArrayView text, bool utf8, QRandomGenerator &random)
{
    const CodePage codePage = utf8 ? CodePage::Utf8() : CodePage::Windows1252();
    const QString conditionText = codePage.NewDecoder()->Decode(condition);
    ConditionScanner scanner(conditionText);
    const std::unique_ptr<CodePage::Decoder> decoder = codePage.NewDecoder();
    const char16_t *highHalf = codePage.HighHalf();
    bool decoderEmpty = true;
    for (qsizetype from = 0; from < text.size();) {
        const qsizetype length = std::min<qsizetype>(random.bounded(1, 160), text.size() - from);
        const QByteArrayView piece = text.sliced(from, length);
        from += length;
        bool taken = false;
        if (utf8) {
            const bool ascii = std::all_of(piece.begin(), piece.end(), [](char b) { return b >= 0; });
            taken = decoderEmpty && ascii && scanner.FeedBytes(piece, nullptr);
        } else {
            taken = random.bounded(4) != 0 && scanner.FeedBytes(piece, highHalf);
        }
        if (!taken) {
            scanner.Feed(decoder->Decode(piece));
            decoderEmpty = !utf8 || piece.back() >= 0;
        }
    }
    // The whole text decoded at once, as the reader would (an unfinished last character is dropped).
    const bool expected = WholeTextRule(codePage.NewDecoder()->Decode(text), conditionText);
    const bool found = scanner.Found();
    FUZZ_CHECK(found == expected, "%s, kernel %d: found %d, expected %d, condition of %lld bytes, text of %lld",
               utf8 ? "UTF-8" : "windows-1252", static_cast<int>(ActiveByteKernel()), found, expected,
               static_cast<long long>(condition.size()), static_cast<long long>(text.size()));
    return found;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    QRandomGenerator random(static_cast<quint32>(qHashBits(data, size)));
    const int form = data[0] >> 6;
    if (form >= 2) {
        const QList<ByteKernel> kernels = Kernels();
        PinByteKernel(kernels.at(random.bounded(static_cast<int>(kernels.size()))));
        const QByteArrayView bytes(reinterpret_cast<const char *>(data + 1), static_cast<qsizetype>(size - 1));
        const qsizetype conditionLength = std::min<qsizetype>(data[0] % 24, bytes.size());
        FeedBytes(bytes.first(conditionLength), bytes.sliced(conditionLength), form == 3, random);
        return 0;
    }

    QString units(static_cast<qsizetype>((size - 1) / 2), Qt::Uninitialized);
    std::memcpy(units.data(), data + 1, static_cast<std::size_t>(units.size()) * 2);
    const qsizetype needleLength = std::min<qsizetype>(data[0] % 24, units.size());
    const QString condition = units.left(needleLength);
    const QString text = units.mid(needleLength);
    const bool expected = WholeTextRule(text, condition);

    ConditionScanner scanner(condition);
    for (qsizetype from = 0; from < text.size();) {
        const qsizetype length = std::min<qsizetype>(random.bounded(1, 12), text.size() - from);
        scanner.Feed(QStringView(text).sliced(from, length));
        from += length;
    }
    const bool found = scanner.Found();
    FUZZ_CHECK(found == expected, "found %d, expected %d, condition of %lld units, text of %lld", found, expected,
               static_cast<long long>(condition.size()), static_cast<long long>(text.size()));
    return 0;
}
