// Writing on Windows: a new file is written under its hidden pending name and moved over the
// target when complete; the reader keeps no file open, so an append opens the file again.
#include "FileWriteSteps.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "files/Win32Path.h"

namespace tarnwell {

namespace {

QString PendingName(const QString &target)
{
    const QFileInfo info(target);
    return QDir::toNativeSeparators(info.path() + QLatin1Char('/') + PendingFileName(info.fileName()));
}

} // namespace

QByteArray NameAsCompared(const QString &fileName)
{
    return fileName.toCaseFolded().toUtf8(); // names that differ in case name one file
}

// Windows makes no unnamed file: a new file is always made under its pending name.
void UseUnnamedFiles(bool) {}

// The reader keeps no file open here: an append in place always opens the file again.
bool AppendThroughHeldFile(const ReadSession &, const QString &, const QByteArray &, const BlockWriter &,
                           AppendJournal *)
{
    return false;
}

// The new file is written under the pending name, hidden, and renamed over the target only when
// everything was written. A pending file left by a process killed in between is removed the next
// time this target is written; being hidden and archive (34), the folder scan never lists it.
void ReplaceAtomically(const QString &source, const QString &target, const QByteArray &appendix,
                       const BlockWriter &writeBlock)
{
    const QString pending = PendingName(target);
    const std::wstring pendingPath = Win32Path(pending); // any length, as QFile takes it
    ::SetFileAttributesW(pendingPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(pendingPath.c_str());
    QFile out(pending);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
        throw WriteFailure(target, out.errorString());
    ::SetFileAttributesW(pendingPath.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
    try {
        CopyAndAppend(out, source, target, appendix, writeBlock);
        out.close();
        // The target takes the attributes of the file renamed over it: plain again first.
        ::SetFileAttributesW(pendingPath.c_str(), FILE_ATTRIBUTE_ARCHIVE);
        if (!::MoveFileExW(pendingPath.c_str(), Win32Path(target).c_str(), MOVEFILE_REPLACE_EXISTING))
            throw WriteFailure(target, qt_error_string(static_cast<int>(::GetLastError())));
    } catch (...) {
        out.close();
        ::SetFileAttributesW(pendingPath.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(pendingPath.c_str());
        throw;
    }
}

} // namespace tarnwell
