#include "analysis/tAnalisisDeltaMET.h"

#include "numeric/FloatFaults.h"

namespace veltrano {

tAnalisisDeltaMET::~tAnalisisDeltaMET() { ReleaseResults(); }

void tAnalisisDeltaMET::Create(const tBfMatriz& MatrizDatos,
                               const std::vector<std::string>* Resultados, std::int32_t muestreo,
                               std::string_view lblAnalisis) {
  NumMatrices = 4;
  tAnalisis::Create(MatrizDatos, Resultados, muestreo, lblAnalisis);
  Pi.clear();
  PiM2.clear();
  Pi0.clear();
  VarDelta[0] = VarDelta[1] = VarDelta[2] = 0;
  for (tProblema& p : Problem) p = tProblema{};
  Env_RCnf_Tolerancia = 10;
  Env_RCnf_MaxIteraciones = 100;
  Env_RCnf_Decimales = 3;
  IC_Nodefinido = {Nodefinido, Nodefinido};
  ICITest = IC_Nodefinido;
  ActiveDataIndex = 0;
  Delta_KA = Delta_MV = DeltaM2_MV = tParametro{};
  tol = ErrLevel = 0;
  its = 0;
  Clases = 0;
  ModelOk = false;
  resultsReleased_ = false;
}

void tAnalisisDeltaMET::ReleaseResults() noexcept {
  if (resultsReleased_) return;
  resultsReleased_ = true;
  Pi.clear();
  Pi.shrink_to_fit();
  PiM2.clear();
  PiM2.shrink_to_fit();
  Pi0.clear();
  Pi0.shrink_to_fit();
}

void tAnalisisDeltaMET::Finaliza() {
  ReleaseResults();
  tAnalisis::Finaliza();
}

std::uint16_t tAnalisisDeltaMET::Execute(const void* /*Sender*/) {
  PrepareTables();
  ClassifyTable(1);
  ClassifyTable(2);
  ActiveDataIndex = 1;
  ChooseActiveTable();
  Clases = M[static_cast<std::size_t>(ActiveDataIndex)].Dim.F;
  AllocateResults();

  EstimateParameters();
  ModelOk = CheckModel();
  // An invalid fitted model keeps its estimates but gets no standard error and no
  // interval: Delta_MV.SE stays 0.
  if (ModelOk) {
    if (ActiveDataIndex == 1) {
      VarDelta[1] = VarianceOfDelta(1);
      VarDelta[2] = VarianceOfDelta(2);
    } else {
      VarDelta[2] = VarianceOfDelta(2);
      VarDelta[1] = VarDelta[2];
    }
    AssignStandardErrors();
    if (Cnf_IC && !IsNodefinido(Delta_MV.SE)) ICITest = TestInversionInterval(Problem[1].Codigo);
  }

  // Every stage decides its faults before operating; this is the last guard that no
  // NaN or infinity is ever handed to a caller.
  for (const tParametro* p : {&Delta_KA, &Delta_MV, &DeltaM2_MV}) {
    CheckedResult(p->Estimador);
    CheckedResult(p->SE);
  }
  for (const auto* list : {&Pi, &PiM2})
    for (const tParametro& p : *list) {
      CheckedResult(p.Estimador);
      CheckedResult(p.SE);
    }
  CheckedResult(VarDelta[1]);
  CheckedResult(VarDelta[2]);
  CheckedResult(ICITest.LI);
  CheckedResult(ICITest.LS);
  return Problem[1].Codigo;
}

void tAnalisisDeltaMET::PrepareTables() {
  // Table 1 is the data itself; table 2 the data with 0.5 added to every cell, which
  // has no zero total and no degenerate diagonal.
  M[1] = tBfMatriz::Asigna(M[0].X);
  Finalizable[1] = false;
  M[2] = tBfMatriz::MCReal(M[1].Dim.F);
  M[2].IgualaX(M[1].X);
  M[2].AddK(0.5);
  Finalizable[2] = true;
  M[3] = tBfMatriz();
  Finalizable[3] = false;
  M[1].GetTotales();
  M[2].GetTotales();
}

double tAnalisisDeltaMET::DiagonalRatioSum(std::int32_t t) const {
  const tBfMatrizPrecision& X = M[static_cast<std::size_t>(t)].X;
  const std::int32_t K = M[static_cast<std::size_t>(t)].Dim.F;
  double s = 0;
  for (std::int32_t j = 1; j <= K; ++j)
    if (X[0][j] > 0) s += X[j][j] / X[0][j];
  return s;
}

void tAnalisisDeltaMET::ClassifyTable(std::int32_t t) {
  const tBfMatriz& T = M[static_cast<std::size_t>(t)];
  const tBfMatrizPrecision& X = T.X;
  const std::int32_t K = T.Dim.F;
  const double N = X[0][0];
  tProblema& P = Problem[t];
  P.Codigo = 999;
  bool degenerate = false;
  for (std::int32_t i = 1; i <= K; ++i) {
    if (X[i][0] == 0) P.FilaCero = true;
    if (X[0][i] == 0) P.ColCero = true;
    if (X[i][i] == N) degenerate = true;
  }
  const double s = DiagonalRatioSum(t);
  if (degenerate) {
    P.Codigo = 110;  // one diagonal cell holds every observation
    return;
  }
  if (T.Traza() == N) {
    P.Codigo = P.FilaCero ? 121 : 122;  // every answer correct
    return;
  }
  const int h = P.FilaCero ? 200 : 300;
  const int u = P.ColCero ? 10 : 20;
  const int d = s == 0 ? 1 : s < 1 ? 2 : s == 1 ? 3 : 4;
  P.Codigo = static_cast<std::uint16_t>(h + u + d);
}

void tAnalisisDeltaMET::ChooseActiveTable() {
  // Degenerate tables, and the two-class formulas' divisions by row totals, send the
  // estimate to table 2.
  const tTipoProblema tp = DecodeProblemType(Problem[1].Codigo);
  const std::int32_t K1 = M[1].Dim.F;
  const std::uint16_t code = Problem[1].Codigo;
  switch (tp.Caso) {
    case 1:
      ActiveDataIndex = 2;
      break;
    case 2:
      ActiveDataIndex = (K1 == 2 || (tp.Columnas == 1 && tp.Diagonal == 3)) ? 2 : 1;
      break;
    case 3:
      ActiveDataIndex = (code == 311 || code == 312 || (code == 321 && K1 == 2)) ? 2 : 1;
      break;
    default:
      break;
  }
}

void tAnalisisDeltaMET::AllocateResults() {
  const auto size = static_cast<std::size_t>(M[1].Dim.F) + 1;
  const tParametro undefined{Nodefinido, Nodefinido, 0};
  Pi.assign(size, undefined);
  PiM2.assign(size, undefined);
}

}  // namespace veltrano
