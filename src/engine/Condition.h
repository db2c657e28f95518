#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <memory>

namespace tarnwell {

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

    // Starts a new text, tested for `conditionText`. What was made from the same condition text
    // before (the stripped needle, the buffers) is kept.
    void Restart(const QString &conditionText);

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

} // namespace tarnwell
