#include "engine/Condition.h"

#include "engine/ByteScan.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string>

namespace tarnwell {

namespace {

constexpr QLatin1StringView kByVal("ByVal ");

bool IsLineBreakOrTab(QChar c)
{
    return c == u'\r' || c == u'\n' || c == u'\t';
}

// A character that no character of an all-ASCII needle matches, case ignored, and that stripping
// never removes: one that is not ASCII and does not fold to ASCII (the Kelvin sign and the long s
// do). Such characters only ever break a match, so on the byte path each stands as the byte 80 hex.
bool NeverMatchesAscii(char16_t c)
{
    return c >= 0x80 && QChar(c).toCaseFolded().unicode() >= 0x80;
}

// Appends text carried from earlier pieces as bytes; false when a character of it folds to ASCII.
bool AppendCarried(QStringView text, QByteArray &out)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x80)
            out += static_cast<char>(u);
        else if (NeverMatchesAscii(u))
            out += static_cast<char>(0x80);
        else
            return false;
    }
    return true;
}

// The carry as text again; every byte from 80 hex stands for a character that never matches.
QString CarriedText(const char *bytes, std::size_t size)
{
    QString text(static_cast<qsizetype>(size), Qt::Uninitialized);
    for (std::size_t i = 0; i < size; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        text[static_cast<qsizetype>(i)] = QChar(b < 0x80 ? char16_t(b) : char16_t(0x80));
    }
    return text;
}

} // namespace

QString StripForTest(const QString &text)
{
    QString stripped = text;
    stripped.remove(u'\r');
    stripped.remove(u'\n');
    stripped.remove(u'\t');
    stripped.remove(kByVal, Qt::CaseSensitive);
    return stripped;
}

// The file's text arrives in pieces. Line breaks and tabs are dropped at once; "ByVal " is
// removed from what is left, holding back the last five characters, which may begin one that
// the next piece completes. The stripped text is searched with the last (needle length - 1)
// characters of the previous search kept in front, so a match across pieces is found. Case
// folding maps each character to one of the same length, so that carry is enough.
//
// The byte path does the same on bytes that read one character each when the stripped needle is
// all ASCII (ByteScan.h). Each piece is first skimmed: the needle's rarest byte is looked for in
// the raw bytes, and only the few stretches around it, and the piece's end that the next piece
// needs, are stripped and searched. Where that byte stands too often, the piece is stripped by
// the byte kernels (line breaks and tabs in one pass, then "ByVal " where a "B" came) and
// searched by comparing two bytes of the needle at many places at once. The carries pass between the two paths as bytes
// or as text, and a character that never matches the needle stands as the byte 80 hex. Case folding maps ASCII letters
// to their lower case and nothing else to ASCII but the characters the path refuses, so a search that ignores ASCII
// letter case finds exactly what the case-insensitive search finds.
struct ConditionScanner::Impl
{
    bool started = false;
    QString condition; // what the needle was made from
    QString needle;
    bool asciiNeedle = false;
    std::optional<ByteNeedle> byteNeedle;
    const char16_t *checkedHighHalf = nullptr;
    std::array<bool, 128> highNeverMatches{};
    bool allHighNeverMatch = false;

    // The carries are held in one of two forms, as the last piece left them.
    bool inBytes = true;
    // As text: line breaks and tabs gone, "ByVal " not yet removed from the tail; the end of the
    // stripped text already searched.
    QString pending;
    QString searchCarry;
    QString stripped; // scratch
    // As bytes: strip.out holds the end of the text already searched (`searched` bytes), then the
    // stripped text not yet searched.
    std::unique_ptr<char[]> buffer;
    std::size_t capacity = 0;
    ByteStrip strip;
    std::size_t searched = 0;

    bool probeNonEmpty = false;
    bool found = false;

    void Reserve(std::size_t size)
    {
        if (size <= capacity)
            return;
        capacity = std::max(size, capacity * 2);
        auto grown = std::make_unique<char[]>(capacity);
        if (strip.size > 0)
            std::memcpy(grown.get(), buffer.get(), strip.size);
        buffer = std::move(grown);
        strip.out = buffer.get();
    }

    bool ToBytes()
    {
        if (inBytes)
            return true;
        QByteArray carried;
        if (!AppendCarried(searchCarry, carried))
            return false;
        const auto searchedSize = static_cast<std::size_t>(carried.size());
        if (!AppendCarried(pending, carried))
            return false;
        const auto size = static_cast<std::size_t>(carried.size());
        Reserve(size + kStripSlack);
        std::memcpy(strip.out, carried.constData(), size);
        strip.size = size;
        strip.decided = searchedSize; // the pending text may still begin a "ByVal "
        searched = searchedSize;
        searchCarry.clear();
        pending.clear();
        inBytes = true;
        return true;
    }

    void ToText()
    {
        if (!inBytes)
            return;
        searchCarry = CarriedText(strip.out, searched);
        pending = CarriedText(strip.out + searched, strip.size - searched);
        strip.size = 0;
        strip.decided = 0;
        searched = 0;
        inBytes = false;
    }

    // Searches the final part of the stripped bytes, then keeps in front only what the next
    // search needs: the last (needle length - 1) searched bytes and the bytes not yet final.
    void SearchBytes(std::size_t finalEnd)
    {
        if (finalEnd > searched) {
            probeNonEmpty = true;
            if (needle.isEmpty() || byteNeedle->Find(strip.out, finalEnd) >= 0) {
                found = true;
                return;
            }
        }
        const std::size_t keep = needle.isEmpty() ? 0 : std::min(finalEnd, static_cast<std::size_t>(needle.size()) - 1);
        const std::size_t drop = finalEnd - keep;
        if (drop > 0) {
            std::memmove(strip.out, strip.out + drop, strip.size - drop);
            strip.size -= drop;
        }
        strip.decided = keep;
        searched = keep;
    }

    void SearchText(QStringView piece)
    {
        if (piece.isEmpty())
            return;
        probeNonEmpty = true;
        if (needle.isEmpty()) {
            found = true;
            return;
        }
        QString window = searchCarry + piece;
        if (window.indexOf(needle, 0, Qt::CaseInsensitive) >= 0) {
            found = true;
            return;
        }
        const qsizetype keep = std::min(window.size(), needle.size() - 1);
        searchCarry = window.right(keep);
    }

    // Whether every byte from 80 hex stands for a character that never matches the needle.
    bool HighBytesNeverMatch(QByteArrayView bytes, const char16_t *highHalf)
    {
        if (highHalf == nullptr)
            return true;
        if (highHalf != checkedHighHalf) {
            allHighNeverMatch = true;
            for (std::size_t i = 0; i < highNeverMatches.size(); ++i) {
                highNeverMatches[i] = NeverMatchesAscii(highHalf[i]);
                allHighNeverMatch = allHighNeverMatch && highNeverMatches[i];
            }
            checkedHighHalf = highHalf;
        }
        if (allHighNeverMatch)
            return true;
        return std::none_of(bytes.begin(), bytes.end(), [&](char b) {
            const auto u = static_cast<unsigned char>(b);
            return u >= 0x80 && !highNeverMatches[u - 0x80];
        });
    }
};

ConditionScanner::ConditionScanner(const QString &conditionText) : d(std::make_unique<Impl>())
{
    Restart(conditionText);
}

ConditionScanner::~ConditionScanner() = default;

void ConditionScanner::Restart(const QString &conditionText)
{
    Impl &s = *d;
    if (!s.started || conditionText != s.condition) {
        s.started = true;
        s.condition = conditionText;
        s.needle = StripForTest(conditionText);
        s.asciiNeedle = std::all_of(s.needle.cbegin(), s.needle.cend(), [](QChar c) { return c.unicode() < 0x80; });
        s.byteNeedle.reset();
        if (s.asciiNeedle)
            s.byteNeedle.emplace(s.needle.toStdString());
    }
    s.inBytes = true;
    s.pending.clear();
    s.searchCarry.clear();
    s.strip.size = 0;
    s.strip.decided = 0;
    s.searched = 0;
    s.probeNonEmpty = false;
    s.found = false;
}

bool ConditionScanner::FeedBytes(QByteArrayView bytes, const char16_t *highHalf)
{
    Impl &s = *d;
    if (s.found)
        return true;
    if (!s.asciiNeedle || !s.HighBytesNeverMatch(bytes, highHalf) || !s.ToBytes())
        return false;
    // In pieces small enough that stripping, cutting and searching each find it in the first
    // level cache.
    constexpr qsizetype kPiece = qsizetype(16) << 10;
    for (qsizetype at = 0; at < bytes.size() && !s.found; at += kPiece) {
        const auto n = static_cast<std::size_t>(std::min(kPiece, bytes.size() - at));
        s.Reserve(s.strip.size + n + kStripSlack);
        const Skim skim = SkimBytes(s.strip, *s.byteNeedle, bytes.data() + at, n);
        if (skim == Skim::Found) {
            s.found = true;
        } else if (skim == Skim::Absent) {
            s.searched = s.strip.decided;
        } else {
            StripBytes(s.strip, bytes.data() + at, n);
            s.SearchBytes(s.strip.decided);
        }
    }
    return true;
}

void ConditionScanner::Feed(QStringView text)
{
    if (d->found)
        return;
    d->ToText();
    QString &pending = d->pending;
    const qsizetype carried = pending.size();
    pending.resize(carried + text.size());
    QChar *out = pending.data() + carried;
    for (const QChar c : text) {
        if (!IsLineBreakOrTab(c))
            *out++ = c;
    }
    pending.truncate(out - pending.constData());

    QString &stripped = d->stripped;
    stripped.clear();
    qsizetype from = 0;
    for (qsizetype hit; (hit = pending.indexOf(kByVal, from, Qt::CaseSensitive)) >= 0; from = hit + kByVal.size())
        stripped += QStringView(pending).sliced(from, hit - from);
    const qsizetype holdFrom = std::max(from, pending.size() - (kByVal.size() - 1));
    stripped += QStringView(pending).sliced(from, holdFrom - from);
    pending.remove(0, holdFrom);
    d->SearchText(stripped);
}

bool ConditionScanner::Found()
{
    Impl &s = *d;
    if (s.found)
        return true;
    if (s.inBytes) {
        s.SearchBytes(s.strip.size); // nothing more can complete a "ByVal "
    } else {
        s.SearchText(s.pending);
        s.pending.clear();
    }
    return s.found;
}

} // namespace tarnwell
