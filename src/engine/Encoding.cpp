// The encodings of files: the byte-order mark that tells one, the decoder that reads it, and the
// bytes of an appended text in it.
#include "engine/Encoding.h"

#include "trap/AppError.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace tarnwell {

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

std::unique_ptr<CodePage::Decoder> NewDecoder(FileEncoding encoding, const CodePage &codePage)
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
    case FileEncoding::Utf8Bom:
        encoded = CodePage::Utf8().Encode(text, bytes);
        break;
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

} // namespace tarnwell
