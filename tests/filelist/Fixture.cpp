#include "Fixture.h"

#include <QDir>
#include <QFile>
#include <QSet>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <ftw.h>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwell::testing {

namespace {

[[noreturn]] void Refused(const char *what, const QByteArray &path)
{
    throw std::runtime_error(std::string(what) + " " + path.toStdString() + ": " + std::strerror(errno));
}

void MakeParents(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash <= 0)
        return;
    const QByteArray parent = path.left(slash);
    if (::access(parent.constData(), F_OK) == 0)
        return;
    MakeParents(parent);
    if (::mkdir(parent.constData(), 0755) != 0 && errno != EEXIST)
        Refused("mkdir", parent);
}

} // namespace

Fixture::Fixture()
{
    if (!m_dir.isValid())
        throw std::runtime_error("no temporary folder");
    m_root = m_dir.path();
    // Reachable by every user, so that a test may look at it as another one.
    ::chmod(QFile::encodeName(m_root).constData(), 0755);
}

Fixture::~Fixture()
{
    for (const QString &relative : std::as_const(m_restrained))
        ::chmod(QFile::encodeName(Path(relative)).constData(), 0755);
    // By bytes: QTemporaryDir cannot remove a name that does not decode. Links are not followed.
    ::nftw(
        QFile::encodeName(m_root).constData(),
        [](const char *path, const struct stat *, int type, FTW *) {
            return type == FTW_DP ? ::rmdir(path) : ::unlink(path);
        },
        16, FTW_DEPTH | FTW_PHYS);
}

QString Fixture::Path(const QString &relative) const
{
    return m_root + QLatin1Char('/') + relative;
}

QByteArray Fixture::NativePath(const QByteArray &relativeBytes) const
{
    return QFile::encodeName(m_root) + '/' + relativeBytes;
}

void Fixture::File(const QString &relative, const QByteArray &content)
{
    const QByteArray path = QFile::encodeName(Path(relative));
    MakeParents(path);
    QFile file(Path(relative));
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        Refused("write", path);
}

void Fixture::Folder(const QString &relative)
{
    RawFolder(QFile::encodeName(relative));
}

void Fixture::RawFolder(const QByteArray &relativeBytes)
{
    const QByteArray path = NativePath(relativeBytes);
    MakeParents(path);
    if (::mkdir(path.constData(), 0755) != 0 && errno != EEXIST)
        Refused("mkdir", path);
}

void Fixture::RawFile(const QByteArray &relativeBytes)
{
    const QByteArray path = NativePath(relativeBytes);
    MakeParents(path);
    // Through the descriptor, since the decoded name of an undecodable path names nothing.
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        Refused("create", path);
    ::close(fd);
}

void Fixture::Link(const QString &relative, const QString &target)
{
    const QByteArray path = QFile::encodeName(Path(relative));
    MakeParents(path);
    if (::symlink(QFile::encodeName(target).constData(), path.constData()) != 0)
        Refused("symlink", path);
}

void Fixture::Fifo(const QString &relative)
{
    const QByteArray path = QFile::encodeName(Path(relative));
    MakeParents(path);
    if (::mkfifo(path.constData(), 0644) != 0)
        Refused("mkfifo", path);
}

void Fixture::Mode(const QString &relative, mode_t mode)
{
    const QByteArray path = QFile::encodeName(Path(relative));
    if (::chmod(path.constData(), mode) != 0)
        Refused("chmod", path);
    m_restrained.prepend(relative); // deepest last set, first restored
}

QStringList InListingOrder(const QString &folder, const QStringList &wanted)
{
    const QStringList listed = QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    const QSet<QString> wantedSet(wanted.cbegin(), wanted.cend());
    QStringList ordered;
    for (const QString &name : listed) {
        if (wantedSet.contains(name))
            ordered.append(name);
    }
    if (ordered.size() != wantedSet.size())
        throw std::runtime_error("a wanted name is not in " + folder.toStdString());
    return ordered;
}

bool RunningAsRoot()
{
    return ::geteuid() == 0;
}

} // namespace tarnwell::testing
