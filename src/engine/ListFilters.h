#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace tarnwell {

// The positions (1 to the count of `entries`, ascending) of the entries whose path contains / does
// not contain `text`, both lower-cased by the user's locale: the entries to remove, which the
// caller removes in one pass so that the entries that stay keep their order. Yields once per entry
// while testing; `entries` is read as it was when the call began, whatever the yield changes.
QList<int> PositionsContaining(const QStringList &entries, const QString &text, const std::function<void()> &yield);
QList<int> PositionsNotContaining(const QStringList &entries, const QString &text, const std::function<void()> &yield);

} // namespace tarnwell
