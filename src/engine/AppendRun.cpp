#include "AppendRun.h"

#include "AppendJournal.h"
#include "FileIO.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tarnwell {

namespace {

const QString kByVal = QStringLiteral("ByVal ");

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

char AsciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
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
QString CarriedText(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        text[i] = QChar(b < 0x80 ? char16_t(b) : char16_t(0x80));
    }
    return text;
}

// A search over bytes, exact or with ASCII letter case ignored. It looks for the needle's rarest
// byte with memchr, which the C library does many bytes at a time, and checks the needle around
// each one found; a letter whose case is ignored is looked for in both cases.
class ByteSearcher
{
public:
    ByteSearcher(std::string_view needle, bool ignoreCase) : m_needle(needle), m_ignoreCase(ignoreCase)
    {
        int best = 1000;
        for (std::size_t j = 0; j < m_needle.size(); ++j) {
            const int rank = Rarity(m_needle[j]);
            if (rank < best) {
                best = rank;
                m_anchor = static_cast<qsizetype>(j);
            }
        }
        const char a = m_needle[static_cast<std::size_t>(m_anchor)];
        m_anchorLower = ignoreCase ? AsciiLower(a) : a;
        m_anchorUpper = ignoreCase && a >= 'a' && a <= 'z'   ? static_cast<char>(a - ('a' - 'A'))
                        : ignoreCase && a >= 'A' && a <= 'Z' ? a
                                                             : m_anchorLower;
        if (ignoreCase) {
            for (char &c : m_needle)
                c = AsciiLower(c);
            m_anchorLower = AsciiLower(m_anchorLower);
        }
    }

    // The first match in [from, size) of `text`, or -1.
    qsizetype Find(const char *text, qsizetype size, qsizetype from = 0) const
    {
        const auto m = static_cast<qsizetype>(m_needle.size());
        if (size - from < m)
            return -1;
        const char *p = text + from + m_anchor;
        const char *const end = text + size - (m - 1 - m_anchor); // anchors lie in [p, end)
        const char *nextLower = Next(p, end, m_anchorLower);
        const char *nextUpper = m_anchorUpper == m_anchorLower ? end : Next(p, end, m_anchorUpper);
        while (nextLower != end || nextUpper != end) {
            const bool lower = nextLower < nextUpper;
            const char *hit = lower ? nextLower : nextUpper;
            if (Matches(hit - m_anchor))
                return hit - m_anchor - text;
            if (lower)
                nextLower = Next(hit + 1, end, m_anchorLower);
            else
                nextUpper = Next(hit + 1, end, m_anchorUpper);
        }
        return -1;
    }

private:
    static const char *Next(const char *from, const char *end, char c)
    {
        if (from >= end)
            return end;
        const void *hit = std::memchr(from, static_cast<unsigned char>(c), static_cast<std::size_t>(end - from));
        return hit ? static_cast<const char *>(hit) : end;
    }
    bool Matches(const char *at) const
    {
        for (std::size_t j = 0; j < m_needle.size(); ++j) {
            if ((m_ignoreCase ? AsciiLower(at[j]) : at[j]) != m_needle[j])
                return false;
        }
        return true;
    }
    // Lower is rarer in text: digits and signs, then capitals, then small letters by how seldom
    // English uses them, and the blank last.
    int Rarity(char c) const
    {
        static const std::string_view byUse("etaoinshrdlcumwfgypbvkjxqz");
        if (c == ' ')
            return 999;
        const char lower = AsciiLower(c);
        const std::size_t letter = byUse.find(lower);
        if (letter == std::string_view::npos)
            return 0;
        const int rank = 26 - static_cast<int>(letter);
        return (!m_ignoreCase && c != lower) ? rank : 100 + rank * (m_ignoreCase ? 2 : 1);
    }

    std::string m_needle;
    bool m_ignoreCase;
    qsizetype m_anchor = 0;
    char m_anchorLower = 0;
    char m_anchorUpper = 0;
};

// Appends `bytes` to `out` without CR, LF and tab; eight bytes at a time where none of the eight
// is below 16.
void AppendWithoutLineBreaks(QByteArrayView bytes, QByteArray &out)
{
    const qsizetype start = out.size();
    out.resize(start + bytes.size());
    char *dst = out.data() + start;
    const char *p = bytes.data();
    const char *const end = p + bytes.size();
    constexpr quint64 ones = 0x0101010101010101ull;
    for (; end - p >= 8; p += 8) {
        quint64 word;
        std::memcpy(&word, p, 8);
        if (((word - ones * 16) & ~word & (ones * 0x80)) == 0) { // no byte below 16
            std::memcpy(dst, p, 8);
            dst += 8;
            continue;
        }
        for (int k = 0; k < 8; ++k) {
            *dst = p[k];
            dst += (p[k] == '\r' || p[k] == '\n' || p[k] == '\t') ? 0 : 1;
        }
    }
    for (; p < end; ++p) {
        *dst = *p;
        dst += (*p == '\r' || *p == '\n' || *p == '\t') ? 0 : 1;
    }
    out.truncate(dst - out.constData());
}

} // namespace

ConditionMode ConditionModeFromPosition(int combo1Position)
{
    switch (combo1Position) {
    case 0:
        return ConditionMode::Does;
    case 1:
        return ConditionMode::DoesNot;
    default:
        return ConditionMode::Unset;
    }
}

bool Qualifies(ConditionMode mode, bool found)
{
    return (mode == ConditionMode::Does && found) || (mode == ConditionMode::DoesNot && !found);
}

QString FileNameOf(const QString &path)
{
#ifdef Q_OS_WIN
    const qsizetype cut = std::max(path.lastIndexOf(u'\\'), path.lastIndexOf(u'/'));
#else
    const qsizetype cut = path.lastIndexOf(u'/');
#endif
    return cut < 0 ? path : path.mid(cut + 1);
}

bool IsFolder(const QString &path)
{
    return !path.isEmpty() && QFileInfo(path).isDir();
}

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
// removed from what is left, holding back the last five characters, which may begin one that the
// next piece completes. The stripped text is searched with the last (needle length - 1)
// characters of the previous search kept in front, so a match across pieces is found. Case
// folding maps each character to one of the same length, so that carry is enough.
//
// The byte path does the same on bytes that read one character each when the stripped needle is
// all ASCII: the carries are turned into bytes and back at each piece's ends, and a character
// that never matches the needle stands as the byte 80 hex. Case folding maps ASCII letters to
// their lower case and nothing else to ASCII but the characters the path refuses, so a search
// that ignores ASCII letter case finds exactly what the case-insensitive search finds.
struct ConditionScanner::Impl
{
    QString needle;
    std::string asciiNeedle; // the needle, when it is all ASCII and not empty
    std::optional<ByteSearcher> needleSearcher;
    QByteArray buffer; // scratch of the byte path
    const char16_t *checkedHighHalf = nullptr;
    std::array<bool, 128> highNeverMatches{};
    bool allHighNeverMatch = false;
    QString pending;     // line breaks and tabs gone; "ByVal " not yet removed from its tail
    QString searchCarry; // end of the stripped text already searched
    QString stripped;    // scratch
    bool probeNonEmpty = false;
    bool found = false;

    void Search(QStringView piece)
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
};

ConditionScanner::ConditionScanner(const QString &conditionText) : d(std::make_unique<Impl>())
{
    d->needle = StripForTest(conditionText);
    const bool ascii = std::all_of(d->needle.cbegin(), d->needle.cend(), [](QChar c) { return c.unicode() < 0x80; });
    if (ascii && !d->needle.isEmpty()) {
        d->asciiNeedle = d->needle.toStdString();
        d->needleSearcher.emplace(d->asciiNeedle, true);
    }
}

bool ConditionScanner::FeedBytes(QByteArrayView bytes, const char16_t *highHalf)
{
    Impl &s = *d;
    if (s.found)
        return true;
    if (!s.needleSearcher)
        return false;
    if (highHalf != nullptr) {
        if (highHalf != s.checkedHighHalf) {
            s.allHighNeverMatch = true;
            for (std::size_t i = 0; i < s.highNeverMatches.size(); ++i) {
                s.highNeverMatches[i] = NeverMatchesAscii(highHalf[i]);
                s.allHighNeverMatch = s.allHighNeverMatch && s.highNeverMatches[i];
            }
            s.checkedHighHalf = highHalf;
        }
        if (!s.allHighNeverMatch) {
            for (const char b : bytes) {
                const auto u = static_cast<unsigned char>(b);
                if (u >= 0x80 && !s.highNeverMatches[u - 0x80])
                    return false;
            }
        }
    }
    // One buffer: the search carry, then the pending text and the piece without line breaks and
    // tabs; "ByVal " is cut out of the latter in place, but for the last five bytes, which the
    // next piece may complete; then the needle is looked for from the start.
    QByteArray &buffer = s.buffer;
    buffer.clear();
    if (!AppendCarried(s.searchCarry, buffer))
        return false;
    const qsizetype searchCarried = buffer.size();
    if (!AppendCarried(s.pending, buffer))
        return false;
    AppendWithoutLineBreaks(bytes, buffer);

    static const ByteSearcher byVal(std::string_view("ByVal "), false);
    constexpr qsizetype byValSize = 6;
    char *data = buffer.data();
    qsizetype kept = searchCarried; // the end of the text already freed of "ByVal "
    qsizetype from = searchCarried;
    for (qsizetype hit; (hit = byVal.Find(data, buffer.size(), from)) >= 0; from = hit + byValSize) {
        if (kept != from)
            std::memmove(data + kept, data + from, static_cast<std::size_t>(hit - from));
        kept += hit - from;
    }
    const qsizetype holdFrom = std::max(from, buffer.size() - (byValSize - 1));
    if (kept != from)
        std::memmove(data + kept, data + from, static_cast<std::size_t>(holdFrom - from));
    kept += holdFrom - from;
    s.pending = CarriedText(QByteArrayView(buffer).sliced(holdFrom));

    if (kept == searchCarried)
        return true; // nothing new to search
    s.probeNonEmpty = true;
    if (s.needleSearcher->Find(data, kept) >= 0) {
        s.found = true;
        return true;
    }
    const qsizetype keep = std::min<qsizetype>(kept, static_cast<qsizetype>(s.asciiNeedle.size()) - 1);
    s.searchCarry = CarriedText(QByteArrayView(buffer).first(kept).last(keep));
    return true;
}

ConditionScanner::~ConditionScanner() = default;

void ConditionScanner::Feed(QStringView text)
{
    if (d->found)
        return;
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
    d->Search(stripped);
}

bool ConditionScanner::Found()
{
    d->Search(d->pending);
    d->pending.clear();
    return d->found;
}

void RunAppendJob(AppendHost &host, const CodePage &codePage, AppendJournal *journal)
{
    ErrorTrap trap(host, QStringLiteral("PushButton2_Click"));
    int count = 0;
    bool stop = false;
    trap.Line(100, [&] {
        count = host.EntryCount();
        if (count <= 0) {
            host.ShowMessage(QStringLiteral("No files added."));
            stop = true;
        }
    });
    if (stop)
        return;
    trap.Line(102, [&] {
        if (!IsFolder(host.Text3())) {
            host.ShowMessage(QStringLiteral("Folder does not exist. Please select another folder."));
            stop = true;
        } else if (journal != nullptr) {
            journal->BeginRun();
        }
    });
    if (stop)
        return;

    for (int i = 1; i <= count; ++i) {
        QString path;
        ReadResult read;
        bool found = false;
        ConditionMode mode = ConditionMode::Unset;
        QByteArray appendix;
        QString target;

        trap.Line(104, [&] {
            host.Yield();
            host.SetPointer(kPointerBusy);
        });
        trap.Line(106, [&] { host.SetProgressValue(static_cast<double>(i) / count * 100.0); });
        if (!trap.Line(108, [&] { path = host.EntryText(i); }))
            continue;
        trap.Line(110, [&] {
            host.SetProgressText(QStringLiteral("Processing: ") + FileNameOf(path));
            host.Yield();
            host.SetPointer(kPointerBusy);
        });
        // A file that could not be read whole is never written.
        const bool tested = trap.Line(112, [&] {
            ConditionScanner scanner(host.Text2());
            mode = ConditionModeFromPosition(host.Combo1Position());
            struct ScannerSink final : TextSink
            {
                ConditionScanner &scanner;
                explicit ScannerSink(ConditionScanner &s) : scanner(s) {}
                void Text(QStringView text) override { scanner.Feed(text); }
                bool Bytes(QByteArrayView bytes, const char16_t *highHalf) override
                {
                    return scanner.FeedBytes(bytes, highHalf);
                }
            } sink(scanner);
            read = ReadWholeFile(path, codePage, sink);
            found = scanner.Found();
        });
        if (!tested)
            continue;
        if (!trap.Test(114, [&] { return Qualifies(mode, found); }))
            continue;
        // The appendix is made, and checked, before anything is written.
        const bool prepared = trap.Line(116, [&] {
            const QString appendText = host.Text1();
            target = host.Option1Selected() ? path : host.Text3() + QDir::separator() + FileNameOf(path);
            const bool utf16 = read.encoding == FileEncoding::Utf16LE || read.encoding == FileEncoding::Utf16BE;
            if (utf16 && read.size % 2 != 0) {
                throw AppError(QStringLiteral("The file begins with a UTF-16 byte-order mark but holds an odd "
                                              "number of bytes, so text cannot be appended to it safely: %1")
                                   .arg(path));
            }
            appendix = EncodeAppendix(appendText, read.encoding, codePage, path);
        });
        if (prepared)
            trap.Line(118, [&] { WriteWholeFile(path, target, appendix, journal); });
    }
    if (journal != nullptr)
        journal->EndRun();

    trap.Line(120, [&] {
        host.SetPointer(kPointerDefault);
        host.SetProgressValue(0);
        host.SetProgressText(QStringLiteral("Progress Bar"));
    });
    trap.Line(122, [&] { host.ShowMessage(QStringLiteral("Done.")); });
}

} // namespace tarnwell
