#include "FileIO.h"

#include "ErrorTrap.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <cstring>
#include <utility>

#ifndef Q_OS_WIN
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tarnwell {

namespace {

AppError ReadFailure(const QString &path, const QString &reason)
{
    return AppError(QStringLiteral("Could not read the file: %1 (%2)").arg(path, reason));
}

AppError WriteFailure(const QString &path, const QString &reason)
{
    return AppError(QStringLiteral("Could not write the file: %1 (%2)").arg(path, reason));
}

AppError FolderReadFailure(const QString &path)
{
    return ReadFailure(path, QStringLiteral("it is a folder, not a file"));
}

// A file read block by block: opened once, read until a short read tells its end.
class InputFile
{
public:
    InputFile() = default;
    ~InputFile() { Close(); }
    InputFile(const InputFile &) = delete;
    InputFile &operator=(const InputFile &) = delete;

    // Opens the file; false when it does not exist (it reads as empty text). Throws when it
    // exists but cannot be opened. With `forAppend`, opens it for appending too where it can.
    bool Open(const QString &path, bool forAppend);
    // Fills `block` as far as the file goes; gives the number of bytes read.
    qint64 Read(QByteArray &block);
    // Hands the open file to the session when it was opened for appending, else closes it.
    void KeepOrClose(ReadSession &session);
    void Close();

private:
    QString m_path;
#ifdef Q_OS_WIN
    QFile m_file;
#else
    int m_fd = -1;
    bool m_writable = false;
#endif
};

#ifdef Q_OS_WIN
bool InputFile::Open(const QString &path, bool)
{
    m_path = path;
    if (!FileExists(path))
        return false;
    if (QFileInfo(path).isDir())
        throw FolderReadFailure(path);
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw ReadFailure(path, m_file.errorString());
    return true;
}

qint64 InputFile::Read(QByteArray &block)
{
    qint64 filled = 0;
    while (filled < block.size()) {
        const qint64 got = m_file.read(block.data() + filled, block.size() - filled);
        if (got < 0)
            throw ReadFailure(m_path, m_file.errorString());
        if (got == 0)
            break;
        filled += got;
    }
    return filled;
}

void InputFile::KeepOrClose(ReadSession &)
{
    Close();
}

void InputFile::Close()
{
    m_file.close();
}
#else
bool InputFile::Open(const QString &path, bool forAppend)
{
    m_path = path;
    const QByteArray native = QFile::encodeName(path);
    if (native.isEmpty())
        return false;
    m_writable = false;
    if (forAppend) {
        m_fd = ::open(native.constData(), O_RDWR | O_APPEND | O_CLOEXEC);
        m_writable = m_fd >= 0;
    }
    if (m_fd < 0 && (!forAppend || (errno != ENOENT && errno != ENOTDIR)))
        m_fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    if (m_fd >= 0)
        return true;
    // Only a failed open asks whether the path is there at all: a missing file reads as empty.
    const int error = errno;
    if (!FileExists(path))
        return false;
    if (QFileInfo(path).isDir())
        throw FolderReadFailure(path);
    throw ReadFailure(path, qt_error_string(error));
}

qint64 InputFile::Read(QByteArray &block)
{
    for (;;) {
        const ssize_t got = ::read(m_fd, block.data(), static_cast<std::size_t>(block.size()));
        if (got >= 0)
            return got;
        if (errno == EISDIR)
            throw FolderReadFailure(m_path);
        if (errno != EINTR)
            throw ReadFailure(m_path, qt_error_string(errno));
    }
}

void InputFile::KeepOrClose(ReadSession &session)
{
    if (!m_writable)
        return Close();
    session.Close();
    session.heldFd = std::exchange(m_fd, -1);
    session.heldPath = m_path;
}

void InputFile::Close()
{
    if (m_fd >= 0)
        ::close(std::exchange(m_fd, -1));
}
#endif

// Whether every byte is below 80 hex; eight at a time.
bool IsAscii(QByteArrayView bytes)
{
    const char *p = bytes.data();
    const char *const end = p + bytes.size();
    quint64 high = 0;
    for (; end - p >= 8; p += 8) {
        quint64 word;
        std::memcpy(&word, p, 8);
        high |= word;
    }
    for (; p < end; ++p)
        high |= static_cast<unsigned char>(*p);
    return (high & 0x8080808080808080ull) == 0;
}

FileEncoding EncodingOfMark(QByteArrayView start, qsizetype &markLength)
{
    const auto at = [&](qsizetype i) { return static_cast<unsigned char>(start[i]); };
    markLength = 0;
    if (start.size() >= 2 && at(0) == 0xFF && at(1) == 0xFE) {
        markLength = 2;
        return FileEncoding::Utf16LE;
    }
    if (start.size() >= 2 && at(0) == 0xFE && at(1) == 0xFF) {
        markLength = 2;
        return FileEncoding::Utf16BE;
    }
    if (start.size() >= 3 && at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF) {
        markLength = 3;
        return FileEncoding::Utf8Bom;
    }
    return FileEncoding::CodePage;
}

// A decoder for the file's encoding; partial characters carry over to the next block.
std::unique_ptr<CodePage::Decoder> DecoderFor(FileEncoding encoding, const CodePage &codePage)
{
    class MarkedDecoder final : public CodePage::Decoder
    {
    public:
        explicit MarkedDecoder(QStringConverter::Encoding e) : m_decoder(e, QStringConverter::Flag::ConvertInitialBom)
        {
        }
        QString Decode(QByteArrayView bytes) override { return m_decoder.decode(bytes); }

    private:
        QStringDecoder m_decoder;
    };
    switch (encoding) {
    case FileEncoding::Utf8Bom:
        return CodePage::Utf8().NewDecoder(); // the same, with UTF-8's partial characters held back
    case FileEncoding::Utf16LE:
        return std::make_unique<MarkedDecoder>(QStringConverter::Utf16LE);
    case FileEncoding::Utf16BE:
        return std::make_unique<MarkedDecoder>(QStringConverter::Utf16BE);
    case FileEncoding::CodePage:
        break;
    }
    return codePage.NewDecoder();
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

// Appends `appendix` to the file without touching its bytes. Any failure cuts the file back to
// its original length (a file created here is removed again), so it stays exactly as it was.
// `heldFd`, when not -1, is the file already open for appending (POSIX), which spares opening
// it again.
void AppendInPlace(const QString &path, const QByteArray &appendix, const BlockWriter &writeBlock, int heldFd = -1)
{
#ifndef Q_OS_WIN
    if (heldFd >= 0) {
        // Opened with O_APPEND: every write lands at the end as it is then; a failure cuts back
        // what this append wrote.
        DescriptorDevice device(heldFd);
        qint64 written = 0;
        const BlockWriter counted = [&](QIODevice &to, QByteArrayView block) {
            const qint64 n = writeBlock(to, block);
            written += std::max<qint64>(n, 0);
            return n;
        };
        try {
            WriteAll(device, appendix, counted, path);
        } catch (const AppError &error) {
            struct stat now
            {};
            const bool restored = ::fstat(heldFd, &now) == 0 && ::ftruncate(heldFd, now.st_size - written) == 0;
            QString description = error.description();
            description += restored ? QStringLiteral(" The file was left as it was.")
                                    : QStringLiteral(" The file could not be restored to its original length.");
            throw AppError(description, error.number());
        }
        return;
    }
#else
    Q_UNUSED(heldFd);
#endif
    QFile file(path);
    const bool existed = file.exists();
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        throw WriteFailure(path, file.errorString());
    const qint64 originalSize = file.size();
    try {
        if (!file.seek(originalSize))
            throw WriteFailure(path, file.errorString());
        WriteAll(file, appendix, writeBlock, path);
        if (!file.flush())
            throw WriteFailure(path, file.errorString());
    } catch (const AppError &error) {
        const bool restored = existed ? file.resize(originalSize) : (file.close(), file.remove());
        QString description = error.description();
        description += restored ? QStringLiteral(" The file was left as it was.")
                                : QStringLiteral(" The file could not be restored to its original length.");
        throw AppError(description, error.number());
    }
}

// Writes the source's bytes and the appendix to the output file `out`.
void CopyAndAppend(QFileDevice &out, const QString &source, const QString &target, const QByteArray &appendix,
                   const BlockWriter &writeBlock)
{
    InputFile in;
    if (in.Open(source, false)) {
        QByteArray block(kFileBlockBytes, Qt::Uninitialized);
        for (qint64 got; (got = in.Read(block)) > 0;)
            WriteAll(out, QByteArrayView(block).first(got), writeBlock, target);
    }
    WriteAll(out, appendix, writeBlock, target);
}

#ifdef Q_OS_WIN
// Writes to a temporary file beside the target and renames it over the target only when
// everything was written.
void ReplaceAtomically(const QString &source, const QString &target, const QByteArray &appendix,
                       const BlockWriter &writeBlock)
{
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly))
        throw WriteFailure(target, out.errorString());
    try {
        CopyAndAppend(out, source, target, appendix, writeBlock);
    } catch (...) {
        out.cancelWriting();
        throw;
    }
    if (!out.commit())
        throw WriteFailure(target, out.errorString());
}
#else
// The one name a new file has before it replaces an existing target: hidden, beside the target,
// and unmistakably ours, so that one left by a killed run can be removed without a doubt.
QByteArray PendingName(const QString &target)
{
    const QFileInfo info(target);
    return QFile::encodeName(info.path() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".tarnwell-new"));
}

AppError SystemFailure(const QString &path)
{
    return WriteFailure(path, qt_error_string(errno));
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
    bool named = false;
    int fd = -1;
#ifdef O_TMPFILE
    fd = ::open(QFile::encodeName(QFileInfo(target).path()).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
#endif
    if (fd < 0) {
        fd = ::open(pending.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, mode);
        named = true;
    }
    if (fd < 0)
        throw SystemFailure(target);
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

bool FileExists(const QString &path)
{
    return !path.isEmpty() && QFileInfo::exists(path);
}

ReadResult ReadWholeFile(const QString &path, const CodePage &codePage, const std::function<void(QStringView)> &sink)
{
    class DecodingSink final : public TextSink
    {
    public:
        explicit DecodingSink(const std::function<void(QStringView)> &sink) : m_sink(sink) {}
        void Text(QStringView text) override { m_sink(text); }
        bool Bytes(QByteArrayView, const char16_t *) override { return false; }

    private:
        const std::function<void(QStringView)> &m_sink;
    };
    DecodingSink decoding(sink);
    return ReadWholeFile(path, codePage, decoding);
}

ReadResult ReadWholeFile(const QString &path, const CodePage &codePage, TextSink &sink)
{
    ReadSession session;
    return ReadWholeFile(path, codePage, sink, session, false);
}

void ReadSession::Close()
{
#ifndef Q_OS_WIN
    if (heldFd >= 0)
        ::close(heldFd);
#endif
    heldFd = -1;
    heldPath.clear();
}

ReadResult ReadWholeFile(const QString &path, const CodePage &codePage, TextSink &sink, ReadSession &session,
                         bool keepForAppend)
{
    session.Close();
    ReadResult result;
    InputFile file;
    if (!file.Open(path, keepForAppend))
        return result;
    result.exists = true;

    // One block, kept by the session from file to file: a small file is one read, and the short
    // read that ends it tells the end of the file.
    QByteArray &block = session.block;
    if (block.size() != kFileBlockBytes)
        block = QByteArray(kFileBlockBytes, Qt::Uninitialized);
    qint64 got = file.Read(block);
    qsizetype markLength = 0;
    result.encoding = EncodingOfMark(QByteArrayView(block).first(got), markLength);
    const std::unique_ptr<CodePage::Decoder> decoder = DecoderFor(result.encoding, codePage);
    // Blocks may go to the sink undecoded only where a byte below 80 hex is always its ASCII
    // character: UTF-8 and the code pages, not UTF-16. A decoder that can hold an unfinished
    // character (all but one of one byte per character) holds none after a byte below 80 hex.
    const bool asciiCompatible = result.encoding == FileEncoding::CodePage || result.encoding == FileEncoding::Utf8Bom;
    const char16_t *highHalf = result.encoding == FileEncoding::CodePage ? codePage.HighHalf() : nullptr;
    bool decoderEmpty = true;
    qsizetype skip = markLength;
    while (got > 0) {
        result.size += got;
        const QByteArrayView bytes = QByteArrayView(block).first(got).sliced(skip);
        bool taken = false;
        if (asciiCompatible && decoderEmpty && !bytes.isEmpty()) {
            // With a table for the high bytes there is no need to look for them first.
            if (highHalf != nullptr)
                taken = sink.Bytes(bytes, highHalf);
            else if (IsAscii(bytes))
                taken = sink.Bytes(bytes, nullptr);
        }
        if (!taken) {
            const QString text = decoder->Decode(bytes);
            if (!text.isEmpty())
                sink.Text(text);
            if (!bytes.isEmpty())
                decoderEmpty = highHalf != nullptr || static_cast<unsigned char>(bytes.back()) < 0x80;
        }
        skip = 0;
        if (got < block.size())
            break; // the block ended where the file did
        got = file.Read(block);
    }
    file.KeepOrClose(session);
    return result;
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

void WriteWholeFile(const QString &source, const QString &target, const QByteArray &appendix)
{
    WriteWholeFile(source, target, appendix, WriteToDevice);
}

void WriteWholeFile(const QString &source, const QString &target, const QByteArray &appendix, ReadSession &session)
{
    // The file just read, still open, is the target: append through it.
    if (session.heldFd >= 0 && source == target && session.heldPath == target)
        AppendInPlace(target, appendix, WriteToDevice, session.heldFd);
    else
        WriteWholeFile(source, target, appendix, WriteToDevice);
}

void WriteWholeFile(const QString &source, const QString &target, const QByteArray &appendix,
                    const BlockWriter &writeBlock)
{
    if (IsSameFile(source, target))
        AppendInPlace(target, appendix, writeBlock);
    else
        ReplaceAtomically(source, target, appendix, writeBlock);
}

} // namespace tarnwell
