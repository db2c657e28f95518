#include "FileIO.h"

#include "AppendJournal.h"
#include "ErrorTrap.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <cstring>

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
void WriteAll(QFileDevice &device, QByteArrayView bytes, const BlockWriter &writeBlock, const QString &path)
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

// Appends `appendix` to the file without touching its bytes. Any failure cuts the file back to
// its original length (a file created here is removed again), so it stays exactly as it was. The
// journal records the append before it and closes the record after it, so a process killed in
// between leaves what the next start can cut back.
void AppendInPlace(const QString &path, const QByteArray &appendix, const BlockWriter &writeBlock,
                   AppendJournal *journal)
{
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
    try {
        if (journal != nullptr && existed)
            journal->RecordAppend(path, originalSize, appendix);
        if (!file.seek(originalSize))
            throw WriteFailure(path, file.errorString());
        WriteAll(file, appendix, writeBlock, path);
        if (!file.flush())
            throw WriteFailure(path, file.errorString());
    } catch (const AppError &error) {
        const bool restored = existed ? file.resize(originalSize) : (file.close(), file.remove());
        if (restored && journal != nullptr)
            journal->AppendDone();
        QString description = error.description();
        description += restored ? QStringLiteral(" The file was left as it was.")
                                : QStringLiteral(" The file could not be restored to its original length.");
        throw AppError(description, error.number());
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
    ReadResult result;
    if (!FileExists(path))
        return result;
    if (QFileInfo(path).isDir())
        throw ReadFailure(path, QStringLiteral("it is a folder, not a file"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw ReadFailure(path, file.errorString());
    result.exists = true;

    // Small files, the usual case, get a small buffer; the size is only a hint (a file may grow).
    const qint64 hint = std::clamp<qint64>(file.size() + 1, 4096, kFileBlockBytes);
    QByteArray block(hint, Qt::Uninitialized);
    qint64 got = ReadBlock(file, block);
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
        got = ReadBlock(file, block);
    }
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

void WriteWholeFile(const QString &source, const QString &target, const QByteArray &appendix, AppendJournal *journal)
{
    WriteWholeFile(source, target, appendix, WriteToDevice, journal);
}

void WriteWholeFile(const QString &source, const QString &target, const QByteArray &appendix,
                    const BlockWriter &writeBlock, AppendJournal *journal)
{
    if (IsSameFile(source, target))
        AppendInPlace(target, appendix, writeBlock, journal);
    else
        ReplaceAtomically(source, target, appendix, writeBlock);
}

} // namespace tarnwell
