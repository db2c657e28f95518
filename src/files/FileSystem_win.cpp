// Attributes, listings and identities from the Win32 calls (wide-character versions with full
// "\\?\" paths, so every name the file system holds can be reached, at any length).
#include "Wildcard.h"
#include "files/FileSystem.h"
#include "files/Win32Path.h"
#include "trap/ErrorNumbers.h" // Win32Path.h brings <windows.h>

namespace tarnwell {

namespace {

QString WithBackslash(const QString &folder)
{
    return (folder.endsWith(QLatin1Char('\\')) || folder.endsWith(QLatin1Char('/'))) ? folder
                                                                                     : folder + QLatin1Char('\\');
}

bool IsDotOrDotDot(const wchar_t *name)
{
    return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

AppError ListingError(DWORD error, const QString &folder)
{
    if (error == ERROR_ACCESS_DENIED)
        return AppError(QStringLiteral("Permission denied: ") + folder, kErrPermissionDenied);
    if (error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND || error == ERROR_DIRECTORY
        || error == ERROR_INVALID_NAME || error == ERROR_BAD_NETPATH)
        return AppError(QStringLiteral("Path not found: ") + folder, kErrPathNotFound);
    return AppError(QStringLiteral("Path/File access error: ") + folder + QStringLiteral(" (error ")
                        + QString::number(error) + QLatin1Char(')'),
                    kErrPathFileAccess);
}

// Lists "folder\*" and hands each entry but "." and ".." to `take`. Returns ERROR_SUCCESS, or
// the error that ended the listing; an empty folder (a drive root has no "." entry) is no error.
template <typename Take>
DWORD ForEachEntry(const QString &folder, Take take)
{
    const QString query = WithBackslash(folder) + QLatin1Char('*');
    WIN32_FIND_DATAW data;
    const HANDLE find = ::FindFirstFileExW(Win32Path(query).c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                           nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
    }
    do {
        if (!IsDotOrDotDot(data.cFileName))
            take(data);
    } while (::FindNextFileW(find, &data));
    const DWORD error = ::GetLastError(); // read before FindClose sets its own
    ::FindClose(find);
    return error == ERROR_NO_MORE_FILES ? ERROR_SUCCESS : error;
}

// True when the path names an existing entry that is not a folder and can be opened.
bool FileIsPresent(const QString &path)
{
    // Access 0 opens without reading; a folder never opens without FILE_FLAG_BACKUP_SEMANTICS.
    const HANDLE handle = ::CreateFileW(Win32Path(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    ::CloseHandle(handle);
    return true;
}

// A stable identity of a folder (volume and file id), links followed; empty when unknown.
QString FolderIdentity(const QString &folder)
{
    // Access 0 still allows reading metadata; FILE_FLAG_BACKUP_SEMANTICS opens a folder, and
    // without FILE_FLAG_OPEN_REPARSE_POINT a junction or link is followed to its target.
    const HANDLE handle = ::CreateFileW(Win32Path(folder).c_str(), 0,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return QString();
    BY_HANDLE_FILE_INFORMATION info;
    const BOOL ok = ::GetFileInformationByHandle(handle, &info);
    ::CloseHandle(handle);
    if (!ok)
        return QString();
    const quint64 index = (static_cast<quint64>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return QString::number(info.dwVolumeSerialNumber) + QLatin1Char(':') + QString::number(index);
}

// The names of the immediate subfolders of `folder`, in listing order; see ListFolder.
QStringList SubfolderNames(const QString &folder, std::optional<AppError> &failure)
{
    failure.reset();
    QStringList names;
    const DWORD error = ForEachEntry(folder, [&names](const WIN32_FIND_DATAW &data) {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            names.append(QString::fromWCharArray(data.cFileName));
    });
    if (error != ERROR_SUCCESS)
        failure = ListingError(error, folder);
    return names;
}

// The files of `folder` that match `pattern`, in listing order; see ListFolder.
QList<ListedFile> FilesIn(const QString &folder, const QString &pattern)
{
    // Matched here rather than by the file system, which also matches 8.3 short names
    // ("*.txt" would find "a.txt_old" through "A~1.TXT").
    const QString base = WithBackslash(folder);
    QList<ListedFile> files;
    ForEachEntry(folder, [&](const WIN32_FIND_DATAW &data) {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            return;
        QString name = QString::fromWCharArray(data.cFileName);
        if (!WildcardMatches(pattern, name))
            return;
        const bool present = FileIsPresent(base + name);
        files.append(ListedFile{std::move(name), present, FileAttributeValue(data.dwFileAttributes)});
    });
    return files;
}

} // namespace

int AttributesOf(const QString &path)
{
    if (path.isEmpty())
        return -1;
    const DWORD attributes = ::GetFileAttributesW(Win32Path(path).c_str());
    return attributes == INVALID_FILE_ATTRIBUTES ? -1 : FolderAttributeValue(attributes);
}

bool IsDriveRoot(const QString &folder)
{
    QString path = folder;
    path.replace(QLatin1Char('/'), QLatin1Char('\\'));
    while (path.size() > 3 && path.endsWith(QLatin1Char('\\')))
        path.chop(1);
    // "C:\" (a bare "C:" is the drive's current folder, not its root)
    if (path.size() == 3 && path.at(0).isLetter() && path.at(1) == QLatin1Char(':') && path.at(2) == QLatin1Char('\\'))
        return true;
    // "\\server\share"
    if (path.startsWith(QLatin1String("\\\\")) && !path.startsWith(QLatin1String("\\\\?\\"))) {
        const QStringList parts = path.mid(2).split(QLatin1Char('\\'));
        return parts.size() == 2 && !parts.at(0).isEmpty() && !parts.at(1).isEmpty();
    }
    return false;
}

FolderListing ListFolder(const QString &folder, const QString &pattern, std::optional<AppError> &failure)
{
    FolderListing listing;
    listing.identity = FolderIdentity(folder);
    listing.subfolders = SubfolderNames(folder, failure);
    if (!pattern.isEmpty())
        listing.files = FilesIn(folder, pattern);
    return listing;
}

int SystemCodePageCode(char32_t character)
{
    if (character == 0xFFFD || (character >= 0xD800 && character <= 0xDFFF) || character > 0x10FFFF)
        return 63;
    const UINT codePage = ::GetACP();
    // With UTF-8 as the ANSI code page every character fits; WideCharToMultiByte would refuse the
    // flags and the used-default pointer below for it anyway.
    if (codePage == CP_UTF8)
        return static_cast<int>(character);
    wchar_t units[2];
    int unitCount = 1;
    if (character > 0xFFFF) {
        const char32_t offset = character - 0x10000;
        units[0] = static_cast<wchar_t>(0xD800 + (offset >> 10));
        units[1] = static_cast<wchar_t>(0xDC00 + (offset & 0x3FF));
        unitCount = 2;
    } else {
        units[0] = static_cast<wchar_t>(character);
    }
    char bytes[8];
    BOOL usedDefault = FALSE;
    // No best fit: a character that only resembles one of the code page would name another folder.
    const int written = ::WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, units, unitCount, bytes,
                                              static_cast<int>(sizeof bytes), nullptr, &usedDefault);
    if (written <= 0 || usedDefault)
        return 63;
    if (written >= 2)
        return 0;
    return static_cast<unsigned char>(bytes[0]);
}

} // namespace tarnwell
