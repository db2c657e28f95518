#include "engine/ListFilters.h"

#include <QLocale>

namespace tarnwell {

namespace {

QList<int> Positions(const QStringList &entries, const QString &text, bool containing,
                     const std::function<void()> &yield)
{
    const QLocale locale;
    const QString needle = locale.toLower(text);
    // A shared copy: the yield lets the message loop run, and the scan must not read past an
    // entry that changed under it (`entries` may be the list's own).
    const QStringList snapshot = entries; // NOLINT(performance-unnecessary-copy-initialization): see above
    const int count = static_cast<int>(snapshot.size());
    QList<int> positions;
    for (int position = 1; position <= count; ++position) {
        if (yield)
            yield();
        const bool contains = locale.toLower(snapshot.at(position - 1)).contains(needle);
        if (contains == containing)
            positions.append(position);
    }
    return positions;
}

} // namespace

QList<int> PositionsContaining(const QStringList &entries, const QString &text, const std::function<void()> &yield)
{
    return Positions(entries, text, true, yield);
}

QList<int> PositionsNotContaining(const QStringList &entries, const QString &text, const std::function<void()> &yield)
{
    return Positions(entries, text, false, yield);
}

} // namespace tarnwell
