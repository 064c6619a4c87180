#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <sys/resource.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "simulation/TVector.h"

namespace veltrano {
namespace {

std::vector<double> Values(const TVector& v) {
  std::vector<double> out;
  for (int i = 1; i <= v.NrOfElem(); ++i) out.push_back(v.GetVal(i));
  return out;
}

TEST(TVector, CreateHoldsOneZeroAndIsEmpty) {
  TVector v;
  EXPECT_EQ(v.NrOfElem(), 1);
  EXPECT_EQ(v.GetVal(1), 0);
  EXPECT_TRUE(v.IsEmpty());
}

TEST(TVector, ResizeKeepsValuesAndIgnoresNonPositiveOrSameSizes) {
  TVector v;
  int changes = 0;
  v.OnChange = [&](TVector&) { ++changes; };
  v.SetNrOfElem(3);
  v.SetVal(1, 5);
  v.SetVal(3, 7);
  v.SetNrOfElem(0);
  v.SetNrOfElem(-2);
  v.SetNrOfElem(3);
  EXPECT_EQ(changes, 3);  // one resize, two stores
  v.SetNrOfElem(40);  // past the inline storage
  EXPECT_EQ(v.GetVal(3), 7);
  EXPECT_EQ(v.GetVal(40), 0);
  v.SetNrOfElem(2);
  EXPECT_EQ(Values(v), (std::vector<double>{5, 0}));
  EXPECT_EQ(changes, 5);
}

TEST(TVector, OutOfRangeElementsAreIgnored) {
  TVector v;
  int changes = 0;
  v.OnChange = [&](TVector&) { ++changes; };
  v.SetVal(0, 1);
  v.SetVal(2, 1);
  EXPECT_TRUE(v.IsEmpty());
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(v.GetVal(0), 0);
  EXPECT_EQ(v.GetVal(-1), 0);
}

TEST(TVector, CombSortCountsEveryExchange) {
  TVector v;
  v.SetNrOfElem(3);
  v.SetVal(1, 3);
  v.SetVal(2, 2);
  v.SetVal(3, 1);
  int exchanges = 0, changes = 0;
  v.OnSortExchange = [&](TVector&) { ++exchanges; };
  v.OnChange = [&](TVector&) { ++changes; };
  v.SortElems(true, 1, 3);
  // gap 2/1.3 → 1: (3,2,1) → (2,3,1) → (2,1,3); again → (1,2,3); a clean pass ends it.
  EXPECT_EQ(Values(v), (std::vector<double>{1, 2, 3}));
  EXPECT_EQ(exchanges, 3);
  EXPECT_EQ(changes, 1);
  v.SortElems(false, 3, 1);  // bounds given in reverse
  EXPECT_EQ(Values(v), (std::vector<double>{3, 2, 1}));
}

TEST(TVector, SortRangeIsClampedAndShortRangesAreLeftAlone) {
  TVector v;
  v.SetNrOfElem(5);
  const double in[] = {5, 4, 3, 2, 1};
  for (int i = 1; i <= 5; ++i) v.SetVal(i, in[i - 1]);
  int changes = 0;
  v.OnChange = [&](TVector&) { ++changes; };
  v.SortElems(true, 4, 4);
  v.SortElems(true, 9, 5);  // clamped to 5..5
  EXPECT_EQ(changes, 0);
  v.SortElems(true, -3, 3);  // clamped to 1..3
  EXPECT_EQ(Values(v), (std::vector<double>{3, 4, 5, 2, 1}));
  EXPECT_EQ(changes, 1);
}

TEST(TVector, SortsLongVectorsWithTiesAndDescending) {
  TVector v;
  v.SetNrOfElem(100);
  for (int i = 1; i <= 100; ++i) v.SetVal(i, (i * 37) % 11);
  v.SortElems(true, 1, 100);
  for (int i = 1; i < 100; ++i) ASSERT_LE(v.GetVal(i), v.GetVal(i + 1));
  v.SortElems(false, 1, 100);
  for (int i = 1; i < 100; ++i) ASSERT_GE(v.GetVal(i), v.GetVal(i + 1));
}

#if defined(__SANITIZE_ADDRESS__)
#define VELTRANO_ADDRESS_LIMITS_WORK 0
#else
#define VELTRANO_ADDRESS_LIMITS_WORK 1
#endif

// In a process with a 256 MiB address space, a vector of 2^28 doubles (2 GiB) cannot
// be had; exits 0 when the error names the component as it should.
[[noreturn]] void GrowBeyondTheAddressSpace() {
  const rlimit limit{256u << 20, 256u << 20};
  setrlimit(RLIMIT_AS, &limit);
  TVector v(nullptr, "Choice");
  try {
    v.SetNrOfElem(1 << 28);
  } catch (const ESDLVectorError& e) {
    std::exit(std::string(e.what()) == "Component \"Choice\": not enough memory" ? 0 : 2);
  }
  std::exit(3);
}

TEST(TVector, OutOfMemoryNamesTheComponent) {
  if (!VELTRANO_ADDRESS_LIMITS_WORK) GTEST_SKIP() << "address-space limits do not apply under the sanitizer";
  EXPECT_EXIT(GrowBeyondTheAddressSpace(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace veltrano
