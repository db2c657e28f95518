#include "window/Settings.h"

#include "trap/AppError.h"
#include "trap/ErrorNumbers.h"

#include <algorithm>
#include <cfenv>
#include <charconv>
#include <cmath>

namespace tarnwell {

namespace {
[[noreturn]] void TypeMismatch()
{
    throw AppError(QStringLiteral("Type mismatch"), kErrTypeMismatch);
}

[[noreturn]] void Overflow()
{
    throw AppError(QStringLiteral("Overflow"), kErrOverflow);
}

// A decimal number: blanks around, an optional sign, digits with an optional decimal point (at
// least one digit on either side of it), an optional exponent of "E" or "e", a sign and digits.
// Words such as "inf" and "nan" are no numbers. A number too large for a double is an overflow;
// one too small to tell from zero is zero. Anything else is a type mismatch.
double ParseNumber(const QString &text)
{
    const QString trimmed = text.trimmed();
    qsizetype i = 0;
    const auto digitsAt = [&](qsizetype from) {
        qsizetype to = from;
        while (to < trimmed.size() && trimmed.at(to) >= QLatin1Char('0') && trimmed.at(to) <= QLatin1Char('9'))
            ++to;
        return to - from;
    };
    if (i < trimmed.size() && (trimmed.at(i) == QLatin1Char('+') || trimmed.at(i) == QLatin1Char('-')))
        ++i;
    const qsizetype integerDigits = digitsAt(i);
    i += integerDigits;
    qsizetype fractionDigits = 0;
    if (i < trimmed.size() && trimmed.at(i) == QLatin1Char('.')) {
        fractionDigits = digitsAt(i + 1);
        i += 1 + fractionDigits;
    }
    if (integerDigits + fractionDigits == 0)
        TypeMismatch();
    const qsizetype mantissaEnd = i;
    if (i < trimmed.size() && (trimmed.at(i) == QLatin1Char('e') || trimmed.at(i) == QLatin1Char('E'))) {
        qsizetype at = i + 1;
        if (at < trimmed.size() && (trimmed.at(at) == QLatin1Char('+') || trimmed.at(at) == QLatin1Char('-')))
            ++at;
        const qsizetype exponentDigits = digitsAt(at);
        if (exponentDigits == 0)
            TypeMismatch();
        i = at + exponentDigits;
    }
    if (i != trimmed.size())
        TypeMismatch();

    const QByteArray ascii = trimmed.toLatin1(); // every character is ASCII by now
    const char *begin = ascii.constData();
    if (*begin == '+')
        ++begin; // from_chars takes no plus sign
    double value = 0;
    const auto [end, error] = std::from_chars(begin, ascii.constData() + ascii.size(), value);
    if (error == std::errc() && end == ascii.constData() + ascii.size()) {
        if (std::isinf(value))
            Overflow();
        return value;
    }
    if (error != std::errc::result_out_of_range)
        TypeMismatch();
    // Out of range one way or the other: the place of the first significant digit and the
    // exponent tell which.
    const QByteArray mantissa = ascii.left(mantissaEnd);
    const qsizetype point = mantissa.contains('.') ? mantissa.indexOf('.') : mantissa.size();
    qsizetype first = 0;
    while (first < mantissa.size() && (mantissa.at(first) < '1' || mantissa.at(first) > '9'))
        ++first;
    const qint64 leading = first < point ? point - first - 1 : point - first;
    qint64 exponent = 0;
    if (mantissaEnd < ascii.size()) {
        const QByteArray digits = ascii.mid(mantissaEnd + 1);
        bool ok = false;
        exponent = digits.toLongLong(&ok);
        if (!ok) // more digits than a 64-bit number holds: only its sign matters
            exponent = digits.startsWith('-') ? -100000 : 100000;
        exponent = std::clamp<qint64>(exponent, -100000, 100000);
    }
    if (leading + exponent >= 0)
        Overflow();
    return 0.0;
}
} // namespace

SettingsStore::SettingsStore()
    : m_settings(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Kestrelby"),
                                             QStringLiteral("Tarnwell")))
{
}

SettingsStore::SettingsStore(const QString &iniFile)
    : m_settings(std::make_unique<QSettings>(iniFile, QSettings::IniFormat))
{
}

QString SettingsStore::GetSetting(const QString &key, const QString &defaultValue) const
{
    const QVariant value = m_settings->value(key);
    if (!value.isValid())
        return defaultValue;
    return value.toString();
}

void SettingsStore::SaveSetting(const QString &key, const QString &value)
{
    m_settings->setValue(key, value);
    m_settings->sync();
}

qint16 TextToInteger16(const QString &text)
{
    const double value = ParseNumber(text);
    const int previous = std::fegetround();
    std::fesetround(FE_TONEAREST); // a half goes to the even neighbour
    const double rounded = std::nearbyint(value);
    std::fesetround(previous);
    if (rounded < -32768.0 || rounded > 32767.0)
        Overflow();
    return static_cast<qint16>(rounded);
}

bool TextToTruth(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    if (trimmed.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        return false;
    return ParseNumber(trimmed) != 0.0;
}

QString TruthText(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

} // namespace tarnwell
