#pragma once

#include "trap/AppError.h"

#include <QString>

#include <functional>

namespace tarnwell {

// Whoever shows the error box: the main window in the program, a recorder in tests.
class ErrorReporter
{
public:
    virtual ~ErrorReporter() = default;
    virtual void ShowErrorBox(const QString &description, const QString &procedure, int line) = 0;
};

// The error trap of one run of a handler. Each numbered statement runs through Line(); when it
// fails, the box is shown and the handler resumes with the statement after it. Inside a loop
// that is the rest of the loop's body, so the loop goes on.
class ErrorTrap
{
public:
    ErrorTrap(ErrorReporter &reporter, QString procedure);

    // Runs one statement under line number `line`. Returns false when it failed (after the box).
    bool Line(int line, const std::function<void()> &statement);

    // Runs the test of a conditional. A test that fails counts as passed, so the body runs.
    bool Test(int line, const std::function<bool()> &test);

    // A handler that looks at an error before the box installs this; returning true means the
    // handler dealt with it and ends: every later Line() and Test() then does nothing.
    void SetInterceptor(std::function<bool(const AppError &)> interceptor);

    bool Ended() const { return m_ended; }
    int CurrentLine() const { return m_line; }
    const QString &Procedure() const { return m_procedure; }

private:
    void Report(const AppError &error);

    ErrorReporter &m_reporter;
    QString m_procedure;
    int m_line = 0;
    bool m_ended = false;
    std::function<bool(const AppError &)> m_interceptor;
};

} // namespace tarnwell
