#pragma once
// One table's analysis as a JSON object, the form `analyse --json` writes and the
// answer sheets reuse. Keys, in this order:
//   code, code2        problem codes of the data table and of table 2 (the table + 0.5)
//   active             the table (1 or 2) delta was estimated on
//   model_ok           whether the fitted model passed its check (no SE or interval if not)
//   Delta_MV, Delta_MV_SE, Delta_MV_DataIndex   Du, its SE and the table the SE comes from
//   DeltaM2_MV, DeltaM2_MV_SE                   Du and its SE on table 2
//   Delta_KA, Delta_KA_SE                       Dc (Dk&a), the conditioned estimate, and SE
//   Pi, PiM2           the guessing probabilities pi_1..pi_k on the active table and table 2
//   VarDelta           the variances of Du on table 1 and table 2
//   CI                 the test-inversion interval [lower, upper]
//   DLN                D Lord & Novick
//   header, record     the record line's column names and text
// A value the analysis could not compute is null, never the undefined marker.
#include <nlohmann/json.hpp>

#include "analysis/tAnalisisDeltaMET.h"

namespace veltrano::batch {

/// A number, or null when it is undefined or not finite.
nlohmann::ordered_json JsonNumber(double x);

/// The object above for an executed analysis whose Lord & Novick value is dln.
nlohmann::ordered_json AnalysisJson(const tAnalisisDeltaMET& a, double dln);

}  // namespace veltrano::batch
