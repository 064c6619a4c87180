#include "study/StudyGenerator.h"

#include <string>

#include "numeric/QuotedText.h"
#include "study/StudyConditions.h"

namespace veltrano {

const char* GeneratorName(StudyGenerator g) noexcept { return g == StudyGenerator::Philox ? "philox" : "lcg"; }

StudyGenerator ParseGenerator(std::string_view text) {
  if (text == "philox") return StudyGenerator::Philox;
  if (text == "lcg") return StudyGenerator::Lcg;
  throw StudyInputError(Named("generator") + ": " + Quoted(text) + " is neither philox nor lcg");
}

}  // namespace veltrano
