#pragma once

#include <cstddef>
#include <string>

namespace tarnwell {

// The byte kernels of the condition test's fast path: stripping and searching text that is read
// one byte to a character. They come in sets, one per instruction set: plain loops, SSE2 (every
// x86-64 processor), AVX2 and AVX-512 (VBMI2); the best set the processor runs is chosen once, at
// first use.
enum class ByteKernel { Plain, Sse2, Avx2, Avx512 };

// The best kernel this processor runs.
ByteKernel BestByteKernel();
// The kernel in use: the best one, unless a test pinned another.
ByteKernel ActiveByteKernel();
// Uses `kernel` from now on, so tests can compare them all; false (and nothing changed) when the
// processor cannot run it.
bool PinByteKernel(ByteKernel kernel);

// Room that StripBytes needs past the end of its output.
inline constexpr std::size_t kStripSlack = 128;

// Text being stripped of CR, LF, tab and "ByVal ", piece by piece. out[0, decided) is final;
// out[decided, size) is free of CR, LF and tab but may still begin a "ByVal " that the next piece
// completes (at most five bytes).
struct ByteStrip
{
    char *out = nullptr;
    std::size_t size = 0;
    std::size_t decided = 0;
};

// Appends `bytes` to `strip.out` without CR, LF and tab, then cuts out every "ByVal " of what is
// not yet decided, in one left-to-right pass without overlap; a "ByVal " that comes into being
// only where one was cut out stays. `out` must have room for size + n + kStripSlack bytes.
void StripBytes(ByteStrip &strip, const char *bytes, std::size_t n);

class ByteNeedle;

// What SkimBytes made of a piece.
enum class Skim {
    Absent,  // no occurrence ends in it; `strip` holds what the next piece needs
    Found,   // the needle occurs
    Refused, // nothing done: strip the piece and search it
};

// StripBytes and a search for `needle` in one, without stripping the whole piece: the needle's
// rare byte is looked for in the raw bytes, and only around the few places where it stands (and
// at the piece's end, for what the next piece needs) is the text stripped, a small stretch at a
// time. `strip.out[0, decided)` must have been searched already. Where the rare byte stands too
// often, too near either end of the piece or in what earlier pieces left, or removed bytes crowd
// a stretch, it refuses. On Absent, `strip` holds the last (needle size - 1) bytes of the
// stripped text as decided (all of them searched) and what is not yet decided after them.
Skim SkimBytes(ByteStrip &strip, const ByteNeedle &needle, const char *bytes, std::size_t n);

// An all-ASCII needle, searched for with ASCII letter case ignored.
class ByteNeedle
{
public:
    explicit ByteNeedle(const std::string &needle);
    std::size_t size() const { return m_lower.size(); }
    // The position of the first occurrence in text[0, n), or -1.
    std::ptrdiff_t Find(const char *text, std::size_t n) const;

    // For the kernels: the needle in lower case, and two of its bytes that text seldom holds (at
    // `firstAt` < `lastAt`, or both at 0 for a needle of one byte), in lower case, each with the
    // bit (20 hex) to set in a text byte before comparing: set for letters only. Only where both
    // agree is the whole needle compared.
    const std::string &lower() const { return m_lower; }
    std::size_t firstAt = 0, lastAt = 0;
    unsigned char first = 0, firstFold = 0, last = 0, lastFold = 0;
    // The rarer of the two (one of firstAt and lastAt), which SkimBytes looks for in raw text.
    std::size_t rareAt = 0;
    unsigned char rare = 0, rareFold = 0;

private:
    std::string m_lower;
};

} // namespace tarnwell
