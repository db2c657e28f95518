// The settings conversions on any text: they never crash, give a value in range that agrees with
// the number the text holds, leave the rounding mode as it was, and fail only with "Type
// mismatch" (13) or "Overflow" (6). Input: the text in UTF-8 (first byte even) or UTF-16.
#include "ErrorTrap.h"
#include "FuzzCheck.h"
#include "Settings.h"

#include <QLocale>

#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstring>

using namespace tarnwell;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    QString text;
    if (data[0] % 2 == 0) {
        text = QString::fromUtf8(reinterpret_cast<const char *>(data + 1), static_cast<qsizetype>(size) - 1);
    } else {
        text.resize(static_cast<qsizetype>((size - 1) / 2));
        std::memcpy(text.data(), data + 1, static_cast<std::size_t>(text.size()) * 2);
    }
    const int rounding = std::fegetround();
    bool ok = false;
    const double number = QLocale::c().toDouble(text.trimmed(), &ok);
    const bool plainNumber = ok && std::isfinite(number);

    try {
        const qint16 value = TextToInteger16(text);
        FUZZ_CHECK(!plainNumber || std::fabs(value - number) <= 0.5, "%s gave %d", qPrintable(text), value);
    } catch (const AppError &error) {
        FUZZ_CHECK(error.number() == 13 || error.number() == 6, "%s failed with %d", qPrintable(text), error.number());
        FUZZ_CHECK(!plainNumber || error.number() == 6, "%s is a number but failed with %d", qPrintable(text),
                   error.number());
        FUZZ_CHECK(!plainNumber || std::fabs(number) > 32767.0, "%s is in range but overflowed", qPrintable(text));
    }
    FUZZ_CHECK(std::fegetround() == rounding, "the rounding mode changed");

    try {
        const bool truth = TextToTruth(text);
        const QString word = text.trimmed();
        if (word.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            FUZZ_CHECK(truth, "%s read as false", qPrintable(text));
        if (word.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0 || (plainNumber && number == 0.0))
            FUZZ_CHECK(!truth, "%s read as true", qPrintable(text));
        if (plainNumber && number != 0.0)
            FUZZ_CHECK(truth, "%s read as false", qPrintable(text));
    } catch (const AppError &error) {
        FUZZ_CHECK(error.number() == 13, "%s failed with %d", qPrintable(text), error.number());
        FUZZ_CHECK(!plainNumber, "%s is a number but failed", qPrintable(text));
    }
    return 0;
}
