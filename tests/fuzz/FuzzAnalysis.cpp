// The delta-model analysis on arbitrary small tables and settings, with floating-point
// traps on: it completes with finite results and ordered limits, or stops with a
// named floating-point error; it never performs an unchecked faulting operation.
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "analysis/tAnalisisDeltaMET.h"
#include "numeric/FloatFaults.h"

using namespace veltrano;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  feenableexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW);
  return 0;
}

namespace {

void Require(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
  }
}

bool Finite(const tParametro& p) { return std::isfinite(p.Estimador) && std::isfinite(p.SE); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const int K = 2 + data[0] % 9;
  const int scale = 1 << (data[1] % 12);  // counts up to 255·2^11
  const bool ci = data[2] & 1;
  const int tol = 2 + (data[2] >> 1) % 14;
  const int maxIts = 1 + data[3] * 4;
  if (size < 4 + static_cast<std::size_t>(K * K)) return 0;
  tBfMatriz t = tBfMatriz::MCReal(K);
  double total = 0;
  for (int i = 1; i <= K; ++i)
    for (int j = 1; j <= K; ++j) {
      const std::uint8_t b = data[4 + (i - 1) * K + (j - 1)];
      t.X[i][j] = (b < 64 ? 0 : b - 64) * static_cast<double>(scale) / 16;  // many zeros, some halves
      t.X[i][j] = std::floor(t.X[i][j]);
      total += t.X[i][j];
    }
  if (total == 0) return 0;
  t.GetTotales();

  tAnalisisDeltaMET a;
  a.Create(t, nullptr, 1, "");
  a.output_Config(true, ci, true, true);
  a.Analysis_AssignParams(tol, maxIts, 3);
  try {
    a.Execute();
  } catch (const FloatingPointError&) {
    return 0;
  }
  Require(Finite(a.Delta_MV) && Finite(a.DeltaM2_MV) && Finite(a.Delta_KA), "non-finite delta");
  for (std::size_t j = 1; j < a.Pi.size(); ++j) Require(Finite(a.Pi[j]) && Finite(a.PiM2[j]), "non-finite pi");
  Require(std::isfinite(a.VarDelta[1]) && std::isfinite(a.VarDelta[2]), "non-finite variance");
  const tIC& c = a.ICITest;
  Require(std::isfinite(c.LI) && std::isfinite(c.LS), "non-finite limit");
  if (!IsNodefinido(c.LS)) Require(c.LS <= 1, "upper limit above 1");
  if (!IsNodefinido(c.LI) && !IsNodefinido(c.LS)) Require(c.LI <= c.LS, "limits out of order");
  Require(!a.output_record().empty(), "empty record");
  return 0;
}
