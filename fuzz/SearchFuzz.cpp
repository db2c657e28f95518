// The streaming strip-and-search against the whole-text rule, with the text fed in random
// pieces. Input: one byte for the condition's length in code units, then UTF-16 code units
// (condition first, then text); the pieces are cut by a generator seeded from the input.
#include "AppendRun.h"
#include "FuzzCheck.h"

#include <QHashFunctions>
#include <QRandomGenerator>

#include <cstdint>
#include <cstring>

using namespace tarnwell;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    QString units(static_cast<qsizetype>((size - 1) / 2), Qt::Uninitialized);
    std::memcpy(units.data(), data + 1, static_cast<std::size_t>(units.size()) * 2);
    const qsizetype needleLength = std::min<qsizetype>(data[0] % 24, units.size());
    const QString condition = units.left(needleLength);
    const QString text = units.mid(needleLength);

    const QString probe = StripForTest(text);
    const QString needle = StripForTest(condition);
    const bool expected = needle.isEmpty() ? !probe.isEmpty() : probe.contains(needle, Qt::CaseInsensitive);

    QRandomGenerator random(static_cast<quint32>(qHashBits(data, size)));
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
