#include "ByteScanKernels.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace tarnwell {

namespace bytescan {

// The plain loops, also the tails of the vector kernels.

// Copies src[0, n) to out without CR, LF and tab; gives the bytes written. `anyB` is set when a
// "B" came.
std::size_t CompactPlain(const char *src, std::size_t n, char *out, bool &anyB)
{
    std::size_t d = 0;
    bool b = false;
    for (std::size_t i = 0; i < n; ++i) {
        const char c = src[i];
        out[d] = c;
        b = b || c == 'B';
        d += IsStripped(c) ? 0 : 1;
    }
    anyB = anyB || b;
    return d;
}

// Cuts every "ByVal " out of text[r, size) in place, writing at w <= r, after skipping `skip`
// bytes that end one begun earlier. A tail too short to tell (under six bytes) is kept undecided.
// Gives the new size; `decided` becomes the end of what is final.
std::size_t RemoveByValPlain(char *text, std::size_t r, std::size_t w, std::size_t skip, std::size_t size,
                             std::size_t &decided)
{
    r += skip;
    while (r + kByValSize <= size) {
        if (IsByValAt(text + r)) {
            r += kByValSize;
        } else {
            text[w++] = text[r++];
        }
    }
    decided = w;
    const std::size_t held = size - r;
    std::memmove(text + w, text + r, held);
    return w + held;
}

bool Matches(const ByteNeedle &needle, const char *at)
{
    const std::string &lower = needle.lower();
    for (std::size_t j = 0; j < lower.size(); ++j) {
        if (AsciiLower(at[j]) != lower[j])
            return false;
    }
    return true;
}

namespace {

bool EndsMatch(const ByteNeedle &needle, const char *at)
{
    const auto first = static_cast<unsigned char>(at[needle.firstAt]);
    const auto last = static_cast<unsigned char>(at[needle.lastAt]);
    return (first | needle.firstFold) == needle.first && (last | needle.lastFold) == needle.last;
}

} // namespace

std::ptrdiff_t FindPlain(const ByteNeedle &needle, const char *text, std::size_t n, std::size_t from)
{
    for (std::size_t i = from; i + needle.size() <= n; ++i) {
        if (EndsMatch(needle, text + i) && Matches(needle, text + i))
            return static_cast<std::ptrdiff_t>(i);
    }
    return -1;
}

std::ptrdiff_t FindBytePlain(const char *text, std::size_t n, unsigned char c, unsigned char fold, std::size_t from)
{
    for (std::size_t i = from; i < n; ++i) {
        if ((static_cast<unsigned char>(text[i]) | fold) == c)
            return static_cast<std::ptrdiff_t>(i);
    }
    return -1;
}

} // namespace bytescan

namespace {

using namespace bytescan;

std::size_t RemoveByValFrom(char *text, std::size_t from, std::size_t size, std::size_t &decided)
{
    return RemoveByValPlain(text, from, from, 0, size, decided);
}

std::ptrdiff_t FindFromStart(const ByteNeedle &needle, const char *text, std::size_t n)
{
    return FindPlain(needle, text, n);
}

std::ptrdiff_t FindByteFromStart(const char *text, std::size_t n, unsigned char c, unsigned char fold)
{
    return FindBytePlain(text, n, c, fold);
}

// The plain loops run anywhere; the compaction writes at most one byte past what it gives.
constexpr KernelSet kPlainKernels{ByteKernel::Plain, [] { return true; }, CompactPlain,
                                  RemoveByValFrom,   FindFromStart,       FindByteFromStart};

// Every kernel set this build has, best first; the plain one, last, runs on every processor.
constexpr std::array kKernelSets{
#ifdef TARNWELL_AVX_KERNELS
    &kAvx512Kernels, &kAvx2Kernels,
#endif
#ifdef TARNWELL_SSE2
    &kSse2Kernels,
#endif
    &kPlainKernels};

const KernelSet &Best()
{
    static const KernelSet &best = **std::find_if(kKernelSets.begin(), kKernelSets.end(),
                                                  [](const KernelSet *set) { return set->runs(); });
    return best;
}

const KernelSet *&Active()
{
    static const KernelSet *active = &Best();
    return active;
}

} // namespace

ByteKernel BestByteKernel()
{
    return Best().kernel;
}

ByteKernel ActiveByteKernel()
{
    return Active()->kernel;
}

bool PinByteKernel(ByteKernel kernel)
{
    for (const KernelSet *set : kKernelSets) {
        if (set->kernel == kernel && set->runs()) {
            Active() = set;
            return true;
        }
    }
    return false;
}

void StripBytes(ByteStrip &strip, const char *bytes, std::size_t n)
{
    // First CR, LF and tab go, and whether a "B" came is noted on the way; only then, and only
    // where a "B" lies, is "ByVal " looked for, in what is not yet decided.
    const KernelSet &kernels = *Active();
    const std::size_t from = strip.decided;
    bool anyB = std::memchr(strip.out + from, 'B', strip.size - from) != nullptr;
    strip.size += kernels.compact(bytes, n, strip.out + strip.size, anyB);
    if (!anyB) {
        strip.decided = strip.size;
        return;
    }
    strip.size = kernels.removeByVal(strip.out, from, strip.size, strip.decided);
}

namespace {

// A stretch of raw bytes from inside a text, stripped on its own (StripStretch).
struct Stretch
{
    static constexpr std::size_t kNone = std::size_t(-1);
    // out[exactFrom, decided) is exactly the stripped text of that part of the whole text; the
    // first five bytes kept of CR, LF and tab are only there to tell whether a "ByVal " that began
    // before them covers what follows, and out[decided, size) may begin a "ByVal " that bytes after
    // the stretch complete. A stretch that keeps fewer than five bytes (size) tells nothing.
    static constexpr std::size_t exactFrom = kByValSize - 1;
    std::size_t decided = exactFrom;
    std::size_t size = 0;
    // Where the marked raw byte landed in out[exactFrom, decided); kNone when it landed outside.
    std::size_t mark = kNone;
    // Whether the marked byte lay within a "ByVal " that was cut out.
    bool markCut = false;
};

// Strips raw[0, n), a stretch from inside a longer text, into out (room for n bytes), marking
// where raw[markAt] goes.
Stretch StripStretch(const char *raw, std::size_t n, std::size_t markAt, char *out)
{
    std::size_t d = 0, markC = Stretch::kNone;
    for (std::size_t i = 0; i < n; ++i) {
        markC = i == markAt ? d : markC;
        out[d] = raw[i];
        d += IsStripped(raw[i]) ? 0 : 1;
    }
    Stretch s;
    s.size = d;
    if (d < Stretch::exactFrom)
        return s;
    // A "ByVal " that starts among the context bytes and runs on into what follows is cut from
    // there; one that started before them covers none of what follows.
    std::size_t r = Stretch::exactFrom, w = Stretch::exactFrom;
    for (std::size_t q = 0; q < Stretch::exactFrom; ++q) {
        if (q + kByValSize <= d && IsByValAt(out + q)) {
            r = q + kByValSize;
            s.markCut = markC != Stretch::kNone && markC >= q && markC < r;
            break;
        }
    }
    while (r + kByValSize <= d) {
        if (IsByValAt(out + r)) {
            s.markCut = s.markCut || (markC != Stretch::kNone && markC >= r && markC < r + kByValSize);
            r += kByValSize;
            continue;
        }
        s.mark = r == markC ? w : s.mark;
        out[w++] = out[r++];
    }
    s.decided = w;
    std::memmove(out + w, out + r, d - r);
    s.size = w + d - r;
    return s;
}

// How far SkimBytes goes before it leaves a piece to the full strip: the needle's length, the
// places of its rare byte checked in one piece, the longest stretch stripped at once, and the
// bytes of all stretches around those places (a quarter of the 16 KiB piece a run feeds).
constexpr std::size_t kSkimNeedleMax = 256;
constexpr std::size_t kSkimPlacesMax = 16;
constexpr std::size_t kSkimStretchMax = 2048;
constexpr std::size_t kSkimStrippedMax = 4096;
// Bytes taken at first on either side of what a stretch must hold, for removed bytes among them.
constexpr std::size_t kSkimRoom = 24;

} // namespace

Skim SkimBytes(ByteStrip &strip, const ByteNeedle &needle, const char *bytes, std::size_t n)
{
    const std::size_t m = needle.size();
    if (m == 0 || m > kSkimNeedleMax)
        return Skim::Refused;
    // An occurrence that began in what earlier pieces left: the full strip goes on from there.
    if (FindBytePlain(strip.out, strip.size, needle.rare, needle.rareFold) >= 0)
        return Skim::Refused;
    const KernelSet &kernels = *Active();
    std::array<char, kSkimStretchMax> out; // each stretch is written before it is read
    // Every occurrence that ends in this piece has its rare byte in it. Where the byte stands too
    // often, the piece is left to the full strip before any stretch is made.
    std::array<std::size_t, kSkimPlacesMax> places; // the first `count` are written
    std::size_t count = 0;
    for (std::size_t from = 0; from < n; ++count) {
        const std::ptrdiff_t found = kernels.findByte(bytes + from, n - from, needle.rare, needle.rareFold);
        if (found < 0)
            break;
        if (count == kSkimPlacesMax)
            return Skim::Refused;
        places[count] = from + static_cast<std::size_t>(found);
        from = places[count] + 1;
    }
    // Strip the stretch around each place, with room on both sides, and search it.
    const std::size_t before = needle.rareAt, after = m - 1 - needle.rareAt;
    std::size_t stripped = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = places[i];
        for (std::size_t room = kSkimRoom;; room *= 4) {
            const std::size_t left = before + Stretch::exactFrom + room;
            const std::size_t right = after + kByValSize + room;
            stripped += left + right + 1;
            if (left > at || right >= n - at || left + right + 1 > kSkimStretchMax || stripped > kSkimStrippedMax)
                return Skim::Refused; // near an end of the piece, or crowded with removed bytes
            const Stretch s = StripStretch(bytes + at - left, left + right + 1, left, out.data());
            if (s.markCut)
                break; // the byte is part of a "ByVal " and goes
            if (s.mark == Stretch::kNone || s.mark - Stretch::exactFrom < before || s.decided - s.mark <= after)
                continue; // too little of the stripped text around it: a wider stretch
            if (FindPlain(needle, out.data() + Stretch::exactFrom, s.decided - Stretch::exactFrom) >= 0)
                return Skim::Found;
            break;
        }
    }
    // What the next piece needs: the last (m - 1) bytes of the stripped text and what is not yet
    // decided, stripped from a stretch at the piece's end.
    for (std::size_t room = kSkimRoom;; room *= 4) {
        const std::size_t width = m + Stretch::exactFrom + room;
        if (width > n || width > kSkimStretchMax)
            return Skim::Refused;
        const Stretch s = StripStretch(bytes + n - width, width, Stretch::kNone, out.data());
        if (s.size < Stretch::exactFrom || s.decided - Stretch::exactFrom < m - 1)
            continue; // too few bytes kept to tell, or too few of the stripped text: a wider stretch
        const std::size_t keepFrom = s.decided - (m - 1);
        std::memcpy(strip.out, out.data() + keepFrom, s.size - keepFrom);
        strip.size = s.size - keepFrom;
        strip.decided = m - 1;
        return Skim::Absent;
    }
}

ByteNeedle::ByteNeedle(const std::string &needle) : m_lower(needle)
{
    std::transform(m_lower.begin(), m_lower.end(), m_lower.begin(), AsciiLower);
    if (m_lower.empty())
        return;
    // How common a byte is in text, lower for rarer: signs and digits, then letters by how often
    // English uses them, the blank last.
    const auto commonness = [](char c) {
        static constexpr std::string_view byUse("zqjxkvbpygfwmucldrhsnioate");
        if (c == ' ')
            return 100;
        const std::size_t letter = byUse.find(c);
        return letter == std::string_view::npos ? 0 : 10 + static_cast<int>(letter);
    };
    const auto rarest = [&](std::size_t skip) {
        std::size_t best = skip == 0 && m_lower.size() > 1 ? 1 : 0;
        for (std::size_t j = 0; j < m_lower.size(); ++j) {
            if (j != skip && commonness(m_lower[j]) < commonness(m_lower[best]))
                best = j;
        }
        return best;
    };
    const std::size_t a = rarest(m_lower.size());
    const std::size_t b = m_lower.size() > 1 ? rarest(a) : a;
    firstAt = std::min(a, b);
    lastAt = std::max(a, b);
    const auto fold = [](char c) { return static_cast<unsigned char>(c >= 'a' && c <= 'z' ? 0x20 : 0); };
    first = static_cast<unsigned char>(m_lower[firstAt]);
    firstFold = fold(m_lower[firstAt]);
    last = static_cast<unsigned char>(m_lower[lastAt]);
    lastFold = fold(m_lower[lastAt]);
    rareAt = a;
    rare = static_cast<unsigned char>(m_lower[a]);
    rareFold = fold(m_lower[a]);
}

std::ptrdiff_t ByteNeedle::Find(const char *text, std::size_t n) const
{
    if (m_lower.empty() || n < m_lower.size())
        return m_lower.empty() && n > 0 ? 0 : -1;
    return Active()->find(*this, text, n);
}

} // namespace tarnwell
