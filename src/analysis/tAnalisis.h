#pragma once
// The delta-model analysis of one observed table.
//
// Rows of the table are the correct alternative of an item, columns the alternative
// marked: x_ij counts the items whose correct answer is i and on which j was marked.
// The model: an examinee knows an item with probability delta and then marks the
// correct answer; otherwise the examinee marks alternative j with probability pi_j
// (the pi's sum to 1). So with row totals fixed by design, cell (i, j) has probability
// p_ij = delta·[i = j] + (1 − delta)·pi_j.
//
// Names are the system's own, kept verbatim: Estimador = estimate, SE = standard
// error, LI / LS = lower / upper limit, Codigo = problem code, FilaCero / ColCero =
// some row / column total is zero, Finaliza = teardown, Nodefinido = undefined,
// Cnf_IC / Cnf_NivelConfianza = interval on / confidence level, Clases = classes.
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "table/tBfMatriz.h"

namespace veltrano {

/// The undefined-value marker: every estimate, standard error or limit that cannot be
/// computed holds it. A value is undefined exactly when it equals this double.
inline constexpr double Nodefinido = -9999.999;
constexpr bool IsNodefinido(double x) noexcept { return x == Nodefinido; }
/// x as an optional: empty when x is the undefined marker.
constexpr std::optional<double> Defined(double x) noexcept {
  return IsNodefinido(x) ? std::nullopt : std::optional<double>(x);
}
/// The "is zero" test of the analysis: |x| ≤ kZeroTolerance.
inline constexpr double kZeroTolerance = 1e-12;
inline bool IsZero(double x) noexcept { return std::fabs(x) <= kZeroTolerance; }

/// One estimate.
struct tParametro {
  double Estimador = 0;
  double SE = 0;
  std::int32_t DataIndex = 0;  // working table (1 or 2) it was computed on; 0 when not set
};

/// One interval.
struct tIC {
  double LI = 0;  // lower limit
  double LS = 0;  // upper limit
};

/// Classification of one working table.
struct tProblema {
  std::uint16_t Codigo = 999;  // 999: not classified
  bool FilaCero = false;       // some row total is zero
  bool ColCero = false;        // some column total is zero
};

/// The three digits of a problem code.
struct tTipoProblema {
  std::int32_t Caso = 0;      // hundreds: 1 degenerate, 2 a zero row total, 3 none
  std::int32_t Columnas = 0;  // tens: 1 a zero column total (or one diagonal cell holds all), 2 none
  std::int32_t Diagonal = 0;  // units: where the diagonal ratio sum s lies (1 s=0, 2 s<1, 3 s=1, 4 s>1)
};
tTipoProblema DecodeProblemType(std::int32_t code) noexcept;

/// A generic analysis of a data table: a shared handle on the data and a small array
/// of working tables, some owned (Finalizable) and freed by Finaliza.
class tAnalisis {
public:
  tAnalisis() = default;
  tAnalisis(const tAnalisis&) = delete;
  tAnalisis& operator=(const tAnalisis&) = delete;
  virtual ~tAnalisis();

  /// Adopts MatrizDatos' cells (shared, not copied) as the data table M[0].
  /// Resultados, muestreo and lblAnalisis are accepted and not used.
  virtual void Create(const tBfMatriz& MatrizDatos, const std::vector<std::string>* Resultados,
                      std::int32_t muestreo, std::string_view lblAnalisis);
  /// Teardown: frees the owned working tables and releases the data; idempotent.
  virtual void Finaliza();
  /// Runs the analysis; the result code is not read by any caller.
  virtual std::uint16_t Execute(const void* Sender) = 0;

  std::int32_t NumMatrices = 0;
  std::vector<tBfMatriz> M;
  std::vector<bool> Finalizable;

  // The two analysis settings, set by output_Config: the interval is computed when Cnf_IC
  // is on, at the confidence level Cnf_NivelConfianza (percent). Every analysis holds its
  // own, so analyses with different settings may run side by side in one process (two
  // jobs, two threads) and each gets the results of its own settings.
  bool Cnf_IC = false;
  std::int32_t Cnf_NivelConfianza = 0;

private:
  void ReleaseTables() noexcept;
};

}  // namespace veltrano
