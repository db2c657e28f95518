#include "trap/AppError.h"

namespace tarnwell {

AppError::AppError(const QString &description, int number)
    : std::runtime_error(description.toStdString()), m_description(description), m_number(number)
{
}

} // namespace tarnwell
