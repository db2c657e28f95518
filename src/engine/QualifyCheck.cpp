#include "engine/QualifyCheck.h"

#include "ReadAhead.h"
#include "engine/AppendRun.h"
#include "files/Paths.h"
#include "trap/AppError.h"

#include <exception>
#include <new>

namespace tarnwell {

FileTester::FileTester(const QString &conditionText) : m_scanner(conditionText) {}

FileTest FileTester::Test(AppendHost &host, const QString &path, const CodePage &codePage, ReadSession &session,
                          bool mayAppend, ReadAhead *ahead, int position)
{
    FileTest test;
    m_scanner.Restart(host.ConditionText());
    test.mode = host.ConditionMode();
    const bool keepForAppend = mayAppend && test.mode != ConditionMode::Unset
                               && host.SaveMode() == SaveMode::EditInPlace;
    if (ahead != nullptr)
        ahead->Reach(position, keepForAppend);
    test.read = ReadWholeFile(path, codePage, *this, session, keepForAppend);
    test.found = m_scanner.Found();
    return test;
}

void FileTester::Text(QStringView text)
{
    m_scanner.Feed(text);
}

bool FileTester::Bytes(QByteArrayView bytes, const char16_t *highHalf)
{
    return m_scanner.FeedBytes(bytes, highHalf);
}

std::vector<EntryCheck> CheckWhichQualify(AppendHost &host, const CodePage &codePage)
{
    std::vector<EntryCheck> answers;
    const int count = host.EntryCount();
    if (count <= 0)
        return answers;
    answers.reserve(static_cast<size_t>(count));
    FileTester tester(host.ConditionText());
    // Files not in memory are opened ahead, as for a run; only ever to be read.
    ReadAhead ahead(count, [&host](int position) { return host.EntryTextAhead(position); });
    ReadSession session;
    session.TakeFrom(&ahead);
    for (int i = 1; i <= count; ++i) {
        // The run's turns, so that the window stays as lively as during a run.
        host.Yield();
        host.SetBusy(true);
        host.SetProgressValue(static_cast<double>(i) / count * 100.0);
        const QString path = host.EntryText(i);
        host.SetProgressText(QStringLiteral("Checking: ") + FileNameOf(path));
        host.Yield();
        host.SetBusy(true);
        EntryCheck check;
        try {
            const FileTest test = tester.Test(host, path, codePage, session, false, &ahead, i);
            check.answer = Qualifies(test.mode, test.found) ? EntryCheck::Answer::Qualifies
                                                            : EntryCheck::Answer::DoesNotQualify;
        } catch (const AppError &error) {
            check.answer = EntryCheck::Answer::Unreadable;
            check.reason = error.description();
        } catch (const std::bad_alloc &) {
            check.answer = EntryCheck::Answer::Unreadable;
            check.reason = QStringLiteral("Out of memory");
        } catch (const std::exception &error) {
            check.answer = EntryCheck::Answer::Unreadable;
            check.reason = QString::fromLocal8Bit(error.what());
        }
        answers.push_back(std::move(check));
    }
    session.Close();
    ahead.Stop();
    host.SetBusy(false);
    host.SetProgressValue(0);
    host.SetProgressText(QStringLiteral("Progress Bar"));
    return answers;
}

} // namespace tarnwell
