#pragma once
// The frequency table: F × C cells framed by a margin row and a margin column.
//
// Names here are the system's own and kept verbatim: tBfMatriz is the table,
// tBfMatrizPrecision its storage, MCReal / Asigna its creation, Done its release,
// GetTotales recomputes the margins, Traza is the trace Σ x_jj, AddK adds a constant
// to every cell, IgualaX copies another table's entries.
//
// Layout of X: rows 0..F, columns 0..C. [i][j] with i, j ≥ 1 is a cell, [i][0] the
// total of row i, [0][j] the total of column j, [0][0] the grand total.
#include <cstdint>
#include <memory>

namespace veltrano {

/// Shared, reference-counted storage of doubles, rows × cols, every row the same
/// length. Copying a handle shares the numbers (no copy is made); the numbers live
/// while any handle holds them.
class tBfMatrizPrecision {
public:
  tBfMatrizPrecision() = default;
  /// New storage of rows × cols zeros.
  tBfMatrizPrecision(int rows, int cols);

  /// Row i, indexable by column. Like every handle to shared numbers, a const
  /// handle still reaches writable numbers.
  double* operator[](int i) const noexcept { return data_.get() + static_cast<std::ptrdiff_t>(i) * cols_; }

  int Rows() const noexcept { return rows_; }
  int Cols() const noexcept { return cols_; }
  bool Empty() const noexcept { return data_ == nullptr; }
  /// Number of handles sharing these numbers (0 for no storage).
  long UseCount() const noexcept { return data_.use_count(); }
  void Release() noexcept {
    data_.reset();
    rows_ = cols_ = 0;
  }

private:
  std::shared_ptr<double[]> data_;
  int rows_ = 0;
  int cols_ = 0;
};

struct tDim {
  std::int32_t F = 0;  // rows of cells
  std::int32_t C = 0;  // columns of cells
};

class tBfMatriz {
public:
  tBfMatrizPrecision X;
  tDim Dim;

  /// A table without storage.
  tBfMatriz() = default;
  tBfMatriz(const tBfMatriz&) = delete;
  tBfMatriz& operator=(const tBfMatriz&) = delete;
  tBfMatriz(tBfMatriz&&) noexcept = default;
  tBfMatriz& operator=(tBfMatriz&&) noexcept = default;
  ~tBfMatriz() = default;

  /// Square table of Dimension × Dimension cells, every entry (margins included) 0.
  static tBfMatriz MCReal(std::int32_t Dimension);
  /// Table over Datos itself (shared, not copied): F = rows − 1, C = length of row 0 − 1.
  static tBfMatriz Asigna(const tBfMatrizPrecision& Datos);

  /// Releases this table's reference to its numbers; idempotent.
  void Done() noexcept {
    X.Release();
    Dim = {};
  }
  bool Empty() const noexcept { return X.Empty(); }

  /// Adds k to every cell of a square table and keeps the margins consistent:
  /// row and column totals gain K·k, the grand total K·K·k; nothing is recomputed.
  void AddK(double k);
  /// Recomputes every margin: row totals in ascending column order, the grand
  /// total as the sum of the row totals, column totals in ascending row order.
  void GetTotales();
  /// Sum of the diagonal cells; -999 for a table that is not square, 0 without storage.
  double Traza() const;
  /// Copies every entry (cells and margins) of M, which holds at least this table's size.
  void IgualaX(const tBfMatrizPrecision& M);
};

}  // namespace veltrano
