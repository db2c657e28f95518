#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QStringList>

namespace tarnwell {

// What the check of the list found for an entry, and why a file could not be read. An entry that
// has not been checked, or whose mark no longer holds, has none.
struct EntryMark
{
    enum class Kind : quint8 { None, Qualifies, DoesNotQualify, Unreadable };
    Kind kind = Kind::None;
    QString reason;
};

// The model role that gives an entry's mark kind as a number.
inline constexpr int kEntryMarkRole = Qt::UserRole + 1;

// The ordered input list: one full path per entry, positions 1..Count, duplicates allowed, new
// entries at the end. It is also the model the window's list shows, so 100,000 entries cost one
// string each and no widget.
class FileList final : public QAbstractListModel
{
    Q_OBJECT
public:
    explicit FileList(QObject *parent = nullptr);

    void Append(const QString &path);
    void AppendMany(const QStringList &paths); // one model update for a whole batch
    int Count() const { return static_cast<int>(m_entries.size()); }
    QString EntryAt(int position) const; // position 1..Count
    void RemoveAt(int position);         // later entries move up one
    // Removes the entries at the given ascending positions (1-based) in one pass.
    void RemovePositions(const QList<int> &ascendingPositions);
    void Clear();
    const QStringList &Entries() const { return m_entries; }

    // The marks of the check, one per entry in list order. A mark moves with its entry when others
    // are removed; an entry added later has none; clearing the list drops them all. Each mark
    // shows in the entry's tooltip, under its path.
    void SetMarks(QList<EntryMark> marks);
    void ClearMarks();
    EntryMark MarkAt(int position) const; // position 1..Count

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The one column's header, set by the window at start-up.
    void SetHeader(const QString &header);

private:
    QStringList m_entries;
    QList<EntryMark> m_marks; // empty, or one per entry
    QString m_header;
};

// Folder, one separator, name; then every doubled separator becomes one, except the two leading
// backslashes of a Windows network path.
QString JoinEntryPath(const QString &folder, const QString &name);

// The separator of entry paths: backslash on Windows, slash elsewhere.
QChar EntrySeparator();

} // namespace tarnwell
