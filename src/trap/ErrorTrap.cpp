#include "trap/ErrorTrap.h"

#include "trap/ErrorNumbers.h"

#include <exception>
#include <new>

namespace tarnwell {

ErrorTrap::ErrorTrap(ErrorReporter &reporter, QString procedure)
    : m_reporter(reporter), m_procedure(std::move(procedure))
{
}

bool ErrorTrap::Line(int line, const std::function<void()> &statement)
{
    if (m_ended)
        return false;
    m_line = line;
    try {
        statement();
        return true;
    } catch (const AppError &error) {
        Report(error);
    } catch (const std::bad_alloc &) {
        Report(AppError(QStringLiteral("Out of memory"), kErrOutOfMemory));
    } catch (const std::exception &error) {
        Report(AppError(QString::fromLocal8Bit(error.what())));
    }
    return false;
}

bool ErrorTrap::Test(int line, const std::function<bool()> &test)
{
    bool result = true;
    const bool ran = Line(line, [&] { result = test(); });
    if (m_ended)
        return false;
    return ran ? result : true;
}

void ErrorTrap::SetInterceptor(std::function<bool(const AppError &)> interceptor)
{
    m_interceptor = std::move(interceptor);
}

void ErrorTrap::Report(const AppError &error)
{
    if (m_interceptor && m_interceptor(error)) {
        m_ended = true;
        return;
    }
    m_reporter.ShowErrorBox(error.description(), m_procedure, m_line);
}

} // namespace tarnwell
