#pragma once
// TVector: the small vector of doubles that an inverse-transformation choice sorts.
// Elements are numbered from 1. Small vectors (every one the simulation makes) live
// inside the object; larger ones on the heap.
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

namespace veltrano {

/// Raised when a vector cannot obtain the memory it needs.
class ESDLVectorError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

class TVector {
public:
  using TNotifyEvent = std::function<void(TVector&)>;

  /// Create: one element, valued 0, and empty. AOwner is accepted for the shape of
  /// the component and not used; Name appears in error messages.
  explicit TVector(const void* AOwner = nullptr, std::string Name = {});
  TVector(const TVector&) = delete;
  TVector& operator=(const TVector&) = delete;

  std::int32_t NrOfElem() const noexcept { return FNElem; }
  /// Resizes to m elements, keeping the first values and zeroing new ones; ignored
  /// when m ≤ 0 or m is the current size. Notifies OnChange.
  void SetNrOfElem(std::int32_t m);

  /// Stores Value at 1 ≤ Elem ≤ NrOfElem (other Elem are ignored); notifies OnChange.
  void SetVal(std::int32_t Elem, double Value);
  /// The value at 1 ≤ Elem ≤ NrOfElem, 0 for any other Elem.
  double GetVal(std::int32_t Elem) const noexcept {
    return Elem >= 1 && Elem <= FNElem ? FVec[Elem - 1] : 0.0;
  }
  bool IsEmpty() const noexcept { return FIsEmpty; }
  const std::string& Name() const noexcept { return name_; }

  /// Comb sort of the elements RangeFirst..RangeLast (bounds swapped when reversed,
  /// clamped into 1..NrOfElem). Notifies OnSortExchange for every exchange and
  /// OnChange once at the end; a range of fewer than two elements is left alone.
  void SortElems(bool Ascending, std::int32_t RangeFirst, std::int32_t RangeLast);

  TNotifyEvent OnChange;
  TNotifyEvent OnSortExchange;

private:
  static constexpr std::int32_t kInline = 16;
  struct FreeDeleter {
    void operator()(double* p) const noexcept;
  };

  void Changed() {
    if (OnChange) OnChange(*this);
  }

  std::int32_t FNElem = 1;
  double* FVec;  // inline_ or heap_
  bool FIsEmpty = true;
  double inline_[kInline] = {};
  std::unique_ptr<double, FreeDeleter> heap_;
  std::string name_;
};

}  // namespace veltrano
