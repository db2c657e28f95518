// Attributes, listings and identities from the POSIX calls, mapped to the Windows numbers that the
// list's rules are written in.
#include "Wildcard.h"
#include "files/FileSystem.h"
#include "trap/ErrorNumbers.h"

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
        return AppError(QStringLiteral("Path not found: ") + folder, kErrPathNotFound);
    return AppError(QStringLiteral("Path/File access error: ") + folder + QStringLiteral(" (")
                        + QString::fromLocal8Bit(std::strerror(error)) + QLatin1Char(')'),
                    kErrPathFileAccess);
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

QString IdentityOf(const struct stat &info)
{
    return QString::number(static_cast<qulonglong>(info.st_dev)) + QLatin1Char(':')
           + QString::number(static_cast<qulonglong>(info.st_ino));
}

// Calls `take` with the name and listed type (DT_*) of every entry of the open folder `fd`, in
// listing order; a failure partway keeps what was taken and is reported in `failure`.
template <typename Take>
void ForEachEntry(int fd, const QString &folder, std::optional<AppError> &failure, const Take &take)
{
#ifdef __linux__
    // Straight from the kernel into one buffer: no second query of the open folder.
    alignas(8) char buffer[32768];
    for (;;) {
        const ssize_t got = ::getdents64(fd, buffer, sizeof buffer);
        if (got == 0)
            return;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            failure = ListingError(errno, folder);
            return;
        }
        for (ssize_t at = 0; at < got;) {
            const auto *entry = reinterpret_cast<const dirent64 *>(buffer + at);
            take(entry->d_name, entry->d_type);
            at += entry->d_reclen;
        }
    }
#else
    const int own = ::dup(fd);
    DIR *dir = own < 0 ? nullptr : ::fdopendir(own);
    if (dir == nullptr) {
        failure = ListingError(errno, folder);
        if (own >= 0)
            ::close(own);
        return;
    }
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(dir);
        if (entry == nullptr) {
            if (errno != 0)
                failure = ListingError(errno, folder);
            break;
        }
        take(entry->d_name, entry->d_type);
    }
    ::closedir(dir);
#endif
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

// One pass over the folder's entries: the type comes from the listing, and only a link or an
// entry the listing did not type is asked about.
FolderListing ListFolder(const QString &folder, const QString &pattern, std::optional<AppError> &failure)
{
    failure.reset();
    FolderListing listing;
    const QByteArray native = QFile::encodeName(folder);
    const int fd = native.isEmpty() ? -1 : ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        failure = ListingError(native.isEmpty() ? ENOENT : errno, folder);
        return listing;
    }
    struct stat info
    {};
    if (::fstat(fd, &info) == 0)
        listing.identity = IdentityOf(info);
    std::optional<int> enterable;
    ForEachEntry(fd, folder, failure, [&](const char *rawName, unsigned char type) {
        if (IsDotOrDotDot(rawName))
            return;
        const bool hiddenName = rawName[0] == '.';
        // Links and untyped entries: one query tells folder from file and gives the attributes.
        int attributes = type == DT_DIR ? kAttrDirectory : kAttrArchive;
        if (type != DT_DIR && type != DT_REG) {
            attributes = AttributesAt(fd, rawName, hiddenName);
            if (attributes == -1)
                return; // gone since the listing read it
        }
        QString name = QFile::decodeName(rawName);
        if ((attributes & kAttrDirectory) != 0) {
            listing.subfolders.append(std::move(name));
            return;
        }
        if (pattern.isEmpty() || !WildcardMatches(pattern, name))
            return;
        // The listing's own type vouches for a plain file only in a folder that can be entered; in
        // one that can be read but not entered (no search permission) every name is asked about,
        // which fails there. Asked once per folder, at its first matching file.
        if (!enterable)
            enterable = ::faccessat(fd, ".", X_OK, AT_EACCESS) == 0 ? 1 : 0;
        if (type == DT_REG && *enterable == 0) {
            attributes = AttributesAt(fd, rawName, hiddenName);
            if (attributes == -1)
                return;
        } else if (type == DT_REG && hiddenName) {
            // A plain file's type is known from the listing; only the hidden ones need the
            // read-only bit, which tells 35 from the 34 that the scan skips.
            attributes = AttributesAt(fd, rawName, true);
            if (attributes == -1)
                return;
        }
        // Present: a regular file, links followed, whose name survives the round trip.
        const bool present = (attributes & kAttrArchive) != 0 && DecodesFaithfully(name, rawName);
        listing.files.append(ListedFile{std::move(name), present, attributes});
    });
    ::close(fd);
    return listing;
}

int SystemCodePageCode(char32_t character)
{
    if (character == 0xFFFD || (character >= 0xD800 && character <= 0xDFFF) || character > 0x10FFFF)
        return 63;
    return static_cast<int>(character);
}

} // namespace tarnwell
