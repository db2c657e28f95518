// The settings conversions on any text, against a plain reference of the number rule: blanks
// around, an optional sign, digits with an optional decimal point, an optional exponent; words
// such as "inf" and "nan" are no numbers; past the double range is "Overflow" (6), too small to
// tell from zero is zero; 16-bit integers round half to even. The rounding mode is left as it was.
// Input: the text in UTF-8 (first byte even) or UTF-16.
#include "FuzzCheck.h"
#include "trap/AppError.h"
#include "window/Settings.h"

#include <QRegularExpression>

#include <cerrno>
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

using namespace tarnwell;

namespace {

// The error a conversion should give: 13 for no number, 6 past the double range, else 0 and `value`;
// by a regular expression for the form, the C library (the "C" locale here) for the value.
int ReferenceNumber(const QString &text, double &value)
{
    static const QRegularExpression form(
        QRegularExpression::anchoredPattern(QStringLiteral("[+-]?([0-9]+(\\.[0-9]*)?|\\.[0-9]+)([eE][+-]?[0-9]+)?")));
    const QString trimmed = text.trimmed();
    if (!form.match(trimmed).hasMatch())
        return 13;
    errno = 0;
    value = std::strtod(trimmed.toLatin1().constData(), nullptr);
    return errno == ERANGE && std::isinf(value) ? 6 : 0; // an underflow gives zero or the nearest subnormal
}

} // namespace

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
    const auto errorOf = [](const auto &call) { // the number of the AppError it threw, 0 when it returned
        try {
            call();
        } catch (const AppError &error) {
            return error.number();
        }
        return 0;
    };
    const int rounding = std::fegetround();
    double number = 0;
    const int numberError = ReferenceNumber(text, number);
    const double rounded = std::nearbyint(number); // the default mode: half to even

    qint16 integer = 0;
    const int integerError = errorOf([&] { integer = TextToInteger16(text); });
    FUZZ_CHECK(std::fegetround() == rounding, "the rounding mode changed");
    const int integerExpected = numberError == 0 && (rounded < -32768.0 || rounded > 32767.0) ? 6 : numberError;
    FUZZ_CHECK(integerError == integerExpected && (integerError != 0 || integer == rounded), "%s gave %d (error %d)",
               qPrintable(text), integer, integerError);

    bool truth = false;
    const int truthError = errorOf([&] { truth = TextToTruth(text); });
    const QString word = text.trimmed();
    const bool isTrue = word.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
    const bool isWord = isTrue || word.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0;
    const int truthExpected = isWord ? 0 : numberError;
    FUZZ_CHECK(truthError == truthExpected && (truthError != 0 || truth == (isWord ? isTrue : number != 0.0)),
               "%s read as %d (error %d)", qPrintable(text), truth, truthError);
    return 0;
}
