#pragma once
// The uniform stream of one replication of a study: Philox4x32-10, the counter-based
// generator of Salmon, Moraes, Dror & Shaw ("Parallel random numbers: as easy as 1, 2, 3",
// SC 2011), as Random123 defines it.
//
// Philox4x32-10 is a keyed bijection of a 128-bit counter (four 32-bit words) made of ten
// rounds of two 32 × 32 → 64-bit multiplications. Its authors found its output over
// consecutive counters to pass TestU01's BigCrush under many keys and counter patterns, and
// distinct counters under one key give distinct outputs. So a stream
// needs no state but its key and its counter:
//
//   key     = (S mod 2^32, S div 2^32)                 the 64-bit study seed S
//   counter = (b mod 2^32, b div 2^32, r, i)           block b = 0, 1, 2, ... of replication r
//                                                      of condition i
//
// Block b gives four 32-bit words w0..w3, and draw 4b + j of the stream is u = w_j · 2^-32:
// like the linear congruential generator's, every draw is an integer multiple of 2^-32 in
// [0, 1), so the arithmetic that turns draws into choices stays exact. Each (S, i, r) has a
// stream of its own of 2^66 draws that no other replication, condition or study seed shares,
// and draw d of it is computed from (S, i, r, d) alone: replications can be made in any order
// on any thread, and any one of them again on its own.
//
// Blocks are computed sixteen at a time, with AVX-512 or AVX2 where the processor has them
// (several counters in the lanes of vectors), otherwise by Random123's own function; all give
// the same words. Not on Windows, whose compilers (MinGW's GCC) keep only 16-byte alignment
// of the stack for the 32- and 64-byte vectors they spill there.
#include <cstdint>

#if defined(__x86_64__) && !defined(_WIN32)
#define VELTRANO_PHILOX_VECTORS 1
#else
#define VELTRANO_PHILOX_VECTORS 0
#endif

namespace veltrano {

/// One Philox4x32-10 block: the four words of counter c under key k.
struct PhiloxWords {
  std::uint32_t w[4];
};
PhiloxWords Philox4x32(const std::uint32_t (&counter)[4], const std::uint32_t (&key)[2]) noexcept;
/// The same block by the ten rounds written out here: where Random123's headers do not
/// compile (the browser's build), this is the generator.
PhiloxWords Philox4x32Rounds(const std::uint32_t (&counter)[4], const std::uint32_t (&key)[2]) noexcept;

/// Blocks first .. first + PhiloxStream::kBlocks − 1 (first a multiple of kBlocks, so the
/// low counter word does not carry among them) of replication r of condition i under key,
/// their words in stream order into out (aligned to 64 bytes). A stream runs the variant
/// its processor can; each is here for the tests, on processors that have its instructions.
void PhiloxBlocksPortable(const std::uint32_t (&key)[2], std::uint32_t r, std::uint32_t i, std::uint64_t first,
                          std::uint32_t* out) noexcept;
#if VELTRANO_PHILOX_VECTORS
void PhiloxBlocksAvx2(const std::uint32_t (&key)[2], std::uint32_t r, std::uint32_t i, std::uint64_t first,
                      std::uint32_t* out) noexcept;
void PhiloxBlocksAvx512(const std::uint32_t (&key)[2], std::uint32_t r, std::uint32_t i, std::uint64_t first,
                        std::uint32_t* out) noexcept;
#endif

class PhiloxStream {
public:
  /// The stream of replication r of condition i of the study seeded S.
  PhiloxStream(std::uint64_t S, std::uint32_t i, std::uint32_t r) noexcept
      : key_{static_cast<std::uint32_t>(S), static_cast<std::uint32_t>(S >> 32)}, replication_(r), condition_(i) {}

  double Draw() noexcept {
    if (next_ == kWords) Refill();
    return static_cast<double>(words_[next_++]) * 0x1p-32;
  }

  /// The draws taken so far.
  std::uint64_t Draws() const noexcept { return 4 * block_ - (kWords - next_); }

  /// The next raw 32-bit word (the draw times 2^32), for tests of the stream itself.
  std::uint32_t NextWord() noexcept {
    if (next_ == kWords) Refill();
    return words_[next_++];
  }

  static constexpr int kBlocks = 16;  // blocks computed at a time

private:
  static constexpr int kWords = 4 * kBlocks;
  void Refill() noexcept;

  std::uint32_t key_[2];
  std::uint32_t replication_;
  std::uint32_t condition_;
  std::uint64_t block_ = 0;  // the next block to compute
  int next_ = kWords;        // the next word of words_ to hand out
  alignas(64) std::uint32_t words_[kWords];
};

}  // namespace veltrano
