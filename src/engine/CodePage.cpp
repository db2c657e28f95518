#include "engine/CodePage.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <array>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

namespace tarnwell {

namespace {

// Bytes 0x80 to 0x9F of Windows-1252. The five bytes the code page leaves undefined (81, 8D, 8F,
// 90, 9D) stand for the C1 control of the same number, as Windows itself reads them, so every
// byte survives a read and a write.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char16_t Cp1252ToUnicode(unsigned char byte)
{
    return byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : char16_t(byte);
}

bool UnicodeToCp1252(char16_t unit, char &byte)
{
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) {
        byte = static_cast<char>(unit);
        return true;
    }
    for (std::size_t i = 0; i < kCp1252High.size(); ++i) {
        if (kCp1252High[i] == unit) {
            byte = static_cast<char>(0x80 + i);
            return true;
        }
    }
    return false;
}

class Cp1252Decoder final : public CodePage::Decoder
{
public:
    QString Decode(QByteArrayView bytes) override
    {
        QString text(bytes.size(), Qt::Uninitialized);
        char16_t *out = reinterpret_cast<char16_t *>(text.data());
        for (qsizetype i = 0; i < bytes.size(); ++i)
            out[i] = Cp1252ToUnicode(static_cast<unsigned char>(bytes[i]));
        return text;
    }
};

// The length of a UTF-8 character begun, and so far well formed, but not finished at the end of
// `bytes`; else 0.
qsizetype UnfinishedUtf8(QByteArrayView bytes)
{
    const auto at = [&](qsizetype i) { return static_cast<unsigned char>(bytes[i]); };
    for (qsizetype back = 1; back <= std::min<qsizetype>(3, bytes.size()); ++back) {
        const qsizetype lead = bytes.size() - back;
        const unsigned char byte = at(lead);
        if ((byte & 0xC0) == 0x80)
            continue; // a continuation byte: look further back for its lead
        const qsizetype length = byte >= 0xC2 && byte <= 0xDF   ? 2
                                 : byte >= 0xE0 && byte <= 0xEF ? 3
                                 : byte >= 0xF0 && byte <= 0xF4 ? 4
                                                                : 0;
        if (length <= back)
            return 0;
        if (back >= 2) { // the second byte's range depends on the lead
            const unsigned char second = at(lead + 1);
            const unsigned char low = byte == 0xE0 ? 0xA0 : byte == 0xF0 ? 0x90 : 0x80;
            const unsigned char high = byte == 0xED ? 0x9F : byte == 0xF4 ? 0x8F : 0xBF;
            if (second < low || second > high)
                return 0;
        }
        return back;
    }
    return 0;
}

// Qt's decoders keep a partial character until the next chunk completes it. The file's own
// bytes are never changed, so a mark at the start is taken as a character like any other.
// Qt's UTF-8 decoder, though, drops the first byte of the next chunk when that byte does not
// continue the partial character, so a file would read differently depending on where its blocks
// end. For UTF-8 the decoder therefore keeps no state: an unfinished character at the end of a
// chunk is held back here and decoded together with the next chunk.
class QtDecoder final : public CodePage::Decoder
{
    static bool IsUtf8(QStringConverter::Encoding encoding)
    {
#ifdef Q_OS_WIN
        return encoding == QStringConverter::Utf8;
#else
        return encoding == QStringConverter::Utf8 || encoding == QStringConverter::System; // UTF-8 on Unix
#endif
    }

public:
    explicit QtDecoder(QStringConverter::Encoding encoding)
        : m_utf8(IsUtf8(encoding)),
          m_decoder(encoding, m_utf8 ? QStringConverter::Flag::ConvertInitialBom | QStringConverter::Flag::Stateless
                                     : QStringConverter::Flag::ConvertInitialBom)
    {
    }
    QString Decode(QByteArrayView bytes) override
    {
        if (!m_utf8)
            return m_decoder.decode(bytes);
        QByteArray joined;
        if (!m_held.isEmpty()) {
            joined = m_held;
            joined.append(bytes);
            bytes = joined;
        }
        const qsizetype hold = UnfinishedUtf8(bytes);
        QString text = m_decoder.decode(bytes.first(bytes.size() - hold));
        m_held = bytes.last(hold).toByteArray();
        return text;
    }

private:
    bool m_utf8;
    QStringDecoder m_decoder;
    QByteArray m_held;
};

bool EncodeWithQt(QStringConverter::Encoding encoding, QStringView text, QByteArray &out)
{
    QStringEncoder encoder(encoding, QStringConverter::Flag::Stateless);
    out = encoder.encode(text);
    return !encoder.hasError();
}

#ifdef Q_OS_WIN
bool AnsiIsUtf8()
{
    return GetACP() == CP_UTF8;
}

bool EncodeAnsi(QStringView text, QByteArray &out)
{
    out.clear();
    if (text.isEmpty())
        return true;
    const auto *wide = reinterpret_cast<const wchar_t *>(text.utf16());
    const int length = static_cast<int>(text.size());
    BOOL usedDefault = FALSE;
    const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, length, nullptr, 0, nullptr, &usedDefault);
    if (size <= 0 || usedDefault)
        return false;
    out.resize(size);
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, length, out.data(), size, nullptr, &usedDefault);
    return !usedDefault;
}
#endif

} // namespace

CodePage CodePage::System()
{
#ifdef Q_OS_WIN
    if (AnsiIsUtf8())
        return CodePage(Kind::Utf8);
#endif
    return CodePage(Kind::System);
}

CodePage CodePage::Windows1252()
{
    return CodePage(Kind::Windows1252);
}
CodePage CodePage::Utf8()
{
    return CodePage(Kind::Utf8);
}

QString CodePage::name() const
{
    switch (m_kind) {
    case Kind::Windows1252:
        return QStringLiteral("windows-1252");
    case Kind::Utf8:
        return QStringLiteral("UTF-8");
    case Kind::System:
        break;
    }
#ifdef Q_OS_WIN
    return QStringLiteral("windows-") + QString::number(GetACP());
#else
    // Qt reads and writes the locale's 8-bit text as UTF-8 on every Unix.
    return QStringLiteral("UTF-8");
#endif
}

bool CodePage::Encode(QStringView text, QByteArray &out) const
{
    switch (m_kind) {
    case Kind::Windows1252: {
        out.resize(text.size());
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (!UnicodeToCp1252(text[i].unicode(), out[i]))
                return false;
        }
        return true;
    }
    case Kind::Utf8:
        return EncodeWithQt(QStringConverter::Utf8, text, out);
    case Kind::System:
        break;
    }
#ifdef Q_OS_WIN
    return EncodeAnsi(text, out);
#else
    return EncodeWithQt(QStringConverter::System, text, out);
#endif
}

const char16_t *CodePage::HighHalf() const
{
    if (m_kind != Kind::Windows1252)
        return nullptr;
    static const std::array<char16_t, 128> high = [] {
        std::array<char16_t, 128> table{};
        for (std::size_t i = 0; i < table.size(); ++i)
            table[i] = Cp1252ToUnicode(static_cast<unsigned char>(0x80 + i));
        return table;
    }();
    return high.data();
}

std::unique_ptr<CodePage::Decoder> CodePage::NewDecoder() const
{
    switch (m_kind) {
    case Kind::Windows1252:
        return std::make_unique<Cp1252Decoder>();
    case Kind::Utf8:
        return std::make_unique<QtDecoder>(QStringConverter::Utf8);
    case Kind::System:
        break;
    }
    return std::make_unique<QtDecoder>(QStringConverter::System);
}

} // namespace tarnwell
