#include "Settings.h"

#include "ErrorTrap.h"

#include <QLocale>

#include <cfenv>
#include <cmath>

namespace tarnwell {

namespace {
constexpr int kErrTypeMismatch = 13;
constexpr int kErrOverflow = 6;

bool ParseNumber(const QString &text, double &value)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return false;
    bool ok = false;
    value = QLocale::c().toDouble(trimmed, &ok);
    if (!ok)
        value = QLocale::system().toDouble(trimmed, &ok);
    return ok && !std::isnan(value);
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
    double value = 0;
    if (!ParseNumber(text, value))
        throw AppError(QStringLiteral("Type mismatch"), kErrTypeMismatch);
    if (std::isinf(value))
        throw AppError(QStringLiteral("Overflow"), kErrOverflow);
    const int previous = std::fegetround();
    std::fesetround(FE_TONEAREST); // a half goes to the even neighbour
    const double rounded = std::nearbyint(value);
    std::fesetround(previous);
    if (rounded < -32768.0 || rounded > 32767.0)
        throw AppError(QStringLiteral("Overflow"), kErrOverflow);
    return static_cast<qint16>(rounded);
}

bool TextToTruth(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    if (trimmed.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        return false;
    double value = 0;
    if (!ParseNumber(trimmed, value))
        throw AppError(QStringLiteral("Type mismatch"), kErrTypeMismatch);
    return value != 0.0;
}

QString TruthText(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

} // namespace tarnwell
