#include "jobs/AnalysisJson.h"

#include <cmath>

namespace veltrano::jobs {
namespace {

nlohmann::ordered_json NumberOrNull(bool given, double x) { return given ? JsonNumber(x) : nullptr; }

nlohmann::ordered_json Estimates(const std::vector<tParametro>& params) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (std::size_t i = 1; i < params.size(); ++i) list.push_back(JsonNumber(params[i].Estimador));  // entry 0 unused
  return list;
}

}  // namespace

nlohmann::ordered_json JsonNumber(double x) {
  if (IsNodefinido(x) || !std::isfinite(x)) return nullptr;
  return x;
}

nlohmann::ordered_json AnalysisJson(const tAnalisisDeltaMET& a, double dln) {
  nlohmann::ordered_json o;
  o["code"] = a.Problem[1].Codigo;
  o["code2"] = a.Problem[2].Codigo;
  o["active"] = a.ActiveDataIndex;
  o["model_ok"] = a.ModelOk;
  o["Delta_MV"] = JsonNumber(a.Delta_MV.Estimador);
  o["Delta_MV_SE"] = JsonNumber(a.Delta_MV.SE);
  o["Delta_MV_DataIndex"] = a.Delta_MV.DataIndex;
  o["DeltaM2_MV"] = JsonNumber(a.DeltaM2_MV.Estimador);
  o["DeltaM2_MV_SE"] = JsonNumber(a.DeltaM2_MV.SE);
  o["Delta_KA"] = JsonNumber(a.Delta_KA.Estimador);
  o["Delta_KA_SE"] = JsonNumber(a.Delta_KA.SE);
  o["Pi"] = Estimates(a.Pi);
  o["PiM2"] = Estimates(a.PiM2);
  o["VarDelta"] = {JsonNumber(a.VarDelta[1]), JsonNumber(a.VarDelta[2])};
  o["CI"] = {JsonNumber(a.ICITest.LI), JsonNumber(a.ICITest.LS)};
  o["DLN"] = JsonNumber(dln);
  o["header"] = a.output_Header();
  o["record"] = a.output_record();
  return o;
}

nlohmann::ordered_json ResultJson(const ExamineeResult& r, const AnalysisSettings& s) {
  const TestEstimates& e = r.estimates;
  const bool a = r.analysed;
  nlohmann::ordered_json o;
  o["id"] = r.id;
  o["items"] = r.counts.items;
  o["answered"] = r.counts.answered;
  o["omitted"] = r.counts.omitted;
  o["right"] = r.counts.right;
  o["dln"] = JsonNumber(e.dln);
  o["du"] = NumberOrNull(a, e.du);
  o["se_du"] = NumberOrNull(a && HasStandardError(e.seDu), e.seDu);
  o["ci_lower"] = NumberOrNull(a && s.ci, e.ciLower);
  o["ci_upper"] = NumberOrNull(a && s.ci, e.ciUpper);
  o["dc"] = NumberOrNull(a && s.alternative, e.dc);
  o["se_dc"] = NumberOrNull(a && s.alternative, e.seDc);
  o["code"] = a ? nlohmann::ordered_json(e.code) : nullptr;
  o["code2"] = a ? nlohmann::ordered_json(e.code2) : nullptr;
  o["error"] = r.error.empty() ? nullptr : nlohmann::ordered_json(r.error);
  if (a) o.update(AnalysisJson(*r.analysis, e.dln));
  return o;
}

}  // namespace veltrano::jobs
