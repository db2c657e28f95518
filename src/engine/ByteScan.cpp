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

// The plain loops run anywhere; the compaction writes at most one byte past what it gives.
constexpr KernelSet kPlainKernels{ByteKernel::Plain, [] { return true; }, CompactPlain, RemoveByValFrom, FindFromStart};

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
}

std::ptrdiff_t ByteNeedle::Find(const char *text, std::size_t n) const
{
    if (m_lower.empty() || n < m_lower.size())
        return m_lower.empty() && n > 0 ? 0 : -1;
    return Active()->find(*this, text, n);
}

} // namespace tarnwell
