#include "simulation/TVector.h"

#include <cstdlib>
#include <cstring>
#include <utility>

#include "numeric/Extended.h"

namespace veltrano {
namespace {

// The comb sort's shrink factor, 1.3 in the extended type: 0xA666666666666666 · 2^−63.
constexpr Extended kCombShrink = ExtendedFromBits(0x3FFF, 0xA666666666666666);
#if VELTRANO_EXTENDED_IS_LONG_DOUBLE
static_assert(kCombShrink == 1.3L);
#endif

}  // namespace

void TVector::FreeDeleter::operator()(double* p) const noexcept { std::free(p); }

TVector::TVector(const void* /*AOwner*/, std::string Name) : FVec(inline_), name_(std::move(Name)) {}

void TVector::SetNrOfElem(std::int32_t m) {
  if (m <= 0 || m == FNElem) return;
  const std::int32_t kept = m < FNElem ? m : FNElem;
  if (m <= kInline) {
    if (FVec != inline_) std::memcpy(inline_, FVec, sizeof(double) * static_cast<std::size_t>(kept));
    for (std::int32_t i = kept; i < m; ++i) inline_[i] = 0;
    heap_.reset();
    FVec = inline_;
  } else {
    auto* p = static_cast<double*>(std::calloc(static_cast<std::size_t>(m), sizeof(double)));
    if (p == nullptr) throw ESDLVectorError("Component \"" + name_ + "\": not enough memory");
    std::memcpy(p, FVec, sizeof(double) * static_cast<std::size_t>(kept));
    heap_.reset(p);
    FVec = p;
  }
  FNElem = m;
  Changed();
}

void TVector::SetVal(std::int32_t Elem, double Value) {
  if (Elem < 1 || Elem > FNElem) return;
  FVec[Elem - 1] = Value;
  FIsEmpty = false;
  Changed();
}

void TVector::SortElems(bool Ascending, std::int32_t RangeFirst, std::int32_t RangeLast) {
  if (RangeFirst > RangeLast) std::swap(RangeFirst, RangeLast);
  if (RangeFirst < 1) RangeFirst = 1;
  if (RangeLast > FNElem) RangeLast = FNElem;
  if (RangeLast - RangeFirst < 1) return;
  // Comb sort: the gap shrinks by the factor 1.3 down to 1; the sort ends after a
  // pass with gap 1 that made no exchange.
  std::int32_t gap = RangeLast - RangeFirst;
  bool exchanged;
  do {
    gap = ToInt32(Extended(gap) / kCombShrink);
    if (gap == 0) gap = 1;
    exchanged = false;
    for (std::int32_t i = RangeFirst; i + gap <= RangeLast; ++i) {
      double& a = FVec[i - 1];
      double& b = FVec[i + gap - 1];
      if (Ascending ? a > b : a < b) {
        std::swap(a, b);
        exchanged = true;
        if (OnSortExchange) OnSortExchange(*this);
      }
    }
  } while (gap != 1 || exchanged);
  Changed();
}

}  // namespace veltrano
