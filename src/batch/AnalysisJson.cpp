#include "batch/AnalysisJson.h"

#include <cmath>

namespace veltrano::batch {
namespace {

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

}  // namespace veltrano::batch
