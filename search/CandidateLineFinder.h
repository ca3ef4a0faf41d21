// Finding the lines of a chart that may be header lines: a line start
// followed by '#' and the first letter of one of the tags.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "search/HeaderTags.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace tamboro {

// The first letters of a list of tags, in the forms each finder tests.
struct TagInitials {
    // Indexed by byte: a tag's first letter in either case.
    std::array<bool, 256> isInitial{};
    // The distinct first letters, lower case.
    std::array<char, 26> lower{};
    std::size_t count = 0;
    // A byte b is a first letter when byLowNibble[b & 15] & byHighNibble[b >> 4]
    // is not zero: the bit taken from the high nibble says which half of the
    // alphabet (0x41-0x4F and 0x61-0x6F, or 0x50-0x5A and 0x70-0x7A) the
    // low nibble's bits are for.
    std::array<uint8_t, 16> byLowNibble{};
    std::array<uint8_t, 16> byHighNibble{};
};

template <std::size_t N>
constexpr TagInitials MakeTagInitials(const std::array<TagSpec, N>& tags)
{
    TagInitials initials;
    for (const TagSpec& tag : tags) {
        const char letter = tag.text[1];
        const char lower = letter >= 'A' && letter <= 'Z' ? static_cast<char>(letter + ('a' - 'A')) : letter;
        const char upper = static_cast<char>(lower - ('a' - 'A'));
        if (initials.isInitial[static_cast<unsigned char>(lower)])
            continue;
        initials.isInitial[static_cast<unsigned char>(lower)] = true;
        initials.isInitial[static_cast<unsigned char>(upper)] = true;
        initials.lower[initials.count++] = lower;
        const auto byte = static_cast<unsigned char>(lower);
        initials.byLowNibble[byte & 15] |= static_cast<uint8_t>(byte >= 0x70 ? 2 : 1);
    }
    initials.byHighNibble[4] = initials.byHighNibble[6] = 1;
    initials.byHighNibble[5] = initials.byHighNibble[7] = 2;
    return initials;
}

// The first letters of kHeaderTags.
inline constexpr TagInitials kHeaderTagInitials = MakeTagInitials(kHeaderTags);

// Each finder returns the first position p >= from + 1 with buf[p - 1] a LF,
// buf[p] '#' and buf[p + 1] one of `Initials`, or `end` when there is none
// with p + 1 < end. Chart data lines start with '#' and a digit, so this
// passes over nearly every line without looking at it one by one.
template <const TagInitials& Initials>
std::size_t FindCandidateLineScalar(const char* buf, std::size_t i, std::size_t end)
{
    for (; i + 2 < end; ++i) {
        if (buf[i] == '\n' && buf[i + 1] == '#' && Initials.isInitial[static_cast<unsigned char>(buf[i + 2])])
            return i + 1;
    }
    return end;
}

#if defined(__SSE2__)
// Bytes equal to one of the first letters: each compared in turn, with the
// case bit set (which maps a letter, and only it, to its lower case).
template <const TagInitials& Initials, std::size_t... K>
inline __m128i InitialBytesSse2(__m128i bytes, std::index_sequence<K...>)
{
    const __m128i lower = _mm_or_si128(bytes, _mm_set1_epi8(0x20));
    return (_mm_setzero_si128() | ... | _mm_cmpeq_epi8(lower, _mm_set1_epi8(Initials.lower[K])));
}
#endif

template <const TagInitials& Initials>
std::size_t FindCandidateLineSse2(const char* buf, std::size_t from, std::size_t end)
{
    std::size_t i = from;
#if defined(__SSE2__)
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i hash = _mm_set1_epi8('#');
    while (i + 16 + 2 <= end) {
        const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(buf + i));
        const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(buf + i + 1));
        const __m128i b2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(buf + i + 2));
        const __m128i initial = InitialBytesSse2<Initials>(b2, std::make_index_sequence<Initials.count>());
        const __m128i hit = _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(b0, lf), _mm_cmpeq_epi8(b1, hash)), initial);
        const int mask = _mm_movemask_epi8(hit);
        if (mask != 0)
            return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask))) + 1;
        i += 16;
    }
#endif
    return FindCandidateLineScalar<Initials>(buf, i, end);
}

#if defined(__x86_64__)
// Up to this many first letters are compared one by one; more are looked up
// by their two nibbles, which costs the same for any number of letters.
inline constexpr std::size_t kMostInitialsCompared = 4;

template <const TagInitials& Initials, std::size_t... K>
__attribute__((target("avx2"), always_inline)) inline __m256i InitialBytesAvx2(__m256i bytes, std::index_sequence<K...>)
{
    if constexpr (sizeof...(K) <= kMostInitialsCompared) {
        const __m256i lower = _mm256_or_si256(bytes, _mm256_set1_epi8(0x20));
        return (_mm256_setzero_si256() | ... | _mm256_cmpeq_epi8(lower, _mm256_set1_epi8(Initials.lower[K])));
    } else {
        const __m256i byLow =
            _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(Initials.byLowNibble.data())));
        const __m256i byHigh = _mm256_broadcastsi128_si256(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(Initials.byHighNibble.data())));
        // A byte of 0x80 or more looks up zero by its low nibble already.
        const __m256i high = _mm256_and_si256(_mm256_srli_epi16(bytes, 4), _mm256_set1_epi8(0x0F));
        const __m256i bits = _mm256_and_si256(_mm256_shuffle_epi8(byLow, bytes), _mm256_shuffle_epi8(byHigh, high));
        return _mm256_xor_si256(_mm256_cmpeq_epi8(bits, _mm256_setzero_si256()), _mm256_set1_epi8(-1));
    }
}

// Bit k set: p[k] is a LF followed by '#' and a first letter.
template <const TagInitials& Initials>
__attribute__((target("avx2"), always_inline)) inline uint32_t CandidateMask32(const char* p)
{
    const __m256i b0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i b1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 1));
    const __m256i b2 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 2));
    const __m256i initial = InitialBytesAvx2<Initials>(b2, std::make_index_sequence<Initials.count>());
    const __m256i lineStart =
        _mm256_and_si256(_mm256_cmpeq_epi8(b0, _mm256_set1_epi8('\n')), _mm256_cmpeq_epi8(b1, _mm256_set1_epi8('#')));
    return static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_and_si256(lineStart, initial)));
}

template <const TagInitials& Initials>
__attribute__((target("avx2"))) std::size_t FindCandidateLineAvx2(const char* buf, std::size_t from, std::size_t end)
{
    std::size_t i = from;
    while (i + 64 + 2 <= end) {
        const uint64_t mask =
            CandidateMask32<Initials>(buf + i) | (static_cast<uint64_t>(CandidateMask32<Initials>(buf + i + 32)) << 32);
        if (mask != 0)
            return i + static_cast<std::size_t>(__builtin_ctzll(mask)) + 1;
        i += 64;
    }
    return FindCandidateLineScalar<Initials>(buf, i, end);
}
#endif

using FindCandidateFn = std::size_t (*)(const char*, std::size_t, std::size_t);

// The fastest finder this processor runs: AVX2 where it has it, else SSE2.
template <const TagInitials& Initials>
FindCandidateFn ChooseFindCandidate()
{
#if defined(__x86_64__)
    if (__builtin_cpu_supports("avx2"))
        return FindCandidateLineAvx2<Initials>;
#endif
    return FindCandidateLineSse2<Initials>;
}

}  // namespace tamboro
