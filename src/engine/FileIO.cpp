#include "FileIO.h"

#include "ErrorTrap.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>

#ifndef Q_OS_WIN
#include <sys/stat.h>
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
        explicit MarkedDecoder(QStringConverter::Encoding e)
            : m_decoder(e, QStringConverter::Flag::ConvertInitialBom) {}
        QString Decode(QByteArrayView bytes) override { return m_decoder.decode(bytes); }

    private:
        QStringDecoder m_decoder;
    };
    switch (encoding) {
    case FileEncoding::Utf8Bom:
        return std::make_unique<MarkedDecoder>(QStringConverter::Utf8);
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
// its original length (a file created here is removed again), so it stays exactly as it was.
void AppendInPlace(const QString &path, const QByteArray &appendix, const BlockWriter &writeBlock)
{
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

// Writes the source's bytes and the appendix to a temporary file beside the target and renames
// it over the target only when everything was written.
void ReplaceAtomically(const QString &source, const QString &target, const QByteArray &appendix,
                       const BlockWriter &writeBlock)
{
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly))
        throw WriteFailure(target, out.errorString());
    try {
        if (FileExists(source)) {
            QFile in(source);
            if (!in.open(QIODevice::ReadOnly))
                throw ReadFailure(source, in.errorString());
            QByteArray block(kFileBlockBytes, Qt::Uninitialized);
            for (qint64 got; (got = ReadBlock(in, block)) > 0;)
                WriteAll(out, QByteArrayView(block).first(got), writeBlock, target);
        }
        WriteAll(out, appendix, writeBlock, target);
    } catch (...) {
        out.cancelWriting();
        throw;
    }
    if (!out.commit())
        throw WriteFailure(target, out.errorString());
}

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

ReadResult ReadWholeFile(const QString &path, const CodePage &codePage,
                         const std::function<void(QStringView)> &sink)
{
    ReadResult result;
    if (!FileExists(path))
        return result;
    if (QFileInfo(path).isDir())
        throw ReadFailure(path, QStringLiteral("it is a folder, not a file"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw ReadFailure(path, file.errorString());
    result.exists = true;

    // Small files, the usual case, get a small buffer; the size is only a hint (a file may grow).
    const qint64 hint = std::clamp<qint64>(file.size() + 1, 4096, kFileBlockBytes);
    QByteArray block(hint, Qt::Uninitialized);
    qint64 got = ReadBlock(file, block);
    qsizetype markLength = 0;
    result.encoding = EncodingOfMark(QByteArrayView(block).first(got), markLength);
    const std::unique_ptr<CodePage::Decoder> decoder = DecoderFor(result.encoding, codePage);
    qsizetype skip = markLength;
    while (got > 0) {
        result.size += got;
        const QString text = decoder->Decode(QByteArrayView(block).first(got).sliced(skip));
        if (!text.isEmpty())
            sink(text);
        skip = 0;
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
    struct stat statA {};
    struct stat statB {};
    return ::stat(QFile::encodeName(a).constData(), &statA) == 0
        && ::stat(QFile::encodeName(b).constData(), &statB) == 0
        && statA.st_dev == statB.st_dev && statA.st_ino == statB.st_ino;
#endif
}

void WriteWholeFile(const QString &source, const QString &target, const QByteArray &appendix)
{
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
