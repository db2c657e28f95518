#include "filelist/FileList.h"

namespace tarnwell {

FileList::FileList(QObject *parent) : QAbstractListModel(parent) {}

void FileList::Append(const QString &path)
{
    const int row = Count();
    beginInsertRows(QModelIndex(), row, row);
    m_entries.append(path);
    if (!m_marks.isEmpty())
        m_marks.append(EntryMark());
    endInsertRows();
}

void FileList::AppendMany(const QStringList &paths)
{
    if (paths.isEmpty())
        return;
    const int first = Count();
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(paths.size()) - 1);
    m_entries.append(paths);
    if (!m_marks.isEmpty())
        m_marks.resize(m_entries.size());
    endInsertRows();
}

QString FileList::EntryAt(int position) const
{
    if (position < 1 || position > Count())
        return QString();
    return m_entries.at(position - 1);
}

void FileList::RemoveAt(int position)
{
    if (position < 1 || position > Count())
        return;
    beginRemoveRows(QModelIndex(), position - 1, position - 1);
    m_entries.removeAt(position - 1);
    if (!m_marks.isEmpty())
        m_marks.removeAt(position - 1);
    endRemoveRows();
}

void FileList::RemovePositions(const QList<int> &ascendingPositions)
{
    if (ascendingPositions.isEmpty())
        return;
    if (ascendingPositions.size() == 1) {
        RemoveAt(ascendingPositions.front());
        return;
    }
    // One compaction pass; a reset is far cheaper for a view than thousands of row removals.
    beginResetModel();
    QStringList kept;
    QList<EntryMark> keptMarks;
    kept.reserve(m_entries.size() - ascendingPositions.size());
    qsizetype next = 0;
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        while (next < ascendingPositions.size() && ascendingPositions.at(next) - 1 < i)
            ++next;
        if (next < ascendingPositions.size() && ascendingPositions.at(next) - 1 == i)
            continue;
        kept.append(m_entries.at(i));
        if (!m_marks.isEmpty())
            keptMarks.append(m_marks.at(i));
    }
    m_entries = std::move(kept);
    m_marks = std::move(keptMarks);
    endResetModel();
}

void FileList::Clear()
{
    if (m_entries.isEmpty())
        return;
    beginResetModel();
    m_entries.clear();
    m_marks.clear();
    endResetModel();
}

void FileList::SetMarks(QList<EntryMark> marks)
{
    if (marks.size() != m_entries.size() || m_entries.isEmpty())
        return;
    m_marks = std::move(marks);
    emit dataChanged(index(0), index(Count() - 1), {kEntryMarkRole, Qt::ToolTipRole});
}

void FileList::ClearMarks()
{
    if (m_marks.isEmpty())
        return;
    m_marks.clear();
    emit dataChanged(index(0), index(Count() - 1), {kEntryMarkRole, Qt::ToolTipRole});
}

EntryMark FileList::MarkAt(int position) const
{
    if (position < 1 || position > m_marks.size())
        return EntryMark();
    return m_marks.at(position - 1);
}

int FileList::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : Count();
}

QVariant FileList::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= Count() || index.column() != 0)
        return QVariant();
    if (role == Qt::DisplayRole)
        return m_entries.at(index.row());
    const EntryMark mark = MarkAt(index.row() + 1);
    if (role == kEntryMarkRole)
        return static_cast<int>(mark.kind);
    if (role != Qt::ToolTipRole)
        return QVariant();
    // The whole path, which the list may show shortened, and under it what the check found.
    const QString &path = m_entries.at(index.row());
    switch (mark.kind) {
    case EntryMark::Kind::None:
        break;
    case EntryMark::Kind::Qualifies:
        return QString(path + QStringLiteral("\nQualifies"));
    case EntryMark::Kind::DoesNotQualify:
        return QString(path + QStringLiteral("\nDoes not qualify"));
    case EntryMark::Kind::Unreadable:
        return QString(path + QStringLiteral("\nCould not be read: ") + mark.reason);
    }
    return path;
}

QVariant FileList::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (section == 0 && orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return m_header;
    return QVariant();
}

void FileList::SetHeader(const QString &header)
{
    m_header = header;
    emit headerDataChanged(Qt::Horizontal, 0, 0);
}

QChar EntrySeparator()
{
#ifdef Q_OS_WIN
    return QLatin1Char('\\');
#else
    return QLatin1Char('/');
#endif
}

QString JoinEntryPath(const QString &folder, const QString &name)
{
    const QChar sep = EntrySeparator();
    QString joined = folder + sep + name;
    // A Windows network path (\\server\share) keeps its two leading backslashes.
    const bool networkPath = sep == QLatin1Char('\\') && joined.startsWith(QLatin1String("\\\\")) && joined.size() > 2
                             && joined.at(2) != sep;
    const QString doubled(2, sep);
    if (networkPath)
        return joined.left(2) + joined.mid(2).replace(doubled, QString(sep));
    return joined.replace(doubled, QString(sep));
}

} // namespace tarnwell
