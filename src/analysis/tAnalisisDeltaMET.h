#pragma once
// The delta-model analysis: classifies the table, prepares the tables it estimates
// on, estimates delta and the pi's (maximum likelihood, and a conditional estimate),
// the standard errors of delta and, on request, a test-inversion confidence interval.
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/tAnalisis.h"

namespace veltrano {

/// The largest table total (the sum of its counts) whose analysis keeps its digits;
/// readers of tables refuse larger ones.
///
/// Found by scaling. In exact arithmetic c·X has the estimates of X, standard errors
/// SE(X)/√c, and limits L = Du ∓ z·SE_L(X)/√c (SE_L under delta = L, where the refitted
/// pi's do not depend on c). 300 random tables of orders 2 to 10, estimated on the table
/// itself, scaled to totals from 10 to 10^15 with the interval on (tolerance 10^−10 with
/// 100 and 500 iterations, 10^−15 with 1000) agree with that to 10^−9 (a limit: relative
/// to its distance from Du) up to a total of 10^12.75, and fail from 10^13: the Lagrange
/// multiplier of the restricted fit grows with the total while its five-point slope steps
/// by a fixed 0.001, which near 10^14 is below the spacing of the doubles there.
/// Lopsided tables lose digits sooner, to cancellation between terms of the size of the
/// total. Against the same code in 80-bit arithmetic, the 3 × 3 table 8 1 1 / 2 7 1 /
/// 1 1 8 with its first cell raised to v is off by at most 3·10^−7 at v = 10^9, 3·10^−6
/// at 10^10, 10^−4 at 10^11 and wholly at 10^12; random tables of small counts with one
/// diagonal cell raised, by 5·10^−6 at 10^9. So up to 10^9, 10 000 times below the
/// failure of every table, scaled tables and that example keep six significant digits
/// and the most lopsided tables five.
inline constexpr double kMaxTableTotal = 1e9;

/// The record's column names joined by tabs, for the record switches of output_Config.
std::string RecordHeader(bool Dmv_SE, bool Dmv_ICIT, bool Dka);

class tAnalisisDeltaMET : public tAnalisis {
public:
  tAnalisisDeltaMET() = default;
  ~tAnalisisDeltaMET() override;

  /// Working tables: 0 the data, 1 the analysed table (the data itself), 2 the
  /// analysed table with 0.5 added to every cell (owned), 3 always empty.
  void Create(const tBfMatriz& MatrizDatos, const std::vector<std::string>* Resultados,
              std::int32_t muestreo, std::string_view lblAnalisis) override;
  /// Releases the results, then the base teardown; idempotent.
  void Finaliza() override;
  /// Preparation, classification, estimation, model check, standard errors and the
  /// interval. Floating-point faults raise FloatingPointError. Run once per object.
  std::uint16_t Execute(const void* Sender = nullptr) override;

  double GetDeltaMLE() const noexcept { return Delta_MV.Estimador; }
  double GetDeltaMLESE() const noexcept { return Delta_MV.SE; }
  double GetDeltaCondE() const noexcept { return Delta_KA.Estimador; }

  /// Record switches (standard error of D, interval of D, the Dk&a estimate); also
  /// sets this analysis's Cnf_IC := Dmv_ICIT and Cnf_NivelConfianza := 95.
  /// Dka_SE is accepted and not used.
  void output_Config(bool Dmv_SE, bool Dmv_ICIT, bool Dka, bool Dka_SE);
  /// Tolerance exponent, iteration limit and record decimals.
  void Analysis_AssignParams(std::int32_t Tolerancia, std::int32_t MaxIteraciones,
                             std::int32_t Decimales);
  /// The record's column names joined by tabs.
  std::string output_Header() const;
  /// The record: every number as NumStr(value, d + 3, d), joined by tabs.
  std::string output_record() const;
  void AppendRecord(std::string& out) const;

  // Results, read as they stand after Execute.
  std::int32_t ActiveDataIndex = 0;   // the table (1 or 2) Delta_MV is estimated on
  tProblema Problem[5];               // Problem[t] classifies M[t]; only 1 and 2 are set
  tParametro Delta_KA;                // conditional estimate of delta ("Dk&a")
  tParametro Delta_MV;                // maximum-likelihood delta on the active table
  std::vector<tParametro> Pi;         // pi_1..pi_K on the active table (entry 0 unused)
  tParametro DeltaM2_MV;              // maximum-likelihood delta on table 2
  std::vector<tParametro> PiM2;       // pi's on table 2
  std::vector<double> Pi0;            // pi's under a fixed delta (interval search)
  double VarDelta[3] = {0, 0, 0};     // [1] active table, [2] table 2
  double tol = 0;                     // tolerance of the last delta iteration
  double ErrLevel = 0;                // last step size of the last delta iteration
  std::int32_t its = 0;               // steps of the last delta iteration
  tIC ICITest;                        // test-inversion interval of delta
  tIC IC_Nodefinido;                  // both limits undefined
  std::int32_t Env_RCnf_Tolerancia = 10;
  std::int32_t Env_RCnf_MaxIteraciones = 100;
  std::int32_t Env_RCnf_Decimales = 3;
  std::int32_t Clases = 0;            // classes of the active table
  bool oDmv_SE = false;
  bool oDmv_ICIT = false;
  bool oDka_E = false;
  bool ModelOk = false;               // CheckModel's verdict in the last Execute

private:
  // Preparation and classification.
  void PrepareTables();
  void ClassifyTable(std::int32_t t);
  void ChooseActiveTable();
  void AllocateResults();
  // Estimation.
  void EstimateParameters();
  double ConditionalDelta(std::int32_t t) const;
  double ConditionalDeltaSE(std::int32_t t) const;
  double ScoreDelta(std::int32_t t, double x) const;
  double ScoreSlope(std::int32_t t, double x) const;
  double SolveDelta(std::int32_t t, double x0);
  double NonTrivialRoot(std::int32_t t) const;
  void EstimatePi(std::int32_t t);
  double TwoClassPi(std::int32_t t, std::int32_t j) const;
  bool CheckModel() const;
  double DiagonalRatioSum(std::int32_t t) const;
  // Standard errors.
  double VarianceOfDelta(std::int32_t t) const;
  void AssignStandardErrors();
  // Interval.
  struct LimitSearch;
  tIC TestInversionInterval(std::int32_t code);
  void FitAlone(std::int32_t t, LimitSearch& search);
  bool FitTogether(std::int32_t t, LimitSearch& lower, LimitSearch& upper, std::vector<double>& upperPi);
  bool RestrictedPi(std::int32_t t, double x, double& lambda);
  bool RestrictedPiFrom(std::int32_t t, double x, double lambda, std::vector<double>& pi) const;
  double SolveLambda(std::int32_t t, double x) const;
  double LambdaStart(std::int32_t t, double x) const;
  double NullVariance(std::int32_t t, const double* pi, double x, double lambda) const;

  friend struct tAnalisisDeltaMETProbe;  // tests reach the stages through it

  void ReleaseResults() noexcept;
  bool resultsReleased_ = false;
};

}  // namespace veltrano
