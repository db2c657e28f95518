// Resolving the records of in-place appends that a process left open when it ended in the middle
// of an append: each file is cut back, left whole, or left alone and reported.
#include "engine/AppendJournal.h"

#include "AppendRecordFormat.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QtEndian>

#include <algorithm>
#include <optional>
#include <set>

namespace tarnwell {

using namespace journal;

namespace {

struct Record
{
    QString path;
    qint64 oldLength = -1;
    qint64 appendixSize = 0;
    quint64 appendixChecksum = 0;
    quint32 number = 0;
};

// An open record, or nothing when the bytes are not a whole one.
std::optional<Record> DecodeOpenRecord(QByteArrayView bytes)
{
    if (bytes.size() < kHeaderBytes || !bytes.startsWith(QByteArrayView(kMagic, sizeof kMagic))
        || bytes[kStateAt] != kOpen)
        return std::nullopt;
    const char *p = bytes.data();
    const auto pathBytes = qFromLittleEndian<quint32>(p + kBodyAt + 28);
    if (pathBytes > kMaxPathBytes || bytes.size() < kHeaderBytes + qsizetype(pathBytes)
        || Checksum(bytes.sliced(kBodyAt, kHeaderBytes - kBodyAt + qsizetype(pathBytes)))
               != qFromLittleEndian<quint64>(p + kChecksumAt))
        return std::nullopt;
    Record record;
    record.oldLength = qFromLittleEndian<qint64>(p + kBodyAt);
    record.appendixSize = qFromLittleEndian<qint64>(p + kBodyAt + 8);
    record.appendixChecksum = qFromLittleEndian<quint64>(p + kBodyAt + 16);
    record.number = qFromLittleEndian<quint32>(p + kBodyAt + 24);
    record.path = QString::fromUtf8(bytes.sliced(kHeaderBytes, pathBytes));
    if (record.oldLength < -1 || record.appendixSize < 0 || record.path.isEmpty())
        return std::nullopt;
    return record;
}

// Whether the bytes hold no record at all: a record file taken by a run that was cut off before
// it stored anything, or one whose contents never reached the disk.
bool Blank(QByteArrayView bytes)
{
    const QByteArrayView head = bytes.first(std::min<qsizetype>(bytes.size(), kStateAt + 1));
    return std::all_of(head.begin(), head.end(), [](char c) { return c == '\0'; });
}

// Puts the file back as it was before an append that was cut short. Gives what the user must
// hear about: nothing when the file holds its old bytes and a part of `appendix` (cut back), or
// all of it (left whole), or was never made; else why it was left alone.
QString ResolveFile(const QString &path, qint64 oldLength, const QByteArray &appendix)
{
    const auto problem = [&](const QString &what) {
        return QStringLiteral("A run that was cut short was appending text to %1, %2").arg(path, what);
    };
    const QFileInfo info(path);
    const bool created = oldLength < 0;
    if (!info.exists())
        return created ? QString() : problem(QStringLiteral("which no longer exists. Nothing was changed."));
    if (!info.isFile())
        return problem(QStringLiteral("which is no longer a file. Nothing was changed."));
    const qint64 base = created ? 0 : oldLength;
    const qint64 added = info.size() - base;
    if (added < 0 || added > appendix.size()) {
        return problem(added < 0 ? QStringLiteral("which has been changed since: it is shorter than before the "
                                                  "append. It was left as it is.")
                                 : QStringLiteral("which has been changed since: it is longer than its old bytes and "
                                                  "the whole text. It was left as it is."));
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(base)) {
        return problem(QStringLiteral("which could not be read (%1). It was left as it is and may end in "
                                      "part of the text.")
                           .arg(file.errorString()));
    }
    const QByteArray tail = file.read(added);
    file.close();
    if (tail.size() != added || !appendix.startsWith(tail))
        return problem(QStringLiteral("which has been changed since: its end is not the text that was being "
                                      "appended. It was left as it is."));
    if (added == appendix.size() || (added == 0 && !created))
        return QString();
    if (created ? file.remove() : file.resize(oldLength))
        return QString();
    return problem(QStringLiteral("which holds a part of the text and could not be put back as it was "
                                  "(%1).")
                       .arg(file.errorString()));
}

} // namespace

QStringList AppendJournal::Recover()
{
    QStringList problems;
    if (m_folder.isEmpty())
        return problems;
    std::set<int> found;
    const QStringList names = QDir(m_folder).entryList({kSlotPrefix + QLatin1Char('*')},
                                                       QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        bool number = false;
        const int slot = name.mid(kSlotPrefix.size()).section(QLatin1Char('.'), 0, 0).toInt(&number);
        if (number && slot > 0 && slot != m_slot)
            found.insert(slot);
    }
    for (const int slot : found) {
        QLockFile lock(SlotFile(slot, kLockSuffix));
        lock.setStaleLockTime(0); // only a process that is gone leaves a lock to take over
        if (!lock.tryLock(0))
            continue; // a running copy of the program owns it
        ResolveSlot(slot, problems);
        RemoveSlotFiles(slot);
    }
    return problems;
}

void AppendJournal::ResolveSlot(int slot, QStringList &problems) const
{
    QFile file(SlotFile(slot, kRecordSuffix));
    if (!file.exists())
        return;
    const auto unreadable = [&](const QString &why) {
        problems << QStringLiteral("The record of an append that a run was making when it was cut short could not "
                                   "be read (%1): %2. No file was changed; the file it names may end in part of "
                                   "the appended text.")
                        .arg(why, QDir::toNativeSeparators(file.fileName()));
    };
    if (!file.open(QIODevice::ReadOnly))
        return unreadable(file.errorString());
    const QByteArray bytes = file.read(kHeaderBytes + kMaxPathBytes);
    file.close();
    if (Blank(bytes)
        || (bytes.size() > kStateAt && bytes.startsWith(QByteArrayView(kMagic, sizeof kMagic))
            && bytes[kStateAt] == kClosed))
        return; // nothing was in flight
    const std::optional<Record> record = DecodeOpenRecord(bytes);
    if (!record)
        return unreadable(QStringLiteral("it is damaged"));
    QFile text(SlotFile(slot, kTextSuffix + QString::number(record->number)));
    QByteArray appendix;
    if (text.size() == record->appendixSize && text.open(QIODevice::ReadOnly))
        appendix = text.readAll();
    if (appendix.size() != record->appendixSize || Checksum(appendix) != record->appendixChecksum) {
        problems << QStringLiteral("A run that was cut short was appending text to %1, and the record of that "
                                   "text is damaged. The file was left as it is and may end in part of the text.")
                        .arg(record->path);
        return;
    }
    const QString problem = ResolveFile(record->path, record->oldLength, appendix);
    if (!problem.isEmpty())
        problems << problem;
}

} // namespace tarnwell
