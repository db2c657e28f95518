// The streaming strip-and-search against the whole-text rule, with the text fed in random
// pieces. Input: one byte of choices, then the condition and the text. The choice byte's low bits
// modulo 24 give the condition's length; its top two bits the form:
//   0, 1  UTF-16 code units (condition first, then text), fed decoded;
//   2     windows-1252 bytes, each piece handed over as bytes or decoded, at random;
//   3     UTF-8 bytes, each piece handed over as the reader does (as bytes where it is all ASCII
//         and no character is left unfinished before it, else decoded).
// The byte forms run on a kernel the processor runs, picked, as the pieces are, by a generator seeded from the input.
// Pieces of bytes are either all short or up to 4 KiB, so that stretches of a piece are skimmed too.
#include "FuzzCheck.h"
#include "engine/AppendRun.h"
#include "engine/ByteScan.h"

#include <QHashFunctions>
#include <QRandomGenerator>

#include <cstdint>
#include <cstring>

using namespace tarnwell;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    QRandomGenerator random(static_cast<quint32>(qHashBits(data, size)));
    const int form = data[0] >> 6;
    const bool utf8 = form == 3;
    const CodePage codePage = utf8 ? CodePage::Utf8() : CodePage::Windows1252();
    const QByteArrayView input(reinterpret_cast<const char *>(data + 1), static_cast<qsizetype>(size - 1));
    QString condition, text; // the text as a whole, decoded at once (an unfinished last character is dropped)
    QByteArrayView bytes;
    if (form >= 2) {
        while (!PinByteKernel(static_cast<ByteKernel>(random.bounded(4)))) // one the processor runs
            ;
        const qsizetype conditionLength = std::min<qsizetype>(data[0] % 24, input.size());
        condition = codePage.NewDecoder()->Decode(input.first(conditionLength));
        bytes = input.sliced(conditionLength);
        text = codePage.NewDecoder()->Decode(bytes);
    } else {
        QString units(input.size() / 2, Qt::Uninitialized);
        std::memcpy(units.data(), input.data(), static_cast<std::size_t>(units.size()) * 2);
        condition = units.left(std::min<qsizetype>(data[0] % 24, units.size()));
        text = units.mid(condition.size());
    }

    ConditionScanner scanner(condition);
    const std::unique_ptr<CodePage::Decoder> decoder = codePage.NewDecoder();
    bool decoderEmpty = true;
    const qsizetype total = form >= 2 ? bytes.size() : text.size();
    // Bytes in short pieces, or in long ones that the scanner skims for the needle's rare byte.
    const int longest = form < 2 ? 12 : random.bounded(2) == 0 ? 160 : 4096;
    for (qsizetype from = 0, n; from < total; from += n) {
        n = std::min<qsizetype>(random.bounded(1, longest), total - from);
        if (form < 2) {
            scanner.Feed(QStringView(text).sliced(from, n));
            continue;
        }
        const QByteArrayView piece = bytes.sliced(from, n);
        const bool ascii = std::all_of(piece.begin(), piece.end(), [](char b) { return b >= 0; });
        const bool taken = utf8 ? decoderEmpty && ascii && scanner.FeedBytes(piece, nullptr)
                                : random.bounded(4) != 0 && scanner.FeedBytes(piece, codePage.HighHalf());
        if (!taken) {
            scanner.Feed(decoder->Decode(piece));
            decoderEmpty = !utf8 || piece.back() >= 0;
        }
    }
    const bool found = scanner.Found();
    const QString probe = StripForTest(text), needle = StripForTest(condition);
    const bool expected = needle.isEmpty() ? !probe.isEmpty() : probe.contains(needle, Qt::CaseInsensitive);
    FUZZ_CHECK(found == expected, "form %d, kernel %d: found %d", form, static_cast<int>(ActiveByteKernel()), found);
    return 0;
}
