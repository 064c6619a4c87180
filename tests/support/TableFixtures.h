#pragma once
// Small helpers shared by the core tests.
#include <initializer_list>
#include <vector>

#include "table/tBfMatriz.h"

namespace veltrano::testing {

/// A square table with the given rows of cells and its margins computed.
inline tBfMatriz MakeTable(std::initializer_list<std::initializer_list<double>> rows) {
  tBfMatriz t = tBfMatriz::MCReal(static_cast<std::int32_t>(rows.size()));
  int i = 1;
  for (const auto& row : rows) {
    int j = 1;
    for (double v : row) t.X[i][j++] = v;
    ++i;
  }
  t.GetTotales();
  return t;
}

inline tBfMatriz MakeTable(const std::vector<std::vector<double>>& rows) {
  tBfMatriz t = tBfMatriz::MCReal(static_cast<std::int32_t>(rows.size()));
  for (std::size_t i = 0; i < rows.size(); ++i)
    for (std::size_t j = 0; j < rows[i].size(); ++j)
      t.X[static_cast<int>(i) + 1][static_cast<int>(j) + 1] = rows[i][j];
  t.GetTotales();
  return t;
}

}  // namespace veltrano::testing
