// The vector kernels of the byte path for x86-64: SSE2, AVX2 and AVX-512 (VBMI2), and their kernel
// sets. The code of AVX2 and of AVX-512 lies each in a region compiled for that instruction set
// alone; the processor is asked before any of it runs.
#include "ByteScanKernels.h"

#include <array>
#include <bit>

#ifdef TARNWELL_SSE2
#include <emmintrin.h>
#endif
#ifdef TARNWELL_AVX_KERNELS
#include <immintrin.h>
// Every function defined from TARNWELL_BEGIN_TARGET(isa) to TARNWELL_END_TARGET is compiled for the
// instruction set `isa`, templates included (GCC and Clang each have a pragma of their own).
#define TARNWELL_PRAGMA(text) _Pragma(#text)
#ifdef __clang__
#define TARNWELL_BEGIN_TARGET(isa)                                                                                     \
    TARNWELL_PRAGMA(clang attribute push(__attribute__((target(isa))), apply_to = function))
#define TARNWELL_END_TARGET TARNWELL_PRAGMA(clang attribute pop)
#else
#define TARNWELL_BEGIN_TARGET(isa) TARNWELL_PRAGMA(GCC push_options) TARNWELL_PRAGMA(GCC target(isa))
#define TARNWELL_END_TARGET TARNWELL_PRAGMA(GCC pop_options)
#endif
#endif

namespace tarnwell::bytescan {

namespace {

#ifdef TARNWELL_SSE2
std::uint32_t MaskSse2(__m128i v, char c)
{
    return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(c))));
}

__m128i LoadSse2(const char *at)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(at));
}

// 16 bytes at a time; a chunk with bytes to drop is copied run by run with overlapping stores,
// which is why the loop keeps 16 more bytes in front of it.
std::size_t CompactSse2(const char *src, std::size_t n, char *out, bool &anyB)
{
    std::size_t d = 0;
    std::uint32_t bs = 0;
    std::size_t i = 0;
    for (; i + 32 <= n; i += 16) {
        const __m128i v = LoadSse2(src + i);
        const std::uint32_t removed = MaskSse2(v, '\r') | MaskSse2(v, '\n') | MaskSse2(v, '\t');
        bs |= MaskSse2(v, 'B');
        if (removed == 0) {
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out + d), v);
            d += 16;
            continue;
        }
        std::size_t start = 0;
        for (std::uint32_t r = removed; r != 0; r &= r - 1) {
            const auto p = static_cast<std::size_t>(std::countr_zero(r));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out + d), LoadSse2(src + i + start));
            d += p - start;
            start = p + 1;
        }
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + d), LoadSse2(src + i + start));
        d += 16 - start;
    }
    anyB = anyB || bs != 0;
    return d + CompactPlain(src + i, n - i, out + d, anyB);
}

// Where a "ByVal " starts among the 16 places from `at` (it reads 21 bytes).
std::uint32_t ByValStartsSse2(const char *at)
{
    return MaskSse2(LoadSse2(at), 'B') & MaskSse2(LoadSse2(at + 1), 'y') & MaskSse2(LoadSse2(at + 2), 'V')
           & MaskSse2(LoadSse2(at + 3), 'a') & MaskSse2(LoadSse2(at + 4), 'l') & MaskSse2(LoadSse2(at + 5), ' ');
}

std::size_t RemoveByValSse2(char *text, std::size_t from, std::size_t size, std::size_t &decided)
{
    std::size_t r = from, w = from;
    std::uint32_t carry = 0;
    for (; r + 16 + kByValSize - 1 <= size; r += 16) {
        const std::uint64_t spans = ByValSpans(ByValStartsSse2(text + r));
        const auto removed = static_cast<std::uint32_t>(spans & 0xFFFF) | carry;
        carry = static_cast<std::uint32_t>(spans >> 16);
        if (removed == 0) {
            _mm_storeu_si128(reinterpret_cast<__m128i *>(text + w), LoadSse2(text + r));
            w += 16;
            continue;
        }
        for (std::size_t k = 0; k < 16; ++k) {
            text[w] = text[r + k];
            w += (removed >> k & 1u) != 0 ? 0 : 1;
        }
    }
    return RemoveByValPlain(text, r, w, static_cast<std::size_t>(std::popcount(carry)), size, decided);
}

namespace sse2 {

struct Vectors
{
    static constexpr std::size_t kWidth = 16;
    static __m128i Splat(unsigned char c) { return _mm_set1_epi8(static_cast<char>(c)); }
    static __m128i Load(const char *at) { return LoadSse2(at); }
    static __m128i Or(__m128i a, __m128i b) { return _mm_or_si128(a, b); }
    static std::uint32_t Equal(__m128i a, __m128i want)
    {
        return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, want)));
    }
    static std::uint32_t BothEqual(__m128i a, __m128i wantA, __m128i b, __m128i wantB)
    {
        return static_cast<std::uint32_t>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, wantA), _mm_cmpeq_epi8(b, wantB))));
    }
};

#include "ByteScanPairSearch.inc" // NOLINT(readability-duplicate-include): once per instruction set

} // namespace sse2
#endif

#ifdef TARNWELL_AVX_KERNELS
TARNWELL_BEGIN_TARGET("avx2,popcnt")

// For each mask of eight bytes (bit set: the byte goes), the indices of the bytes kept, packed
// to the front (80 hex for the unused places, which a byte shuffle turns into zero), and how many.
struct PackTable
{
    std::array<std::uint64_t, 256> shuffle{};
    std::array<std::uint8_t, 256> kept{};
};

const PackTable &Pack()
{
    static const PackTable table = [] {
        PackTable t;
        for (unsigned mask = 0; mask < 256; ++mask) {
            std::uint64_t shuffle = 0;
            unsigned count = 0;
            for (unsigned byte = 0; byte < 8; ++byte) {
                if ((mask >> byte & 1u) == 0)
                    shuffle |= std::uint64_t(byte) << (8 * count++);
            }
            for (unsigned rest = count; rest < 8; ++rest)
                shuffle |= std::uint64_t(0x80) << (8 * rest);
            t.shuffle[mask] = shuffle;
            t.kept[mask] = static_cast<std::uint8_t>(count);
        }
        return t;
    }();
    return table;
}

inline std::uint32_t MaskAvx2(__m256i v, char c)
{
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, _mm256_set1_epi8(c))));
}

inline __m256i LoadAvx2(const char *at)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(at));
}

// Writes the 32 bytes of `v` without those whose bit is set in `removed` to `out`, eight bytes at
// a time by one byte shuffle and four stores, with no branch; gives how many were written. It
// stores up to 32 bytes from `out`.
inline std::size_t PackAvx2(const PackTable &table, __m256i v, std::uint32_t removed, char *out)
{
    const unsigned m0 = removed & 0xFF, m1 = removed >> 8 & 0xFF, m2 = removed >> 16 & 0xFF, m3 = removed >> 24;
    constexpr auto eights = static_cast<long long>(0x0808080808080808ull);
    const __m256i control = _mm256_add_epi8(
        _mm256_set_epi64x(static_cast<long long>(table.shuffle[m3]), static_cast<long long>(table.shuffle[m2]),
                          static_cast<long long>(table.shuffle[m1]), static_cast<long long>(table.shuffle[m0])),
        _mm256_set_epi64x(eights, 0, eights, 0));
    const __m256i packed = _mm256_shuffle_epi8(v, control);
    const __m128i low = _mm256_castsi256_si128(packed);
    const __m128i high = _mm256_extracti128_si256(packed, 1);
    std::size_t d = 0;
    _mm_storel_epi64(reinterpret_cast<__m128i *>(out), low);
    d += table.kept[m0];
    _mm_storel_epi64(reinterpret_cast<__m128i *>(out + d), _mm_unpackhi_epi64(low, low));
    d += table.kept[m1];
    _mm_storel_epi64(reinterpret_cast<__m128i *>(out + d), high);
    d += table.kept[m2];
    _mm_storel_epi64(reinterpret_cast<__m128i *>(out + d), _mm_unpackhi_epi64(high, high));
    return d + table.kept[m3];
}

std::size_t CompactAvx2(const char *src, std::size_t n, char *out, bool &anyB)
{
    const PackTable &table = Pack();
    std::size_t d = 0;
    std::uint32_t bs = 0;
    std::size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        const __m256i v = LoadAvx2(src + i);
        const __m256i drop = _mm256_or_si256(
            _mm256_or_si256(_mm256_cmpeq_epi8(v, _mm256_set1_epi8('\r')), _mm256_cmpeq_epi8(v, _mm256_set1_epi8('\n'))),
            _mm256_cmpeq_epi8(v, _mm256_set1_epi8('\t')));
        bs |= MaskAvx2(v, 'B');
        d += PackAvx2(table, v, static_cast<std::uint32_t>(_mm256_movemask_epi8(drop)), out + d);
    }
    anyB = anyB || bs != 0;
    return d + CompactPlain(src + i, n - i, out + d, anyB);
}

// Where a "ByVal " starts among the 32 places from `at` (it reads 37 bytes).
inline __m256i IsAvx2(const char *at, char c)
{
    return _mm256_cmpeq_epi8(LoadAvx2(at), _mm256_set1_epi8(c));
}

inline std::uint32_t ByValStartsAvx2(const char *at)
{
    const __m256i byv = _mm256_and_si256(_mm256_and_si256(IsAvx2(at, 'B'), IsAvx2(at + 1, 'y')), IsAvx2(at + 2, 'V'));
    const __m256i al = _mm256_and_si256(_mm256_and_si256(IsAvx2(at + 3, 'a'), IsAvx2(at + 4, 'l')),
                                        IsAvx2(at + 5, ' '));
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_and_si256(byv, al)));
}

// In place: the packed stores never pass the chunk just loaded.
std::size_t RemoveByValAvx2(char *text, std::size_t from, std::size_t size, std::size_t &decided)
{
    const PackTable &table = Pack();
    std::size_t r = from, w = from;
    std::uint32_t carry = 0;
    for (; r + 32 + kByValSize - 1 <= size; r += 32) {
        const std::uint64_t spans = ByValSpans(ByValStartsAvx2(text + r));
        const auto removed = static_cast<std::uint32_t>(spans) | carry;
        carry = static_cast<std::uint32_t>(spans >> 32);
        w += PackAvx2(table, LoadAvx2(text + r), removed, text + w);
    }
    return RemoveByValPlain(text, r, w, static_cast<std::size_t>(std::popcount(carry)), size, decided);
}

namespace avx2 {

struct Vectors
{
    static constexpr std::size_t kWidth = 32;
    static __m256i Splat(unsigned char c) { return _mm256_set1_epi8(static_cast<char>(c)); }
    static __m256i Load(const char *at) { return LoadAvx2(at); }
    static __m256i Or(__m256i a, __m256i b) { return _mm256_or_si256(a, b); }
    static std::uint32_t Equal(__m256i a, __m256i want)
    {
        return static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(a, want)));
    }
    static std::uint32_t BothEqual(__m256i a, __m256i wantA, __m256i b, __m256i wantB)
    {
        return static_cast<std::uint32_t>(
            _mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi8(a, wantA), _mm256_cmpeq_epi8(b, wantB))));
    }
};

#include "ByteScanPairSearch.inc" // NOLINT(readability-duplicate-include): once per instruction set

} // namespace avx2

TARNWELL_END_TARGET
#endif

#ifdef TARNWELL_AVX_KERNELS
TARNWELL_BEGIN_TARGET("avx512f,avx512bw,avx512vbmi2,popcnt")

inline __m512i Load512(const char *at)
{
    return _mm512_loadu_si512(at);
}

inline std::uint64_t Mask512(__m512i v, char c)
{
    return _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(c));
}

// Writes the bytes of `v` whose bit is set in `keep` to `out`, packed; gives how many. It stores
// 64 bytes from `out`.
inline std::size_t Pack512(__m512i v, std::uint64_t keep, char *out)
{
    _mm512_storeu_si512(out, _mm512_maskz_compress_epi8(keep, v));
    return static_cast<std::size_t>(std::popcount(keep));
}

std::size_t Compact512(const char *src, std::size_t n, char *out, bool &anyB)
{
    std::size_t d = 0;
    std::uint64_t bs = 0;
    std::size_t i = 0;
    for (; i + 64 <= n; i += 64) {
        const __m512i v = Load512(src + i);
        bs |= Mask512(v, 'B');
        d += Pack512(v, ~(Mask512(v, '\r') | Mask512(v, '\n') | Mask512(v, '\t')), out + d);
    }
    anyB = anyB || bs != 0;
    return d + CompactPlain(src + i, n - i, out + d, anyB);
}

std::size_t RemoveByVal512(char *text, std::size_t from, std::size_t size, std::size_t &decided)
{
    std::size_t r = from, w = from;
    std::uint64_t carry = 0;
    for (; r + 64 + kByValSize - 1 <= size; r += 64) {
        const std::uint64_t starts = Mask512(Load512(text + r), 'B') & Mask512(Load512(text + r + 1), 'y')
                                     & Mask512(Load512(text + r + 2), 'V') & Mask512(Load512(text + r + 3), 'a')
                                     & Mask512(Load512(text + r + 4), 'l') & Mask512(Load512(text + r + 5), ' ');
        // A "ByVal " begun in the last five places runs on into the next chunk.
        const std::uint64_t late = starts >> 59;
        const std::uint64_t removed = ByValSpans(starts) | carry;
        carry = late | late >> 1 | late >> 2 | late >> 3 | late >> 4;
        w += Pack512(Load512(text + r), ~removed, text + w);
    }
    return RemoveByValPlain(text, r, w, static_cast<std::size_t>(std::popcount(carry)), size, decided);
}

namespace avx512 {

struct Vectors
{
    static constexpr std::size_t kWidth = 64;
    static __m512i Splat(unsigned char c) { return _mm512_set1_epi8(static_cast<char>(c)); }
    static __m512i Load(const char *at) { return Load512(at); }
    static __m512i Or(__m512i a, __m512i b) { return _mm512_or_si512(a, b); }
    static std::uint64_t Equal(__m512i a, __m512i want) { return _mm512_cmpeq_epi8_mask(a, want); }
    static std::uint64_t BothEqual(__m512i a, __m512i wantA, __m512i b, __m512i wantB)
    {
        return _mm512_cmpeq_epi8_mask(a, wantA) & _mm512_cmpeq_epi8_mask(b, wantB);
    }
};

#include "ByteScanPairSearch.inc" // NOLINT(readability-duplicate-include): once per instruction set

} // namespace avx512

TARNWELL_END_TARGET

// Asked before the code above runs, so compiled for every processor.
bool ProcessorRunsAvx2()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
}

bool ProcessorRunsAvx512()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw")
           && __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("popcnt");
}
#endif

} // namespace

// The kernel sets. None reads past the end of its input; each compaction writes past the end of
// what it gives as much as its set says, within kStripSlack.
#ifdef TARNWELL_SSE2
// Every x86-64 processor runs SSE2. The compaction writes up to 16 bytes past what it gives.
static_assert(kStripSlack >= 16);
constinit const KernelSet kSse2Kernels{ByteKernel::Sse2, [] { return true; },           CompactSse2,
                                       RemoveByValSse2,  sse2::FindPair<sse2::Vectors>, sse2::FindByte<sse2::Vectors>};
#endif

#ifdef TARNWELL_AVX_KERNELS
// The compaction writes up to 8 bytes past what it gives.
static_assert(kStripSlack >= 8);
constinit const KernelSet kAvx2Kernels{ByteKernel::Avx2,
                                       ProcessorRunsAvx2,
                                       CompactAvx2,
                                       RemoveByValAvx2,
                                       avx2::FindPair<avx2::Vectors>,
                                       avx2::FindByte<avx2::Vectors>};

// The compaction writes up to 64 bytes past what it gives.
static_assert(kStripSlack >= 64);
constinit const KernelSet kAvx512Kernels{ByteKernel::Avx512,
                                         ProcessorRunsAvx512,
                                         Compact512,
                                         RemoveByVal512,
                                         avx512::FindPair<avx512::Vectors>,
                                         avx512::FindByte<avx512::Vectors>};
#endif

} // namespace tarnwell::bytescan
