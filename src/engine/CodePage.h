#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <memory>

namespace tarnwell {

// A single- or multi-byte character set that files without a byte-order mark are in: the
// system's (the ANSI code page on Windows, the locale's character set elsewhere), or one pinned
// by a test. Copyable; cheap.
class CodePage
{
public:
    enum class Kind { System, Windows1252, Utf8 };

    static CodePage System();
    static CodePage Windows1252();
    static CodePage Utf8();

    Kind kind() const { return m_kind; }
    QString name() const;

    // Encodes `text`; returns false (and leaves `out` unspecified) when a character cannot be
    // represented, instead of putting a replacement character in its place.
    bool Encode(QStringView text, QByteArray &out) const;

    // A decoder that keeps its state across chunks, so a character split between two reads
    // comes out whole.
    class Decoder
    {
    public:
        virtual ~Decoder() = default;
        virtual QString Decode(QByteArrayView bytes) = 0;
    };
    std::unique_ptr<Decoder> NewDecoder() const;

    // For a code page of one byte per character without state (Windows-1252), the characters of
    // the bytes 80 to FF hex, 128 of them; else null.
    const char16_t *HighHalf() const;

private:
    explicit CodePage(Kind kind) : m_kind(kind) {}
    Kind m_kind;
};

} // namespace tarnwell
