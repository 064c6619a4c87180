#include "numeric/PhiloxStream.h"

// Random123's headers, unless the build says they do not compile there (the browser's:
// VELTRANO_RANDOM123=0).
#ifndef VELTRANO_RANDOM123
#define VELTRANO_RANDOM123 1
#endif
#if VELTRANO_RANDOM123
#include <Random123/philox.h>
#endif

#if VELTRANO_PHILOX_VECTORS
#include <immintrin.h>
#endif

namespace veltrano {

// Philox4x32-10's multipliers and the Weyl constants its key steps by.
constexpr std::uint32_t kM0 = 0xD2511F53u, kM1 = 0xCD9E8D57u;
constexpr std::uint32_t kWeyl0 = 0x9E3779B9u, kWeyl1 = 0xBB67AE85u;

PhiloxWords Philox4x32Rounds(const std::uint32_t (&counter)[4], const std::uint32_t (&key)[2]) noexcept {
  std::uint32_t x0 = counter[0], x1 = counter[1], x2 = counter[2], x3 = counter[3];
  std::uint32_t k0 = key[0], k1 = key[1];
  for (int round = 0; round < 10; ++round) {
    if (round > 0) {
      k0 += kWeyl0;
      k1 += kWeyl1;
    }
    const std::uint64_t p0 = std::uint64_t{kM0} * x0, p1 = std::uint64_t{kM1} * x2;
    const auto hi0 = static_cast<std::uint32_t>(p0 >> 32), lo0 = static_cast<std::uint32_t>(p0);
    const auto hi1 = static_cast<std::uint32_t>(p1 >> 32), lo1 = static_cast<std::uint32_t>(p1);
    x0 = hi1 ^ x1 ^ k0;
    x1 = lo1;
    x2 = hi0 ^ x3 ^ k1;
    x3 = lo0;
  }
  return {{x0, x1, x2, x3}};
}

#if VELTRANO_RANDOM123
PhiloxWords Philox4x32(const std::uint32_t (&counter)[4], const std::uint32_t (&key)[2]) noexcept {
  const r123::Philox4x32 philox;
  const r123::Philox4x32::ctr_type w =
      philox(r123::Philox4x32::ctr_type{{counter[0], counter[1], counter[2], counter[3]}},
             r123::Philox4x32::key_type{{key[0], key[1]}});
  return {{w.v[0], w.v[1], w.v[2], w.v[3]}};
}

void PhiloxBlocksPortable(const std::uint32_t (&key)[2], std::uint32_t r, std::uint32_t i, std::uint64_t first,
                          std::uint32_t* out) noexcept {
  const r123::Philox4x32 philox;
  const r123::Philox4x32::key_type k = {{key[0], key[1]}};
  r123::Philox4x32::ctr_type c = {{static_cast<std::uint32_t>(first), static_cast<std::uint32_t>(first >> 32), r, i}};
  for (int b = 0; b < PhiloxStream::kBlocks; ++b, ++c.v[0]) {
    const r123::Philox4x32::ctr_type w = philox(c, k);
    for (int j = 0; j < 4; ++j) out[4 * b + j] = w.v[j];
  }
}
#else
PhiloxWords Philox4x32(const std::uint32_t (&counter)[4], const std::uint32_t (&key)[2]) noexcept {
  return Philox4x32Rounds(counter, key);
}

void PhiloxBlocksPortable(const std::uint32_t (&key)[2], std::uint32_t r, std::uint32_t i, std::uint64_t first,
                          std::uint32_t* out) noexcept {
  std::uint32_t c[4] = {static_cast<std::uint32_t>(first), static_cast<std::uint32_t>(first >> 32), r, i};
  for (int b = 0; b < PhiloxStream::kBlocks; ++b, ++c[0]) {
    const PhiloxWords w = Philox4x32Rounds(c, key);
    for (int j = 0; j < 4; ++j) out[4 * b + j] = w.w[j];
  }
}
#endif

#if VELTRANO_PHILOX_VECTORS
// Several counters at once in the 64-bit lanes of vectors: word j of the block in lane b
// lies in the low half of lane b of x[j]. A round is Random123's: (hi, lo) of M0·x0 and
// M1·x2, then x = (hi1 ^ x1 ^ k0, lo1, hi0 ^ x3 ^ k1, lo0), and the key steps by the Weyl
// constants. mul_epu32 multiplies the low halves of the lanes into 64-bit products, whose
// low half is lo and whose high half, shifted down, is hi. The high halves of the lanes are
// left holding whatever they get: they only ever reach high halves, which the next
// multiplication ignores and the store drops. A round of one group waits on the one before
// (a multiplication's latency), so groups go through the rounds side by side.

namespace {

struct FourCounters {
  __m256i x[4];
};

[[gnu::target("avx2")]] inline FourCounters FirstFour(std::uint64_t first, std::uint32_t r, std::uint32_t i) noexcept {
  const auto lo = static_cast<long long>(static_cast<std::uint32_t>(first));
  return {{_mm256_add_epi64(_mm256_set1_epi64x(lo), _mm256_setr_epi64x(0, 1, 2, 3)),
           _mm256_set1_epi64x(static_cast<long long>(first >> 32)), _mm256_set1_epi64x(r), _mm256_set1_epi64x(i)}};
}

[[gnu::target("avx2")]] inline void Round(FourCounters& c, __m256i k0, __m256i k1) noexcept {
  const __m256i p0 = _mm256_mul_epu32(c.x[0], _mm256_set1_epi64x(kM0));
  const __m256i p1 = _mm256_mul_epu32(c.x[2], _mm256_set1_epi64x(kM1));
  c.x[0] = _mm256_xor_si256(_mm256_xor_si256(_mm256_srli_epi64(p1, 32), c.x[1]), k0);
  c.x[1] = p1;
  c.x[2] = _mm256_xor_si256(_mm256_xor_si256(_mm256_srli_epi64(p0, 32), c.x[3]), k1);
  c.x[3] = p0;
}

// The low halves in stream order: words 0 and 1, and 2 and 3, of each block side by side,
// then each block's four words together, then the blocks in order.
[[gnu::target("avx2")]] inline void Store(const FourCounters& c, std::uint32_t* out) noexcept {
  const __m256i w01 = _mm256_blend_epi32(c.x[0], _mm256_slli_epi64(c.x[1], 32), 0xAA);
  const __m256i w23 = _mm256_blend_epi32(c.x[2], _mm256_slli_epi64(c.x[3], 32), 0xAA);
  const __m256i b02 = _mm256_unpacklo_epi64(w01, w23), b13 = _mm256_unpackhi_epi64(w01, w23);
  auto* v = reinterpret_cast<__m256i*>(out);
  _mm256_store_si256(v, _mm256_permute2x128_si256(b02, b13, 0x20));
  _mm256_store_si256(v + 1, _mm256_permute2x128_si256(b02, b13, 0x31));
}

// GCC 12's plain AVX-512 intrinsics start from an undefined vector that its own
// -Wuninitialized then warns of; their forms with a mask of every lane and a zero source
// (maskz, mask kAll) are the same instructions without it.
constexpr __mmask8 kAll = 0xFF;
struct EightCounters {
  __m512i x[4];
};

[[gnu::target("avx512f")]] inline EightCounters FirstEight(std::uint64_t first, std::uint32_t r,
                                                           std::uint32_t i) noexcept {
  const auto lo = static_cast<long long>(static_cast<std::uint32_t>(first));
  return {{_mm512_add_epi64(_mm512_set1_epi64(lo), _mm512_setr_epi64(0, 1, 2, 3, 4, 5, 6, 7)),
           _mm512_set1_epi64(static_cast<long long>(first >> 32)), _mm512_set1_epi64(r), _mm512_set1_epi64(i)}};
}

[[gnu::target("avx512f")]] inline void Round(EightCounters& c, __m512i k0, __m512i k1) noexcept {
  constexpr int kXor3 = 0x96;  // ternary logic: a ^ b ^ c
  const __m512i p0 = _mm512_maskz_mul_epu32(kAll, c.x[0], _mm512_set1_epi64(kM0));
  const __m512i p1 = _mm512_maskz_mul_epu32(kAll, c.x[2], _mm512_set1_epi64(kM1));
  c.x[0] = _mm512_ternarylogic_epi64(_mm512_maskz_srli_epi64(kAll, p1, 32), c.x[1], k0, kXor3);
  c.x[1] = p1;
  c.x[2] = _mm512_ternarylogic_epi64(_mm512_maskz_srli_epi64(kAll, p0, 32), c.x[3], k1, kXor3);
  c.x[3] = p0;
}

[[gnu::target("avx512f")]] inline void Store(const EightCounters& c, std::uint32_t* out) noexcept {
  const __m512i w01 = _mm512_mask_blend_epi32(0xAAAA, c.x[0], _mm512_maskz_slli_epi64(kAll, c.x[1], 32));
  const __m512i w23 = _mm512_mask_blend_epi32(0xAAAA, c.x[2], _mm512_maskz_slli_epi64(kAll, c.x[3], 32));
  // Blocks 0, 2, 4, 6 and 1, 3, 5, 7, one to each 128-bit quarter; then interleaved.
  const __m512i even = _mm512_maskz_unpacklo_epi64(kAll, w01, w23), odd = _mm512_maskz_unpackhi_epi64(kAll, w01, w23);
  _mm512_store_si512(out, _mm512_permutex2var_epi64(even, _mm512_setr_epi64(0, 1, 8, 9, 2, 3, 10, 11), odd));
  _mm512_store_si512(out + 16, _mm512_permutex2var_epi64(even, _mm512_setr_epi64(4, 5, 12, 13, 6, 7, 14, 15), odd));
}

}  // namespace

[[gnu::target("avx512f")]] void PhiloxBlocksAvx512(const std::uint32_t (&key)[2], std::uint32_t r, std::uint32_t i,
                                                   std::uint64_t first, std::uint32_t* out) noexcept {
  constexpr int kGroups = PhiloxStream::kBlocks / 8;
  EightCounters g[kGroups];
  for (int j = 0; j < kGroups; ++j) g[j] = FirstEight(first + 8 * static_cast<std::uint64_t>(j), r, i);
  __m512i k0 = _mm512_set1_epi64(key[0]), k1 = _mm512_set1_epi64(key[1]);
  for (int round = 0; round < 10; ++round) {
    for (EightCounters& c : g) Round(c, k0, k1);
    k0 = _mm512_add_epi64(k0, _mm512_set1_epi64(kWeyl0));  // a carry out of the low half is never read
    k1 = _mm512_add_epi64(k1, _mm512_set1_epi64(kWeyl1));
  }
  for (int j = 0; j < kGroups; ++j) Store(g[j], out + 32 * j);
}

[[gnu::target("avx2")]] void PhiloxBlocksAvx2(const std::uint32_t (&key)[2], std::uint32_t r, std::uint32_t i,
                                              std::uint64_t first, std::uint32_t* out) noexcept {
  constexpr int kGroups = PhiloxStream::kBlocks / 4;
  FourCounters g[kGroups];
  for (int j = 0; j < kGroups; ++j) g[j] = FirstFour(first + 4 * static_cast<std::uint64_t>(j), r, i);
  __m256i k0 = _mm256_set1_epi64x(key[0]), k1 = _mm256_set1_epi64x(key[1]);
  for (int round = 0; round < 10; ++round) {
    for (FourCounters& c : g) Round(c, k0, k1);
    k0 = _mm256_add_epi64(k0, _mm256_set1_epi64x(kWeyl0));
    k1 = _mm256_add_epi64(k1, _mm256_set1_epi64x(kWeyl1));
  }
  for (int j = 0; j < kGroups; ++j) Store(g[j], out + 16 * j);
}

// The blocks of a refill: compiled for AVX-512, for AVX2 and for any processor, the program
// runs the best its processor can, asking the processor once (its features do not change).
// The choice is made by a call, not by the loader's indirect functions, which Windows and
// macOS do not have.
using BlocksFunction = void (*)(const std::uint32_t (&)[2], std::uint32_t, std::uint32_t, std::uint64_t,
                                std::uint32_t*) noexcept;

BlocksFunction BestBlocks() noexcept {
  if (__builtin_cpu_supports("avx512f")) return PhiloxBlocksAvx512;
  if (__builtin_cpu_supports("avx2")) return PhiloxBlocksAvx2;
  return PhiloxBlocksPortable;
}

void PhiloxBlocks(const std::uint32_t (&key)[2], std::uint32_t r, std::uint32_t i, std::uint64_t first,
                  std::uint32_t* out) noexcept {
  static const BlocksFunction best = BestBlocks();
  best(key, r, i, first, out);
}
#else
void PhiloxBlocks(const std::uint32_t (&key)[2], std::uint32_t r, std::uint32_t i, std::uint64_t first,
                  std::uint32_t* out) noexcept {
  PhiloxBlocksPortable(key, r, i, first, out);
}
#endif

void PhiloxStream::Refill() noexcept {
  PhiloxBlocks(key_, replication_, condition_, block_, words_);
  block_ += kBlocks;
  next_ = 0;
}

}  // namespace veltrano
