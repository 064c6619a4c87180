#pragma once
// One table's analysis as a JSON object, the form `analyse --json` writes and the
// answer sheets reuse, and one examinee's result. Keys of a table's object, in this order:
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

#include "analysis/AnalysisSettings.h"
#include "analysis/tAnalisisDeltaMET.h"
#include "sheets/SheetAnalysis.h"

namespace veltrano::jobs {

/// A number, or null when it is undefined or not finite.
nlohmann::ordered_json JsonNumber(double x);

/// The object above for an executed analysis whose Lord & Novick value is dln.
nlohmann::ordered_json AnalysisJson(const tAnalisisDeltaMET& a, double dln);

/// One examinee's result (or the pooled row) as a JSON object: the keys of the CSV row
/// (kSheetCsvHeader), null where the CSV cell is empty, then for an analysed table every
/// key of AnalysisJson.
nlohmann::ordered_json ResultJson(const ExamineeResult& r, const AnalysisSettings& s);

}  // namespace veltrano::jobs
