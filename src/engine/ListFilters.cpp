#include "ListFilters.h"

#include "FileList.h"

#include <QLocale>

namespace tarnwell {

namespace {

void RemoveEntries(FileList &list, const QString &text, bool removeContaining, const std::function<void()> &yield)
{
    const QLocale locale;
    const QString needle = locale.toLower(text);
    // A shared copy: the yield lets the message loop run, and the scan must not read past an
    // entry that changed under it.
    const QStringList entries = list.Entries();
    const int count = static_cast<int>(entries.size());
    QList<int> positions;
    for (int position = 1; position <= count; ++position) {
        if (yield)
            yield();
        const bool contains = locale.toLower(entries.at(position - 1)).contains(needle);
        if (contains == removeContaining)
            positions.append(position);
    }
    list.RemovePositions(positions);
}

} // namespace

void RemoveEntriesContaining(FileList &list, const QString &text, const std::function<void()> &yield)
{
    RemoveEntries(list, text, true, yield);
}

void RemoveEntriesNotContaining(FileList &list, const QString &text, const std::function<void()> &yield)
{
    RemoveEntries(list, text, false, yield);
}

} // namespace tarnwell
