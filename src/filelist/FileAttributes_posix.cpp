// Attributes, listings and identities from the POSIX calls, mapped to the Windows numbers that the
// list's rules are written in.
#include "FileAttributes.h"
#include "FolderScan.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwell {

namespace {

bool IsDotOrDotDot(const char *name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

AppError ListingError(int error, const QString &folder)
{
    if (error == EACCES || error == EPERM)
        return AppError(QStringLiteral("Permission denied: ") + folder, kErrPermissionDenied);
    if (error == ENOENT || error == ENOTDIR)
        return AppError(QStringLiteral("Path not found: ") + folder, 76);
    return AppError(QStringLiteral("Path/File access error: ") + folder + QStringLiteral(" (")
                        + QString::fromLocal8Bit(std::strerror(error)) + QLatin1Char(')'),
                    75);
}

// The attribute value of `name` relative to the open folder `dirFd` (AT_FDCWD for a path):
// one lstat, a second stat only for a link, and one access check.
int AttributesAt(int dirFd, const char *name, bool hiddenName)
{
    struct stat entry
    {};
    if (::fstatat(dirFd, name, &entry, AT_SYMLINK_NOFOLLOW) != 0)
        return -1;
    int attributes = hiddenName ? kAttrHidden : 0;
    if (S_ISLNK(entry.st_mode)) {
        attributes |= kAttrAlias;
        // A dangling link keeps only its alias (and hidden) bits.
        if (::fstatat(dirFd, name, &entry, 0) != 0)
            return attributes;
    }
    if (S_ISDIR(entry.st_mode))
        attributes |= kAttrDirectory;
    else if (S_ISREG(entry.st_mode))
        attributes |= kAttrArchive;
    if (::faccessat(dirFd, name, W_OK, 0) != 0 && (errno == EACCES || errno == EPERM || errno == EROFS))
        attributes |= kAttrReadOnly;
    return attributes;
}

// The path as the system calls want it: no trailing separator (lstat would follow a link
// through "link/"), except for the root.
QByteArray NativePath(const QString &path)
{
    QByteArray native = QFile::encodeName(path);
    while (native.size() > 1 && native.endsWith('/'))
        native.chop(1);
    return native;
}

bool BaseNameIsHidden(const QByteArray &native)
{
    const qsizetype slash = native.lastIndexOf('/');
    const char *base = native.constData() + slash + 1;
    return base[0] == '.' && !IsDotOrDotDot(base);
}

// A name that did not decode was given replacement characters; the path the list would hold
// then names no file.
bool DecodesFaithfully(const QString &name, const char *raw)
{
    return !name.contains(QChar::ReplacementCharacter) || QFile::encodeName(name) == raw;
}

} // namespace

int AttributesOf(const QString &path)
{
    const QByteArray native = NativePath(path);
    if (native.isEmpty())
        return -1;
    return AttributesAt(AT_FDCWD, native.constData(), BaseNameIsHidden(native));
}

bool IsDriveRoot(const QString &folder)
{
    if (folder.isEmpty())
        return false;
    for (const QChar c : folder) {
        if (c != QLatin1Char('/'))
            return false;
    }
    return true;
}

QString FolderIdentity(const QString &folder)
{
    struct stat info
    {};
    const QByteArray native = QFile::encodeName(folder);
    if (native.isEmpty() || ::stat(native.constData(), &info) != 0)
        return QString();
    return QString::number(static_cast<qulonglong>(info.st_dev)) + QLatin1Char(':')
           + QString::number(static_cast<qulonglong>(info.st_ino));
}

QStringList SubfolderNames(const QString &folder, std::optional<AppError> &failure)
{
    failure.reset();
    QStringList names;
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (dir == nullptr) {
        failure = ListingError(errno, folder);
        return names;
    }
    const int fd = ::dirfd(dir);
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(dir);
        if (entry == nullptr) {
            if (errno != 0)
                failure = ListingError(errno, folder);
            break;
        }
        if (IsDotOrDotDot(entry->d_name))
            continue;
        bool isFolder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat target
            {};
            isFolder = ::fstatat(fd, entry->d_name, &target, 0) == 0 && S_ISDIR(target.st_mode);
        }
        if (isFolder)
            names.append(QFile::decodeName(entry->d_name));
    }
    ::closedir(dir);
    return names;
}

QStringList SubfolderNames(const QString &folder)
{
    std::optional<AppError> failure;
    QStringList names = SubfolderNames(folder, failure);
    if (failure)
        throw AppError(*failure);
    return names;
}

QList<ListedFile> FilesIn(const QString &folder, const QString &pattern)
{
    QList<ListedFile> files;
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (dir == nullptr)
        return files;
    const int fd = ::dirfd(dir);
    // The listing's own type vouches for a plain file only in a folder that can be entered; in one
    // that can be read but not entered (no search permission) every name takes the presence test,
    // which fails there.
    const bool enterable = ::faccessat(fd, ".", X_OK, AT_EACCESS) == 0;
    while (const dirent *entry = ::readdir(dir)) {
        if (entry->d_type == DT_DIR || IsDotOrDotDot(entry->d_name))
            continue;
        QString name = QFile::decodeName(entry->d_name);
        if (!WildcardMatches(pattern, name))
            continue;
        const bool hiddenName = entry->d_name[0] == '.';
        int attributes = kAttrArchive;
        if (entry->d_type != DT_REG || !enterable) {
            // A link or an entry the listing did not type: ask the file system.
            attributes = AttributesAt(fd, entry->d_name, hiddenName);
            if (attributes == -1)
                continue; // gone since the listing read it
            if ((attributes & kAttrDirectory) != 0)
                continue; // a link to a folder
        } else if (hiddenName) {
            // A plain file's type is known from the listing; only the hidden ones need the
            // read-only bit, which tells 35 from the 34 that the scan skips.
            attributes = AttributesAt(fd, entry->d_name, true);
            if (attributes == -1)
                continue;
        }
        // Present: a regular file, links followed, whose name survives the round trip.
        const bool present = (attributes & kAttrArchive) != 0 && DecodesFaithfully(name, entry->d_name);
        files.append(ListedFile{std::move(name), present, attributes});
    }
    ::closedir(dir);
    return files;
}

bool FileIsPresent(const QString &path)
{
    struct stat info
    {};
    const QByteArray native = QFile::encodeName(path);
    return !native.isEmpty() && ::stat(native.constData(), &info) == 0 && S_ISREG(info.st_mode);
}

int SystemCodePageCode(char32_t character)
{
    if (character == 0xFFFD || (character >= 0xD800 && character <= 0xDFFF) || character > 0x10FFFF)
        return 63;
    return static_cast<int>(character);
}

} // namespace tarnwell
