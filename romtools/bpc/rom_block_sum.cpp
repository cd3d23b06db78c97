// Block sums and verdicts of ROM words, with the outcome of the BPC word operations.
#include "romtools/bpc/rom_block_sum.h"

#if defined(__SSE2__) && (defined(__x86_64__) || defined(_M_X64))
#define HPKIT_HAVE_SSE2 1
#include <emmintrin.h>
#endif
// AVX2 only where it is chosen at run time and its 32-byte vectors are safe:
// GCC on Windows may spill them to a stack that is only 16-byte aligned.
#if defined(HPKIT_HAVE_SSE2) && defined(__linux__) && (defined(__GNUC__) || defined(__clang__))
#define HPKIT_HAVE_AVX2 1
#include <immintrin.h>
#endif

namespace romtools {

namespace {

// checksum turns right by 3 positions before each word, by 2 more when that
// leaves bit 15 set.
constexpr uint32_t kChecksumRotation = 3;
constexpr uint32_t kChecksumExtraRotation = 2;
constexpr uint32_t kLow16 = 0xFFFF;

// checksum turned right by 3 positions, or by 5 when the 3-position turn sets
// bit 15 (bit 2 before the turn). The pattern is doubled into 32 bits so that one
// shift by a computed count turns it, with no jump.
inline uint32_t turn_checksum(uint32_t checksum) {
    const uint32_t doubled = checksum | (checksum << kBpcWordBits);
    const uint32_t extra = (checksum >> (kChecksumRotation - 1)) & 1;
    const uint32_t turn = kChecksumRotation + extra * kChecksumExtraRotation;
    return (doubled >> turn) & kLow16;
}

// A block's running sums, unsigned views.
struct Running {
    uint32_t verify = 0;
    uint32_t checksum = 0;
};

// The per-word steps of the BPC routine (add the word to verify, with
// end-around carry in normal mode; rotate checksum right by 3, or by 5 when the
// 3-position turn sets bit 15; add the word to checksum with end-around carry)
// on the unsigned views. The outcome is exactly that of bpc_signed_add and
// bpc_rar step by step; it is written without jumps because carries and
// rotations change word by word, and images run to hundreds of megabytes.
template <RomSumMode kMode> inline void sum_word(Running& r, uint32_t w) {
    const uint32_t v = r.verify + w;
    const uint32_t c = turn_checksum(r.checksum) + w;
    if constexpr (kMode == RomSumMode::normal) {
        r.verify = (v + (v >> kBpcWordBits)) & kLow16;
        r.checksum = (c + (c >> kBpcWordBits)) & kLow16;
    } else {
        r.verify = v & kLow16;
        // The carry of the verify add is still pending when the checksum
        // add begins and lands in checksum: the checksums on record were
        // computed that way. Both carries together add 1 once; a pending
        // carry on a sum of 0xFFFF carries once more.
        const uint32_t carry = (v | c) >> kBpcWordBits;
        const uint32_t once = (c & kLow16) + carry;
        r.checksum = (once + (once >> kBpcWordBits)) & kLow16;
    }
}

template <RomSumMode kMode>
void sum_words(Running& r, const unsigned char* bytes, size_t first, size_t end) {
    for (size_t j = first; j < end; ++j)
        sum_word<kMode>(r, get_be16(bytes + kBytesPerRomWord * j));
}

RomBlockSum signed_views(const Running& r) {
    RomBlockSum sum;
    sum.verify = static_cast<BpcWord>(bpc_signed_view(r.verify));
    sum.checksum = static_cast<BpcWord>(bpc_signed_view(r.checksum));
    return sum;
}

// Blocks whose chains the portable loop runs side by side.
constexpr size_t kScalarLanes = 4;

// Four blocks' chains interleaved word by word, each in its own variables so
// that they stay in registers.
template <RomSumMode kMode>
void scalar_sums(const unsigned char* bytes, size_t words, size_t blocks, RomBlockSum* sums) {
    const size_t stride = words * kBytesPerRomWord;
    size_t b = 0;
    for (; b + kScalarLanes <= blocks; b += kScalarLanes) {
        Running r0, r1, r2, r3;
        const unsigned char* p = bytes + b * stride;
        for (size_t j = 0; j < words; ++j, p += kBytesPerRomWord) {
            sum_word<kMode>(r0, get_be16(p));
            sum_word<kMode>(r1, get_be16(p + stride));
            sum_word<kMode>(r2, get_be16(p + 2 * stride));
            sum_word<kMode>(r3, get_be16(p + 3 * stride));
        }
        sums[b] = signed_views(r0);
        sums[b + 1] = signed_views(r1);
        sums[b + 2] = signed_views(r2);
        sums[b + 3] = signed_views(r3);
    }
    for (; b < blocks; ++b) {
        Running r;
        sum_words<kMode>(r, bytes + b * stride, 0, words);
        sums[b] = signed_views(r);
    }
}

#ifdef HPKIT_HAVE_SSE2
namespace sse2 {
#define HPKIT_LANE_TARGET
using Vec = __m128i;
constexpr size_t kLanes = 8;
inline Vec load_rows(const unsigned char* p, size_t stride, size_t row) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + row * stride));
}
inline void store(uint16_t* out, Vec x) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), x);
}
inline Vec set1_16(int v) {
    return _mm_set1_epi16(static_cast<short>(v));
}
inline Vec add16(Vec a, Vec b) {
    return _mm_add_epi16(a, b);
}
inline Vec adds_u16(Vec a, Vec b) {
    return _mm_adds_epu16(a, b);
}
inline Vec cmpeq16(Vec a, Vec b) {
    return _mm_cmpeq_epi16(a, b);
}
inline Vec vand(Vec a, Vec b) {
    return _mm_and_si128(a, b);
}
inline Vec vandnot(Vec a, Vec b) {
    return _mm_andnot_si128(a, b);
}
inline Vec vor(Vec a, Vec b) {
    return _mm_or_si128(a, b);
}
template <int N> inline Vec slli(Vec a) {
    return _mm_slli_epi16(a, N);
}
template <int N> inline Vec srli(Vec a) {
    return _mm_srli_epi16(a, N);
}
template <int N> inline Vec srai(Vec a) {
    return _mm_srai_epi16(a, N);
}
inline Vec unpacklo16(Vec a, Vec b) {
    return _mm_unpacklo_epi16(a, b);
}
inline Vec unpackhi16(Vec a, Vec b) {
    return _mm_unpackhi_epi16(a, b);
}
inline Vec unpacklo32(Vec a, Vec b) {
    return _mm_unpacklo_epi32(a, b);
}
inline Vec unpackhi32(Vec a, Vec b) {
    return _mm_unpackhi_epi32(a, b);
}
inline Vec unpacklo64(Vec a, Vec b) {
    return _mm_unpacklo_epi64(a, b);
}
inline Vec unpackhi64(Vec a, Vec b) {
    return _mm_unpackhi_epi64(a, b);
}
// Each lane's two bytes swapped: the image holds its words most significant
// byte first.
inline Vec swap_bytes(Vec x) {
    return vor(slli<8>(x), srli<8>(x));
}
#include "lane_kernel.inc"
#undef HPKIT_LANE_TARGET
} // namespace sse2
#endif

#ifdef HPKIT_HAVE_AVX2
namespace avx2 {
#define HPKIT_LANE_TARGET __attribute__((target("avx2")))
using Vec = __m256i;
constexpr size_t kLanes = 16;
// Row i: 8 words of block i in the low half, of block i + 8 in the high half.
// The unpack steps of the transpose work on each half alone, so lane i of
// the low half is block i and lane i of the high half block i + 8.
HPKIT_LANE_TARGET inline Vec load_rows(const unsigned char* p, size_t stride, size_t row) {
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + row * stride));
    const __m128i high =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + (row + kLanes / 2) * stride));
    return _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
}
HPKIT_LANE_TARGET inline void store(uint16_t* out, Vec x) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), x);
}
HPKIT_LANE_TARGET inline Vec set1_16(int v) {
    return _mm256_set1_epi16(static_cast<short>(v));
}
HPKIT_LANE_TARGET inline Vec add16(Vec a, Vec b) {
    return _mm256_add_epi16(a, b);
}
HPKIT_LANE_TARGET inline Vec adds_u16(Vec a, Vec b) {
    return _mm256_adds_epu16(a, b);
}
HPKIT_LANE_TARGET inline Vec cmpeq16(Vec a, Vec b) {
    return _mm256_cmpeq_epi16(a, b);
}
HPKIT_LANE_TARGET inline Vec vand(Vec a, Vec b) {
    return _mm256_and_si256(a, b);
}
HPKIT_LANE_TARGET inline Vec vandnot(Vec a, Vec b) {
    return _mm256_andnot_si256(a, b);
}
HPKIT_LANE_TARGET inline Vec vor(Vec a, Vec b) {
    return _mm256_or_si256(a, b);
}
template <int N> HPKIT_LANE_TARGET inline Vec slli(Vec a) {
    return _mm256_slli_epi16(a, N);
}
template <int N> HPKIT_LANE_TARGET inline Vec srli(Vec a) {
    return _mm256_srli_epi16(a, N);
}
template <int N> HPKIT_LANE_TARGET inline Vec srai(Vec a) {
    return _mm256_srai_epi16(a, N);
}
HPKIT_LANE_TARGET inline Vec unpacklo16(Vec a, Vec b) {
    return _mm256_unpacklo_epi16(a, b);
}
HPKIT_LANE_TARGET inline Vec unpackhi16(Vec a, Vec b) {
    return _mm256_unpackhi_epi16(a, b);
}
HPKIT_LANE_TARGET inline Vec unpacklo32(Vec a, Vec b) {
    return _mm256_unpacklo_epi32(a, b);
}
HPKIT_LANE_TARGET inline Vec unpackhi32(Vec a, Vec b) {
    return _mm256_unpackhi_epi32(a, b);
}
HPKIT_LANE_TARGET inline Vec unpacklo64(Vec a, Vec b) {
    return _mm256_unpacklo_epi64(a, b);
}
HPKIT_LANE_TARGET inline Vec unpackhi64(Vec a, Vec b) {
    return _mm256_unpackhi_epi64(a, b);
}
// Each lane's two bytes swapped (the image holds its words most significant
// byte first), in one byte shuffle.
HPKIT_LANE_TARGET inline Vec swap_bytes(Vec x) {
    const Vec pairs_swapped =
        _mm256_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14, 1, 0, 3, 2, 5, 4, 7,
                         6, 9, 8, 11, 10, 13, 12, 15, 14);
    return _mm256_shuffle_epi8(x, pairs_swapped);
}
#include "lane_kernel.inc"
#undef HPKIT_LANE_TARGET
} // namespace avx2

bool cpu_has_avx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
#endif

// The most lanes any path has.
constexpr size_t kMaxLanes = 16;
using GroupSum = void (*)(const unsigned char*, size_t, size_t, uint16_t*, uint16_t*);

// Sums groups of `lanes` blocks from block b on with `group_sum` over the
// words that fill whole 8-word steps, then finishes each block's last words
// with the scalar steps. Returns the first block not summed.
template <RomSumMode kMode>
size_t lane_sums(GroupSum group_sum, size_t lanes, size_t row_words, const unsigned char* bytes,
                 size_t words, size_t blocks, size_t b, RomBlockSum* sums) {
    const size_t stride = words * kBytesPerRomWord;
    const size_t whole = words - words % row_words;
    if (whole == 0)
        return b;
    uint16_t verify[kMaxLanes], checksum[kMaxLanes];
    for (; b + lanes <= blocks; b += lanes) {
        const unsigned char* group = bytes + b * stride;
        group_sum(group, stride, whole, verify, checksum);
        for (size_t i = 0; i < lanes; ++i) {
            Running r;
            r.verify = verify[i];
            r.checksum = checksum[i];
            sum_words<kMode>(r, group + i * stride, whole, words);
            sums[b + i] = signed_views(r);
        }
    }
    return b;
}

template <RomSumMode kMode>
void block_sums(const unsigned char* bytes, size_t words, size_t blocks, RomBlockSum* sums,
                RomSumPath path) {
    size_t b = 0;
#ifdef HPKIT_HAVE_AVX2
    if (path == RomSumPath::avx2)
        b = lane_sums<kMode>(avx2::sum_group<kMode>, avx2::kLanes, avx2::kRowWords, bytes, words,
                             blocks, b, sums);
#endif
#ifdef HPKIT_HAVE_SSE2
    // Also takes what is left after the 16-lane groups.
    if (path == RomSumPath::sse2 || path == RomSumPath::avx2)
        b = lane_sums<kMode>(sse2::sum_group<kMode>, sse2::kLanes, sse2::kRowWords, bytes, words,
                             blocks, b, sums);
#endif
    const size_t stride = words * kBytesPerRomWord;
    scalar_sums<kMode>(bytes + b * stride, words, blocks - b, sums + b);
}

} // namespace

bool rom_sum_path_available(RomSumPath path) {
    switch (path) {
    case RomSumPath::best:
    case RomSumPath::scalar:
        return true;
    case RomSumPath::sse2:
#ifdef HPKIT_HAVE_SSE2
        return true;
#else
        return false;
#endif
    case RomSumPath::avx2:
#ifdef HPKIT_HAVE_AVX2
        return cpu_has_avx2();
#else
        return false;
#endif
    }
    return false;
}

void rom_block_sums(const unsigned char* bytes, size_t words, size_t blocks, RomSumMode mode,
                    RomBlockSum* sums, RomSumPath path) {
    if (path == RomSumPath::best)
        path = rom_sum_path_available(RomSumPath::avx2)   ? RomSumPath::avx2
               : rom_sum_path_available(RomSumPath::sse2) ? RomSumPath::sse2
                                                          : RomSumPath::scalar;
    else if (!rom_sum_path_available(path))
        path = RomSumPath::scalar;
    if (mode == RomSumMode::normal)
        block_sums<RomSumMode::normal>(bytes, words, blocks, sums, path);
    else
        block_sums<RomSumMode::plain>(bytes, words, blocks, sums, path);
}

RomBlockSum rom_block_sum(const unsigned char* bytes, size_t words, RomSumMode mode) {
    Running r;
    if (mode == RomSumMode::normal)
        sum_words<RomSumMode::normal>(r, bytes, 0, words);
    else
        sum_words<RomSumMode::plain>(r, bytes, 0, words);
    return signed_views(r);
}

RomVerdict rom_verdict(const RomBlockSum& sum, RomSumMode mode) {
    if (sum.verify == -1)
        return RomVerdict::sound;
    if (sum.verify == 0 && mode == RomSumMode::plain)
        return RomVerdict::no_rom_present;
    return RomVerdict::corrupt;
}

} // namespace romtools
