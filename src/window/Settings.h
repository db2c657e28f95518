#pragma once

#include <QSettings>
#include <QString>

#include <memory>

namespace tarnwell {

// The per-user store of the window's choices: application "Kestrelby", section "Tarnwell",
// every value as text. Written the moment a choice changes; nothing is written at exit.
class SettingsStore
{
public:
    SettingsStore();                                // the user's real store
    explicit SettingsStore(const QString &iniFile); // a file of its own (tests)

    // The stored text, or `defaultValue` when the key is absent. Never fails.
    QString GetSetting(const QString &key, const QString &defaultValue) const;
    // Stores and flushes at once, so a process that ends abruptly keeps the choice.
    void SaveSetting(const QString &key, const QString &value);

private:
    std::unique_ptr<QSettings> m_settings;
};

// The numbers of both conversions are decimal numbers: blanks around, an optional sign, digits
// with an optional decimal point and an optional exponent ("1", "-2.5", ".5", "3.", "1e3"). Words
// such as "inf" and "nan", hexadecimal and group separators are no numbers. A number too large for
// a double fails with "Overflow"; one too small to tell from zero is zero.

// Text to a 16-bit integer: a decimal number, rounded half to even. Throws AppError "Type
// mismatch" (13) for a text that is no number and "Overflow" (6) outside -32768..32767.
qint16 TextToInteger16(const QString &text);

// Text to a truth value: the words True and False in any letter case, or a decimal number (0 is
// false). Throws AppError "Type mismatch" (13) for anything else, "Overflow" (6) for a number too
// large for a double.
bool TextToTruth(const QString &text);

// The stored form of a truth value: "True" or "False".
QString TruthText(bool value);

} // namespace tarnwell
