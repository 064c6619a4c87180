#include "analysis/tAnalisis.h"

namespace veltrano {

tTipoProblema DecodeProblemType(std::int32_t code) noexcept {
  return {code / 100, code / 10 % 10, code % 10};
}

tAnalisis::~tAnalisis() { ReleaseTables(); }

void tAnalisis::Create(const tBfMatriz& MatrizDatos, const std::vector<std::string>* /*Resultados*/,
                       std::int32_t /*muestreo*/, std::string_view /*lblAnalisis*/) {
  M.clear();
  M.resize(static_cast<std::size_t>(NumMatrices));
  Finalizable.assign(static_cast<std::size_t>(NumMatrices), false);
  // The data table shares the caller's cells: the numbers live while either the
  // caller or the analysis holds them, so the caller may release its table first.
  M[0] = tBfMatriz::Asigna(MatrizDatos.X);
}

void tAnalisis::Finaliza() { ReleaseTables(); }

void tAnalisis::ReleaseTables() noexcept {
  for (std::size_t i = 1; i < M.size(); ++i)
    if (Finalizable[i] && !M[i].Empty()) M[i].Done();
  // The data table (and the analysed table, which is the data table itself) only
  // drop the analysis's reference to the shared cells.
  M.clear();
  Finalizable.clear();
}

}  // namespace veltrano
