// The settings conversions on any text, against a plain reference of the number rule: blanks
// around, an optional sign, digits with an optional decimal point, an optional exponent; words
// such as "inf" and "nan" are no numbers; past the double range is "Overflow" (6), too small to
// tell from zero is zero; 16-bit integers round half to even. The rounding mode is left as it was.
// Input: the text in UTF-8 (first byte even) or UTF-16.
#include "ErrorTrap.h"
#include "FuzzCheck.h"
#include "Settings.h"

#include <QRegularExpression>

#include <cerrno>
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

using namespace tarnwell;

namespace {

enum class Kind { NotANumber, Overflow, Number };

// The reference: a regular expression for the form, the C library (the "C" locale: no
// QCoreApplication sets another here) for the value.
Kind ReferenceNumber(const QString &text, double &value)
{
    static const QRegularExpression form(
        QRegularExpression::anchoredPattern(QStringLiteral("[+-]?([0-9]+(\\.[0-9]*)?|\\.[0-9]+)([eE][+-]?[0-9]+)?")));
    const QString trimmed = text.trimmed();
    if (!form.match(trimmed).hasMatch())
        return Kind::NotANumber;
    const QByteArray ascii = trimmed.toLatin1();
    errno = 0;
    value = std::strtod(ascii.constData(), nullptr);
    if (errno == ERANGE && std::isinf(value))
        return Kind::Overflow;
    return Kind::Number; // an underflow gives zero or the nearest subnormal, as it should
}

// 13, 6, or 0 when the call returned.
template <typename Call>
int ErrorOf(Call call)
{
    try {
        call();
    } catch (const AppError &error) {
        return error.number();
    }
    return 0;
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
    const int rounding = std::fegetround();
    double number = 0;
    const Kind kind = ReferenceNumber(text, number);

    qint16 integer = 0;
    const int integerError = ErrorOf([&] { integer = TextToInteger16(text); });
    FUZZ_CHECK(std::fegetround() == rounding, "the rounding mode changed");
    if (kind == Kind::NotANumber) {
        FUZZ_CHECK(integerError == 13, "%s is no number but gave %d (error %d)", qPrintable(text), integer,
                   integerError);
    } else if (kind == Kind::Overflow) {
        FUZZ_CHECK(integerError == 6, "%s is past the double range but gave error %d", qPrintable(text), integerError);
    } else {
        const double rounded = std::nearbyint(number); // the default mode: half to even
        if (rounded < -32768.0 || rounded > 32767.0)
            FUZZ_CHECK(integerError == 6, "%s is out of range but gave error %d", qPrintable(text), integerError);
        else
            FUZZ_CHECK(integerError == 0 && integer == rounded, "%s gave %d (error %d), not %.0f", qPrintable(text),
                       integer, integerError, rounded);
    }

    bool truth = false;
    const int truthError = ErrorOf([&] { truth = TextToTruth(text); });
    const QString word = text.trimmed();
    if (word.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        FUZZ_CHECK(truthError == 0 && truth, "%s did not read as true", qPrintable(text));
    else if (word.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        FUZZ_CHECK(truthError == 0 && !truth, "%s did not read as false", qPrintable(text));
    else if (kind == Kind::NotANumber)
        FUZZ_CHECK(truthError == 13, "%s is no truth value but gave error %d", qPrintable(text), truthError);
    else if (kind == Kind::Overflow)
        FUZZ_CHECK(truthError == 6, "%s is past the double range but gave error %d", qPrintable(text), truthError);
    else
        FUZZ_CHECK(truthError == 0 && truth == (number != 0.0), "%s read as %d (error %d)", qPrintable(text), truth,
                   truthError);
    return 0;
}
