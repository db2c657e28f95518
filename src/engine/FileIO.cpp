#include "FileIO.h"

#include "AppendJournal.h"
#include "ErrorTrap.h"
#include "Paths.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>

#include <algorithm>
#include <atomic>
#include <cstring>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tarnwell {

namespace {

std::atomic<bool> g_unnamedFiles{true};

AppError ReadFailure(const QString &path, const QString &reason)
{
    return AppError(QStringLiteral("Could not read the file: %1 (%2)").arg(path, reason));
}

AppError WriteFailure(const QString &path, const QString &reason)
{
    return AppError(QStringLiteral("Could not write the file: %1 (%2)").arg(path, reason));
}

// Fills `block` from the file until it is full or the file ends; gives the number of bytes read.
qint64 ReadBlock(QFile &file, QByteArray &block)
{
    qint64 filled = 0;
    while (filled < block.size()) {
        const qint64 got = file.read(block.data() + filled, block.size() - filled);
        if (got < 0)
            throw ReadFailure(file.fileName(), file.errorString());
        if (got == 0)
            break;
        filled += got;
    }
    return filled;
}

// Writes all of `bytes` through `writeBlock`, a block at a time; throws on the first failure.
void WriteAll(QIODevice &device, QByteArrayView bytes, const BlockWriter &writeBlock, const QString &path)
{
    while (!bytes.isEmpty()) {
        const qint64 written = writeBlock(device, bytes.first(std::min<qsizetype>(bytes.size(), kFileBlockBytes)));
        if (written <= 0)
            throw WriteFailure(path, device.errorString());
        bytes = bytes.sliced(written);
    }
}

qint64 WriteToDevice(QIODevice &device, QByteArrayView block)
{
    return device.write(block.data(), block.size());
}

#ifndef Q_OS_WIN
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
#endif

// The error of a failed append, saying whether the file was put back as it was; a file put back
// closes its record, one that could not be keeps it open for the next start.
AppError AfterFailedAppend(const AppError &error, bool restored, AppendJournal *journal)
{
    if (restored && journal != nullptr)
        journal->AppendDone();
    QString description = error.description();
    description += restored ? QStringLiteral(" The file was left as it was.")
                            : QStringLiteral(" The file could not be restored to its original length.");
    return AppError(description, error.number());
}

// Appends `appendix` to the file without touching its bytes. Any failure cuts the file back to
// its original length (a file created here is removed again), so it stays exactly as it was. The
// journal records the append before it and closes the record after it, so a process killed in
// between leaves what the next start can cut back; an append it cannot record is not begun, and the
// file is not even cut back to its own length (which would change its time). `heldFd`, when not -1,
// is the file already open for appending (POSIX), read whole with `heldSize` bytes, which spares
// opening it again.
void AppendInPlace(const QString &path, const QByteArray &appendix, const BlockWriter &writeBlock,
                   AppendJournal *journal, int heldFd = -1, qint64 heldSize = 0)
{
#ifndef Q_OS_WIN
    if (heldFd >= 0) {
        // Opened with O_APPEND, so the appendix lands at the end; a failed write may still have
        // written part of it, so a failure cuts the file back to the length it was read with.
        if (journal != nullptr)
            journal->RecordAppend(path, heldSize, appendix);
        DescriptorDevice device(heldFd);
        try {
            WriteAll(device, appendix, writeBlock, path);
        } catch (const AppError &error) {
            throw AfterFailedAppend(error, ::ftruncate(heldFd, heldSize) == 0, journal);
        }
        if (journal != nullptr)
            journal->AppendDone();
        return;
    }
#else
    Q_UNUSED(heldFd);
    Q_UNUSED(heldSize);
#endif
    QFile file(path);
    const bool existed = file.exists();
    if (journal != nullptr && !existed)
        journal->RecordAppend(path, -1, appendix); // before opening makes the file
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        if (journal != nullptr)
            journal->AppendDone();
        throw WriteFailure(path, file.errorString());
    }
    const qint64 originalSize = file.size();
    if (journal != nullptr && existed)
        journal->RecordAppend(path, originalSize, appendix);
    try {
        if (!file.seek(originalSize))
            throw WriteFailure(path, file.errorString());
        WriteAll(file, appendix, writeBlock, path);
        if (!file.flush())
            throw WriteFailure(path, file.errorString());
    } catch (const AppError &error) {
        throw AfterFailedAppend(error, existed ? file.resize(originalSize) : (file.close(), file.remove()), journal);
    }
    if (journal != nullptr)
        journal->AppendDone();
}

// Writes the source's bytes and the appendix to the output file `out`.
void CopyAndAppend(QFileDevice &out, const QString &source, const QString &target, const QByteArray &appendix,
                   const BlockWriter &writeBlock)
{
    if (FileExists(source)) {
        QFile in(source);
        if (!in.open(QIODevice::ReadOnly))
            throw ReadFailure(source, in.errorString());
        QByteArray block(kFileBlockBytes, Qt::Uninitialized);
        for (qint64 got; (got = ReadBlock(in, block)) > 0;)
            WriteAll(out, QByteArrayView(block).first(got), writeBlock, target);
    }
    WriteAll(out, appendix, writeBlock, target);
}

#ifdef Q_OS_WIN
QString PendingName(const QString &target)
{
    const QFileInfo info(target);
    return QDir::toNativeSeparators(info.path() + QLatin1Char('/') + PendingFileName(info.fileName()));
}

const wchar_t *Wide(const QString &text)
{
    return reinterpret_cast<const wchar_t *>(text.utf16());
}

// The new file is written under the pending name, hidden, and renamed over the target only when
// everything was written. A pending file left by a process killed in between is removed the next
// time this target is written; being hidden and archive (34), the folder scan never lists it.
void ReplaceAtomically(const QString &source, const QString &target, const QByteArray &appendix,
                       const BlockWriter &writeBlock)
{
    const QString pending = PendingName(target);
    ::SetFileAttributesW(Wide(pending), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(Wide(pending));
    QFile out(pending);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
        throw WriteFailure(target, out.errorString());
    ::SetFileAttributesW(Wide(pending), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
    try {
        CopyAndAppend(out, source, target, appendix, writeBlock);
        out.close();
        // The target takes the attributes of the file renamed over it: plain again first.
        ::SetFileAttributesW(Wide(pending), FILE_ATTRIBUTE_ARCHIVE);
        if (!::MoveFileExW(Wide(pending), Wide(QDir::toNativeSeparators(target)), MOVEFILE_REPLACE_EXISTING))
            throw WriteFailure(target, qt_error_string(static_cast<int>(::GetLastError())));
    } catch (...) {
        out.close();
        ::SetFileAttributesW(Wide(pending), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(Wide(pending));
        throw;
    }
}
#else
QByteArray PendingName(const QString &target)
{
    const QFileInfo info(target);
    return QFile::encodeName(info.path() + QLatin1Char('/') + PendingFileName(info.fileName()));
}

AppError SystemFailure(const QString &path, const QString &step = QString())
{
    return WriteFailure(path, step + qt_error_string(errno));
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
#endif
} // namespace

QString EncodingName(FileEncoding encoding, const CodePage &codePage)
{
    switch (encoding) {
    case FileEncoding::Utf8Bom:
        return QStringLiteral("UTF-8");
    case FileEncoding::Utf16LE:
        return QStringLiteral("UTF-16LE");
    case FileEncoding::Utf16BE:
        return QStringLiteral("UTF-16BE");
    case FileEncoding::CodePage:
        break;
    }
    return codePage.name();
}

QByteArray EncodeAppendix(const QString &appendText, FileEncoding encoding, const CodePage &codePage,
                          const QString &file)
{
    const QString text = QStringLiteral("\r\n") + appendText;
    QByteArray bytes;
    bool encoded = true;
    switch (encoding) {
    case FileEncoding::CodePage:
        encoded = codePage.Encode(text, bytes);
        break;
    case FileEncoding::Utf8Bom: {
        QStringEncoder encoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        bytes = encoder.encode(text);
        encoded = !encoder.hasError();
        break;
    }
    case FileEncoding::Utf16LE:
    case FileEncoding::Utf16BE:
        bytes = QStringEncoder(encoding == FileEncoding::Utf16LE ? QStringConverter::Utf16LE
                                                                 : QStringConverter::Utf16BE)
                    .encode(text);
        break;
    }
    if (!encoded) {
        throw AppError(QStringLiteral("The text to append holds a character that the file's encoding (%1) "
                                      "cannot store: %2")
                           .arg(EncodingName(encoding, codePage), file));
    }
    return bytes;
}

QString PendingFileName(const QString &targetName)
{
#ifdef Q_OS_WIN
    const QByteArray name = targetName.toCaseFolded().toUtf8(); // names that differ in case name one file
#else
    const QByteArray name = QFile::encodeName(targetName);
#endif
    const QByteArray digest = QCryptographicHash::hash(name, QCryptographicHash::Sha256).first(8).toHex();
    return QLatin1Char('.') + QLatin1StringView(digest) + QStringLiteral(".tarnwell-new");
}

void UseUnnamedFiles(bool use)
{
    g_unnamedFiles.store(use, std::memory_order_relaxed);
}

bool IsSameFile(const QString &a, const QString &b)
{
    if (a == b)
        return true;
    const QFileInfo infoA(a);
    const QFileInfo infoB(b);
    if (!infoA.exists() || !infoB.exists())
        return false;
#ifdef Q_OS_WIN
    return infoA.canonicalFilePath().compare(infoB.canonicalFilePath(), Qt::CaseInsensitive) == 0;
#else
    if (infoA.canonicalFilePath() == infoB.canonicalFilePath())
        return true;
    // Hard links: two names, one file.
    struct stat statA
    {};
    struct stat statB
    {};
    return ::stat(QFile::encodeName(a).constData(), &statA) == 0
           && ::stat(QFile::encodeName(b).constData(), &statB) == 0 && statA.st_dev == statB.st_dev
           && statA.st_ino == statB.st_ino;
#endif
}

void WriteWholeFile(const QString &source, const QString &target, const QByteArray &appendix, AppendJournal *journal)
{
    WriteWholeFile(source, target, appendix, WriteToDevice, nullptr, journal);
}

void WriteWholeFile(const QString &source, const QString &target, const QByteArray &appendix, ReadSession &session,
                    AppendJournal *journal)
{
    WriteWholeFile(source, target, appendix, WriteToDevice, &session, journal);
}

void WriteWholeFile(const QString &source, const QString &target, const QByteArray &appendix,
                    const BlockWriter &writeBlock, const ReadSession *session, AppendJournal *journal)
{
    if (IsSameFile(source, target)) {
        // The file just read, still open, is the target: append through it.
        const bool held = session != nullptr && session->heldFd >= 0 && source == target && session->heldPath == target;
        AppendInPlace(target, appendix, writeBlock, journal, held ? session->heldFd : -1, held ? session->heldSize : 0);
    } else {
        ReplaceAtomically(source, target, appendix, writeBlock);
    }
}

} // namespace tarnwell
