// Writing on POSIX systems: an append goes through the file the reader kept open, and a new file is
// written unnamed (O_TMPFILE), or under its pending name, and linked or renamed into place when
// complete.
#include "FileWriteSteps.h"

#include "engine/AppendJournal.h"
#include "engine/FileRead.h"

#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwell {

namespace {

std::atomic<bool> g_unnamedFiles{true};

// Writes to a file opened elsewhere (for appending), without a query of its own.
class DescriptorDevice final : public QIODevice
{
public:
    explicit DescriptorDevice(int fd) : m_fd(fd) { open(QIODevice::WriteOnly | QIODevice::Unbuffered); }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        for (;;) {
            const ssize_t written = ::write(m_fd, data, static_cast<std::size_t>(size));
            if (written >= 0)
                return written;
            if (errno != EINTR) {
                setErrorString(qt_error_string(errno));
                return -1;
            }
        }
    }

private:
    int m_fd;
};

QByteArray PendingName(const QString &target)
{
    const QFileInfo info(target);
    return QFile::encodeName(info.path() + QLatin1Char('/') + PendingFileName(info.fileName()));
}

AppError SystemFailure(const QString &path, const QString &step = QString())
{
    return WriteFailure(path, step + qt_error_string(errno));
}

} // namespace

QByteArray NameAsCompared(const QString &fileName)
{
    return QFile::encodeName(fileName);
}

void UseUnnamedFiles(bool use)
{
    g_unnamedFiles.store(use, std::memory_order_relaxed);
}

bool AppendThroughHeldFile(const ReadSession &session, const QString &path, const QByteArray &appendix,
                           const BlockWriter &writeBlock, AppendJournal *journal)
{
    const ReadSession::HeldFile &held = session.Held();
    if (held.handle < 0 || held.path != path)
        return false;
    // Opened with O_APPEND, so the appendix lands at the end; a failed write may still have
    // written part of it, so a failure cuts the file back to the length it was read with.
    if (journal != nullptr)
        journal->RecordAppend(path, held.size, appendix);
    const int fd = static_cast<int>(held.handle);
    DescriptorDevice device(fd);
    try {
        WriteAll(device, appendix, writeBlock, path);
    } catch (const AppError &error) {
        throw AfterFailedAppend(error, ::ftruncate(fd, held.size) == 0, journal);
    }
    if (journal != nullptr)
        journal->AppendDone();
    return true;
}

// The new file is written unnamed (O_TMPFILE) in the target's folder, so a process killed while
// writing leaves nothing; it gets a name only when complete: the target's own when there is none
// yet, else the pending name, renamed over the target at once. A pending file left by a kill
// between those two steps, or written where unnamed files are not supported, is removed the next
// time this target is written.
void ReplaceAtomically(const QString &source, const QString &linkOrTarget, const QByteArray &appendix,
                       const BlockWriter &writeBlock)
{
    // A target that is a link is written where the link leads, and the link stays.
    const QFileInfo link(linkOrTarget);
    const QString target = link.isSymLink() && !link.canonicalFilePath().isEmpty() ? link.canonicalFilePath()
                                                                                   : linkOrTarget;
    const QByteArray targetName = QFile::encodeName(target);
    const QByteArray pending = PendingName(target);
    ::unlink(pending.constData());
    struct stat old
    {};
    const bool replacing = ::stat(targetName.constData(), &old) == 0;
    const mode_t mode = replacing ? (old.st_mode & 07777) : 0666;
    // Renaming over a file asks only its folder, so a file that a plain write could not change (its
    // mode, its owner, an attribute) would be replaced all the same: it is opened for writing first,
    // as a plain write would open it, and left as it is when that is refused.
    if (replacing && S_ISREG(old.st_mode)) {
        const int probe = ::open(targetName.constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (probe < 0)
            throw SystemFailure(target);
        ::close(probe);
    }
    bool named = false;
    int fd = -1;
#ifdef O_TMPFILE
    if (g_unnamedFiles.load(std::memory_order_relaxed))
        fd = ::open(QFile::encodeName(QFileInfo(target).path()).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
#endif
    if (fd < 0) {
        fd = ::open(pending.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, mode);
        named = true;
    }
    if (fd < 0)
        throw SystemFailure(target, QStringLiteral("a new file cannot be made in its folder: "));
    QFile out;
    try {
        if (!out.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
            ::close(fd);
            throw WriteFailure(target, out.errorString());
        }
        if (replacing)
            ::fchmod(fd, mode); // as the target was, whatever the umask
        CopyAndAppend(out, source, target, appendix, writeBlock);
        if (!named) {
            const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
            if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, targetName.constData(), AT_SYMLINK_FOLLOW) == 0)
                return;
            if (errno != EEXIST
                || ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, pending.constData(), AT_SYMLINK_FOLLOW) != 0)
                throw SystemFailure(target);
            named = true;
        }
        if (::rename(pending.constData(), targetName.constData()) != 0)
            throw SystemFailure(target);
    } catch (...) {
        if (named)
            ::unlink(pending.constData());
        throw;
    }
}

} // namespace tarnwell
