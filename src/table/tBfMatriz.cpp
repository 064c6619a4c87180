#include "table/tBfMatriz.h"

namespace veltrano {
namespace {

// rows × cols zeros. The standard library of the browser's build lacks make_shared of an
// array; there the array is made apart from its count.
std::shared_ptr<double[]> Zeros(std::size_t size) {
#if __cpp_lib_shared_ptr_arrays >= 201707L
  return std::make_shared<double[]>(size);
#else
  return std::shared_ptr<double[]>(new double[size]());
#endif
}

}  // namespace

tBfMatrizPrecision::tBfMatrizPrecision(int rows, int cols)
    : data_(Zeros(static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols))), rows_(rows), cols_(cols) {}

tBfMatriz tBfMatriz::MCReal(std::int32_t Dimension) {
  tBfMatriz t;
  t.X = tBfMatrizPrecision(Dimension + 1, Dimension + 1);
  t.Dim = {Dimension, Dimension};
  return t;
}

tBfMatriz tBfMatriz::Asigna(const tBfMatrizPrecision& Datos) {
  tBfMatriz t;
  t.X = Datos;
  t.Dim = {Datos.Rows() - 1, Datos.Cols() - 1};
  return t;
}

void tBfMatriz::AddK(double k) {
  const int K = Dim.F;
  const double margin = static_cast<double>(K) * k;
  for (int i = 1; i <= K; ++i) {
    double* row = X[i];
    for (int j = 1; j <= K; ++j) row[j] += k;
    row[0] += margin;
    X[0][i] += margin;
  }
  X[0][0] += static_cast<double>(K * K) * k;
}

void tBfMatriz::GetTotales() {
  double* top = X[0];
  top[0] = 0;
  for (int i = 1; i <= Dim.F; ++i) {
    double* row = X[i];
    row[0] = 0;
    for (int j = 1; j <= Dim.C; ++j) row[0] += row[j];
    top[0] += row[0];
  }
  for (int j = 1; j <= Dim.C; ++j) {
    top[j] = 0;
    for (int i = 1; i <= Dim.F; ++i) top[j] += X[i][j];
  }
}

double tBfMatriz::Traza() const {
  if (Dim.C != Dim.F) return -999;
  double t = 0;
  if (X.Empty()) return t;
  for (int i = 1; i <= Dim.F; ++i) t += X[i][i];
  return t;
}

void tBfMatriz::IgualaX(const tBfMatrizPrecision& M) {
  for (int i = 0; i <= Dim.F; ++i) {
    const double* from = M[i];
    double* to = X[i];
    for (int j = 0; j <= Dim.C; ++j) to[j] = from[j];
  }
}

}  // namespace veltrano
