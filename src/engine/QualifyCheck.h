#pragma once

#include "engine/AppendHost.h"
#include "engine/CodePage.h"
#include "engine/Condition.h"
#include "engine/FileRead.h"

#include <QString>

#include <vector>

namespace tarnwell {

class ReadAhead;

// What the run's test found in one file.
struct FileTest
{
    ReadResult read;
    ConditionMode mode = ConditionMode::Unset;
    bool found = false;
};

// The test of one file, the same for Start and for the check, so that both decide alike: the
// condition text and its mode are read from the host at the moment of the test, and the file is
// read whole into the condition's scanner. The stripped needle and the buffers are kept from file
// to file and made again only when the condition text changes.
class FileTester final : private TextSink
{
public:
    explicit FileTester(const QString &conditionText);

    // Throws AppError when the file cannot be read. With `mayAppend`, a file that the run may
    // append to (a condition is chosen and the host's save mode is in place) is opened for
    // appending too and kept open in `session`; without it the file is only ever opened to read.
    // With `ahead`, the read-ahead is told that `position` is reached, and how the file is opened.
    FileTest Test(AppendHost &host, const QString &path, const CodePage &codePage, ReadSession &session, bool mayAppend,
                  ReadAhead *ahead = nullptr, int position = 0);

private:
    void Text(QStringView text) override;
    bool Bytes(QByteArrayView bytes, const char16_t *highHalf) override;

    ConditionScanner m_scanner;
};

// The check's answer for one entry of the list.
struct EntryCheck
{
    enum class Answer { Qualifies, DoesNotQualify, Unreadable };
    Answer answer = Answer::DoesNotQualify;
    QString reason; // why the file could not be read
};

// Runs the run's test over every entry of the host's list and writes nothing: no file is opened
// for writing, and nothing is recorded. Progress, the busy pointer and the yields are the run's,
// the progress text says "Checking: " and the name; the bar and the pointer are at rest after
// it. One answer per entry, in list order. An empty list gives no answers and shows nothing.
std::vector<EntryCheck> CheckWhichQualify(AppendHost &host, const CodePage &codePage = CodePage::System());

} // namespace tarnwell
