// The study's stream: Philox4x32-10 as Random123 publishes it, and the stream's layout of
// key and counter, draw by draw across the blocks computed at a time.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "numeric/PhiloxStream.h"

namespace veltrano {
namespace {

// Random123's known-answer vectors for philox4x32 with 10 rounds (kat_vectors).
TEST(Philox4x32, KnownAnswers) {
  struct Case {
    std::uint32_t counter[4], key[2], words[4];
  };
  const Case cases[] = {
      {{0, 0, 0, 0}, {0, 0}, {0x6627e8d5, 0xe169c58d, 0xbc57ac4c, 0x9b00dbd8}},
      {{0xffffffff, 0xffffffff, 0xffffffff, 0xffffffff},
       {0xffffffff, 0xffffffff},
       {0x408f276d, 0x41c83b0e, 0xa20bc7c6, 0x6d5451fd}},
      {{0x243f6a88, 0x85a308d3, 0x13198a2e, 0x03707344},
       {0xa4093822, 0x299f31d0},
       {0xd16cfe09, 0x94fdcceb, 0x5001e420, 0x24126ea1}},
  };
  for (const Case& c : cases) {
    const PhiloxWords w = Philox4x32(c.counter, c.key), rounds = Philox4x32Rounds(c.counter, c.key);
    for (int j = 0; j < 4; ++j) {
      EXPECT_EQ(w.w[j], c.words[j]) << std::hex << c.counter[0] << " word " << j;
      EXPECT_EQ(rounds.w[j], c.words[j]) << "rounds written out: " << std::hex << c.counter[0] << " word " << j;
    }
  }
}

// Draw 4b + j of replication r of condition i under study seed S is word j of the block
// at counter (b, 0, r, i) under key (S low, S high), times 2^-32; over several refills,
// for seeds whose two halves differ.
TEST(PhiloxStream, DrawsAreTheWordsOfConsecutiveCountersInOrder) {
  for (const std::uint64_t S : {std::uint64_t{0}, std::uint64_t{20261210}, std::uint64_t{0xfedcba9876543210}}) {
    const std::uint32_t i = 7, r = 123456;
    const std::uint32_t key[2] = {static_cast<std::uint32_t>(S), static_cast<std::uint32_t>(S >> 32)};
    PhiloxStream stream(S, i, r);
    PhiloxStream words(S, i, r);
    for (std::uint32_t b = 0; b < 5 * PhiloxStream::kBlocks + 3; ++b) {
      const std::uint32_t counter[4] = {b, 0, r, i};
      const PhiloxWords w = Philox4x32(counter, key);
      for (int j = 0; j < 4; ++j) {
        ASSERT_EQ(stream.Draw(), w.w[j] * 0x1p-32) << S << " block " << b << " word " << j;
        ASSERT_EQ(words.NextWord(), w.w[j]);
      }
    }
    EXPECT_EQ(stream.Draws(), 4u * (5 * PhiloxStream::kBlocks + 3));
  }
}

// Every way of computing a refill that this processor can run gives Random123's words, for
// a block number whose high word is used and a low word near its wrap.
TEST(PhiloxStream, EveryVariantGivesRandom123sWords) {
  using Blocks = void (*)(const std::uint32_t(&)[2], std::uint32_t, std::uint32_t, std::uint64_t,
                          std::uint32_t*) noexcept;
  std::vector<std::pair<const char*, Blocks>> variants = {{"portable", PhiloxBlocksPortable}};
#if VELTRANO_PHILOX_VECTORS
  if (__builtin_cpu_supports("avx2")) variants.emplace_back("avx2", PhiloxBlocksAvx2);
  if (__builtin_cpu_supports("avx512f")) variants.emplace_back("avx512f", PhiloxBlocksAvx512);
#endif
  const std::uint32_t key[2] = {0x01234567, 0x89abcdef};
  for (const std::uint64_t first : {std::uint64_t{0}, (std::uint64_t{5} << 32) + 0x100000000 - PhiloxStream::kBlocks}) {
    for (const auto& [name, blocks] : variants) {
      alignas(64) std::uint32_t out[4 * PhiloxStream::kBlocks];
      blocks(key, 99, 4000000000u, first, out);
      for (int b = 0; b < PhiloxStream::kBlocks; ++b) {
        const std::uint64_t block = first + static_cast<std::uint64_t>(b);
        const std::uint32_t counter[4] = {static_cast<std::uint32_t>(block), static_cast<std::uint32_t>(block >> 32),
                                          99, 4000000000u};
        const PhiloxWords w = Philox4x32(counter, key);
        for (int j = 0; j < 4; ++j) ASSERT_EQ(out[4 * b + j], w.w[j]) << name << " block " << block << " word " << j;
      }
    }
  }
}

}  // namespace
}  // namespace veltrano
