#pragma once

#include "AppendHost.h"
#include "CodePage.h"

#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <memory>

namespace tarnwell {

enum class ConditionMode { Does, DoesNot, Unset };
ConditionMode ConditionModeFromPosition(int combo1Position);

// The part of a path after its last separator; a path without one is returned whole.
QString FileNameOf(const QString &path);

// True when the path names an existing folder. Never fails.
bool IsFolder(const QString &path);

// Removes every CR, then every LF, then every tab, then every "ByVal " (exact, case-sensitive,
// one left-to-right pass each).
QString StripForTest(const QString &text);

// The streaming form of the condition test: feed the file's text in pieces, then ask.
// Equivalent to: needle' = StripForTest(needle); probe = StripForTest(text);
// found = probe non-empty && probe contains needle' ignoring case.
class ConditionScanner
{
public:
    explicit ConditionScanner(const QString &conditionText);
    ~ConditionScanner();
    ConditionScanner(const ConditionScanner &) = delete;
    ConditionScanner &operator=(const ConditionScanner &) = delete;

    void Feed(QStringView text);
    // Feeds text given as bytes that read one character each: a byte below 80 hex is its ASCII
    // character, a higher one the character `highHalf` gives for it (null: there is none). Gives
    // false, having taken nothing, when these bytes need the exact path: then decode them and
    // call Feed. Either way the answer is the one Feed would give.
    bool FeedBytes(QByteArrayView bytes, const char16_t *highHalf);
    bool Found(); // call once, after the last Feed

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Whether a file with the given test result is written, in the given mode.
bool Qualifies(ConditionMode mode, bool found);

class AppendJournal;

// The append run over the host's list: the two preconditions, then every file read, tested and,
// where the condition holds, written; progress and "Done." through the host.
// Failures are reported as "PushButton2_Click" and the run goes on with the next file.
// With a `journal`, what a killed run left unfinished is resolved first, and every in-place
// append is recorded, so that none is ever left half made.
void RunAppendJob(AppendHost &host, const CodePage &codePage = CodePage::System(), AppendJournal *journal = nullptr);

} // namespace tarnwell
