#pragma once

#include <QString>

#include <stdexcept>

namespace tarnwell {

// A failure that a handler's trap reports: the description the error box shows, and a number
// for the few failures a handler looks at before the box (the file dialog's overflow, say).
// The numbers are those of ErrorNumbers.h.
class AppError : public std::runtime_error
{
public:
    explicit AppError(const QString &description, int number = 0);
    QString description() const { return m_description; }
    int number() const { return m_number; }

private:
    QString m_description;
    int m_number;
};

} // namespace tarnwell
