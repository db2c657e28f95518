#pragma once

// What the byte kernels share: the plain loops (also the tails of the vector loops) and the kernel
// set of each instruction set, from which ByteScan.cpp picks one.
#include "engine/ByteScan.h"

#include <cstdint>
#include <cstring>

// SSE2 is part of every x86-64 processor. AVX2 and AVX-512 (with VBMI2, whose byte compress
// does the packing in one instruction) are compiled for their own functions only (GCC and Clang,
// MinGW included) and used where the processor reports them.
#if defined(__x86_64__) || defined(_M_X64)
#define TARNWELL_SSE2 1
#if defined(__GNUC__)
#define TARNWELL_AVX_KERNELS 1
#endif
#endif

namespace tarnwell::bytescan {

inline constexpr char kByVal[] = "ByVal ";
inline constexpr std::size_t kByValSize = 6;

inline bool IsStripped(char c)
{
    return c == '\r' || c == '\n' || c == '\t';
}

inline char AsciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

inline bool IsByValAt(const char *at)
{
    return std::memcmp(at, kByVal, kByValSize) == 0;
}

// The bits of the six bytes of every "ByVal " that starts at a set bit of `starts`; two never
// overlap, so the product has no carries. Bits past the chunk belong to the next one.
inline std::uint64_t ByValSpans(std::uint64_t starts)
{
    return starts * 0x3F;
}

// Copies src[0, n) to out without CR, LF and tab; gives the bytes written. `anyB` is set when a
// "B" came.
std::size_t CompactPlain(const char *src, std::size_t n, char *out, bool &anyB);

// Cuts every "ByVal " out of text[r, size) in place, writing at w <= r, after skipping `skip`
// bytes that end one begun earlier. A tail too short to tell (under six bytes) is kept undecided.
// Gives the new size; `decided` becomes the end of what is final.
std::size_t RemoveByValPlain(char *text, std::size_t r, std::size_t w, std::size_t skip, std::size_t size,
                             std::size_t &decided);

// Whether the whole needle stands at `at`, ASCII letter case ignored.
bool Matches(const ByteNeedle &needle, const char *at);

// The first occurrence of the needle in text[from, n), or -1.
std::ptrdiff_t FindPlain(const ByteNeedle &needle, const char *text, std::size_t n, std::size_t from = 0);

// The first byte of text[from, n) that, with the bits of `fold` set, is `c`, or -1.
std::ptrdiff_t FindBytePlain(const char *text, std::size_t n, unsigned char c, unsigned char fold,
                             std::size_t from = 0);

// One instruction set's kernels, chosen as a whole (ByteScan.cpp keeps them in one table, best
// first). None reads past the end of its input. `compact` writes past the end of what it gives
// (up to 64 bytes, each set says how much), within the kStripSlack its caller leaves; the others
// write nothing.
struct KernelSet
{
    ByteKernel kernel;
    // Whether this processor runs them.
    bool (*runs)();
    // Copies src[0, n) to out without CR, LF and tab, as CompactPlain does.
    std::size_t (*compact)(const char *src, std::size_t n, char *out, bool &anyB);
    // Cuts every "ByVal " out of text[from, size) in place, as RemoveByValPlain does from `from`
    // with nothing to skip.
    std::size_t (*removeByVal)(char *text, std::size_t from, std::size_t size, std::size_t &decided);
    // The first occurrence of the needle (not empty, n at least its size) in text[0, n), or -1.
    std::ptrdiff_t (*find)(const ByteNeedle &needle, const char *text, std::size_t n);
    // The first byte of text[0, n) that, with the bits of `fold` set, is `c`, or -1.
    std::ptrdiff_t (*findByte)(const char *text, std::size_t n, unsigned char c, unsigned char fold);
};

// The vector kernels: the same steps, 16, 32 or 64 bytes at a time (ByteScanX86.cpp).
#ifdef TARNWELL_SSE2
extern const KernelSet kSse2Kernels;
#endif
#ifdef TARNWELL_AVX_KERNELS
extern const KernelSet kAvx2Kernels;
extern const KernelSet kAvx512Kernels;
#endif

} // namespace tarnwell::bytescan
