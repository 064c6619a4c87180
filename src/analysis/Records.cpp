// The analysis's outward face: its configuration and the two text lines it composes
// for the caller, a column header and one result record.
#include "analysis/tAnalisisDeltaMET.h"
#include "numeric/NumStr.h"

namespace veltrano {

void tAnalisisDeltaMET::output_Config(bool Dmv_SE, bool Dmv_ICIT, bool Dka, bool /*Dka_SE*/) {
  oDmv_SE = Dmv_SE;
  oDmv_ICIT = Dmv_ICIT;
  oDka_E = Dka;
  // The interval switch and its level, for this analysis alone.
  Cnf_IC = Dmv_ICIT;
  Cnf_NivelConfianza = 95;
}

void tAnalisisDeltaMET::Analysis_AssignParams(std::int32_t Tolerancia, std::int32_t MaxIteraciones,
                                              std::int32_t Decimales) {
  Env_RCnf_Tolerancia = Tolerancia;
  Env_RCnf_MaxIteraciones = MaxIteraciones;
  Env_RCnf_Decimales = Decimales;
}

std::string RecordHeader(bool Dmv_SE, bool Dmv_ICIT, bool Dka) {
  std::string h = "D";
  if (Dmv_SE) h += "\tSE(D)";
  if (Dmv_ICIT) h += "\tIC-(D)\tIC+(D)";
  if (Dka) h += "\tDk&a\tSE(Dk&a)";
  return h;
}

std::string tAnalisisDeltaMET::output_Header() const { return RecordHeader(oDmv_SE, oDmv_ICIT, oDka_E); }

void tAnalisisDeltaMET::AppendRecord(std::string& out) const {
  const int d = Env_RCnf_Decimales;
  auto number = [&](double v) { AppendNumStr(out, v, d + 3, d); };
  number(Delta_MV.Estimador);
  if (oDmv_SE) {
    out.push_back('\t');
    number(Delta_MV.SE);
  }
  if (oDmv_ICIT) {
    // A limit that was not found holds the undefined marker and is written as a number.
    out.push_back('\t');
    number(ICITest.LI);
    out.push_back('\t');
    number(ICITest.LS);
  }
  if (oDka_E) {
    out.push_back('\t');
    number(Delta_KA.Estimador);
    if (oDmv_SE) {
      out.push_back('\t');
      number(Delta_KA.SE);
    }
  }
}

std::string tAnalisisDeltaMET::output_record() const {
  std::string r;
  AppendRecord(r);
  return r;
}

}  // namespace veltrano
